// SPDX-License-Identifier: MIT
// The program itself started without a display: what answers with text works, everything
// else says in one line why no window can open.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestStartup : public QObject {
    Q_OBJECT
  private slots:
    void withoutDisplay_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");  // standard output contains it
        QTest::addColumn<QString>("err");  // standard error, one line, starts with it
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--log <FILE>"
                              << "";
        QTest::newRow("short help") << QStringList{"-h"} << 0 << "--version"
                                    << "";
        QTest::newRow("help with Qt's options") << QStringList{"--help-all"} << 0 << "--log <FILE>"
                                                << "";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "tessaline 0.1.0"
                                 << "";
        QTest::newRow("help beside a log")
            << QStringList{"--log", "x.csv", "--help"} << 0 << "--help"
            << "";
        QTest::newRow("window") << QStringList{} << 1 << ""
                                << "tessaline: cannot open a window";
        QTest::newRow("window with a log") << QStringList{"--log", "x.csv"} << 1 << ""
                                           << "tessaline: cannot open a window";
    }
    void withoutDisplay() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QTemporaryDir folder;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(QLatin1String(name));
        }
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(folder.path());
        p.start(QStringLiteral(TESSALINE_PROGRAM), args);
        QVERIFY(p.waitForFinished(120'000));
        const QString stdOut = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), status);
        QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
        if (status != 0) {
            QVERIFY2(stdErr.startsWith(err) && stdErr.count(u'\n') == 1, qPrintable(stdErr));
        }
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
