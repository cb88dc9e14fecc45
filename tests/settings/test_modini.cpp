#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <csignal>

#include "settings/inilocation.h"
#include "settings/modINI.h"
#include "tests/support/inifolder.h"

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

}  // namespace

// ReadINI and WriteINI on real files.
class TestModIni : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { modINI::detail::setLocation(std::nullopt); }

    void readBack_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Cset written, CSet read") << "CSet"
                                                 << "2"
                                                 << "2";
        QTest::newRow("empty value") << "Cset"
                                     << ""
                                     << "";
        const QString long300 = QString(150, u'\u00E9') + QString(150, u'z');
        QTest::newRow("300 characters") << "Cset" << long300 << long300.left(254);
        QTest::newRow("no such character") << "Cset" << QStringLiteral("\u4E2D\u20AC") << "?\u20AC";
    }
    void readBack() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        IniFolder ini;
        QCOMPARE(ReadINI("Cfg1602", "Cset"), QString());
        QVERIFY(WriteINI("Cfg1602", "Cset", value));
        QCOMPARE(ReadINI("CFG1602", key), expected);
    }

    void otherLinesSurvive() {
        IniFolder ini;
        const QByteArray head("; workshop\n[Settings]\nCommPort=2\n[LCD]\n");
        const QByteArray tail("Extra=keep me\n\n[Ports]\n3=/dev/ttyS7\n");
        ini.write(head + "Slave=1\n" + tail);
        QVERIFY(WriteINI("LCD", "Slave", "7"));
        QVERIFY(WriteINI("lcd", "SLAVE", QStringLiteral("\u00C4")));
        QCOMPARE(ini.read(), head + "Slave=\xC4\r\n" + tail);
    }

    // Lines without '=', garbage bytes and long lines, 5 MB of them, section at the end.
    void hugeDamagedFile() {
        QByteArray noise;
        for (int i = 0; i < 4096; ++i) {
            noise.append(static_cast<char>((i * 131 + 7) % 256));
        }
        const QByteArray file = noise.repeated(1200) + QByteArray(200000, 'x') + "\n[A]\nk=1";
        IniFolder ini;
        ini.write(file);
        QCOMPARE(ReadINI("A", "k"), QStringLiteral("1"));
        QVERIFY(WriteINI("LCD", "Module", "2004"));
        QCOMPARE(ReadINI("LCD", "Module"), QStringLiteral("2004"));
        QVERIFY(ini.read() == file + "\r\n[LCD]\r\nModule=2004\r\n");
    }

    // Each of these stops root too; the old file must come through whole and the failure
    // must be reported once.
    void failedWriteKeepsOldFile_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("modlcd.ini is a folder") << "folder";
        QTest::newRow("65 MB file, not ours") << "huge";
        QTest::newRow("disk fills up halfway") << "full";
    }
    void failedWriteKeepsOldFile() {
        QFETCH(QString, how);
        IniFolder ini;
        QByteArray old("[LCD]\r\nSlave=1\r\nModule=1602\r\n");
        if (how == "folder") {
            old.clear();
            QVERIFY(QDir(ini.path()).mkdir("modlcd.ini"));
        } else if (how == "huge") {
            old = QByteArray(65 << 20, '\0');
            QFile f(ini.iniFile());  // sparse: no disk space taken
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(old.size()));
        }
        if (how != "huge") {
            ini.write(old);
        }
        bool ok = true;
        if (how == "full") {
            rlimit saved{};
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit small = saved;
            small.rlim_cur = static_cast<rlim_t>(old.size() / 2);
            const auto handler = std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &small);
            ok = WriteINI("LCD", "Slave", "9");
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, handler);
        } else {
            ok = WriteINI("LCD", "Slave", "9");
        }
        QVERIFY(!ok);
        QVERIFY(ini.read() == old);
        QCOMPARE(QDir(ini.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);
    }

    void folders() {
        const QString own = QCoreApplication::applicationDirPath() + '/';
        QCOMPARE(AppDir(), own);
        QCOMPARE(modINI::iniPath(), own + "modlcd.ini");  // the test folder is writable
        for (const QString root : {"/", "C:/"}) {
            modINI::setFolder(root);
            QCOMPARE(modINI::iniPath(), root + "modlcd.ini");
        }
        modINI::setFolder({});
        QVERIFY(modINI::detail::folderWritable(QDir::tempPath() + '/'));
        QVERIFY(!modINI::detail::folderWritable("/proc/"));
        QVERIFY(!modINI::detail::folderWritable("/nonexistent/"));
    }

    // Installed where it cannot write, the program starts from the old file beside it and
    // keeps its changes in the user's own folder from then on.
    void perUserFallback() {
        QTemporaryDir program;
        QTemporaryDir home;
        const QString user = home.path() + "/config/tessaline/";
        const QByteArray old("[LCD]\r\nModule=2004\r\n");
        writeFile(program.filePath("modlcd.ini"), old);
        modINI::detail::setLocation(modINI::detail::choose(program.path() + '/', false, user));
        QCOMPARE(modINI::folder(), user);
        QCOMPARE(ReadINI("LCD", "Module"), QStringLiteral("2004"));
        QVERIFY(WriteINI("LCD", "Slave", "5"));
        QCOMPARE(readFile(user + "modlcd.ini"), old + "Slave=5\r\n");
        QCOMPARE(readFile(program.filePath("modlcd.ini")), old);
        QFile::remove(program.filePath("modlcd.ini"));
        QCOMPARE(ReadINI("LCD", "Module"), QStringLiteral("2004"));
    }
};

QTEST_GUILESS_MAIN(TestModIni)
#include "test_modini.moc"
