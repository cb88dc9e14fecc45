// SPDX-License-Identifier: MIT
// The main window as it opens and closes: its fixed lists, its start state, and what it
// restores from and saves to modlcd.ini.

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <optional>

#include "app/configswitch.h"
#include "app/frmMain.h"
#include "app/modVar.h"
#include "settings/modINI.h"
#include "tests/support/inifolder.h"
#include "tests/support/widgettest.h"
#include "widgets/messagebox.h"

using namespace testsupport;

namespace {

QStringList itemsOf(const QComboBox* c) {
    QStringList out;
    for (int i = 0; i < c->count(); ++i) {
        out << c->itemText(i);
    }
    return out;
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        recordMessages();
        ini_ = std::make_unique<IniFolder>();
    }
    void cleanup() { ini_.reset(); }

    void opensDisconnectedWithFixedLists() {
        frmMain w;
        // Configure LCD stays a single item that acts on click; View and Tools stand beside it.
        QCOMPARE(w.menuBar()->actions().size(), 3);
        QCOMPARE(w.menuBar()->actions().constFirst(), w.mnuCfg);
        QCOMPARE(w.menuBar()->actions().at(1)->text(), QStringLiteral("View"));
        QCOMPARE(w.menuBar()->actions().constLast(), w.toolsMenu->menuAction());
        QCOMPARE(w.mnuCfg->menu(), nullptr);
        QCOMPARE(w.cmdConnect->text(), QStringLiteral("Connect"));
        for (QWidget* off : {w.fCom5, w.fCom6, w.fCom16, w.fCom4}) {
            QVERIFY(!off->isEnabled());
        }
        QVERIFY(!w.mnuCfg->isEnabled() && !w.cmdSend05->isEnabled() && w.fComm->isEnabled());
        QVERIFY(!w.Timer1->isActive());
        QCOMPARE(w.Timer1->interval(), 20);
        QCOMPARE(w.MSComm1.InputMode(), MSComm::InputModeKind::Binary);

        QCOMPARE(itemsOf(w.cboDF), (QStringList{"8N1", "8N2", "8E1"}));
        QCOMPARE(itemsOf(w.cboModule), (QStringList{"Korvo-216", "Korvo-420"}));
        QCOMPARE(itemsOf(w.cboComm).mid(18), (QStringList{"19", "20"}));
        QCOMPARE(w.cboSlaveID->count(), 255);
        QCOMPARE(w.cboSlaveID->itemText(254), QStringLiteral("255"));
        QCOMPARE(w.cboDataL06->count(), 256);
        QCOMPARE(w.cboDataL06->itemText(10), QStringLiteral("0x0A"));
        QCOMPARE(w.cboDataH06->itemText(171), QStringLiteral("0xAB"));
        QCOMPARE(w.cboAddr05->count(), 0);
    }

