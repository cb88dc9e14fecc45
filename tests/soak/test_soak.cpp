// Thousands of exchanges through the main window against korvo-sim with a random mix of
// its faults, in batches of one module each, spread over worker copies of this program so
// that the waits overlap. Every reply line must be the one the injected fault calls for,
// the window must keep handling events through every wait, and memory must level off.
//
//   TESSALINE_SOAK_EXCHANGES  exchanges in all (default 2000)
//   TESSALINE_SOAK_WORKERS    worker processes (default 6)
//   TESSALINE_SOAK_SEED       repeats a run; the seed is printed with the summary

#include <QApplication>
#include <QDateTime>
#include <QMap>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

#include "soakworker.h"

namespace {

constexpr auto kWorkerOption = "--soak-worker";
constexpr long long kAllowedGrowth = 8LL * 1024 * 1024;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

int envNumber(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

struct Totals {
    int done = 0;
    QStringList problems;  // mismatches and stalls, as the workers told them
    QMap<QString, int> faults;
    QMap<QString, int> outcomes;
    long long worstGrowth = 0;
    QStringList unreadable;
};

void take(const QByteArray& output, Totals& t) {
    for (const QByteArray& raw : output.split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const QString kind = line.section(QLatin1Char(' '), 0, 0);
        const QString rest = line.section(QLatin1Char(' '), 1);
        if (kind == QLatin1String("mismatch") || kind == QLatin1String("stall")) {
            t.problems << line;
        } else if (kind == QLatin1String("fault")) {
            t.faults[rest.section(' ', 0, 0)] += rest.section(' ', 1).toInt();
        } else if (kind == QLatin1String("outcome")) {
            t.outcomes[rest.section(' ', 0, -2)] += rest.section(' ', -1).toInt();
        } else if (kind == QLatin1String("rss")) {
            const long long growth =
                rest.section(' ', 1, 1).toLongLong() - rest.section(' ', 0, 0).toLongLong();
            t.worstGrowth = std::max(t.worstGrowth, growth);
        } else if (kind == QLatin1String("done")) {
            t.done += rest.toInt();
        } else if (kind != QLatin1String("batch") && !line.isEmpty()) {
            t.unreadable << line;
        }
    }
}

QString counted(const QMap<QString, int>& m) {
    QStringList parts;
    for (auto it = m.cbegin(); it != m.cend(); ++it) {
        parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    }
    return parts.join(QStringLiteral(", "));
}

}  // namespace

class TestSoak : public QObject {
    Q_OBJECT
  private slots:
    void exchangesUnderRandomFaults() {
        const int exchanges = envNumber("TESSALINE_SOAK_EXCHANGES", 2000);
        const int workers = std::min(envNumber("TESSALINE_SOAK_WORKERS", 6), exchanges);
        const auto seed = static_cast<quint64>(
            envNumber("TESSALINE_SOAK_SEED",
                      static_cast<int>(QDateTime::currentMSecsSinceEpoch() % 1000000007)));
        // At least two batches per worker, so that memory is compared across batches.
        const int batchSize = std::clamp(exchanges / (2 * workers), 1, 50);
        qInfo("soak: %d exchanges, %d workers, batches of %d, seed %llu (TESSALINE_SOAK_SEED)",
              exchanges, workers, batchSize, static_cast<unsigned long long>(seed));

        std::vector<std::unique_ptr<QProcess>> running;
        for (int i = 0; i < workers; ++i) {
            auto p = std::make_unique<QProcess>();
            p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p->start(
                QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kWorkerOption), QString::number(i), QString::number(workers),
                 QString::number(seed), QString::number(exchanges), QString::number(batchSize)});
            running.push_back(std::move(p));
        }
        Totals totals;
        for (const auto& p : running) {
            QVERIFY2(p->waitForFinished(240000), "a soak worker did not finish");
            const QByteArray out = p->readAllStandardOutput();
            take(out, totals);
            QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0,
                     qPrintable(QStringLiteral("worker ended with %1\n%2")
                                    .arg(p->exitCode())
                                    .arg(QString::fromUtf8(out))));
        }
        qInfo(
            "soak: %d exchanges; faults: %s; outcomes: %s; problems %lld; worst RSS growth "
            "%.1f MB",
            totals.done, qPrintable(counted(totals.faults)), qPrintable(counted(totals.outcomes)),
            static_cast<long long>(totals.problems.size()),
            static_cast<double>(totals.worstGrowth) / (1024.0 * 1024.0));

        QVERIFY2(totals.problems.isEmpty(), qPrintable(totals.problems.join('\n')));
        QVERIFY2(totals.unreadable.isEmpty(), qPrintable(totals.unreadable.join('\n')));
        QCOMPARE(totals.done, exchanges);
        if (kAddressSanitizer) {
            // The sanitizer holds freed memory back on purpose; its leak check stands in.
            qInfo("soak: RSS growth not judged under AddressSanitizer");
        } else {
            QVERIFY2(
                totals.worstGrowth < kAllowedGrowth,
                qPrintable(QStringLiteral("a worker grew by %1 bytes").arg(totals.worstGrowth)));
        }
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 7 && args[1] == QLatin1String(kWorkerOption)) {
        soak::WorkerPlan plan;
        plan.index = args[2].toInt();
        plan.workers = args[3].toInt();
        plan.seed = args[4].toULongLong();
        plan.exchanges = args[5].toInt();
        plan.batchSize = args[6].toInt();
        return soak::runWorker(plan);
    }
    TestSoak test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_soak.moc"
