#pragma once

#include "protocol/unit_core.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace kv306 {

// A production line's set-up station: on each of its ports (its slots) it waits for a unit,
// writes a profile to it, reads it back, records the outcome and waits for the unit to go before
// it takes the next. Every front end runs the same station; each slot runs on a thread of its own.

// A slot's port: "COM3" (number 3) or a device path (number 0).
struct SlotPort {
    QString label;
    int number = 0;
    QString Device() const;
};

// One unit set up, as the report keeps it.
struct StationRow {
    enum class Kind { Pass, Fail, Error, Interrupted };
    int unit = 0;  // counted over the report, so that a station started again goes on counting
    QDateTime at;  // when the outcome was known
    int slot = 0;  // 1 for the first port given
    QString port;
    QString device;
    QString serial;  // the adapter's serial number, where the system gives one
    Kind kind = Kind::Pass;
    // "pass", "fail: <reason>", "error: <serial error>", "interrupted: written, not verified"
    QString outcome;
    std::optional<Params> values;  // what was read back
    double seconds = 0;            // from the unit's first answer to its outcome
    Outcome detail;

    bool Passed() const { return kind == Kind::Pass; }
    // "pass", "fail", "error", "interrupted"
    QString KindWord() const;
};

// The station's record: a CSV file that rows are appended to, each flushed and synced before the
// next exchange, so that a power cut loses no row; and, when asked, a JUnit file that is rewritten
// whole (never half) after each unit.
class StationReport {
public:
    static const char kHeader[];

    // Opens the CSV file for appending: a new or empty file gets the header; a file that holds
    // something else than a station report is refused. `junit` may be empty.
    bool Open(const QString &csv, const QString &junit, QString *error);
    // Units already in the file when it was opened.
    int RowsBefore() const { return rowsBefore_; }
    // False, with the reason, when the row could not be made safe on the disk.
    bool Append(const StationRow &row, QString *error);

    static QByteArray CsvLine(const StationRow &row);

private:
    bool WriteJUnit(QString *error);

    std::mutex mutex_;
    QFile csv_;
    QString junit_;
    int rowsBefore_ = 0;
    std::vector<StationRow> rows_;  // this run's, for the JUnit file
};

struct UnitOnPort;

class Station {
public:
    // How often a slot looks for its port while the port is not there, and how long it waits
    // between reads while its unit stays.
    static constexpr int kPortLookMs = 200;
    static constexpr int kStayLookMs = 250;
    // A unit that answered is gone after this many reads in a row went unanswered.
    static constexpr int kGoneAfterMisses = 3;

    struct Options {
        Params profile{};
        int count = 0;      // stop after this many units (0: until stopped)
        bool once = false;  // one look on every slot: set up what is there now, then end
    };
    enum class SlotState { NoPort, Waiting, Present, Gone, Done };

    Station(Options options, StationReport *report) : options_(options), report_(report) {}

    // Runs one slot until the station stops, its count is reached or, with `once`, after one
    // look. Safe on any thread, one call a slot.
    void RunSlot(int slot, const SlotPort &port);

    // The exchange in flight finishes, nothing more is sent.
    void Stop() { stop_ = true; }
    bool Stopping() const { return stop_ || (ShouldStop && ShouldStop()); }

    // Asked between exchanges too: a front end's own reason to stop (a signal).
    std::function<bool()> ShouldStop;
    // Each unit's outcome, once it is in the report. Called on the slot's thread.
    std::function<void(const StationRow &)> UnitDone;
    // A slot's port came or went, a unit came or went ("why": the read's failure, if any).
    std::function<void(int slot, const SlotPort &, SlotState, const QString &why)> SlotChanged;
    // With `once`: a slot that found no unit, and why (a port failure or no reply).
    std::function<void(int slot, const SlotPort &, const Outcome &)> NoUnit;

    // The report could not be written: the station stopped. Empty otherwise.
    QString ReportError() const;
    int Passed() const { return passed_; }
    int Failed() const { return failed_; }
    int Errors() const { return errors_; }
    int Interrupted() const { return interrupted_; }
    int Units() const { return passed_ + failed_ + errors_ + interrupted_; }

private:
    // A unit number for a unit that just answered, or nothing when the count is reached.
    std::optional<int> TakeUnit();
    bool CountReached() const;
    // Sleeps up to `ms`; false when the station stops meanwhile.
    bool Rest(int ms) const;
    StationRow SetUp(UnitOnPort &unit, int slot, const SlotPort &port, int number);
    void Record(const StationRow &row);
    void Changed(int slot, const SlotPort &port, SlotState state, const QString &why = {});

    Options options_;
    StationReport *report_;
    std::atomic<bool> stop_{false};
    std::atomic<int> taken_{0};
    std::atomic<int> passed_{0};
    std::atomic<int> failed_{0};
    std::atomic<int> errors_{0};
    std::atomic<int> interrupted_{0};
    mutable std::mutex mutex_;
    QString reportError_;
};

}  // namespace kv306
