// SPDX-License-Identifier: MIT
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTest>

#include <grp.h>
#include <linux/capability.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <memory>

#include "app/config/frmConfig1602.h"
#include "app/config/frmConfig2004.h"
#include "app/frmMain.h"
#include "tests/app/windowtest.h"

using namespace testsupport;

namespace {

// Each "key=value" of the list against what the section holds.
void compareSection(const char* section, const char* keys) {
    for (const QString& entry : QString::fromLatin1(keys).split(' ')) {
        const QString key = entry.section('=', 0, 0);
        QCOMPARE(key + '=' + ReadINI(QLatin1String(section), key), entry);
    }
}

// How often modlcd.ini in folder is replaced (renamed into place) while closing window.
int replacementsOnClose(const QString& folder, QWidget* window) {
    const int fd = inotify_init1(IN_NONBLOCK);
    // Creations of the temporary files are watched too: they stand between the renames, so
    // that the kernel does not merge those into one event.
    inotify_add_watch(fd, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_TO);
    closeWindow(window);
    int count = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = read(fd, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            const bool renamed = (e->mask & IN_MOVED_TO) != 0 && e->len > 0;
            count += renamed && qstrcmp(e->name, "modlcd.ini") == 0 ? 1 : 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    close(fd);
    return count;
}

// Messages recorded with the class of the window that showed them.
void recordMessagesWithSender() {
    shownMessages().clear();
    ui::messageHook = [](QWidget* parent, const QString& text, QMessageBox::Icon) {
        shownMessages() << QString::fromLatin1(parent->metaObject()->className()) + ": " + text;
    };
}

// Choices as a window restores them: a list that held typed text naming no item comes back
// without a selection, its text not kept.
template <typename Choices>
Choices typedTextGone(std::span<const config::ListField<Choices>> fields, Choices c) {
    for (const auto& f : fields) {
        if (f.at(c) == config::TypedNoItem) {
            f.at(c) = -1;
        }
    }
    return c;
}

// Root opens any device whatever its permissions; while this lives, the calling thread does
// without the capabilities that let it, and a device's permissions apply as to any user.
class WithoutOverridingPermissions {
  public:
    WithoutOverridingPermissions() {
        syscall(SYS_capget, &header_, saved_.data());
        auto reduced = saved_;
        reduced[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
        syscall(SYS_capset, &header_, reduced.data());
    }
    ~WithoutOverridingPermissions() { syscall(SYS_capset, &header_, saved_.data()); }
    WithoutOverridingPermissions(const WithoutOverridingPermissions&) = delete;
    WithoutOverridingPermissions& operator=(const WithoutOverridingPermissions&) = delete;

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> saved_{};
};

}  // namespace

class TestConfigWindows : public QObject {
    Q_OBJECT
  private slots:
    void send1602() {
        Bench bench;
        auto* w = new frmConfig1602;
        w->show();
        // First opening: no rate or format is chosen for the module, so nothing goes out.
        QCOMPARE(w->cbobaud->currentIndex(), -1);
        QCOMPARE(w->cboDF->currentText(), QString());
        QTest::mouseClick(w->cmdConfig, Qt::LeftButton);
        QCOMPARE(shownMessages(), QStringList{"Choose an item in the list \"Baud Rate\"."});
        QVERIFY(bench.pty.readAll(100).isEmpty());
        w->cbobaud->setCurrentIndex(0);
        w->cboDF->setCurrentIndex(0);
        QTest::mouseClick(w->cmdConfig, Qt::LeftButton);  // every other list at its first item
        const QByteArray first = bench.pty.readExactly(110);
        QCOMPARE(first, QByteArray(96, ' ') + QByteArray::fromHex("24c0010000000000000101e71900"));
        w->cmdConfig->click();
        QCOMPARE(bench.pty.readExactly(110), first);

        w->cboaddr->setCurrentIndex(36);
        w->cbobaud->setCurrentIndex(2);
        QTest::keyClicks(w->txtMessage[1], QStringLiteral("Hello"));
        w->cmdConfig->click();
        closeWindow(w);  // right after the send: every byte still reaches the line
        const QByteArray sent = bench.pty.readExactly(110);
        QCOMPARE(sent.mid(16, 16), QByteArray("Hello           "));
        QCOMPARE(sent.mid(96, 3).toHex(), QByteArray("09c025"));
        QVERIFY(bench.pty.readAll(100).isEmpty());
        QCOMPARE(shownMessages().size(), 1);
    }

    void send2004() {
        Bench bench;
        auto* w = new frmConfig2004;
        // First opening: no rate or format chosen; the module takes that as 9600 8N1.
        QCOMPARE(w->cbobaud->currentIndex(), -1);
        QCOMPARE(w->cboDF->currentIndex(), -1);
        QTest::mouseClick(w->cmdSend, Qt::LeftButton);
        QCOMPARE(bench.pty.readExactly(23).left(3).toHex(), QByteArray("01ffff"));
        w->cboaddr->setCurrentIndex(4);  // the second worked example
        w->cbobaud->setCurrentIndex(1);
        w->cboDF->setCurrentIndex(1);
        w->cboIO[0]->setCurrentIndex(1);
        w->cboIO[7]->setCurrentIndex(1);
        const std::array<int, 16> rows{1, 2, 0, 20, 4, 2, 0, 0, 2, 0, 0, 1, 0, 10, 18, 3};
        for (std::size_t i = 0; i < 4; ++i) {
            w->cbosmsg[i]->setCurrentIndex(rows[i]);
            w->cboWidth1[i]->setCurrentIndex(rows[4 + i]);
            w->cboDP[i]->setCurrentIndex(rows[8 + i]);
            w->cboLoc[i]->setCurrentIndex(rows[12 + i]);
        }
        QTest::mouseClick(w->cmdSend, Qt::LeftButton);
        const QByteArray wire =
            QByteArray::fromHex("05190e81010200140503010102000001000a1203f01000");
        QCOMPARE(bench.pty.readExactly(23).toHex(), wire.toHex());
        closeWindow(w);
        QVERIFY(shownMessages().isEmpty());
    }

    // A list that may be left empty still refuses typed text that names none of its items,
    // which would go out as the code for an empty list; the item's own text counts as it.
    void typedTextNamingNoItem_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("refusal");  // "" when it goes out
        QTest::addColumn<int>("byte");         // of the upload, and what it holds then
        QTest::addColumn<int>("code");
        QTest::newRow("speed no item") << "cbobaud"
                                       << "57600"
                                       << "Baud Rate" << 1 << 0;
        QTest::newRow("speed an item") << "cbobaud"
                                       << "19200"
                                       << "" << 1 << 25;
        QTest::newRow("format no item") << "cboDF"
                                        << "8O1"
                                        << "Data Format" << 2 << 0;
        QTest::newRow("format an item") << "cboDF"
                                        << "8E1"
                                        << "" << 2 << 38;
        QTest::newRow("pin no item") << "cboIO_3"
                                     << "OUTPUT"
                                     << "IO Direction on P2 Header 4" << 3 << 0;
        QTest::newRow("pin left empty") << "cboIO_3"
                                        << ""
                                        << "" << 3 << 0;
    }
    void typedTextNamingNoItem() {
        QFETCH(QString, list);
        QFETCH(QString, typed);
        QFETCH(QString, refusal);
        QFETCH(int, byte);
        QFETCH(int, code);
        Bench bench;
        auto* w = new frmConfig2004;
        auto* box = w->findChild<QComboBox*>(list);
        QVERIFY(box != nullptr);
        typeInto(box, typed);
        if (typed.isEmpty()) {
            QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);  // what was shown goes
        }
        w->cmdSend->click();
        if (refusal.isEmpty()) {
            QVERIFY(shownMessages().isEmpty());
            QCOMPARE(int(quint8(bench.pty.readExactly(23).at(byte))), code);
        } else {
            QCOMPARE(
                shownMessages(),
                QStringList{QStringLiteral("Choose an item in the list \"%1\".").arg(refusal)});
            QVERIFY(bench.pty.readAll(100).isEmpty());
        }
        closeWindow(w);
    }

