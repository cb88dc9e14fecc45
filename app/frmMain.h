#pragma once

#include <QMainWindow>

// Placeholder until the main window lands.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
};
