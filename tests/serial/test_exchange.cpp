// SPDX-License-Identifier: MIT
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>

#include "core/modbus.h"
#include "serial/exchange.h"
#include "serial/mscomm.h"
#include "settings/modINI.h"
#include "settings/ports.h"
#include "tests/support/frames.h"
#include "tests/support/inifolder.h"
#include "tests/support/ptypair.h"

using namespace testsupport;

using modbus::Outcome;

Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(modbus::Command)

namespace {

constexpr int kPort = 5;

// The far end of the line: takes each request and answers it at once with the next
// scripted reply (an empty one is silence).
class Peer {
  public:
    explicit Peer(PtyPair& line) : line_(line), notifier_(line.masterFd(), QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { take(); });
    }
    void answer(const QByteArray& reply) { reply_ = reply; }
    QByteArray received() {
        take();
        return received_;
    }

  private:
    void take() {
        const QByteArray request = line_.readAll(0);
        received_ += request;
        if (!request.isEmpty() && !reply_.isEmpty()) {
            line_.write(std::exchange(reply_, {}));
        }
    }

    PtyPair& line_;
    QSocketNotifier notifier_;
    QByteArray received_;
    QByteArray reply_;
};

std::vector<std::uint8_t> bytes(const QByteArray& a) {
    return {a.begin(), a.end()};
}

QByteArray qbytes(const std::vector<std::uint8_t>& v) {
    return {reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size())};
}

}  // namespace

class TestExchange : public QObject {
    Q_OBJECT

    std::unique_ptr<IniFolder> ini_;
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<MSComm> comm_;

  private slots:
    void init() {
        ini_ = std::make_unique<IniFolder>();
        pty_ = std::make_unique<PtyPair>();
        QVERIFY(WriteINI(QStringLiteral("Ports"), QString::number(kPort), pty_->slavePath()));
        comm_ = std::make_unique<MSComm>(settings::portDevice);
        comm_->InputMode(MSComm::InputModeKind::Binary);
        comm_->Settings(QStringLiteral("9600,n,8,1"));
        comm_->CommPort(kPort);
        comm_->PortOpen(true);
    }
    void cleanup() {
        comm_.reset();
        pty_.reset();
        ini_.reset();
    }

    void outcomes_data() {
        QTest::addColumn<modbus::Command>("command");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("before");  // waiting in the buffer before the request
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("exception");  // -1: none
        QTest::addColumn<int>("leftWaiting");

        const QByteArray read04 = fromHex("01 04 00 00 00 01");
        const QByteArray value = withCrc("01 04 02 00 0A");
        const QByteArray exception02 = withCrc("01 84 02");
        QByteArray corrupt = value;
        corrupt[6] = static_cast<char>(corrupt[6] ^ 0x01);
        const QByteArray extra = fromHex("55 AA");
        const auto read = modbus::Command::Read04;

        QTest::newRow("good") << read << read04 << QByteArray() << value << Outcome::Good << value
                              << -1 << 0;
        QTest::newRow("no reply") << read << read04 << QByteArray() << QByteArray()
                                  << Outcome::NoResponse << QByteArray() << -1 << 0;
        QTest::newRow("exception reply left waiting")
            << read << read04 << QByteArray() << exception02 << Outcome::Incomplete << exception02
            << 2 << 5;
        // The length check's edge: one byte short is still a reply to wait for.
        QTest::newRow("one byte short left waiting")
            << read << read04 << QByteArray() << value.left(6) << Outcome::Incomplete
            << value.left(6) << -1 << 6;
        QTest::newRow("CRC error")
            << read << read04 << QByteArray() << corrupt << Outcome::CrcError << corrupt << -1 << 0;
        QTest::newRow("extra bytes read and dropped")
            << read << read04 << QByteArray() << value + extra << Outcome::Good << value + extra
            << -1 << 0;
        QTest::newRow("reply behind an old exception reply")
            << read << read04 << exception02 << value << Outcome::CrcError << exception02 + value
            << 2 << 0;
        QTest::newRow("old bytes enough for a good reply")
            << read << read04 << value << QByteArray() << Outcome::Good << value << -1 << 0;

        const QByteArray message = fromHex("01 10 00 00 00 02 04 48 49 20 20");
        const QByteArray written = withCrc("01 10 00 00 00 02");
        QTest::newRow("16 good") << modbus::Command::Message16 << message << QByteArray() << written
                                 << Outcome::Good << written << -1 << 0;
        QTest::newRow("16 exception reply left waiting")
            << modbus::Command::Message16 << message << QByteArray() << withCrc("01 90 03")
            << Outcome::Incomplete << withCrc("01 90 03") << 3 << 5;
    }
    void outcomes() {
        QFETCH(modbus::Command, command);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, reply);
        QFETCH(Outcome, outcome);
        QFETCH(QByteArray, received);
        QFETCH(int, exception);
        QFETCH(int, leftWaiting);