    void listWithoutSelectionSendsNothing() {
        Bench bench;
        auto* a = new frmConfig1602;
        typeInto(a->cbobaud, "4800");
        QCOMPARE(a->cbobaud->currentIndex(), -1);
        a->cmdConfig->click();
        auto* b = new frmConfig2004;  // cannot open the port a holds; told so, still usable
        typeInto(b->cboLoc[2], "25");
        b->cmdSend->click();
        QTRY_COMPARE(shownMessages(),
                     (QStringList{"Choose an item in the list \"Baud Rate\".",
                                  "Choose an item in the list \"Location of Field 3 ( Line 2 )\".",
                                  "COMM PORT ERROR!"}));
        QVERIFY(bench.pty.readAll(100).isEmpty());
        typeInto(a->cbobaud, "19200");  // typing an item's text selects it
        a->cboDF->setCurrentIndex(0);
        a->cmdConfig->click();
        QCOMPARE(bench.pty.readExactly(110).at(96), char(18));
        closeWindow(a);
        closeWindow(b);
    }

    // Characters the module has no glyph for still go out as '?', but the text box says
    // which before the send: a mark at its end and a tooltip.
    void unshowableMarked_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("tip");
        const QString many = QStringLiteral(
            "The module cannot show \"Ж\", \"у\", \"к\": they are "
            "sent as \"?\".");
        QTest::newRow("main window, Cyrillic") << "main"
                                               << "Жук 5°C" << many;
        QTest::newRow("main window, Western") << "main"
                                              << "Grüße 5°C ?"
                                              << "";
        QTest::newRow("16x2 message, Cyrillic") << "16x2"
                                                << "Жук" << many;
        QTest::newRow("16x2 message, emoji")
            << "16x2"
            << "ok \U0001F600"
            << "The module cannot show \"\U0001F600\": it is sent as \"?\".";
        QTest::newRow("16x2 message, Western") << "16x2"
                                               << "Grüße"
                                               << "";
    }
    void unshowableMarked() {
        QFETCH(QString, window);
        QFETCH(QString, typed);
        QFETCH(QString, tip);
        Bench bench;
        std::unique_ptr<QWidget> w;
        QLineEdit* box = nullptr;
        if (window == QLatin1String("main")) {
            auto main = std::make_unique<frmMain>();
            main->cboComm->setCurrentIndex(0);
            main->opt9600->setChecked(true);
            main->cboDF->setCurrentIndex(0);
            main->cboModule->setCurrentIndex(1);
            main->cmdConnect->click();  // the message box takes text once connected
            QVERIFY(main->fCom16->isEnabled());
            box = main->txtMessage;
            w = std::move(main);
        } else {
            auto config = std::make_unique<frmConfig1602>();
            config->setAttribute(Qt::WA_DeleteOnClose, false);
            box = config->txtMessage[2];
            w = std::move(config);
        }
        // Typed key by key, as a keyboard of that language sends them (QTest's own key
        // clicks know ASCII only).
        for (const char32_t c : typed.toUcs4()) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                            QString::fromUcs4(&c, 1));
            QApplication::sendEvent(box, &press);
        }
        QCOMPARE(box->text(), typed);
        QCOMPARE(box->toolTip(), tip);
        auto* mark = box->findChild<QAction*>(QStringLiteral("unshowableMark"));
        QVERIFY(mark != nullptr);
        QCOMPARE(mark->isVisible(), !tip.isEmpty());
        box->clear();  // mended: the mark goes
        QVERIFY(!mark->isVisible() && box->toolTip().isEmpty());
    }

    // Refused for want of permission (on Linux, a user outside group dialout): the window
    // says so and how to mend it. Root may open anything, so the test does without that
    // for the length of the open.
    void portNotPermitted_data() {
        QTest::addColumn<bool>("main");  // the main window's Connect, or a configuration window
        QTest::newRow("main window") << true;
        QTest::newRow("16x2 window") << false;
    }
    void portNotPermitted() {
        QFETCH(bool, main);
        if (::geteuid() != 0) {
            QSKIP("needs root, to give the device to another owner");
        }
        Bench bench;
        const QByteArray device = QFile::encodeName(bench.pty.slavePath());
        const group* dialout = ::getgrnam("dialout");
        QVERIFY(dialout != nullptr);
        QCOMPARE(::chown(device.constData(), 65534, dialout->gr_gid), 0);
        QCOMPARE(::chmod(device.constData(), 0660), 0);
        std::unique_ptr<QWidget> w;
        if (main) {
            auto window = std::make_unique<frmMain>();
            window->cboComm->setCurrentIndex(0);
            window->opt9600->setChecked(true);
            window->cboDF->setCurrentIndex(0);
            const WithoutOverridingPermissions asAnyUser;
            window->cmdConnect->click();
            QCOMPARE(window->cmdConnect->text(), QStringLiteral("Connect"));
            w = std::move(window);
        } else {
            const WithoutOverridingPermissions asAnyUser;
            auto window = std::make_unique<frmConfig1602>();
            window->setAttribute(Qt::WA_DeleteOnClose, false);
            window->show();
            w = std::move(window);
        }
        QTRY_COMPARE(shownMessages().size(), 1);
        const QString shown = shownMessages().front();
        QVERIFY2(shown.startsWith(QLatin1String("COMM PORT ERROR!\n\nPort 1 (")),
                 qPrintable(shown));
        QVERIFY2(shown.contains(QLatin1String("not permitted for user root: add the user to "
                                              "group dialout (sudo adduser root dialout)")),
                 qPrintable(shown));
    }

    void portThatCannotBeOpened() {
        Bench bench;
        bench.ini.write(
            "[Ports]\n7=/dev/tessaline-no-such-port\n[Cfg1602]\nSaddr=9\nCSet=9600,n,8,1\n");
        PortNumber = QStringLiteral("7");
        auto* w = new frmConfig1602;
        w->show();
        QTRY_COMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});
        QCOMPARE(w->cboaddr->currentText(), QStringLiteral("9"));  // restored all the same
        w->cmdConfig->click();
        QCOMPARE(shownMessages().size(), 2);
        QCOMPARE(shownMessages().last(), QStringLiteral("COMM PORT ERROR!"));
        Bench::mapPort(7, bench.pty.slavePath());  // there now: the next press opens it
        w->cmdConfig->click();
        QCOMPARE(bench.pty.readExactly(110).at(98), char(9));
        w->cboaddr->setCurrentIndex(20);
        closeWindow(w);
        compareSection("Cfg1602", "Saddr=21");
    }

    void roundTrip1602() {
        Bench bench;
        auto* w = new frmConfig1602;
        w->cboaddr->setCurrentIndex(11);
        typeInto(w->cbobaud, "4800");
        w->cboDF->setCurrentIndex(1);
        w->cboW2->setCurrentIndex(4);
        typeInto(w->cboW1, "x");
        typeInto(w->cboDP2, "x");
        w->cboSP1->setCurrentIndex(13);
        w->cboSpage2->setCurrentIndex(6);
        w->txtMessage[5]->setText(QStringLiteral("0123456789ABCDEF"));
        const image1602::Choices before = w->choices();
        closeWindow(w);
        compareSection("Cfg1602",
                       "Saddr=12 CSet=4800,n,8,2 Dwidth1=0 Dwidth2=5 DP1=0 DP2=-1 SP1=13 SP2=0 "
                       "Start1=0 Start2=6 UDT1= UDT6=0123456789ABCDEF");
        QVERIFY(bench.ini.read().contains("Cset="));

        auto* again = new frmConfig1602;
        QVERIFY(again->choices() == typedTextGone(image1602::listFields(), before));
        closeWindow(again);
    }

    void roundTrip2004() {
        Bench bench;
        WriteINI(QStringLiteral("Cfg2004"), QStringLiteral("IODIR"), QStringLiteral("129"));
        auto* w = new frmConfig2004;
        QCOMPARE(w->cboIO[0]->currentText(), QStringLiteral("OUT"));
        QCOMPARE(w->cboIO[7]->currentText(), QStringLiteral("OUT"));
        w->cboaddr->setCurrentIndex(11);
        typeInto(w->cbobaud, "115200");
        w->cboDF->setCurrentIndex(0);
        w->cboWidth1[1]->setCurrentIndex(4);
        typeInto(w->cboWidth1[2], "x");
        typeInto(w->cboDP[3], "x");
        w->cboLoc[3]->setCurrentIndex(18);
        w->cbosmsg[2]->setCurrentIndex(20);
        const image2004::Choices before = w->choices();
        closeWindow(w);
        compareSection("Cfg2004",
                       "Saddr=12 CSet=115200,n,8,1 Dwidth2=5 Dwidth3=0 DP4=-1 SP4=18 "
                       "Start3=20 IODIR=129");
        auto* again = new frmConfig2004;
        QVERIFY(again->choices() == typedTextGone(image2004::listFields(), before));
        closeWindow(again);
    }

    void handWrittenFiles() {
        Bench bench;
        bench.ini.write(
            "[cfg1602]\nsaddr=5\ncset=19200,e,8,1\ndwidth1=2.5\nDP2=3\nstart2=6\n"
            "udt3=0123456789abcdefGHIJ\nsp1=abc\n"
            "[cfg2004]\nsaddr=247\ncset=38400,n,8,2\nstart4=20\niodir=128\n"
            "[ports]\n1=" +
            bench.pty.slavePath().toLocal8Bit() + "\n");
        auto* a = new frmConfig1602;
        QCOMPARE(a->txtMessage[2]->text(), QStringLiteral("0123456789abcdef"));
        a->cmdConfig->click();
        QCOMPARE(bench.pty.readExactly(110).mid(96, 11).toHex(),
                 QByteArray("12d0050003000000060301"));
        closeWindow(a);
        auto* b = new frmConfig2004;
        b->cmdSend->click();
        QCOMPARE(bench.pty.readExactly(23).left(8).toHex(), QByteArray("f70c0e8000000014"));
        closeWindow(b);
    }

    // A pin list left without a direction is an input: the upload goes out with its bit
    // clear, and without a message.
    void pinWithoutDirectionIsInput() {
        Bench bench;
        auto* w = new frmConfig2004;
        w->cboIO[1]->setCurrentIndex(1);
        w->cboIO[6]->setCurrentIndex(1);
        typeInto(w->cboIO[1], "");
        QTest::keyClick(w->cboIO[1]->lineEdit(), Qt::Key_Backspace);
        w->cmdSend->click();
        QCOMPARE(bench.pty.readExactly(23).mid(3, 1).toHex(), QByteArray("40"));
        QVERIFY(shownMessages().isEmpty());
        closeWindow(w);
        compareSection("Cfg2004", "IODIR=64");
    }

    // Every key of a window reaches the disk in one replacement of the file.
    void oneWritePerClose() {
        Bench bench;
        QCOMPARE(replacementsOnClose(bench.ini.path(), new frmConfig1602), 1);
        QCOMPARE(replacementsOnClose(bench.ini.path(), new frmConfig2004), 1);
        compareSection("Cfg1602", "Saddr=1 Dwidth2=1 Start2=0 UDT6=");
        compareSection("Cfg2004", "Saddr=1 Start4=0 IODIR=0");
    }

    // The window whose settings could not be saved says so itself, once; the main window
    // closing later has nothing of it to report.
    void failedSaveIsReportedByItsWindow_data() {
        QTest::addColumn<bool>("is1602");
        QTest::newRow("16x2") << true;
        QTest::newRow("20x4") << false;
    }
    void failedSaveIsReportedByItsWindow() {
        QFETCH(bool, is1602);
        Bench bench;
        recordMessagesWithSender();
        auto main = std::make_unique<frmMain>();
        QWidget* w = is1602 ? static_cast<QWidget*>(new frmConfig1602) : new frmConfig2004;
        QTemporaryFile notAFolder;
        QVERIFY(notAFolder.open());
        modINI::setFolder(notAFolder.fileName());
        const QString path = modINI::iniPath();
        closeWindow(w);
        modINI::setFolder(bench.ini.path());
        main->close();
        QCOMPARE(shownMessages(),
                 QStringList{QStringLiteral("%1: The settings could not be saved to %2.")
                                 .arg(is1602 ? "frmConfig1602" : "frmConfig2004", path)});
    }
};

QTEST_MAIN(TestConfigWindows)
#include "test_config_windows.moc"
