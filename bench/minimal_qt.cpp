// SPDX-License-Identifier: MIT
// The yardstick for start-up time and memory: the smallest Qt Widgets program with a main
// window, built the same way as the program it is compared with.

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "bench/firstframe.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const bench::FirstFrame frame(app);
    QMainWindow window;
    window.setCentralWidget(new QLabel(QStringLiteral("Hello"), &window));
    window.show();
    return QApplication::exec();
}
