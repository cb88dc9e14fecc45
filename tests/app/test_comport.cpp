// SPDX-License-Identifier: MIT
// The Windows build against korvo-sim over a real COM port: scripts/windows has Wine map
// COMn to the simulator's pseudo-terminal and names n in TESSALINE_TEST_COM, and the
// simulator's model in TESSALINE_TEST_MODEL. Without them there is no module at the other
// end and every case is skipped.

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <memory>

#include <windows.h>

#include "app/config/frmConfig1602.h"
#include "app/config/frmConfig2004.h"
#include "app/frmMain.h"
#include "app/modVar.h"
#include "serial/mscomm.h"
#include "settings/ansicodepage.h"
#include "settings/modINI.h"
#include "settings/ports.h"
#include "tests/support/frames.h"
#include "tests/support/inifolder.h"
#include "tests/support/widgettest.h"

using namespace testsupport;

namespace {

int comPort() {
    return qEnvironmentVariableIntValue("TESSALINE_TEST_COM");
}

// The main window's requests and the serial control's read need the 20x4 module: the 16x2
// one has no input register 0.
bool model420() {
    return qEnvironmentVariable("TESSALINE_TEST_MODEL") == QStringLiteral("420");
}

bool underWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// korvo-sim's line for Modbus; uploads always go at 9600 8N1.
const QString ModbusLine = QStringLiteral("19200,n,8,2");

const QByteArray Read04 = fromHex("01 04 00 00 00 01 31 CA");
const QByteArray Reply04 = fromHex("01 04 02 00 0A 39 37");

// Sends a read at these settings; the reply, or nothing within half a second.
QByteArray readAt(MSComm& port, const QString& settings) {
    port.Settings(settings);
    static_cast<void>(port.Input());
    port.Output(Read04);
    static_cast<void>(QTest::qWaitFor([&] { return port.InBufferCount() >= 7; }, 500));
    return port.Input();
}

}  // namespace

