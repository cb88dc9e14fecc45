// SPDX-License-Identifier: MIT
// "Find Module…" against korvo-sim: the search from the main window's port, handing the
// find back to the main window, which then talks to the module; the port taken only while
// searching; refused while the main window is connected.

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTest>

#include "app/finder/findwindow.h"
#include "app/frmMain.h"
#include "tests/support/inifolder.h"
#include "tests/support/simprocess.h"
#include "tests/support/widgettest.h"

using namespace testsupport;

namespace {

// The main window over a modlcd.ini that maps port 3 to korvo-sim and preselects 9600 8N1,
// slave 1, Korvo-420; with its finder open.
struct Bench {
    IniFolder ini;
    SimProcess sim;
    std::unique_ptr<frmMain> main;
    finder::FindWindow* find = nullptr;

    explicit Bench(const QStringList& simArgs) {
        const QString path = sim.start(simArgs);
        ini.write(
            "[Settings]\r\nCommPort=3\r\nSetting=9600,n,8,1\r\n[LCD]\r\nSlave=1\r\n"
            "Module=2004\r\n[Ports]\r\n3=" +
            path.toLocal8Bit() + "\r\n");
        main = std::make_unique<frmMain>();
        main->show();
        main->findAction->trigger();
        find = main->findChild<finder::FindWindow*>();
        // Generous: this checks the window's flow, not how close to the line's own time a
        // probe may end. korvo-sim reads the line's settings when it gets round to a burst,
        // which on a busy machine can be after a quick finder has moved on: a module that
        // judges an old burst by the new settings answers a probe it never could have on a
        // real line (seen at 150 ms with a sanitizer run and two Wine runs beside the suite).
        find->allowanceBox->setValue(400);
    }
    ~Bench() { closeAllWindows(); }

    bool searchAround(int address) {
        find->fromBox->setValue(std::max(1, address - 2));
        find->toBox->setValue(address + 2);
        find->startButton->click();
        return QTest::qWaitFor([this] { return !find->searching(); }, 60'000);
    }
};

}  // namespace

class TestFindWindow : public QObject {
    Q_OBJECT
  private slots:
    void init() { recordMessages(); }

    void findsAndHandsBack() {
        auto* random = QRandomGenerator::global();
        const int address = 5 + static_cast<int>(random->bounded(235));
        const int baud = finder::Bauds[random->bounded(3)];
        const QString format = random->bounded(2) == 1 ? "8N2" : "8N1";
        Bench b({"--address", QString::number(address), "--baud", QString::number(baud), "--format",
                 format});
        QVERIFY(b.searchAround(address));
        const QString place =
            QStringLiteral("address %1, %2 %3").arg(address).arg(baud).arg(format);
        QVERIFY2(b.find->results->count() == 1,
                 qPrintable(place + ": " + b.find->statusLabel->text()));
        QCOMPARE(b.find->results->item(0)->text(),
                 "Module answers at " + place + " (register 0 holds 10)");
        QVERIFY(b.find->statusLabel->text().startsWith("Module answers at " + place));

        QVERIFY(b.find->useButton->isEnabled());
        b.find->useButton->click();
        QCOMPARE(b.main->cboSlaveID->currentText(), QString::number(address));
        QCOMPARE(b.main->cboDF->currentText(), format);
        QVERIFY(b.main->optBaud->checkedButton()->text().startsWith(QString::number(baud)));
        // The finder has let go of the port: the main window connects and reads the module.
        b.main->cmdConnect->click();
        QCOMPARE(b.main->cmdConnect->text(), QStringLiteral("Disconnect"));
        b.main->cmdSend04->click();
        QCOMPARE(b.main->lblReg3x[0]->text(), QStringLiteral("A"));
        QVERIFY(shownMessages().isEmpty());
    }

    void cancelFreesThePort() {
        Bench b({"--no-reply"});
        b.find->startButton->click();
        QVERIFY(QTest::qWaitFor([&] { return b.find->progressBar->value() >= 5; }, 10'000));
        QVERIFY(!b.find->startButton->isEnabled());
        b.find->cancelButton->click();
        QVERIFY(QTest::qWaitFor([&] { return !b.find->searching(); }, 5'000));
        QVERIFY(b.find->statusLabel->text().startsWith(QStringLiteral("Cancelled after")));
        QVERIFY(b.find->startButton->isEnabled());
        b.main->cmdConnect->click();
        QCOMPARE(b.main->cmdConnect->text(), QStringLiteral("Disconnect"));
    }

    // Nothing is searched, nor reported as searched, when the search could not be what was
    // asked for: the port held by the main window, or a range given backwards.
    void refused_data() {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("says");
        QTest::newRow("while connected") << true << 1 << 247 << "Disconnect in the main window";
        QTest::newRow("range backwards")
            << false << 200 << 10 << "The addresses run from 200 to 10";
    }
    void refused() {
        QFETCH(bool, connected);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, says);
        Bench b({"--address", "9"});
        if (connected) {
            b.main->cmdConnect->click();
        }
        b.find->fromBox->setValue(from);
        b.find->toBox->setValue(to);
        b.find->startButton->click();
        QVERIFY(!b.find->searching());
        QVERIFY2(b.find->statusLabel->text().startsWith(says),
                 qPrintable(b.find->statusLabel->text()));
        QVERIFY(!b.sim.log().contains(QLatin1String("rx ")));
        QVERIFY(b.find->startButton->isEnabled());
    }

    // A click on Cancel lands where Cancel was when Start was clicked: the window keeps its
    // layout as the search fills in its lines.
    void nothingMovesWhileSearching() {
        Bench b({"--no-reply"});
        QVERIFY(QTest::qWaitForWindowExposed(b.find));
        const auto where = [&b] {
            QList<QRect> at;
            for (const QWidget* w : std::initializer_list<const QWidget*>{
                     b.find->fromBox, b.find->startButton, b.find->cancelButton,
                     b.find->statusLabel, b.find->progressBar, b.find->results,
                     b.find->useButton}) {
                at << QRect(w->mapTo(b.find, QPoint()), w->size());
            }
            return at;
        };
        QTest::qWait(50);
        const QList<QRect> before = where();
        b.find->startButton->click();
        QVERIFY(QTest::qWaitFor([&] { return b.find->progressBar->value() >= 3; }, 10'000));
        QTest::qWait(50);
        QCOMPARE(where(), before);
        b.find->cancelButton->click();
        QVERIFY(QTest::qWaitFor([&] { return !b.find->searching(); }, 5'000));
    }
};

QTEST_MAIN(TestFindWindow)
#include "test_findwindow.moc"
