#include <QApplication>

#include "appicon.h"
#include "frmMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(tessalineIcon());
    frmMain window;
    window.show();
    return QApplication::exec();
}