class TestComPort : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        if (comPort() < 1) {
            QSKIP("no module: TESSALINE_TEST_COM names no COM port");
        }
        recordMessages();
    }

    // The Win32 serial control: the port opens once, sets the line on an open port (the
    // simulator hears nothing sent at another speed or stop bit count), and reports arrivals.
    void win32Backend() {
        if (!model420()) {
            QSKIP("needs the 20x4 module at the other end");
        }
        MSComm port{settings::portDevice};
        port.CommPort(comPort());
        port.Settings(ModbusLine);
        port.PortOpen(true);
        QVERIFY(port.PortOpen());
        QCOMPARE(port.deviceName(), QStringLiteral("COM%1").arg(comPort()));

        // Windows gives a COM port to one handle at a time; Wine lets a second one in.
        if (!underWine()) {
            MSComm other{settings::portDevice};
            other.CommPort(comPort());
            QVERIFY_THROWS_EXCEPTION(serial::CommError, other.PortOpen(true));
        }
        MSComm missing{settings::portDevice};
        missing.CommPort(99);
        try {
            missing.PortOpen(true);
            QFAIL("COM99 opened");
        } catch (const serial::CommError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("COM99")), e.what());
        }

        QSignalSpy arrived(&port, &MSComm::arrived);
        QCOMPARE(readAt(port, ModbusLine), Reply04);
        QByteArray seen;
        for (const QList<QVariant>& one : arrived) {
            seen += one.constFirst().toByteArray();
        }
        QCOMPARE(seen, Reply04);
        QCOMPARE(readAt(port, QStringLiteral("9600,n,8,2")), QByteArray());
        QCOMPARE(readAt(port, QStringLiteral("19200,n,8,1")), QByteArray());
        QCOMPARE(readAt(port, ModbusLine), Reply04);
        port.PortOpen(false);
        QVERIFY(!port.PortOpen());
        QVERIFY_THROWS_EXCEPTION(serial::CommError, port.Output(Read04));
    }

    // The adapter pulled out (korvo-sim stopped by scripts/windows when this case asks, by
    // creating the file TESSALINE_TEST_UNPLUG names, which goes once the line is closed): the
    // next send fails with the port's name, the control tells its owner once and is closed.
    // The waits are bounds on a busy machine, not the times this takes.
    void unplugged() {
        const QString signalFile = qEnvironmentVariable("TESSALINE_TEST_UNPLUG");
        if (signalFile.isEmpty()) {
            QSKIP("nobody at the other end pulls the adapter out");
        }
        MSComm port{settings::portDevice};
        port.CommPort(comPort());
        port.Settings(ModbusLine);
        port.PortOpen(true);
        QCOMPARE(readAt(port, ModbusLine), Reply04);
        QSignalSpy failed(&port, &MSComm::portFailed);
        QFile unplug(signalFile);
        QVERIFY(unplug.open(QIODevice::WriteOnly));
        unplug.close();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(signalFile), 60000);
        QString reason;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                try {
                    if (port.PortOpen()) {
                        port.Output(Read04);
                    }
                    return !port.PortOpen();
                } catch (const serial::CommError& e) {
                    reason = QString::fromUtf8(e.what());
                    return true;
                }
            }(),
            60000);
        QVERIFY(!port.PortOpen());
        // The port reads as closed as soon as its failure is noted; the signal may come from
        // the event loop after that, when the backend's own poll met the failure first.
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 60000);
        QVERIFY2(failed.constFirst().constFirst().toString().contains(
                     QStringLiteral("COM%1").arg(comPort())),
                 qPrintable(failed.constFirst().constFirst().toString()));
        QVERIFY_THROWS_EXCEPTION(serial::CommError, port.Output(Read04));
        QTest::qWait(100);
        QCOMPARE(failed.size(), 1);
    }

    // Connect and the four Sends, as a technician clicks them.
    void mainWindow() {
        if (!model420()) {
            QSKIP("needs the 20x4 module at the other end");
        }
        IniFolder ini;
        ini.write("[Settings]\r\nCommPort=" + QByteArray::number(comPort()) + "\r\nSetting=" +
                  ModbusLine.toLatin1() + "\r\n[LCD]\r\nSlave=1\r\nModule=2004\r\n");
        frmMain w;
        w.cmdConnect->click();
        QVERIFY2(w.MSComm1.PortOpen(), qPrintable(shownMessages().join('\n')));
        QCOMPARE(w.cmdConnect->text(), QStringLiteral("Disconnect"));

        w.cboSlaveID->setCurrentIndex(0);
        w.cboAddr04->setCurrentIndex(0);
        w.cmdSend04->click();
        QCOMPARE(w.lblRxData->text(), spaced(Reply04));

        w.cboAddr05->setCurrentIndex(3);
        w.cboData05->setEditText(QStringLiteral("0xFF00"));
        w.cmdSend05->click();
        const QByteArray coil = withCrc("01 05 00 03 FF 00");
        QCOMPARE(w.lblTxData->text(), spaced(coil));
        QCOMPARE(w.lblRxData->text(), spaced(coil));

        w.cboAddr06->setCurrentIndex(1);
        w.cboDataH06->setCurrentIndex(0x12);
        w.cboDataL06->setCurrentIndex(0x34);
        w.cmdSend06->click();
        const QByteArray write = withCrc("01 06 00 01 12 34");
        QCOMPARE(w.lblTxData->text(), spaced(write));
        QCOMPARE(w.lblRxData->text(), spaced(write));

        w.cboAddr16->setCurrentIndex(0);
        w.txtMessage->setText(QStringLiteral("Hi!"));
        w.cmdSend16->click();
        QCOMPARE(w.lblTxData->text(),
                 spaced(withCrc(fromHex("01 10 00 00 00 02 04") + QByteArray("Hi! "))));
        QCOMPARE(w.lblRxData->text(), spaced(withCrc("01 10 00 00 00 02")));

        w.cmdConnect->click();
        QVERIFY(!w.MSComm1.PortOpen());
        QVERIFY(shownMessages().isEmpty());
    }

    // Under a Russian locale a message goes out in code page 1251: "При" is CF F0 E8.
    void messageInCodePage() {
        if (!model420()) {
            QSKIP("needs the 20x4 module at the other end");
        }
        if (settings::ansiCodePage().number != 1251) {
            QSKIP("the system runs another code page than 1251");
        }
        IniFolder ini;
        ini.write("[Settings]\r\nCommPort=" + QByteArray::number(comPort()) +
                  "\r\nSetting=" + ModbusLine.toLatin1() + "\r\n[LCD]\r\nSlave=1\r\n");
        frmMain w;
        w.cmdConnect->click();
        w.cboSlaveID->setCurrentIndex(0);
        w.cboAddr16->setCurrentIndex(0);
        w.txtMessage->setText(QStringLiteral("\u041F\u0440\u0438"));
        w.cmdSend16->click();
        QCOMPARE(w.lblTxData->text(), spaced(withCrc("01 10 00 00 00 02 04 CF F0 E8 20")));
        QCOMPARE(w.lblRxData->text(), spaced(withCrc("01 10 00 00 00 02")));
    }

    // Send & Verify in each configuration window: the upload at 9600 8N1, then one probe at
    // the module's new address and line, 38400 8E1, answered in the window.
    void upload_data() {
        QTest::addColumn<QString>("model");
        QTest::newRow("16x2") << "216";
        QTest::newRow("20x4") << "420";
    }
    void upload() {
        QFETCH(QString, model);
        if (qEnvironmentVariable("TESSALINE_TEST_MODEL") != model) {
            QSKIP("the module at the other end is of the other model");
        }
        IniFolder ini;
        PortNumber = QString::number(comPort());
        std::unique_ptr<QWidget> w;
        if (model == "216") {
            auto* c = new frmConfig1602;
            c->cboaddr->setCurrentIndex(36);
            c->cbobaud->setCurrentIndex(2);
            c->cboDF->setCurrentIndex(2);
            QTest::keyClicks(c->txtMessage[2], QStringLiteral("Tessaline"));
            w.reset(c);
        } else {
            auto* c = new frmConfig2004;
            c->cboaddr->setCurrentIndex(36);
            c->cbobaud->setCurrentIndex(2);
            c->cboDF->setCurrentIndex(2);
            w.reset(c);
        }
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->findChild<QSpinBox*>("settleBox")->setValue(20);
        auto* verify = w->findChild<QPushButton*>("cmdVerify");
        verify->click();
        QTRY_VERIFY_WITH_TIMEOUT(verify->isEnabled(), 5000);
        QCOMPARE(w->findChild<QLabel*>("lblVerify")->text(),
                 QStringLiteral("Module answers at address 37, 38400 8E1"));
        QVERIFY(shownMessages().isEmpty());
    }
};

QTEST_MAIN(TestComPort)
#include "test_comport.moc"
