// SPDX-License-Identifier: MIT
#pragma once

// "Monitor Bus…": listens to a line without ever writing to it, and shows every frame
// other devices put on it, with timings, flags and each slave's figures. Not modal, one at a
// time; it refuses a port the main window holds.

#include <QWidget>

#include "serial/busmonitor.h"

class frmMain;
class QComboBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTableWidget;
class QTimer;

namespace monitor {

class FrameRows;

class MonitorWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MonitorWindow(frmMain* main, QWidget* parent = nullptr);
    ~MonitorWindow() override;

    QComboBox* portList = nullptr;
    QComboBox* baudList = nullptr;
    QComboBox* formatList = nullptr;
    QComboBox* slaveList = nullptr;      // "All" or one address heard
    QPushButton* startButton = nullptr;  // Start, or Stop while listening
    QPushButton* exportButton = nullptr;
    QPushButton* captureButton = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* droppedLabel = nullptr;
    QTableView* frameTable = nullptr;
    QTableWidget* slaveTable = nullptr;

    FrameRows& rows() { return *rows_; }
    const busmonitor::BusMonitor& busMonitor() const { return monitor_; }
    // Rows the table shows now (after the slave filter).
    int shownRows() const;

    void startStop();
    // Write the rows shown (after the filter) to path; false, with a message shown, when
    // the file cannot be written.
    bool exportCsv(const QString& path);
    bool saveCapture(const QString& path);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void start();
    void stop(const QString& why = {});
    void addFrame(const busframe::Frame& f);
    void refreshSlaves();
    void applyFilter();
    void showDropped();
    QString heldByMain(const QString& device) const;

    frmMain* main_;
    busmonitor::BusMonitor monitor_;
    FrameRows* rows_ = nullptr;
    QSortFilterProxyModel* filter_ = nullptr;
    QTimer* refresh_ = nullptr;
    bool figuresStale_ = false;
    bool followTail_ = true;
    int port_ = 0;
    QString device_;
};

}  // namespace monitor
