#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "inifolder.h"
#include "inilocation.h"
#include "modINI.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>

#include <csignal>
#endif

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

#ifdef Q_OS_UNIX
// Files may grow to at most `bytes` while it lives, as on a nearly full disk; holds for root
// too, unlike file modes.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};
#endif

}  // namespace

class TestModIni : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() {
        modINI::detail::setLocation(std::nullopt);
        QVERIFY(!modINI::takeWriteFailure());
    }

    void missingFileThenFirstWrite() {
        IniFolder ini;
        QCOMPARE(ReadINI("Settings", "CommPort"), QString());
        QVERIFY(!QFile::exists(ini.iniFile()));
        QVERIFY(WriteINI("Settings", "CommPort", "3"));
        QCOMPARE(ini.read(), QByteArray("[Settings]\r\nCommPort=3\r\n"));
        QCOMPARE(ReadINI("settings", "COMMPORT"), QStringLiteral("3"));
    }

    void writtenThenReadBack_data() {
        QTest::addColumn<QString>("writeKey");
        QTest::addColumn<QString>("readKey");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Cset written, CSet read") << "Cset"
                                                 << "CSet"
                                                 << "2"
                                                 << "2";
        QTest::newRow("empty value") << "UDT1"
                                     << "UDT1" << QString() << QString();
        const QString long300 = QString(100, u'a') + QString(100, u'\u00E9') + QString(100, u'z');
        QTest::newRow("300 characters come back as 254") << "UDT2"
                                                         << "UDT2" << long300 << long300.left(254);
        QTest::newRow("Windows-1252 letters") << "UDT3"
                                              << "UDT3" << QStringLiteral("Gr\u00F6\u00DFe \u20AC")
                                              << QStringLiteral("Gr\u00F6\u00DFe \u20AC");
        QTest::newRow("no such character") << "UDT4"
                                           << "UDT4" << QStringLiteral("\u4E2D1") << "?1";
    }
    void writtenThenReadBack() {
        QFETCH(QString, writeKey);
        QFETCH(QString, readKey);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        IniFolder ini;
        QVERIFY(WriteINI("Cfg1602", writeKey, value));
        QCOMPARE(ReadINI("CFG1602", readKey), expected);
    }

    void fileIsWindows1252() {
        IniFolder ini;
        QVERIFY(WriteINI("LCD", "Msg", QStringLiteral("\u00C4 \u20AC")));
        QCOMPARE(ini.read(), QByteArray("[LCD]\r\nMsg=\xC4 \x80\r\n"));
    }

    void sameKeyTwiceLeavesOneEntry() {
        IniFolder ini;
        QVERIFY(WriteINI("LCD", "Slave", "1"));
        QVERIFY(WriteINI("lcd", "SLAVE", "2"));
        QCOMPARE(ini.read(), QByteArray("[LCD]\r\nSlave=2\r\n"));
    }

    void handEditedFileSurvives() {
        IniFolder ini;
        const QByteArray head(
            "; kept by the workshop\n[Settings]\nCommPort=2\nSetting=9600,n,8,1\n");
        const QByteArray tail("Extra=keep me\n\n[Ports]\n3=/dev/ttyS7\n");
        ini.write(head + "[LCD]\nSlave=1\n" + tail);
        QVERIFY(WriteINI("LCD", "Slave", "7"));
        QCOMPARE(ini.read(), head + "[LCD]\nSlave=7\r\n" + tail);
    }

    void damagedFiles_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("after");
        QByteArray noise;
        for (int i = 0; i < 4096; ++i) {
            noise.append(static_cast<char>((i * 131 + 7) % 256));
        }
        const QByteArray added("[LCD]\r\nModule=2004\r\n");
        QTest::newRow("lines without =")
            << QByteArray("[LCD]\nSlave\nModule\n[\n]\n=\n")
            << QByteArray("[LCD]\nModule=2004\r\nSlave\nModule\n[\n]\n=\n");
        QTest::newRow("binary garbage") << noise << noise + "\r\n" + added;
        // 5 MB of garbage, long lines and short ones, with a section at its very end.
        const QByteArray big = noise.repeated(1200) + QByteArray(200000, 'x') + "\n[Z]\nk=1\n";
        QTest::newRow("5 MB") << big << big + added;
    }
    void damagedFiles() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, after);
        IniFolder ini;
        ini.write(file);
        QCOMPARE(ReadINI("LCD", "Module"), QString());
        QVERIFY(WriteINI("LCD", "Module", "2004"));
        QCOMPARE(ReadINI("LCD", "Module"), QStringLiteral("2004"));
        QCOMPARE(ReadINI("Z", "k"), file.endsWith("k=1\n") ? QStringLiteral("1") : QString());
        QVERIFY(ini.read() == after);  // not QCOMPARE: it would print megabytes
    }

    void writeFailuresKeepTheOldFile_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("folder under /proc") << "proc";
        QTest::newRow("modlcd.ini is a folder") << "folder";
        QTest::newRow("file far too large to be settings") << "huge";
#ifdef Q_OS_UNIX
        QTest::newRow("disk full halfway") << "full";
