#pragma once

#include "link/checked.h"
#include "protocol/csv.h"
#include "protocol/report_figures.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace kv306 {

// The line's record in PostgreSQL: every station's rows in one table, kv306.rows, one row a report
// row, its id the primary key (so a row sent twice is stored once). Reached through libpq, by a
// connection URI or a service name as libpq reads them; a password belongs in the user's pgpass
// or service file, never in the URL. Every wait is bounded: a connection is given up after
// kConnectSeconds, a statement after kStatementMs.
class LineStore {
public:
    static constexpr int kConnectSeconds = 5;
    static constexpr int kStatementMs = 15000;
    static constexpr int kSchemaVersion = 2;

    // Refuses a URL that holds a password, or that libpq cannot read; the URL as it was given.
    static Checked<QString> CheckUrl(const QString &url);

    explicit LineStore(QString url);
    ~LineStore();
    LineStore(const LineStore &) = delete;
    LineStore &operator=(const LineStore &) = delete;

    // "db.plant:5432/line" (or the service's name before a connection): the database a message
    // names.
    QString Where() const;
    // Connects, when not connected; the reason, with what to do, when it cannot. `needSchema`:
    // a database without kv306.rows is refused, saying how to make it.
    Done Connect(bool needSchema = true);
    void Disconnect();
    bool Connected() const;

    // Makes the schema, the table, its indexes, the tally that keeps the figures quick and the
    // schema's version row; brings a table of an older version forward (true then); nothing when
    // they are there.
    Checked<bool> Init();

    // A report row as the store takes it: the report's columns by name, and where it came from.
    struct Row {
        std::map<QByteArray, QString> fields;  // by the report's column names; "id" always there
        QString reportFile;
    };
    // Sends the rows in one transaction, in order; how many of them were new (a row the store
    // holds already is left as it is). The server's message when it refuses them.
    Checked<int> Send(const std::vector<Row> &rows);

    // The figures of the rows from `since` to `until` (either may be invalid), of one station
    // (`host`) or lot when given, computed in the database: as a file's figures, for the whole
    // and by slot, operator, lot and station.
    struct Filter {
        QDateTime since;
        QDateTime until;
        QString host;
        QString lot;
    };
    struct LineFigures {
        Figures all;
        std::map<QString, Figures> bySlot, byOperator, byLot, byStation;
    };
    Checked<LineFigures> FiguresOf(const Filter &filter);

private:
    struct Connection;
    std::unique_ptr<Connection> db_;
    QString url_;
};

// A report's rows as the store takes them, each with its id (its own, or one made from its
// content); the reason when the file is no report. Rows that cannot be read are left out and
// counted in `unreadable`.
struct ReportRows {
    std::vector<LineStore::Row> rows;
    int unreadable = 0;
};
Checked<ReportRows> ReadReportRows(const QString &path);
// The same for one CSV record of a report whose columns are `columns`.
Checked<LineStore::Row> StoreRowOf(const CsvReader::Record &record, const ReportColumns &columns,
                                   const QString &reportFile);

}  // namespace kv306
