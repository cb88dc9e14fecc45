// SPDX-License-Identifier: MIT
// The traffic log against a scripted module on a pseudo-terminal: late replies, leftover
// exceptions and extra bytes land in the rows where they really came; the window's
// buttons; the CSV a session writes, read back; the program's command line.

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "app/config/frmConfig2004.h"
#include "app/traffic/trafficlogwindow.h"
#include "serial/traffic/recorder.h"
#include "tests/app/slave.h"
#include "tests/support/simprocess.h"
#include "tests/support/wordedframes.h"

using namespace testsupport;

namespace {

traffic::Model& logRows() {
    return traffic::recorder().model();
}

// Each row as "tx|meaning|outcome".
QStringList rowsOf(traffic::Model& m) {
    m.flush();
    QStringList rows;
    for (int r = 0; r < m.rowCount(); ++r) {
        const traffic::Row& row = m.row(r);
        rows << (row.tx ? "tx|" : "rx|") + row.meaning + u'|' + row.outcome;
    }
    return rows;
}

QString tx(const char* example, const QString& outcome = {}) {
    return "tx|" + wordedFrame(example).words + u'|' + outcome;
}
QString rx(const char* example, const QString& outcome) {
    return "rx|" + wordedFrame(example).words + u'|' + outcome;
}

// RFC 4180 records: quoted fields may hold commas, doubled quotes and line breaks.
QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields << std::exchange(field, {});
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            fields << std::exchange(field, {});
            records << std::exchange(fields, {});
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

}  // namespace

