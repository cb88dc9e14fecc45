#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QTest>

#include <sys/inotify.h>
#include <unistd.h>

#include "app/config/frmConfig1602.h"
#include "app/config/frmConfig2004.h"
#include "app/frmMain.h"
#include "tests/app/windowtest.h"

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
        // A typed baud rate is no reason to refuse: it goes out as 255, like "9600".
        typeInto(w->cbobaud, "115200");
        w->cmdSend->click();
        closeWindow(w);
        QCOMPARE(bench.pty.readExactly(23).mid(1, 1).toHex(), QByteArray("ff"));
        QVERIFY(shownMessages().isEmpty());
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
        const Choices1602 before = w->choices();
        closeWindow(w);
        compareSection("Cfg1602",
                       "Saddr=12 CSet=4800,n,8,2 Dwidth1=0 Dwidth2=5 DP1=0 DP2=-1 SP1=13 SP2=0 "
                       "Start1=0 Start2=6 UDT1= UDT6=0123456789ABCDEF");
        QVERIFY(bench.ini.read().contains("Cset="));

        auto* again = new frmConfig1602;
        QVERIFY(again->choices() == before);
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
        const Choices2004 before = w->choices();
        closeWindow(w);
        compareSection("Cfg2004",
                       "Saddr=12 CSet=115200,n,8,1 Dwidth2=5 Dwidth3=0 DP4=-1 SP4=18 "
                       "Start3=20 IODIR=129");
        auto* again = new frmConfig2004;
        QVERIFY(again->choices() == before);
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
        typeInto(w->cboIO[1], "x");
        typeInto(w->cboIO[3], "OUTPUT");
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
