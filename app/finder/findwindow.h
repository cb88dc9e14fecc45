// SPDX-License-Identifier: MIT
#pragma once

// "Find Module…": searches every address, speed and format for a module, starting with the
// main window's settings, on the main window's port number. It holds the port only while it
// searches, so the main window must be Disconnected first; "Use these settings" hands a
// find back to the main window, where the user presses Connect.

#include <QWidget>

#include "serial/modulefinder.h"
#include "serial/mscomm.h"

class frmMain;
class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace finder {

class FindWindow : public QWidget {
    Q_OBJECT
  public:
    explicit FindWindow(frmMain* main, QWidget* parent = nullptr);
    ~FindWindow() override;

    QLabel* portLabel = nullptr;
    QSpinBox* fromBox = nullptr;
    QSpinBox* toBox = nullptr;
    QSpinBox* allowanceBox = nullptr;  // milliseconds
    QCheckBox* wholeBusBox = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QLabel* statusLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* timeLabel = nullptr;
    QListWidget* results = nullptr;
    QPushButton* useButton = nullptr;

    void startSearch();
    void useSettings();
    bool searching() const { return finder_.running(); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void showProgress(const finder::Progress& p);
    void showAnswer(const finder::Answer& a);
    void showEnd(const finder::Summary& s);
    void setSearching(bool on);
    // The main window's settings as the first probe, when they name a supported place.
    std::optional<finder::Probe> mainWindowProbe() const;

    frmMain* main_;
    MSComm port_;
    serial::ModuleFinder finder_{port_};  // after port_: stopped before the port goes
    std::vector<finder::Probe> found_;
};

}  // namespace finder
