#include <QApplication>

#include "app/frmMain.h"
#include "app/resources/appicon.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(tessalineIcon());
    frmMain window;
    window.show();
    return QApplication::exec();
}