    void restores_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("format");        // text shown in cboDF
        QTest::addColumn<QList<int>>("positions");  // cboDF, cboComm, cboSlaveID, cboModule
        const auto row = [](const char* name, const char* ini, const char* baud, const char* format,
                            const QList<int>& positions) {
            QTest::newRow(name) << QByteArray(ini) << baud << format << positions;
        };
        // What is missing or unreadable is 9600 8N1, port 1, slave 1, Korvo-420; a stored "0"
        // still selects nothing.
        row("first run", "", "opt9600", "8N1", {0, 0, 0, 1});
        row("38400 8E1", "[Settings]\nSetting=38400,e,8,1\nCommPort=20", "opt38400", "8E1",
            {2, 19, 0, 1});
        row("9600 8N2", "[Settings]\nSetting=9600,n,8,2\nCommPort=1", "opt9600", "8N2",
            {1, 0, 0, 1});
        row("baud only", "[settings]\nsetting=19200", "opt19200", "8N1", {0, 0, 0, 1});
        row("format only", "[Settings]\nSetting=,e,8,1", "opt9600", "8E1", {2, 0, 0, 1});
        row("unreadable setting", "[Settings]\nSetting=fast", "opt9600", "8N1", {0, 0, 0, 1});
        row("zero selects nothing", "[Settings]\nCommPort=0\n[LCD]\nSlave=0", "opt9600", "8N1",
            {0, -1, -1, 1});
        row("last slave, 16x2", "[LCD]\nSlave=255\nModule=1602", "opt9600", "8N1", {0, 0, 254, 0});
        row("out of range", "[Settings]\nCommPort=21\n[LCD]\nSlave=256\nModule=16020", "opt9600",
            "8N1", {0, 0, 0, 1});
        row("not numbers", "[Settings]\nCommPort=COM3\n[LCD]\nSlave=-1\nModule=16x2", "opt9600",
            "8N1", {0, 0, 0, 1});
        row("binary garbage", "\x01\xff[\x7f\x80=\n\n=[\xfe]", "opt9600", "8N1", {0, 0, 0, 1});
    }
    void restores() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, baud);
        QFETCH(QString, format);
        QFETCH(QList<int>, positions);
        ini_->write(ini);
        frmMain w;
        const QAbstractButton* checked = w.optBaud->checkedButton();
        QCOMPARE(checked != nullptr ? checked->objectName() : QString(), baud);
        QCOMPARE(w.cboDF->currentText(), format);
        const QList<int> actual{w.cboDF->currentIndex(), w.cboComm->currentIndex(),
                                w.cboSlaveID->currentIndex(), w.cboModule->currentIndex()};
        QCOMPARE(actual, positions);
        QCOMPARE(w.cboDataH06->currentIndex(), 0);
    }

    // Port and line settings are saved as the connect button last used them, the slave and
    // module as their lists stand.
    void savesOnClose() {
        ini_->write(
            "[Settings]\r\nCommPort=5\r\nSetting=19200,n,8,2\r\n[LCD]\r\nSlave=7\r\nModule="
            "2004\r\n");
        frmMain w;
        w.show();
        w.cboComm->setCurrentIndex(2);
        w.opt9600->click();
        w.cboSlaveID->setCurrentIndex(99);
        w.cboModule->setCurrentIndex(0);
        w.close();
        QCOMPARE(ini_->read(),
                 "[Settings]\r\nCommPort=5\r\nSetting=19200,n,8,2\r\n[LCD]\r\nSlave=100\r\nModule="
                 "1602\r\n");
        QVERIFY(shownMessages().isEmpty());
    }

    void typedTextIsNoSelection() {
        {
            frmMain w;
            typeInto(w.cboSlaveID, QStringLiteral("042"));
            QCOMPARE(w.cboSlaveID->currentIndex(), -1);
            QCOMPARE(w.cboSlaveID->currentText(), QStringLiteral("042"));
            typeInto(w.cboDF, QStringLiteral("8e1"));
            QCOMPARE(w.cboDF->currentIndex(), -1);
            typeInto(w.cboDF, QStringLiteral("8E1"));
            QCOMPARE(w.cboDF->currentIndex(), 2);
            typeInto(w.cboModule, QStringLiteral("Korvo"));
            w.close();
        }
        QVERIFY(ini_->read().contains("Slave=0\r\nModule=2004\r\n"));
        frmMain next;
        QCOMPARE(next.cboSlaveID->currentIndex(), -1);
    }

    // The window reports a failure of its own save, once, and not a failed write of another.
    void failedSave_data() {
        QTest::addColumn<bool>("ownFails");
        QTest::newRow("its own save") << true;
        QTest::newRow("another window's write") << false;
    }
    void failedSave() {
        QFETCH(bool, ownFails);
        QTemporaryFile notAFolder;
        QVERIFY(notAFolder.open());
        modINI::setFolder(notAFolder.fileName());
        {
            frmMain w;
            w.show();
            if (!ownFails) {
                QVERIFY(!WriteINI(QStringLiteral("Cfg2004"), QStringLiteral("Saddr"),
                                  QStringLiteral("5")));
                modINI::setFolder(ini_->path());
            }
            w.close();
        }
        QCOMPARE(shownMessages().size(), ownFails ? 1 : 0);
        if (ownFails) {
            QVERIFY(shownMessages().front().contains(QStringLiteral("could not be saved")));
        } else {
            QVERIFY(ini_->read().contains("[LCD]\r\nSlave=1\r\nModule=2004\r\n"));
        }
    }

    // The traffic log and the finder go with the main window; a configuration window stays
    // to finish its work.
    void closingTakesItsWindows_data() {
        QTest::addColumn<QStringList>("open");  // menu actions triggered before closing
        QTest::addColumn<bool>("configuring");
        QTest::newRow("traffic log") << QStringList{"mnuTrafficLog"} << false;
        QTest::newRow("finder") << QStringList{"mnuFind"} << false;
        QTest::newRow("bus monitor") << QStringList{"mnuMonitor"} << false;
        QTest::newRow("all, and a configuration window")
            << QStringList{"mnuTrafficLog", "mnuFind", "mnuMonitor"} << true;
    }
    void closingTakesItsWindows() {
        QFETCH(QStringList, open);
        QFETCH(bool, configuring);
        const auto shown = [] {
            QStringList classes;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->isVisible()) {
                    classes << QString::fromLatin1(top->metaObject()->className());
                }
            }
            classes.sort();
            return classes;
        };
        {
            frmMain w;
            w.show();
            for (const QString& name : open) {
                w.findChild<QAction*>(name)->trigger();
            }
            if (configuring) {
                // A port that is nowhere, so that no test running beside this one loses its own.
                PortNumber = QStringLiteral("20");
                configui::openWindow(1);
            }
            QCOMPARE(shown().size(), open.size() + (configuring ? 2 : 1));
            w.close();
            QCOMPARE(shown(), configuring ? QStringList{"frmConfig2004"} : QStringList{});
        }
        closeAllWindows();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The finder's "use this" goes through useLineChoice: what it sets comes back from
    // lineChoice, a field without a choice leaves its list alone, and every change is told
    // with the choice as the lists then hold it.
    void lineChoiceRoundTrip_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("slave");
        QTest::newRow("all fields") << 4 << 38400 << 2 << 16;
        QTest::newRow("port left alone") << 0 << 19200 << 1 << 0;
        QTest::newRow("only the address") << 0 << 0 << -1 << 246;
    }
    void lineChoiceRoundTrip() {
        QFETCH(int, port);
        QFETCH(int, baud);
        QFETCH(int, format);
        QFETCH(int, slave);
        frmMain w;
        const frmMain::LineChoice before = w.lineChoice();
        std::optional<frmMain::LineChoice> told;
        connect(&w, &frmMain::lineChoiceChanged, this,
                [&told](const frmMain::LineChoice& c) { told = c; });
        w.useLineChoice(
            {.portNumber = port, .baud = baud, .formatIndex = format, .slavePosition = slave});
        const frmMain::LineChoice now = w.lineChoice();
        QCOMPARE(now.portNumber, port > 0 ? port : before.portNumber);
        QCOMPARE(now.baud, baud > 0 ? baud : before.baud);
        QCOMPARE(now.formatIndex, format >= 0 ? format : before.formatIndex);
        QCOMPARE(now.slavePosition, slave);
        QCOMPARE(w.cboSlaveID->currentText(), QString::number(slave + 1));
        QVERIFY(told.has_value());
        QVERIFY(*told == now);
    }

  private:
    std::unique_ptr<IniFolder> ini_;
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