        Peer peer(*pty_);
        if (!before.isEmpty()) {
            pty_->write(before);
            QTRY_COMPARE(comm_->InBufferCount(), before.size());
        }
        peer.answer(reply);
        const auto shape = modbus::shapeOf(command, command == modbus::Command::Message16 ? 4 : 0);
        const exchange::Result r = exchange::run(*comm_, bytes(body), shape);

        QVERIFY(r.started);
        QCOMPARE(qbytes(r.sent), withCrc(body));
        QCOMPARE(peer.received(), withCrc(body));
        QVERIFY(r.outcome.has_value());
        QCOMPARE(*r.outcome, outcome);
        QCOMPARE(r.received, received);
        QCOMPARE(r.exceptionCode.has_value() ? int(*r.exceptionCode) : -1, exception);
        QCOMPARE(r.waitingBefore, before.size());
        QCOMPARE(comm_->InBufferCount(), leftWaiting);
        // Only bytes that came in answer to this request count as its reply's arrival.
        QCOMPARE(r.timings.firstByte.has_value(), !reply.isEmpty());
        if (r.timings.firstByte) {
            QVERIFY(*r.timings.firstByte <= *r.timings.lastByte);
        }
    }

    // The wait processes events, so a click can ask for a second exchange inside the first:
    // it is refused without a byte written, and the first one ends as if alone.
    void secondExchangeInsideTheFirst() {
        Peer peer(*pty_);
        const QByteArray value = withCrc("01 04 02 00 0A");
        peer.answer(value);
        const auto shape = modbus::shapeOf(modbus::Command::Read04);
        const auto read04 = bytes(fromHex("01 04 00 00 00 01"));
        std::optional<exchange::Result> inner;
        QTimer::singleShot(0, [&] {
            QVERIFY(exchange::running(*comm_));
            inner = exchange::run(*comm_, read04, shape);
        });
        const exchange::Result outer = exchange::run(*comm_, read04, shape);

        QVERIFY(inner.has_value());
        QVERIFY(!inner->started);
        QVERIFY(!inner->outcome.has_value());
        QCOMPARE(outer.outcome, std::optional(Outcome::Good));
        QCOMPARE(outer.received, value);
        QCOMPARE(peer.received(), withCrc("01 04 00 00 00 01"));
        QVERIFY(!exchange::running(*comm_));
    }

    // The far end going away during the wait leaves no outcome, and the reason.
    void lineLostUnderTheWait() {
        QTimer::singleShot(0, [&] { pty_->closeMaster(); });
        const exchange::Result r = exchange::run(*comm_, bytes(fromHex("01 04 00 00 00 01")),
                                                 modbus::shapeOf(modbus::Command::Read04));
        QVERIFY(r.started);
        QVERIFY(!r.outcome.has_value());
        QVERIFY(!r.failure.isEmpty());
        QVERIFY(r.received.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "test_exchange.moc"
