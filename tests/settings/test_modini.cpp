// SPDX-License-Identifier: MIT
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <csignal>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

#include "core/image1602.h"
#include "core/portname.h"
#include "settings/ansicodepage.h"
#include "settings/inilocation.h"
#include "settings/modINI.h"
#include "settings/ports.h"
#include "tests/support/inifolder.h"

using namespace testsupport;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}

// These cases spell their bytes in Windows-1252; codePage covers the others.
bool otherCodePage() {
    return settings::ansiCodePage().number != 1252;
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
        if (otherCodePage()) {
            QSKIP("spelt in Windows-1252");
        }
        IniFolder ini;
        QCOMPARE(ReadINI("Cfg1602", "Cset"), QString());
        QVERIFY(WriteINI("Cfg1602", "Cset", value));
        QCOMPARE(ReadINI("CFG1602", key), expected);
    }

    void otherLinesSurvive() {
        if (otherCodePage()) {
            QSKIP("spelt in Windows-1252");
        }
        IniFolder ini;
        const QByteArray head("; workshop\n[Settings]\nCommPort=2\n[LCD]\n");
        const QByteArray tail("Extra=keep me\n\n[Ports]\n3=/dev/ttyS7\n");
        ini.write(head + "Slave=1\n" + tail);
        QVERIFY(WriteINI("LCD", "Slave", "7"));
        QVERIFY(WriteINI("lcd", "SLAVE", QStringLiteral("\u00C4")));
        QCOMPARE(ini.read(), head + "Slave=\xC4\n" + tail);
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
        QVERIFY(ini.read() == file + "\n[LCD]\nModule=2004\n");
    }

    // Saved by an editor as UTF-8 with a mark, the file stays UTF-8 with its mark and its LF
    // line ends; only on the way to a module does a character it cannot show become '?'.
    void utf8WithMark() {
        IniFolder ini;
        const QByteArray mark("\xEF\xBB\xBF");
        ini.write(mark +
                  "[Cfg1602]\nUDT1=Gr\xC3\xBC\xC3\x9F"
                  "e 5\xC2\xB0"
                  "C\n");
        QCOMPARE(ReadINI("Cfg1602", "UDT1"), QStringLiteral("Gr\u00FC\u00DFe 5\u00B0C"));
        modINI::Batch batch;
        batch.write("Cfg1602", "UDT2", QStringLiteral("\u20AC\U0001F600"));
        batch.write("Cfg1602", "UDT1", QStringLiteral("\u00C4"));
        QVERIFY(batch.commit());
        QCOMPARE(ini.read(),
                 mark + "[Cfg1602]\nUDT1=\xC3\x84\nUDT2=\xE2\x82\xAC\xF0\x9F\x98\x80\n");
        std::array<QString, image1602::MessageCount> messages;
        messages[0] = ReadINI("Cfg1602", "UDT2");
        QCOMPARE(messages[0], QStringLiteral("\u20AC\U0001F600"));
        if (!otherCodePage()) {
            QCOMPARE(image1602::messageBytes(messages, settings::ansiCodePage()).first(3),
                     QByteArray("\x80? "));
        }
        // A value cut at its length limit loses a whole character, never half of one.
        QVERIFY(WriteINI("Cfg1602", "UDT3", QString(253, u'x') + QStringLiteral("\U0001F600")));
        QCOMPARE(ReadINI("Cfg1602", "UDT3"), QString(253, u'x'));
    }

    // A relative entry in [Ports] is found beside the modlcd.ini that holds it, whatever the
    // working folder (which here has a sim.tty of its own); a bare device name still means
    // the device under /dev. "@" stands for the folder of modlcd.ini.
    void relativePortPaths_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("device");
        QTest::newRow("file beside") << "sim.tty"
                                     << "@/sim.tty";
        QTest::newRow("through a subfolder") << "./sub/../sim.tty"
                                             << "@/sim.tty";
        QTest::newRow("not there yet") << "later.tty"
                                       << "@/later.tty";
        QTest::newRow("device name") << "null"
                                     << "/dev/null";
        QTest::newRow("absolute") << "/dev/ttyS0"
                                  << "/dev/ttyS0";
    }
    void relativePortPaths() {
#ifdef Q_OS_WIN
        QSKIP("Windows names its ports COMn and has no [Ports] map");
#endif
        QFETCH(QString, entry);
        QFETCH(QString, device);
        IniFolder ini;
        QTemporaryDir elsewhere;
        writeFile(ini.path() + "/sim.tty", "");
        writeFile(elsewhere.filePath("sim.tty"), "");
        const QString started = QDir::currentPath();
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        QVERIFY(WriteINI("Ports", "3", entry));
        const QString got = settings::portDevice(3);
        QDir::setCurrent(started);
        QCOMPARE(got, device.replace(u'@', ini.path()));
    }

    // Each of these stops root too; the old file must come through whole and the failure
    // must be reported once.
    void failedWriteKeepsOldFile_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("modlcd.ini is a folder") << "folder";
        QTest::newRow("65 MB file, not ours") << "huge";
#ifdef Q_OS_UNIX
        QTest::newRow("disk fills up halfway") << "full";
