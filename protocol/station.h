#pragma once

#include "link/port_ref.h"
#include "protocol/scan_queue.h"
#include "protocol/station_report.h"
#include "protocol/unit_core.h"

#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace kv306 {

class PortClaim;
struct UnitOnPort;

// A production line's set-up station: on each of its ports (its slots) it waits for a unit,
// writes a profile to it, reads it back, records the outcome and waits for the unit to go before
// it takes the next. Every front end runs the same station; each slot runs on a thread of its own.
//
// A unit is never skipped and never counted twice:
//   - a unit is there once it answers a read; a port that is missing, silent or held by another
//     program is waiting, never a failure, and a busy port is no unanswered read;
//   - after its row, a slot reads on until its unit goes (a local port goes, or kGoneAfterMisses
//     reads in a row are unanswered, a server port's refusals among them: a device server that
//     restarts takes no unit away); a read that answers with other values than the unit was left
//     with is a new unit (swapped faster than that, or reset) and is set up at once. A swapped unit
//     that already holds the profile's values cannot be told from the one before;
//   - with scans, a unit takes the next serial number meant for it and keeps it until it leaves; a
//     unit that leaves before it is set up leaves its serial number for the next;
//   - every slot holds its device for the whole run (PortClaim): a second slot named by another
//     link to the same device, or another station on it, sets up nothing and says who holds it;
//   - a port that can never be a serial port (a plain file, a folder, /dev/null) ends the station.

class Station {
public:
    // How often a slot looks for its port while the port is not there (or held), and how long it
    // waits between reads while its unit stays.
    static constexpr int kPortLookMs = 200;
    static constexpr int kStayLookMs = 250;
    // A unit that answered is gone after this many reads in a row went unanswered.
    static constexpr int kGoneAfterMisses = 3;

    struct Options {
        Params profile{};
        QString profileName;  // the profile's file name, for the report
        int count = 0;        // stop after this many units (0: until stopped)
        bool once = false;    // one look on every slot: set up what is there now, then end
        // Each unit is named by its serial number, scanned before it is set up (Scanned); the
        // slots' ports, in the order given, name the slot a scan may begin with ("COM4 SN12345").
        bool scan = false;
        QStringList slotNames;
        QString operatorName;
        QString lot;
    };
    // The longest serial number a scan may give, and the longest operator or lot.
    static constexpr int kSerialMax = 64;
    // Why a text that goes into every row (a serial number, an operator, a lot) is refused, or
    // empty: over kSerialMax characters, a control character, or a first character a spreadsheet
    // opening the report would take for the start of a formula (= + - @).
    static QString TextRefusal(const QString &text);
    enum class SlotState {
        NoPort,    // the port is not there (yet)
        Waiting,   // the port is there, no unit answers
        Busy,      // another program, station or slot holds the port (why: who)
        Present,   // a unit answered
        Scan,      // a unit answered and waits for its serial number to be scanned
        SetUp,     // the unit was set up and waits to be taken away
        Gone,      // the unit went
        Unusable,  // the port can never be a serial port: the station stops
        Done,
    };

    Station(Options options, StationReport *report);

    // Runs a slot for each port (slot n for the n-th), each on a thread of its own, and returns
    // when every slot has ended: what every front end calls.
    void Run(const QList<PortRef> &ports);
    // Runs one slot until the station stops, its count is reached or, with `once`, after one
    // look. Safe on any thread, one call a slot.
    void RunSlot(int slot, const PortRef &port);

    // The exchange in flight finishes, nothing more is sent.
    void Stop() { stop_ = true; }

    // A line scanned (a scanner that types and ends with Enter, a line of a file): the serial
    // number of a unit to come (ScanQueue). Empty when taken; otherwise why it is refused (empty,
    // a TextRefusal, a port that is no slot): the unit waits for a good scan.
    QString Scanned(const QString &line) { return scans_.Add(line, &TextRefusal); }
    // No more scans will come (the end of standard input): a slot that waits for one ends.
    void NoMoreScans() { scans_.End(); }
    // The ports whose unit was there when its slot ended and was never set up (it waited for a
    // serial number that did not come, or the station stopped first).
    QStringList NotSetUp() const;
    bool Stopping() const { return stop_ || (ShouldStop && ShouldStop()); }

    // Asked between exchanges too: a front end's own reason to stop (a signal).
    std::function<bool()> ShouldStop;
    // Each unit's outcome, once it is in the report (or, with reportError, could not be put
    // there). Called on the slot's thread.
    std::function<void(const StationRow &)> UnitDone;
    // A slot's port came or went, a unit came or went ("why": the read's failure, or who holds
    // the port).
    std::function<void(int slot, const PortRef &, SlotState, const QString &why)> SlotChanged;
    // With `once`: a slot that found no unit, and why (a port failure or no reply).
    std::function<void(int slot, const PortRef &, const Outcome &)> NoUnit;

    // The report could not be written: the station stopped. Empty otherwise.
    QString ReportError() const;
    // A port that can never be a serial port stopped the station: its failure.
    std::optional<Outcome> PortFault() const;
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
    StationRow SetUp(UnitOnPort &unit, int slot, const PortRef &port, int number);
    void Record(StationRow &row);
    void Changed(int slot, const PortRef &port, SlotState state, const QString &why = {});
    // Whether the slot may use the device behind its port now: no other slot of this station
    // and no other station holds it; who does, when one does.
    Done Claim(int slot, const PortRef &port, PortClaim &claim);
    void Unclaim(PortClaim &claim);
    // The same for the terminal `key` that a server on this computer serves at a slot's server
    // port (found while connected): held as `mine` while no other slot holds it.
    Done ClaimServed(int slot, const PortRef &port, const QString &key, QString &mine);

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
    std::optional<Outcome> portFault_;
    std::map<QString, std::pair<int, QString>> claimed_;  // device key -> slot and its port's label

    // A slot whose unit is there waits here for its serial number, reading the unit meanwhile:
    // the serial number; nothing with `gone` when the unit went first; nothing when none will come
    // or the station stops.
    std::optional<QString> AwaitScan(int slot, UnitOnPort &unit, bool served, bool *gone);

    ScanQueue scans_;
    QStringList notSetUp_;  // under mutex_
};

}  // namespace kv306