class TestTrafficLog : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        recordMessages();
        logRows().clear();
    }
    void cleanup() { closeAllWindows(); }

    void frames_data() {
        QTest::addColumn<QList<QByteArray>>("replies");  // one 04 exchange each
        QTest::addColumn<QList<int>>("delays");
        QTest::addColumn<QStringList>("rows");
        const QByteArray reply = wordedFrame("reply 04").bytes;
        QTest::newRow("leftover exception")
            << QList<QByteArray>{wordedFrame("exception 02").bytes, reply} << QList<int>{5, 5}
            << QStringList{tx("read 04"),
                           rx("exception 02",
                              "Incomplete Frame, left waiting (exception 02 illegal data address)"),
                           tx("read 04"),
                           rx("reply 04", "CRC Err, read behind 5 bytes left waiting before")};
        QTest::newRow("late reply")
            << QList<QByteArray>{reply, reply} << QList<int>{150, 5}
            << QStringList{tx("read 04", "No Response from LCD"),
                           rx("reply 04", "after the wait, left waiting"), tx("read 04"),
                           rx("reply 04", "good, read behind 7 bytes left waiting before")};
        QTest::newRow("extra bytes")
            << QList<QByteArray>{wordedFrame("reply and extra").bytes} << QList<int>{5}
            << QStringList{tx("read 04"), rx("reply and extra", "good")};
    }
    void frames() {
        QFETCH(QList<QByteArray>, replies);
        QFETCH(QList<int>, delays);
        QFETCH(QStringList, rows);
        PtyPair line;
        IniFolder ini;
        prepareIni(ini, line, "2004");
        ScriptedSlave slave(line);
        auto w = connectedWindow();
        for (qsizetype i = 0; i < replies.size(); ++i) {
            // A reply later than the 60 ms wait is written once the exchange has ended, so
            // that a loaded machine stretching the wait cannot make it come in time.
            const bool late = delays[i] > 60;
            slave.answer(late ? QByteArray() : replies[i], delays[i]);
            w->cmdSend04->click();
            if (late) {
                line.write(replies[i]);
                QVERIFY(QTest::qWaitFor([&] { return logRows().rowCount() == 2 * (i + 1); }));
            }
        }
        QCOMPARE(rowsOf(logRows()), rows);
        const traffic::Row& first = logRows().row(0);
        QCOMPARE(first.port, 3);
        QCOMPARE(first.device, line.slavePath());
    }

    void exceptionNamed() {
        PtyPair line;
        IniFolder ini;
        prepareIni(ini, line, "2004");
        ScriptedSlave slave(line);
        auto w = connectedWindow();
        slave.answer(wordedFrame("exception 02").bytes);
        w->cmdSend04->click();
        QCOMPARE(w->lblRxData->text(), QStringLiteral("Incomplete Frame"));
        QCOMPARE(w->lblRxData->toolTip(),
                 QStringLiteral("The bytes left waiting are an exception reply: "
                                "02 illegal data address"));
        // Looked at, not taken.
        QCOMPARE(w->MSComm1.InBufferCount(), 5);
        slave.answer(wordedFrame("cut reply").bytes);
        w->cmdSend04->click();
        QCOMPARE(w->lblRxData->text(), QStringLiteral("CRC Err"));
        // This exchange read behind those 5 bytes, and says so.
        QCOMPARE(w->lblRxData->toolTip(),
                 QStringLiteral("Read behind 5 bytes that were waiting before the request went "
                                "out"));
    }

    void uploadLogged() {
        PtyPair line;
        IniFolder ini;
        prepareIni(ini, line, "2004");
        auto w = connectedWindow();
        w->mnuCfg->trigger();
        frmConfig2004* config = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* c = qobject_cast<frmConfig2004*>(top)) {
                config = c;
            }
        }
        QVERIFY(config != nullptr);
        config->cmdSend->click();
        logRows().flush();
        QCOMPARE(logRows().rowCount(), 1);
        QVERIFY2(logRows().row(0).meaning.startsWith(
                     QStringLiteral("20x4 configuration image, 23 bytes, checksum 0x")),
                 qPrintable(logRows().row(0).meaning));
        QCOMPARE(logRows().row(0).device, line.slavePath());
    }

    void window() {
        PtyPair line;
        IniFolder ini;
        prepareIni(ini, line, "2004");
        ScriptedSlave slave(line);
        auto w = connectedWindow();
        slave.answer(wordedFrame("reply 04").bytes);
        w->cmdSend04->click();
        auto* open = w->findChild<QAction*>(QStringLiteral("mnuTrafficLog"));
        QCOMPARE(open->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
        open->trigger();
        logRows().flush();
        traffic::TrafficLogWindow* log = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* l = qobject_cast<traffic::TrafficLogWindow*>(top)) {
                log = l;
            }
        }
        QVERIFY(log != nullptr && log->isVisible());
        QCOMPARE(log->windowTitle(), QStringLiteral("Traffic Log"));
        QCOMPARE(log->trafficTable->model()->rowCount(), 2);
        QCOMPARE(log->trafficTable->model()->index(0, traffic::Bytes).data().toString(),
                 QStringLiteral("01 04 00 00 00 01 31 CA"));

        log->trafficTable->selectRow(1);
        log->copyButton->click();
        const QStringList copied = QApplication::clipboard()->text().split(u'\t');
        QCOMPARE(copied.mid(4),
                 (QStringList{"rx", "01 04 02 00 0A 39 37", "reply: 0x000A (10)", "good\n"}));

        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("t.csv"));
        QVERIFY(log->exportTo(csv, true));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto records = parseCsv(QString::fromUtf8(file.readAll()));
        QCOMPARE(records.size(), 3);
        QCOMPARE(records[0], traffic::fileHeader());
        QCOMPARE(records[1][6], wordedFrame("read 04").words);
        QVERIFY(!log->exportTo(dir.filePath(QStringLiteral("no/such/folder.csv")), true));
        QCOMPARE(shownMessages().size(), 1);

        log->clearButton->click();
        QCOMPARE(log->trafficTable->model()->rowCount(), 0);
    }

    void capacity() {
        traffic::Model rows(3);
        traffic::TrafficLogWindow log(rows);
        for (int i = 0; i < 5; ++i) {
            traffic::Row row;
            row.sinceStartMs = i;
            rows.append(row);
        }
        rows.flush();
        QCOMPARE(rows.rowCount(), 3);
        QCOMPARE(rows.row(0).sinceStartMs, 2);
        QCOMPARE(log.droppedLabel->text(),
                 QStringLiteral("2 older rows dropped to keep the last 3"));
        log.clearButton->click();
        QCOMPARE(log.droppedLabel->text(), QString());
    }

    // The log repaints only what an append or an outcome changes; what is on screen after
    // each batch must be what a full repaint draws.
    void paintedRows_data() {
        QTest::addColumn<QList<int>>("batches");  // rows appended per flush
        QTest::addColumn<bool>("scrolledUp");     // the user reads older rows meanwhile
        QTest::addColumn<int>("capacity");
        QTest::newRow("filling the window") << QList<int>{1, 2, 1, 3} << false << 1000;
        QTest::newRow("following the tail") << QList<int>{30, 1, 2, 5, 1, 40} << false << 1000;
        QTest::newRow("scrolled up") << QList<int>{30, 2, 7} << true << 1000;
        QTest::newRow("oldest dropped") << QList<int>{30, 4, 9, 3} << false << 40;
    }
    void paintedRows() {
        QFETCH(QList<int>, batches);
        QFETCH(bool, scrolledUp);
        QFETCH(int, capacity);
        traffic::Model rows(static_cast<std::size_t>(capacity));
        traffic::TrafficLogWindow log(rows);
        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        std::uint64_t last = 0;
        int n = 0;
        for (const int batch : batches) {
            for (int i = 0; i < batch; ++i, ++n) {
                traffic::Row row;
                row.sinceStartMs = n;
                row.tx = n % 2 == 0;
                row.device = QStringLiteral("/dev/pts/9");
                row.bytes = QByteArray::fromHex("010400000001");
                row.meaning = QStringLiteral("row %1").arg(n);
                last = rows.append(row);
            }
            // The outcome of a row already shown, as an exchange's end gives it.
            rows.setOutcome(last - static_cast<std::uint64_t>(batch), QStringLiteral("good"));
            rows.flush();
            if (scrolledUp && n > batch) {
                log.trafficTable->verticalScrollBar()->setValue(3);
            }
            for (int turn = 0; turn < 3; ++turn) {  // layouts first, then their paints
                QApplication::processEvents();
            }
            const QImage shown = log.screen()->grabWindow(log.winId()).toImage();
            const QImage full = log.grab().toImage();
            QVERIFY2(shown.convertToFormat(full.format()) == full,
                     qPrintable(QStringLiteral("after %1 rows").arg(n)));
        }
        QCOMPARE(rows.rowCount(), std::min(n, capacity));
    }

    void csvRecords() {
        // Quoting only where needed; a quote is doubled; the record ends in CRLF.
        QCOMPARE(traffic::csvRecord({"a", "b,c", "say \"HI\"", "×"}),
                 QStringLiteral("a,\"b,c\",\"say \"\"HI\"\"\",×\r\n"));
    }

    void logFile() {
        // A session against korvo-sim answering every request with exception 02.
        SimProcess sim;
        PtyPair unused;
        IniFolder ini;
        ini.write(
            "[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\n"
            "Module=2004\r\n[Ports]\r\n3=" +
            sim.start({QStringLiteral("--exception"), QStringLiteral("2")}).toLocal8Bit() + "\r\n");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("session.csv"));
        QCOMPARE(traffic::recorder().logTo(path), std::nullopt);
        auto w = connectedWindow();
        w->cmdSend04->click();
        w->cmdSend05->click();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto records = parseCsv(QString::fromUtf8(file.readAll()));
        QCOMPARE(records.size(), 5);  // the header, then each request and its exception
        QCOMPARE(records[0], traffic::fileHeader());
        QCOMPARE(records[2][4], QStringLiteral("rx"));
        QCOMPARE(records[2][5], QStringLiteral("01 84 02 C2 C1"));
        QCOMPARE(records[2][6], QStringLiteral("exception 02: illegal data address"));
        QCOMPARE(records[4][7], QStringLiteral("CRC Err, read behind 5 bytes left waiting before"));

        const auto error = traffic::recorder().logTo(dir.filePath(QStringLiteral("no/folder.csv")));
        QVERIFY(error && error->contains(QStringLiteral("cannot be opened")));
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("starts");
        QTest::newRow("unknown option")
            << QStringList{"--bogus"} << "tessaline: Unknown option 'bogus'." << false;
        QTest::newRow("log without a file")
            << QStringList{"--log"} << "tessaline: Missing value after '--log'." << false;
        QTest::newRow("log file cannot be opened")
            << QStringList{"--log", "/proc/tessaline/none.csv"}
            << "tessaline: The traffic log /proc/tessaline/none.csv cannot be opened" << true;
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QFETCH(bool, starts);
        IniFolder ini;
        QProcess program;
        program.start(QStringLiteral(TESSALINE_PROGRAM), args);
        QString errors;
        QVERIFY(QTest::qWaitFor(
            [&] {
                errors += QString::fromLocal8Bit(program.readAllStandardError());
                return errors.contains(message) || program.state() == QProcess::NotRunning;
            },
            10000));
        QVERIFY2(errors.contains(message), qPrintable(errors));
        if (starts) {
            // The message box waits for its OK, over a window that is there.
            QVERIFY(!program.waitForFinished(300));
            program.kill();
            program.waitForFinished();
        } else {
            QVERIFY(program.state() == QProcess::NotRunning || program.waitForFinished(10000));
            QCOMPARE(program.exitCode(), 2);
        }
    }
};

QTEST_MAIN(TestTrafficLog)
#include "test_trafficlog.moc"
