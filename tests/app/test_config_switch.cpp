// SPDX-License-Identifier: MIT
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/config/frmConfig1602.h"
#include "app/config/frmConfig2004.h"
#include "app/configswitch.h"
#include "app/frmMain.h"
#include "tests/app/windowtest.h"
#include "widgets/messagebox.h"

using namespace testsupport;

namespace {

template <typename Window>
QList<Window*> openWindows() {
    QList<Window*> out;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* w = qobject_cast<Window*>(top); w != nullptr && w->isVisible()) {
            out << w;
        }
    }
    return out;
}

}  // namespace

class TestConfigSwitch : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() {
        closeAllWindows();
        ui::messageHook = &ui::showMessageBox;
    }

    void eachWindowExistsOnce() {
        Bench bench;
        configui::openWindow(0);
        const QList<frmConfig1602*> first = openWindows<frmConfig1602>();
        QCOMPARE(first.size(), 1);
        first.front()->cboaddr->setCurrentIndex(41);
        configui::openWindow(0);  // brought to the front, not built again
        QCOMPARE(openWindows<frmConfig1602>(), first);
        QCOMPARE(first.front()->cboaddr->currentText(), QStringLiteral("42"));

        configui::openWindow(1);
        configui::openWindow(7);
        QCOMPARE(openWindows<frmConfig2004>().size(), 1);
        QCOMPARE(openWindows<frmConfig1602>(), first);
        // Both hold the same port number: the second could not open it.
        QTRY_COMPARE(shownMessages(), QStringList{"COMM PORT ERROR!"});

        // Closed, then opened again: built anew, so the load runs again.
        closeWindow(first.front());
        WriteINI(QStringLiteral("Cfg1602"), QStringLiteral("Saddr"), QStringLiteral("7"));
        configui::openWindow(0);
        const QList<frmConfig1602*> again = openWindows<frmConfig1602>();
        QCOMPARE(again.size(), 1);
        QCOMPARE(again.front()->cboaddr->currentText(), QStringLiteral("7"));
    }

    void outlivesTheMainWindow() {
        Bench bench;
        bench.ini.write(
            "[Settings]\nCommPort=1\nSetting=9600,n,8,1\n[LCD]\nModule=2004\n"
            "[Ports]\n1=" +
            bench.pty.slavePath().toLocal8Bit() + "\n");
        recordMessages();
        auto* window = new frmMain;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        window->cmdConnect->click();
        QCOMPARE(window->cmdConnect->text(), QStringLiteral("Disconnect"));
        window->mnuCfg->trigger();
        QCOMPARE(window->cmdConnect->text(), QStringLiteral("Connect"));

        // The program runs until its last window is closed, not its main one.
        bool configStillUsable = false;
        bool stuck = false;
        QTimer::singleShot(0, window, [&] {
            window->close();
            QTimer::singleShot(0, qApp, [&] {
                const QList<frmConfig2004*> open = openWindows<frmConfig2004>();
                if (open.size() != 1) {
                    QApplication::quit();
                    return;
                }
                open.front()->cmdSend->click();
                configStillUsable = bench.pty.readExactly(23).size() == 23;
                open.front()->close();
            });
        });
        QTimer::singleShot(20000, qApp, [&] {  // only if it never quits
            stuck = true;
            QApplication::quit();
        });
        QApplication::exec();
        QVERIFY(!stuck);
        QVERIFY(configStillUsable);
        QVERIFY(shownMessages().isEmpty());
    }
};

QTEST_MAIN(TestConfigSwitch)
#include "test_config_switch.moc"