#endif
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
#ifdef Q_OS_UNIX
            rlimit saved{};
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit small = saved;
            small.rlim_cur = static_cast<rlim_t>(old.size() / 2);
            const auto handler = std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &small);
            ok = WriteINI("LCD", "Slave", "9");
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, handler);
#endif
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
#ifdef Q_OS_UNIX
        QVERIFY(!modINI::detail::folderWritable("/proc/"));
#endif
        QVERIFY(!modINI::detail::folderWritable("/nonexistent/"));
    }

    // An installed program, moved with --prefix or not, is told by the desktop entry the
    // installation puts beside its folder; it then keeps its settings in the user's folder
    // even when it could write its own (run by root). The build folder is no installation.
    void installedProgram() {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin") &&
                QDir(prefix.path()).mkpath("share/applications"));
        QVERIFY(!modINI::detail::installed(prefix.filePath("bin")));
        writeFile(prefix.filePath("share/applications/tessaline.desktop"), "[Desktop Entry]\n");
        QVERIFY(modINI::detail::installed(prefix.filePath("bin")));
        QVERIFY(modINI::detail::installed(prefix.filePath("bin/")));
        QVERIFY(!modINI::detail::installed(prefix.path()));
        QVERIFY(!modINI::detail::installed(AppDir()));
        QVERIFY(!modINI::detail::installed(QString()));
    }

    // Installed where it cannot write, the program starts from the old file beside it and
    // keeps its changes in the user's own folder from then on.
    void perUserFallback() {
        QTemporaryDir program;
        QTemporaryDir home;
        const QString user = home.path() + "/config/tessaline/";
        const QByteArray old("[Ports]\r\n3=sim.tty\r\n[LCD]\r\nModule=2004\r\n");
        writeFile(program.filePath("modlcd.ini"), old);
        modINI::detail::setLocation(modINI::detail::choose(program.path() + '/', false, user));
        QCOMPARE(modINI::folder(), user);
        QCOMPARE(ReadINI("LCD", "Module"), QStringLiteral("2004"));
#ifndef Q_OS_WIN
        QCOMPARE(settings::portDevice(3), program.filePath("sim.tty"));
#endif
        QVERIFY(WriteINI("LCD", "Slave", "5"));
        QCOMPARE(readFile(user + "modlcd.ini"), old + "Slave=5\r\n");
        QCOMPARE(readFile(program.filePath("modlcd.ini")), old);
        QFile::remove(program.filePath("modlcd.ini"));
        QCOMPARE(ReadINI("LCD", "Module"), QStringLiteral("2004"));
    }

    // On Windows the per-user folder is the one under %LOCALAPPDATA%, where a program in a
    // folder it cannot write (C:\Program Files) keeps its settings; port n is COMn, which
    // from COM10 on opens only through the device namespace.
    void windowsNames() {
        QCOMPARE(portname::win32DevicePath("COM1"), QStringLiteral("\\\\.\\COM1"));
        QCOMPARE(portname::win32DevicePath("COM12"), QStringLiteral("\\\\.\\COM12"));
        QCOMPARE(portname::win32DevicePath("\\\\.\\COM3"), QStringLiteral("\\\\.\\COM3"));
#ifdef Q_OS_WIN
        for (const int n : {1, 9, 10, 20, 256}) {
            QCOMPARE(settings::portDevice(n), QStringLiteral("COM%1").arg(n));
        }
        const QString local = QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
        QVERIFY(!local.isEmpty());
        QCOMPARE(modINI::detail::userFolder(), local + "/tessaline/");
#endif
    }

    // Text without a UTF-8 mark is in the system's ANSI code page on Windows, Windows-1252
    // elsewhere: in the file, on the way back, and on the way to the display. scripts/windows
    // runs this once more under Wine with a Russian locale, whose code page is 1251.
    void codePage_data() {
        QTest::addColumn<uint>("page");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("back");
        // An emoji is one character the display cannot show: one '?'.
        const QString text = QStringLiteral("Gr\u00FC\u00DFe \u20AC \u041F\u0440\u0438\U0001F600");
        QTest::newRow("1252") << 1252u << text
                              << QByteArray(
                                     "Gr\xFC\xDF"
                                     "e \x80 ????")
                              << QStringLiteral("Gr\u00FC\u00DFe \u20AC ????");
        QTest::newRow("1251") << 1251u << text << QByteArray("Gr??e \x88 \xCF\xF0\xE8?")
                              << QStringLiteral("Gr??e \u20AC \u041F\u0440\u0438?");
    }
    void codePage() {
        QFETCH(uint, page);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, back);
#ifndef Q_OS_WIN
        QCOMPARE(settings::ansiCodePage().number, 1252u);
#endif
        if (settings::ansiCodePage().number != page) {
            QSKIP("the system runs another code page");
        }
        IniFolder ini;
        QVERIFY(WriteINI("Cfg1602", "UDT1", text));
        QCOMPARE(ini.read(), "[Cfg1602]\r\nUDT1=" + bytes + "\r\n");
        QCOMPARE(ReadINI("Cfg1602", "UDT1"), back);
        std::array<QString, image1602::MessageCount> messages;
        messages[0] = text;
        QCOMPARE(image1602::messageBytes(messages, settings::ansiCodePage()).first(bytes.size()),
                 bytes);
    }
};

QTEST_GUILESS_MAIN(TestModIni)
#include "test_modini.moc"
