// The main window as it opens: every control where it was drawn, with its caption, colours
// and enabled state, and the fixed lists filled.

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "frmMain.h"
#include "inifolder.h"

class TestLayout : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        ini_ = std::make_unique<IniFolder>();
        w_ = std::make_unique<frmMain>();
    }
    void cleanupTestCase() {
        w_.reset();
        ini_.reset();
    }

    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        const auto row = [](const char* name, const char* parent, const char* caption, int l, int t,
                            int w, int h) {
            QTest::newRow(name) << name << parent << caption << QRect(l, t, w, h);
        };
        row("fComm", "client", "Comm Port Settings", 240, 240, 4815, 2055);
        row("fID", "client", "Slave ID", 5400, 240, 3255, 735);
        row("cmdConnect", "client", "Connect", 6360, 1080, 1455, 375);
        row("fCom5", "client", "Modbus Command 05", 240, 2400, 2775, 2175);
        row("fCom6", "client", "Modbus Command 06", 3120, 2400, 3015, 2175);
        row("fCom16", "client", "Modbus Command 16", 6240, 2400, 3615, 2175);
        row("fCom4", "client", "Modbus Command 04 - Read Input Registers", 240, 4680, 9615, 975);
        row("fMonitor", "client", "Communication Monitor", 240, 5880, 9495, 1215);
        row("opt9600", "fComm", "9600 bps", 240, 360, 975, 255);
        row("opt19200", "fComm", "19200 bps", 1320, 360, 1215, 255);
        row("opt38400", "fComm", "38400 bps", 2520, 360, 1215, 255);
        row("cboDF", "fComm", "Combo1", 240, 840, 975, 315);
        row("Label2", "fComm", "Data Format", 1320, 840, 975, 255);
        row("cboComm", "fComm", "Combo1", 2400, 840, 735, 315);
        row("Label1", "fComm", "Select Port Number", 3240, 840, 1455, 255);
        row("cboModule", "fComm", "Combo1", 240, 1320, 1455, 315);
        row("Label4", "fComm", "Select Module", 1800, 1440, 1335, 255);
        row("cboSlaveID", "fID", "Combo1", 360, 240, 735, 315);
        row("Label3", "fID", "Select Slave Address", 1440, 240, 1575, 255);
        row("cboAddr05", "fCom5", "", 240, 480, 975, 315);
        row("Label8", "fCom5", "Register Address", 1320, 480, 1335, 255);
        row("cboData05", "fCom5", "", 240, 960, 975, 315);
        row("Label7", "fCom5", "Data", 1320, 960, 375, 255);
        row("cmdSend05", "fCom5", "Send", 240, 1560, 975, 375);
        row("cboAddr06", "fCom6", "", 240, 480, 975, 315);
        row("Label11", "fCom6", "Register Address", 1320, 480, 1335, 255);
        row("Label9", "fCom6", "Data Hi", 240, 960, 855, 255);
        row("Label10", "fCom6", "Data Lo", 1320, 960, 855, 255);
        row("cboDataH06", "fCom6", "", 240, 1200, 855, 315);
        row("cboDataL06", "fCom6", "", 1320, 1200, 855, 315);
        row("cmdSend06", "fCom6", "Send", 240, 1680, 975, 375);
        row("cboAddr16", "fCom16", "", 240, 480, 975, 315);
        row("Label12", "fCom16", "Start Register Address", 1320, 480, 1695, 255);
        row("txtMessage", "fCom16", "", 240, 960, 3135, 285);
        row("cmdSend16", "fCom16", "Send", 240, 1680, 855, 375);
        row("cboAddr04", "fCom4", "", 240, 360, 975, 315);
        row("cmdSend04", "fCom4", "Send", 1680, 360, 1095, 375);
        row("Label13", "fCom4", "Reg 30001", 3360, 360, 855, 255);
        row("Label14", "fCom4", "Reg 30002", 5520, 360, 855, 255);
        row("Label15", "fCom4", "Reg 30003", 7560, 360, 855, 255);
        row("Label6", "fMonitor", "Bytes Sent", 240, 360, 855, 255);
        row("lblTxData", "fMonitor", "", 1800, 360, 7335, 255);
        row("Label5", "fMonitor", "Bytes Received", 240, 720, 1215, 255);
        row("lblRxData", "fMonitor", "", 1800, 720, 7335, 255);
    }
    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        const auto matches = w_->findChildren<QWidget*>(name);
        QCOMPARE(matches.size(), 1);
        QWidget* c = matches.front();
        QCOMPARE(c->parentWidget()->objectName(), parent);
        QString text;
        if (auto* f = qobject_cast<QGroupBox*>(c)) {
            text = f->title();
        } else if (auto* l = qobject_cast<QLabel*>(c)) {
            text = l->text();
        } else if (auto* b = qobject_cast<QAbstractButton*>(c)) {
            text = b->text();
        } else if (auto* cb = qobject_cast<QComboBox*>(c)) {
            // Opening has already filled and restored the lists; their first text is checked
            // with the restored settings.
            QVERIFY(cb->isEditable());
            QCOMPARE(cb->insertPolicy(), QComboBox::NoInsert);
            text = caption;
        } else if (auto* e = qobject_cast<QLineEdit*>(c)) {
            text = e->text();
        }
        QCOMPARE(text, caption);
        const QRect expected(w_->twips(twips.left()), w_->twips(twips.top()),
                             w_->twips(twips.width()), w_->twips(twips.height()));
        QCOMPARE(c->geometry(), expected);
        QCOMPARE(c->font().pointSizeF(), 8.25);
    }

    void windowFrame() {
        frmMain& w = *w_;
        QCOMPARE(w.windowTitle(), QStringLiteral("Tessaline"));
        QCOMPARE(w.centralWidget()->size(), QSize(w.twips(10080), w.twips(7410)));
        QCOMPARE(w.twips(15), 1);  // 96 dpi offscreen
        QCOMPARE(w.font().families().value(0), QStringLiteral("Tahoma"));

        // One menu item straight on the bar, no sub-items, off until connected.
        const auto actions = w.menuBar()->actions();
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.front(), w.mnuCfg);
        QCOMPARE(w.mnuCfg->text(), QStringLiteral("Configure LCD"));
        QCOMPARE(w.mnuCfg->menu(), nullptr);
        QVERIFY(!w.mnuCfg->isEnabled());

        QCOMPARE(w.Timer1->interval(), 20);
        QCOMPARE(w.Timer1->timerType(), Qt::PreciseTimer);
        QVERIFY(!w.Timer1->isActive());
        QCOMPARE(w.MSComm1.InputMode(), MSComm::InputModeKind::Binary);
        QVERIFY(!w.MSComm1.PortOpen());
        QCOMPARE(w.txtMessage->maxLength(), 20);
    }

    void startsDisconnected() {
        frmMain& w = *w_;
        QCOMPARE(w.cmdConnect->text(), QStringLiteral("Connect"));
        for (QWidget* on :
             std::initializer_list<QWidget*>{w.fComm, w.fID, w.cmdConnect, w.fMonitor}) {
            QVERIFY2(on->isEnabled(), qPrintable(on->objectName()));
        }
        for (QWidget* off : {w.fCom5, w.fCom6, w.fCom16, w.fCom4}) {
            QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
        }
        // Nothing inside a disabled frame can be used.
        QVERIFY(!w.cmdSend05->isEnabled());
        QVERIFY(!w.cboDataH06->isEnabled());
        // No baud rate is chosen until one is restored or clicked, and then only one.
        QCOMPARE(w.optBaud->checkedButton(), nullptr);
        w.opt19200->click();
        w.opt38400->click();
        QVERIFY(!w.opt19200->isChecked());
        QCOMPARE(w.optBaud->checkedButton(), w.opt38400);
    }

    void colouredLabels_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("back");
        QTest::addColumn<QColor>("text");
        QTest::newRow("lblTxData") << "lblTxData" << QColor(255, 255, 128) << QColor(0, 0, 255);
        QTest::newRow("lblRxData") << "lblRxData" << QColor(0, 255, 0) << QColor(255, 0, 0);
        QTest::newRow("lblReg3x") << "lblReg3x" << QColor(128, 255, 128) << QColor();
    }
    void colouredLabels() {
        QFETCH(QString, name);
        QFETCH(QColor, back);
        QFETCH(QColor, text);
        for (QLabel* l : w_->findChildren<QLabel*>(name)) {
            QVERIFY(l->autoFillBackground());
            QVERIFY(l->frameShape() != QFrame::NoFrame);
            QCOMPARE(l->palette().color(QPalette::Window), back);
            if (text.isValid()) {
                QCOMPARE(l->palette().color(QPalette::WindowText), text);
            }
            QCOMPARE(l->text(), QString());
        }
    }

    // The register labels form one array in display order, each right of its caption.
    void registerArray() {
        frmMain& w = *w_;
        const std::array<QLabel*, 3> captions{w.Label13, w.Label14, w.Label15};
        for (std::size_t i = 0; i < 3; ++i) {
            QCOMPARE(w.lblReg3x[i]->parentWidget(), w.fCom4);
            QCOMPARE(w.lblReg3x[i]->geometry().top(), captions[i]->geometry().top());
            QVERIFY(w.lblReg3x[i]->geometry().left() > captions[i]->geometry().left());
            if (i < 2) {
                QVERIFY(w.lblReg3x[i]->geometry().right() < captions[i + 1]->geometry().left());
            }
        }
    }

    void fixedLists() {
        frmMain& w = *w_;
        const auto itemsOf = [](const QComboBox* c) {
            QStringList out;
            for (int i = 0; i < c->count(); ++i) {
                out << c->itemText(i);
            }
            return out;
        };
        QCOMPARE(itemsOf(w.cboDF), (QStringList{"8N1", "8N2", "8E1"}));
        QCOMPARE(itemsOf(w.cboModule), (QStringList{"Korvo-216", "Korvo-420"}));
        QCOMPARE(w.cboComm->count(), 20);
        QCOMPARE(w.cboComm->itemText(0), QStringLiteral("1"));
        QCOMPARE(w.cboComm->itemText(19), QStringLiteral("20"));
        QCOMPARE(w.cboSlaveID->count(), 255);
        QCOMPARE(w.cboSlaveID->itemText(9), QStringLiteral("10"));
        QCOMPARE(w.cboSlaveID->itemText(254), QStringLiteral("255"));
        for (QComboBox* c : {w.cboDataH06, w.cboDataL06}) {
            QCOMPARE(c->count(), 256);
            QCOMPARE(c->itemText(0), QStringLiteral("0x00"));
            QCOMPARE(c->itemText(15), QStringLiteral("0x0F"));
            QCOMPARE(c->itemText(171), QStringLiteral("0xAB"));
            QCOMPARE(c->itemText(255), QStringLiteral("0xFF"));
            QCOMPARE(c->currentIndex(), 0);
        }
        for (QComboBox* c : {w.cboAddr04, w.cboAddr05, w.cboData05, w.cboAddr06, w.cboAddr16}) {
            QCOMPARE(c->count(), 0);
        }
    }

  private:
    std::unique_ptr<IniFolder> ini_;
    std::unique_ptr<frmMain> w_;
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
