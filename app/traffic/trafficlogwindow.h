// SPDX-License-Identifier: MIT
#pragma once

// The traffic log window: every frame of the session, one a row, with Clear, Copy and
// Export. Not modal; one at a time.

#include <QWidget>

class QLabel;
class QPushButton;
class QTableView;

namespace traffic {

class Model;

class TrafficLogWindow : public QWidget {
    Q_OBJECT
  public:
    explicit TrafficLogWindow(traffic::Model& model, QWidget* parent = nullptr);

    // Shows the program's one log window, making it on first use.
    static TrafficLogWindow* showLog();
    // Closes that window when it is open.
    static void closeLog();

    QLabel* droppedLabel = nullptr;
    QTableView* trafficTable = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* copyButton = nullptr;
    QPushButton* exportButton = nullptr;

    // The selected rows (all rows when none is selected, for exportTo) as text.
    QString selectedText() const;
    // Writes every row to path as CSV (RFC 4180, UTF-8, header row) or as tab-separated
    // plain text; false, with a message shown, when the file cannot be written.
    bool exportTo(const QString& path, bool csv);

  private:
    void showDropped();
    void copySelection();
    void exportRows();

    traffic::Model& model_;
    bool followTail_ = true;
};

}  // namespace traffic
