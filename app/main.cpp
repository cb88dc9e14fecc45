#include <QApplication>

#include "app/resources/appicon.h"
#include "app/frmMain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(tessalineIcon());
    frmMain window;
    window.show();
    return QApplication::exec();
}
