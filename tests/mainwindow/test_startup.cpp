// What the main window restores from modlcd.ini when it opens, and what it writes back
// when it closes.

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTest>

#include "frmMain.h"
#include "inifolder.h"
#include "modINI.h"
#include "modVar.h"

namespace {

QStringList& shownMessages() {
    static QStringList messages;
    return messages;
}

void typeInto(QComboBox* list, const QString& text) {
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), text);
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        shownMessages().clear();
        frmMain::showMessage = [](QWidget*, const QString& text, QMessageBox::Icon) {
            shownMessages() << text;
        };
        ini_ = std::make_unique<IniFolder>();
    }
    void cleanup() { ini_.reset(); }

    void restoresPortSettings_data() {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("formatText");
        QTest::newRow("38400 8E1") << QByteArray("Setting=38400,e,8,1") << "opt38400" << 2 << "8E1";
        QTest::newRow("9600 8N2") << QByteArray("Setting=9600,n,8,2") << "opt9600" << 1 << "8N2";
        QTest::newRow("19200 8N1") << QByteArray("setting=19200,n,8,1") << "opt19200" << 0 << "8N1";
        QTest::newRow("baud without format") << QByteArray("Setting=9600") << "" << -1 << "Combo1";
        QTest::newRow("format without baud") << QByteArray("Setting=,n,8,1") << "" << 0 << "8N1";
        QTest::newRow("odd parity")
            << QByteArray("Setting=9600,o,8,1") << "opt9600" << -1 << "Combo1";
        QTest::newRow("missing") << QByteArray() << "" << -1 << "Combo1";
    }
    void restoresPortSettings() {
        QFETCH(QByteArray, setting);
        QFETCH(QString, baud);
        QFETCH(int, format);
        QFETCH(QString, formatText);
        ini_->write("[Settings]\r\n" + setting + "\r\n");
        frmMain w;
        const QAbstractButton* checked = w.optBaud->checkedButton();
        QCOMPARE(checked != nullptr ? checked->objectName() : QString(), baud);
        QCOMPARE(w.cboDF->currentIndex(), format);
        QCOMPARE(w.cboDF->currentText(), formatText);
        QCOMPARE(PortSettings, QString::fromLatin1(setting.mid(8)));
    }

    void restoresListPositions_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("slave");
        QTest::addColumn<int>("module");
        const auto row = [](const char* name, const char* port, const char* slave,
                            const char* module, int p, int s, int m) {
            QByteArray ini = "[Settings]\r\n";
            if (port != nullptr) {
                ini += QByteArray("CommPort=") + port + "\r\n";
            }
            ini += "[LCD]\r\n";
            if (slave != nullptr) {
                ini += QByteArray("Slave=") + slave + "\r\n";
            }
            if (module != nullptr) {
                ini += QByteArray("Module=") + module + "\r\n";
            }
            QTest::newRow(name) << ini << p << s << m;
        };
        row("first items", "1", "1", "1602", 0, 0, 0);
        row("last items", "20", "255", "2004", 19, 254, 1);
        row("zero selects nothing", "0", "0", "", -1, -1, 1);
        row("missing", nullptr, nullptr, nullptr, 0, 0, 1);
        row("not numbers", "COM3", "one", "16x2", 0, 0, 1);
        row("out of range", "21", "256", "16020", 0, 0, 1);
        row("negative", "-4", "-1", "1602", 0, 0, 0);
        row("spaces around a number", " 7 ", "12 ", "2004", 6, 11, 1);
    }
    void restoresListPositions() {
        QFETCH(QByteArray, ini);
        QFETCH(int, port);
        QFETCH(int, slave);
        QFETCH(int, module);
        ini_->write(ini);
        frmMain w;
        QCOMPARE(w.cboComm->currentIndex(), port);
        QCOMPARE(w.cboSlaveID->currentIndex(), slave);
        QCOMPARE(w.cboModule->currentIndex(), module);
        QCOMPARE(w.cboDataH06->currentIndex(), 0);
        QCOMPARE(w.cboDataL06->currentIndex(), 0);
    }

    void garbageFileStillOpens() {
        QByteArray junk(4096, '\0');
        for (int i = 0; i < junk.size(); ++i) {
            junk[i] = static_cast<char>((i * 131 + 7) % 256);
        }
        ini_->write(junk);
        frmMain w;
        QCOMPARE(w.cboModule->currentIndex(), 1);
        QVERIFY(w.optBaud->checkedButton() == nullptr);
    }

    // Port and line settings are saved only as the connect button last used them; slave and
    // module as their lists stand at the close.
    void closeWithoutConnecting() {
        ini_->write(
            "[Settings]\r\nCommPort=5\r\nSetting=19200,n,8,2\r\n[LCD]\r\nSlave=7\r\nModule="
            "2004\r\n");
        frmMain w;
        w.show();
        w.cboComm->setCurrentIndex(2);
        w.opt9600->click();
        w.cboDF->setCurrentIndex(0);
        w.cboSlaveID->setCurrentIndex(99);
        w.cboModule->setCurrentIndex(0);
        w.close();
        QCOMPARE(ini_->read(), QByteArray("[Settings]\r\nCommPort=5\r\nSetting=19200,n,8,2\r\n[LCD]"
                                          "\r\nSlave=100\r\nModule=1602\r\n"));
        QVERIFY(shownMessages().isEmpty());
    }

    void firstRunClose() {
        {
            frmMain w;
            w.close();
        }
        QCOMPARE(ini_->read(),
                 QByteArray(
                     "[Settings]\r\nCommPort=\r\nSetting=\r\n[LCD]\r\nSlave=1\r\nModule=2004\r\n"));
        // ...and the next run opens on the same first items.
        frmMain again;
        QCOMPARE(again.cboComm->currentIndex(), 0);
        QCOMPARE(again.cboSlaveID->currentIndex(), 0);
    }

    void typedTextSavesNoSelection() {
        ini_->write("[LCD]\r\nSlave=3\r\nModule=1602\r\n");
        {
            frmMain w;
            typeInto(w.cboSlaveID, QStringLiteral("300"));
            QCOMPARE(w.cboSlaveID->currentIndex(), -1);
            QCOMPARE(w.cboSlaveID->currentText(), QStringLiteral("300"));
            typeInto(w.cboModule, QStringLiteral("Korvo"));
            QCOMPARE(w.cboModule->currentIndex(), -1);
            w.close();
        }
        QVERIFY(ini_->read().contains("Slave=0\r\n"));
        QVERIFY(ini_->read().contains("Module=2004\r\n"));
        frmMain next;
        QCOMPARE(next.cboSlaveID->currentIndex(), -1);
    }

    void typedItemTextSelectsIt_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("position");
        QTest::newRow("an item") << "42" << 41;
        QTest::newRow("leading zero") << "042" << -1;
        QTest::newRow("case differs") << "8e1" << -1;
        QTest::newRow("format item") << "8E1" << 2;
    }
    void typedItemTextSelectsIt() {
        QFETCH(QString, typed);
        QFETCH(int, position);
        frmMain w;
        QComboBox* list = typed.startsWith(QLatin1Char('8')) ? w.cboDF : w.cboSlaveID;
        typeInto(list, typed);
        QCOMPARE(list->currentIndex(), position);
        QCOMPARE(list->currentText(), typed);
    }

    void failedSaveIsReportedOnce() {
        QTemporaryFile notAFolder;
        QVERIFY(notAFolder.open());
        modINI::setFolder(notAFolder.fileName());
        {
            frmMain w;
            w.close();
        }
        QCOMPARE(shownMessages().size(), 1);
        QVERIFY(shownMessages().front().contains(QStringLiteral("could not be saved")));
        QVERIFY(!modINI::takeWriteFailure());
    }

  private:
    std::unique_ptr<IniFolder> ini_;
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
