// SPDX-License-Identifier: MIT
// Tab through every window in the order the controls are read: bands from top to bottom,
// within a band columns from left to right, each frame's controls together.

#include <QApplication>
#include <QTest>

#include "app/config/frmConfig1602.h"
#include "app/config/frmConfig2004.h"
#include "app/finder/findwindow.h"
#include "app/frmMain.h"
#include "app/traffic/trafficlogwindow.h"
#include "serial/traffic/recorder.h"
#include "serial/traffic/trafficmodel.h"
#include "tests/app/windowtest.h"

using namespace testsupport;

namespace {

bool takesTab(const QWidget* w) {
    return (w->focusPolicy() & Qt::TabFocus) != 0;
}

// The controls Tab visits in window, in the order it visits them from the first: the focus
// chain, without the parts inside a control (a list's text box) and other windows' controls.
QStringList tabOrder(QWidget* window) {
    QStringList names;
    for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        if (w->window() != window || !takesTab(w)) {
            continue;
        }
        bool inside = false;
        for (const QWidget* p = w->parentWidget(); p != window; p = p->parentWidget()) {
            inside = inside || takesTab(p);
        }
        if (!inside) {
            names << w->objectName();
        }
    }
    return names;
}

QStringList numbered(const QString& pattern, std::initializer_list<int> numbers) {
    QStringList out;
    for (const int n : numbers) {
        out << pattern.arg(n);
    }
    return out;
}

}  // namespace

class TestTabOrder : public QObject {
    Q_OBJECT
  private slots:
    void init() { bench_ = std::make_unique<Bench>(); }
    void cleanup() {
        closeAllWindows();
        bench_.reset();
    }

    void readingOrder_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("main") << "frmMain"
                              << QStringList{"opt9600",    "opt19200",   "opt38400",   "cboDF",
                                             "cboComm",    "cboModule",  "cboSlaveID", "cmdConnect",
                                             "cboAddr05",  "cboData05",  "cmdSend05",  "cboAddr06",
                                             "cboDataH06", "cboDataL06", "cmdSend06",  "cboAddr16",
                                             "txtMessage", "cmdSend16",  "cboAddr04",  "cmdSend04"};
        QTest::newRow("16x2") << "frmConfig1602"
                              << QStringList{"cboaddr", "cbobaud", "cboDF",  "cboW1", "cboDP1",
                                             "cboSP1",  "cboW2",   "cboDP2", "cboSP2"} +
                                     numbered("txtMessage_%1", {0, 1, 2, 3, 4, 5}) +
                                     QStringList{"cboSpage1", "cboSpage2", "cmdConfig", "cmdVerify",
                                                 "settleBox"};
        QStringList fields;
        for (int i = 0; i < 4; ++i) {
            fields << numbered("cboWidth1_%1", {i}) << numbered("cboDP_%1", {i})
                   << numbered("cboLoc_%1", {i});
        }
        QTest::newRow("20x4") << "frmConfig2004"
                              << QStringList{"cboaddr", "cbobaud", "cboDF", "cmdVerify"} + fields +
                                     QStringList{"settleBox", "cmdSend"} +
                                     numbered("cbosmsg_%1", {0, 1, 2, 3}) +
                                     numbered("cboIO_%1", {0, 4, 1, 5, 2, 6, 3, 7});
        QTest::newRow("finder") << "frmFind"
                                << QStringList{"fromBox",     "toBox",       "allowanceBox",
                                               "wholeBusBox", "startButton", "cancelButton",
                                               "results",     "useButton"};
        QTest::newRow("traffic log")
            << "frmTrafficLog" << QStringList{"grdTraffic", "cmdClear", "cmdCopy", "cmdExport"};
    }
    void readingOrder() {
        QFETCH(QString, window);
        QFETCH(QStringList, order);
        frmMain main;
        std::unique_ptr<QWidget> owned;
        QWidget* shown = &main;
        if (window == QLatin1String("frmConfig1602")) {
            owned = std::make_unique<frmConfig1602>();
        } else if (window == QLatin1String("frmConfig2004")) {
            owned = std::make_unique<frmConfig2004>();
        } else if (window == QLatin1String("frmFind")) {
            shown = new finder::FindWindow(&main, &main);
        } else if (window == QLatin1String("frmTrafficLog")) {
            owned = std::make_unique<traffic::TrafficLogWindow>(traffic::recorder().model());
        }
        if (owned) {
            owned->setAttribute(Qt::WA_DeleteOnClose, false);
            shown = owned.get();
        }
        shown->show();
        QCOMPARE(tabOrder(shown), order);
    }

  private:
    std::unique_ptr<Bench> bench_;
};

QTEST_MAIN(TestTabOrder)
#include "test_taborder.moc"