#endif
    }
    void writeFailuresKeepTheOldFile() {
        QFETCH(QString, how);
        IniFolder ini;
        const QByteArray old("[LCD]\r\nSlave=1\r\nModule=1602\r\n");
        bool ok = true;
        if (how == "proc") {
            modINI::setFolder("/proc/tessaline-nowhere");
            ok = WriteINI("LCD", "Slave", "9");
            modINI::setFolder(ini.path());
            QVERIFY(!QFile::exists("/proc/tessaline-nowhere"));
        } else if (how == "folder") {
            QVERIFY(QDir(ini.path()).mkdir("modlcd.ini"));
            ok = WriteINI("LCD", "Slave", "9");
            QVERIFY(QFileInfo(ini.iniFile()).isDir());
        } else if (how == "huge") {
            QFile f(ini.iniFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(65 * 1024 * 1024));  // sparse: costs no disk
            f.close();
            ok = WriteINI("LCD", "Slave", "9");
            QCOMPARE(QFileInfo(ini.iniFile()).size(), 65 * 1024 * 1024);
            QCOMPARE(ReadINI("LCD", "Slave"), QString());
        } else {
#ifdef Q_OS_UNIX
            ini.write(old);
            {
                FileSizeLimit limit(static_cast<rlim_t>(old.size() / 2));
                ok = WriteINI("LCD", "Slave", "9");
            }
            QCOMPARE(ini.read(), old);
            QCOMPARE(QDir(ini.path()).entryList(QDir::Files), QStringList{"modlcd.ini"});
#endif
        }
        QVERIFY(!ok);
        QVERIFY(modINI::takeWriteFailure());
        QVERIFY(!modINI::takeWriteFailure());
    }

    void folderEndsInOneSeparator_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("drive root") << "C:/"
                                    << "C:/";
        QTest::newRow("plain folder") << "/opt/tessaline"
                                      << "/opt/tessaline/";
        QTest::newRow("folder with separator") << "/opt/tessaline/"
                                               << "/opt/tessaline/";
    }
    void folderEndsInOneSeparator() {
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        modINI::setFolder(folder);
        QCOMPARE(modINI::iniPath(), expected + "modlcd.ini");
        modINI::setFolder(QString());
    }

    void programFolderByDefault() {
        const QString own = QCoreApplication::applicationDirPath() + '/';
        QCOMPARE(AppDir(), own);
        QCOMPARE(modINI::folder(), own);
        QCOMPARE(modINI::iniPath(), own + "modlcd.ini");
    }

    void unwritableProgramFolderIsDetected_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("writable");
        QTest::newRow("missing folder") << "/nonexistent-tessaline/" << false;
        QTest::newRow("/proc, even for root") << "/proc/" << false;
        QTest::newRow("temporary folder") << QDir::tempPath() + '/' << true;
    }
    void unwritableProgramFolderIsDetected() {
        QFETCH(QString, folder);
        QFETCH(bool, writable);
        QCOMPARE(modINI::detail::folderWritable(folder), writable);
        const QString user("/home/u/.config/tessaline/");
        const auto where = modINI::detail::choose(folder, writable, user);
        QCOMPARE(where.folder, writable ? folder : user);
    }

    // Installed in a folder it cannot write, the program carries on from the old file there
    // and keeps its changes in the user's own folder.
    void perUserFallback() {
        QTemporaryDir program;
        QTemporaryDir home;
        const QString programFolder = program.path() + '/';
        const QString userFolder = home.path() + "/config/tessaline/";
        const QByteArray old("[LCD]\r\nModule=2004\r\n");
        writeFile(programFolder + "modlcd.ini", old);
        modINI::detail::setLocation(modINI::detail::choose(programFolder, false, userFolder));

        QCOMPARE(modINI::folder(), userFolder);
        QCOMPARE(ReadINI("LCD", "Module"), QStringLiteral("2004"));
        QVERIFY(WriteINI("LCD", "Slave", "5"));
        QCOMPARE(readFile(userFolder + "modlcd.ini"), old + "Slave=5\r\n");
        QCOMPARE(readFile(programFolder + "modlcd.ini"), old);

        // From now on the user's file is the one read.
        writeFile(programFolder + "modlcd.ini", "[LCD]\r\nModule=1602\r\n");
        QCOMPARE(ReadINI("LCD", "Module"), QStringLiteral("2004"));
        QCOMPARE(ReadINI("LCD", "Slave"), QStringLiteral("5"));
    }

    void perUserFallbackWithoutOldFile() {
        QTemporaryDir program;
        QTemporaryDir home;
        const QString userFolder = home.path() + "/tessaline/";
        modINI::detail::setLocation(
            modINI::detail::choose(program.path() + '/', false, userFolder));
        QCOMPARE(ReadINI("LCD", "Module"), QString());
        QVERIFY(WriteINI("LCD", "Module", "1602"));
        QCOMPARE(readFile(userFolder + "modlcd.ini"), QByteArray("[LCD]\r\nModule=1602\r\n"));
        QVERIFY(!QFile::exists(program.path() + "/modlcd.ini"));
    }
};

QTEST_GUILESS_MAIN(TestModIni)
#include "test_modini.moc"
