#pragma once

#include "protocol/traffic_log.h"

#include <QAbstractTableModel>
#include <QTableView>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <deque>

namespace kv306 {

class Toolkit;

// The traffic log as a table, kept up to date by appending what was recorded since.
class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrafficModel(TrafficLog &log, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes in what the log recorded since the last call; true when rows were added.
    bool Refresh();

private:
    TrafficLog &log_;
    std::deque<LogEntry> rows_;
    std::uint64_t seen_ = 0;
    std::uint64_t clearings_ = 0;
};

// "通信记录": every exchange the tool makes. It records while closed: opening it shows what
// happened before.
class LogWindow : public QWidget {
    Q_OBJECT
public:
    // How long the traffic must rest before the table takes in new rows.
    static constexpr int kSettleMs = 150;
    // Wide enough for every column, narrow enough for a 1024 x 768 screen.
    static constexpr int kDefaultWidth = 1000;

    LogWindow(TrafficLog &log, Toolkit &toolkit, QWidget *parent);
    ~LogWindow() override;

    TrafficModel &Model() { return model_; }
    // Writes the log as tab-separated text to a file the operator names.
    void SaveAs();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Refresh();

    TrafficLog &log_;
    Toolkit &toolkit_;
    TrafficModel model_;
    QTableView *view_ = nullptr;
    QTimer settle_;
    std::atomic<bool> restartQueued_{false};
};

}  // namespace kv306
