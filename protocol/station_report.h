#pragma once

#include "link/output_file.h"
#include "protocol/outcome_text.h"
#include "protocol/report_figures.h"
#include "protocol/unit_core.h"

#include <QDateTime>
#include <QString>

#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace kv306 {

// One unit set up, as the report keeps it.
struct StationRow {
    using Kind = Verdict;
    // Counted over the report's rows, other stations' included, so that a station started again
    // goes on counting and two stations on one report never give one number twice.
    int unit = 0;
    QDateTime at;  // when the outcome was known
    int slot = 0;  // 1 for the first port given
    QString port;
    QString device;
    QString adapterSerial;  // the adapter's own serial number, where the system gives one
    QString serial;         // the unit's serial number as scanned; empty where none was
    int again = 0;          // a serial number set up before: the unit number of its last row
    QString operatorName;
    QString lot;
    // What the row was checked against and by what, so that it stands on its own a year later:
    // the profile's file name and its values, the host and the tool's version.
    QString profile;
    Params target{};
    QString host;
    QString version;
    Kind kind = Kind::Pass;
    QString id = NewRowId();  // the same however often the row is sent to a line's database
    QByteArray written;       // the row's line as the report holds it
    // "pass", "fail: <reason>", "error: <serial error>", "interrupted: written, not verified",
    // in English whoever writes the row: the report is one format.
    QString outcome;
    std::optional<Params> values;  // what was read back
    double seconds = 0;            // from the unit's first answer to its outcome
    Outcome detail;
    // Why the row could not be put into the report; empty when it is there.
    QString reportError;

    bool Passed() const { return kind == Kind::Pass; }
    // "pass", "fail", "error", "interrupted"
    QString KindWord() const;
};

// A time as the report and the JSON lines give it: ISO 8601 with milliseconds and the offset
// from UTC ("2026-12-08T15:11:39.042+01:00").
QString StampText(const QDateTime &at);

// The station's record: a CSV file that rows are appended to, each written whole (or not at
// all) and synced before the next exchange, so that a power cut or a full disk loses no row and
// leaves no fragment; and, when asked, a JUnit file that is rewritten whole after each unit.
// Both follow the rule of link/output_file.h for files the tool writes.
class StationReport {
public:
    // Opens the CSV file for appending: a new or empty file gets the header; a report of the
    // first format (without serial numbers, operators and lots) is continued as it is, unless
    // `newColumns` asks for them; a file that holds something else than a station report is
    // refused, and so is anything that is no plain file (a folder, a pipe, /dev/null, a
    // terminal). `junit`, which may be empty, is checked by the same rule and first written once
    // a unit has its result. The reason it cannot, in the window's language.
    Done Open(const QString &csv, const QString &junit, bool newColumns = false);
    // Numbers the row (the report's units so far, whoever wrote them, plus one), marks a serial
    // number the report holds already, appends the row under a lock that other stations honour,
    // and rewrites the JUnit file. The reason when the row is not safe in the report (a full
    // disk, the report deleted or moved away).
    Done Append(StationRow &row);
    // The figures of every row of the report so far, other stations' included.
    Figures Total() const;
    // The report's columns, as its header names them.
    ReportColumns Columns() const
    {
        std::lock_guard lock(mutex_);
        return columns_.value_or(ReportColumns{});
    }

    static QByteArray CsvLine(const StationRow &row, int format = kReportFormat);

private:
    // Reads what others appended since this station last looked.
    Done CatchUp();
    void Read(const QByteArray &bytes);
    Done WriteJUnit();

    mutable std::mutex mutex_;
    AppendFile csv_;
    QString junit_;
    CsvReader reader_;
    qint64 counted_ = 0;  // bytes of the file read so far
    std::optional<ReportColumns> columns_;
    bool headerRead_ = false;
    std::map<QString, int> lastUnitOf_;  // serial number -> the unit number of its last row
    Tally tally_;
    std::vector<StationRow> rows_;  // this run's, for the JUnit file
};

}  // namespace kv306
