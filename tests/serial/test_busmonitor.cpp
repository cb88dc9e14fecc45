// SPDX-License-Identifier: MIT
// The listen-only monitor on a real pseudo-terminal: what the far end says comes out as
// frames, paired and counted, and nothing the monitor does reaches the line.

#include <QTest>
#include <QThread>

#include "serial/busmonitor.h"
#include "tests/support/frames.h"
#include "tests/support/ptypair.h"

using namespace testsupport;

namespace {

QString rendered(const busframe::Frame& f) {
    QString line = busframe::directionName(f.direction) + u' ' +
                   hexOf(QByteArray(reinterpret_cast<const char*>(f.bytes.data()),
                                    static_cast<qsizetype>(f.bytes.size())));
    if (!f.crcOk) {
        line += QStringLiteral(" bad-crc");
    }
    if (f.requestNumber) {
        line += QStringLiteral(" answers %1").arg(*f.requestNumber);
    }
    return line;
}

QByteArray corrupted(QByteArray frame) {
    frame[frame.size() - 2] = static_cast<char>(~frame[frame.size() - 2]);
    return frame;
}

const QByteArray Read04 = withCrc("01 04 00 00 00 01");
const QByteArray Reply04 = withCrc("01 04 02 00 0A");
const QByteArray Write06 = withCrc("02 06 00 01 12 34");
const QByteArray Unknown2B = withCrc("01 2B 0E 01 00");
const QByteArray Upload20x4 =
    fromHex("05 19 0E 81 01 02 00 14 01 01 01 01 00 00 00 00 00 00 00 00 C8 38 00");

}  // namespace

class TestBusMonitor : public QObject {
    Q_OBJECT
  private slots:
    void listens_data() {
        // Each write is "MS HEX": wait at least MS ms, then write the bytes at once.
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QString>("figures");  // per slave: requests/replies/no reply/crc

        QTest::newRow("request and reply apart")
            << QStringList{"0 " + hexOf(Read04), "20 " + hexOf(Reply04)}
            << QStringList{"request " + hexOf(Read04), "reply " + hexOf(Reply04) + " answers 1"}
            << "1: 1/1/0/0";
        QTest::newRow("request and reply in one write")
            << QStringList{"0 " + hexOf(Read04 + Reply04)}
            << QStringList{"request " + hexOf(Read04), "reply " + hexOf(Reply04) + " answers 1"}
            << "1: 1/1/0/0";
        QTest::newRow("a reply with a wrong CRC")
            << QStringList{"0 " + hexOf(Read04), "20 " + hexOf(corrupted(Reply04))}
            << QStringList{"request " + hexOf(Read04),
                           "reply " + hexOf(corrupted(Reply04)) + " bad-crc answers 1"}
            << "1: 1/0/0/1";
        QTest::newRow("a request nobody answers, then another")
            << QStringList{"0 " + hexOf(Read04), "50 " + hexOf(Write06), "20 " + hexOf(Write06)}
            << QStringList{"request " + hexOf(Read04), "request " + hexOf(Write06),
                           "reply " + hexOf(Write06) + " answers 2"}
            << "1: 1/0/1/0, 2: 1/1/0/0";
        // Nothing but the silence ends these: the monitor's own timer must close them.
        QTest::newRow("an unknown function") << QStringList{"0 " + hexOf(Unknown2B)}
                                             << QStringList{"unknown " + hexOf(Unknown2B)} << "";
        QTest::newRow("a 20x4 configuration upload")
            << QStringList{"0 " + hexOf(Upload20x4)} << QStringList{"request " + hexOf(Upload20x4)}
            << "";
    }
    void listens() {
        QFETCH(QStringList, writes);
        QFETCH(QStringList, frames);
        QFETCH(QString, figures);
        PtyPair pty;
        busmonitor::BusMonitor monitor;
        QStringList seen;
        connect(&monitor, &busmonitor::BusMonitor::frame,
                [&](const busframe::Frame& f) { seen << rendered(f); });
        QCOMPARE(monitor.start(pty.slavePath(), serial::LineSettings{}), QString());
        std::uint64_t written = 0;
        for (const QString& w : writes) {
            QTest::qWait(w.section(u' ', 0, 0).toInt());
            const QByteArray bytes = fromHex(w.section(u' ', 1).toLatin1().constData());
            pty.write(bytes);
            written += static_cast<std::uint64_t>(bytes.size());
        }
        // Frames that only the silence ends come out without a stop.
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), frames.size(), 20'000);
        QCOMPARE(seen, frames);
        QStringList counted;
        for (const auto& s : monitor.tally().slaves()) {
            counted << QStringLiteral("%1: %2/%3/%4/%5")
                           .arg(s.address)
                           .arg(s.requests)
                           .arg(s.replies)
                           .arg(s.noReply)
                           .arg(s.crcErrors);
        }
        QCOMPARE(counted.join(QStringLiteral(", ")), figures);
        monitor.stop();
        // The far end of the line heard nothing from the monitor, from open to close.
        QCOMPARE(pty.readAll(300), QByteArray());
        QCOMPARE(monitor.bytesRead(), written);
    }

    void refusesMissingPort() {
        busmonitor::BusMonitor monitor;
        QVERIFY(!monitor.start(QStringLiteral("/dev/no-such-tty-here"), serial::LineSettings{})
                     .isEmpty());
        QVERIFY(!monitor.isRunning());
    }
};

QTEST_MAIN(TestBusMonitor)
#include "test_busmonitor.moc"
