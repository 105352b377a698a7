#pragma once

#include "link/checked.h"
#include "protocol/csv.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <set>
#include <vector>

namespace kv306 {

// A station's report read back, and the figures a line supervisor reads from it: units, passes,
// failures and errors, first-pass yield, units set up more than once, units an hour and what
// failed, for the whole and for each slot, operator and lot.

// The report's formats, oldest first: 1 had the adapter's serial number in "serial" and nothing
// after "seconds"; 2 added the scanned serial number, the operator, the lot and what the row was
// checked against; 3 the reason's token (outcome_text.h); 4 the row's id, the same however often
// the row is sent to a line's database. Each is read still, and a report is continued in the
// format it began with.
constexpr int kReportFormat = 4;
QList<QByteArray> ReportColumnNames(int format = kReportFormat);
QByteArray ReportHeader(int format = kReportFormat);
// A new row's id (a random UUID); the id of a row of an older format, made from its fields and
// the station that wrote it.
QString NewRowId();
// What a report without a reason column says failed, from its outcome's words ("fail: no reply
// within 1000 ms ..." -> "no-reply"), as reasons were told until they had a column; empty for a
// pass.
QString ReasonTokenOfOutcome(const QString &outcome);
QString DerivedRowId(const QList<QByteArray> &fields, const QString &host);

// One row, as the figures need it.
struct ReportEntry {
    QDateTime at;
    int unit = 0;
    int slot = 0;
    QString port;
    QString serial;  // the scanned serial number; empty where none was scanned
    int again = 0;   // the unit number of the serial number's row before, 0 for none
    QString operatorName;
    QString lot;
    QString kind;    // "pass", "fail", "error", "interrupted"
    QString reason;  // what failed, in a few words ("verify mismatch", "no reply", "error 8002")
    QString id;      // the row's own, or for a row of an older format one made from its content
    QString host;    // the station that wrote it, where the report says
};

// The names of a report's columns, from its header: nothing when the first line is no report's
// header (either format).
struct ReportColumns {
    std::map<QByteArray, int> index;  // name -> position
    int format = kReportFormat;
    int Of(const char *name) const;
    // The positions the figures read (-1 where the format has none).
    int time = -1, unit = -1, slot = -1, port = -1, outcome = -1, serial = -1, again = -1, operatorName = -1,
        lot = -1, reason = -1, id = -1, host = -1;
};
std::optional<ReportColumns> ColumnsOf(const CsvReader::Record &header);
// A row read strictly: as many fields as the header names, a time with its offset, a unit
// number, an outcome that begins with its kind. Nothing, with what is wrong, otherwise.
Checked<ReportEntry> EntryOf(const CsvReader::Record &row, const ReportColumns &columns);

struct Figures {
    int units = 0;  // rows: each set-up is one
    int pass = 0;
    int fail = 0;
    int error = 0;
    int interrupted = 0;
    // Units are told apart by their serial numbers; a row without one is a unit of its own.
    int newUnits = 0;    // units first set up here (their row says of no set-up before)
    int firstPass = 0;   // of those, the ones that passed their first set-up
    int setUpAgain = 0;  // units set up more than once (here, or once before and again here)
    QDateTime first;
    QDateTime last;
    std::map<QString, int> reasons;

    // first-pass yield, 0 to 1: firstPass of newUnits; nothing without new units
    std::optional<double> Yield() const;
    // units an hour between the first row and the last; nothing over less than a minute
    std::optional<double> PerHour() const;
    QJsonObject Json() const;
    // "12 units: 10 pass, 1 fail, 1 error; first-pass yield 90.9% (10 of 11 new units); 1 set up
    // more than once; 14.2 units/h; failures: verify mismatch 1, error 8002 1"
    QString Text() const;
};

// The figures in the window's words ("一次合格率 90.9%（10/11）……"): of this station's report, or
// of the whole line (every station's rows in the line's database).
enum class FiguresScope { Report, Line };
QString FiguresWords(const Figures &figures, FiguresScope whose = FiguresScope::Report);

// Figures for every row added, and for each slot, operator and lot.
class Tally {
public:
    void Add(const ReportEntry &entry);
    Figures Total() const { return total_.figures; }
    std::map<QString, Figures> BySlot() const { return Of(slots_); }
    std::map<QString, Figures> ByOperator() const { return Of(operators_); }
    std::map<QString, Figures> ByLot() const { return Of(lots_); }
    std::map<QString, Figures> ByStation() const { return Of(stations_); }

private:
    struct Group {
        Figures figures;
        struct Seen {
            int times = 0;
            bool again = false;  // counted as set up more than once
        };
        QHash<QString, Seen> units;  // by serial number, or the row's id without one
    };
    static void Count(Group &group, const ReportEntry &entry);
    static std::map<QString, Figures> Of(const std::map<QString, Group> &groups);

    Group total_;
    std::map<QString, Group> slots_;
    std::map<QString, Group> operators_;
    std::map<QString, Group> lots_;
    std::map<QString, Group> stations_;
};

// Which rows count: from `since` to `until` (either may be invalid: no bound), of one station
// (its host) and one lot when given.
struct ReportFilter {
    QDateTime since;
    QDateTime until;
    QString host;
    QString lot;
    bool Takes(const ReportEntry &entry) const;
};

// A whole report read strictly, the rows the filter takes tallied. A file that is no report is
// refused (`error`); a row it cannot read (one cut by a power cut, one edited by hand) is named by
// its file and line and left out of the figures.
struct ReportReading {
    Tally tally;
    qint64 rows = 0;  // rows read, in the bounds or not
    struct Unreadable {
        QString file;
        qint64 line = 0;
        QString why;
    };
    std::vector<Unreadable> unreadable;
    QString error;
};
ReportReading ReadReport(const QString &path, const ReportFilter &filter = {});
// Several stations' reports read together, as one line's: their rows tallied in the order of
// their times.
ReportReading ReadReports(const QStringList &paths, const ReportFilter &filter = {});

}  // namespace kv306
