#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <map>
#include <mutex>
#include <optional>

namespace kv306 {

// The serial numbers a station's scanner gives, each waiting for the unit it names. A line that
// names its slot first ("COM4 SN12345") waits in that slot's queue, in order, for the slot's next
// unit; a line that names none goes to the first slot, in the order given, whose unit is there and
// not yet scanned, or, while there is none, waits for the first that will be. With one slot every
// line is that slot's. A unit takes one serial number; a unit that was set up keeps it until it
// leaves. Safe on any thread.
class ScanQueue {
public:
    explicit ScanQueue(QStringList slotNames) : slotNames_(std::move(slotNames)) {}

    // Empty when the line is taken; otherwise why it is refused (empty, a text refused by
    // `refusal`, a port that is none of the slots): the unit waits for a good scan.
    QString Add(const QString &line, QString (*refusal)(const QString &));
    // No more lines will come (the end of standard input).
    void End();

    // The slot's unit is there and waits: its serial number, if one has come (the slot stops
    // waiting); nothing yet otherwise.
    std::optional<QString> Take(int slot);
    // The slot's unit is there no more, or the slot ends: unnamed scans go elsewhere.
    void StopWaiting(int slot);
    // A serial number taken for a unit that went before it was set up: the slot's next.
    void PutBack(int slot, const QString &serial);
    // None waits for the slot and no more will come.
    bool Over(int slot) const;

private:
    void Place();

    const QStringList slotNames_;
    mutable std::mutex mutex_;
    std::map<int, std::deque<QString>> named_;  // each slot's serial numbers, in order
    std::map<int, bool> waiting_;               // slots whose unit is there, not yet scanned
    std::deque<QString> unplaced_;
    bool ended_ = false;
};

}  // namespace kv306
