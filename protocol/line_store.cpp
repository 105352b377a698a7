#include "protocol/line_store.h"

#include "protocol/line_store_sql.h"

#include "link/bounded_call.h"
#include "link/output_file.h"
#include "protocol/outcome_text.h"

#include <QFile>
#include <QFileInfo>

#include <libpq-fe.h>

#include <optional>
#include <utility>

namespace kv306 {

namespace {

// The table's columns, in order: the report's, then what the store adds. Quoted where they are
// written, as "time" and "operator" are words of SQL.
struct Column {
    const char *name;
    const char *type;
};
constexpr Column kColumns[] = {
    {"id", "uuid PRIMARY KEY"},
    {"time", "timestamptz NOT NULL"},
    {"unit", "integer NOT NULL"},
    {"slot", "integer NOT NULL"},
    {"port", "text NOT NULL"},
    {"device", "text"},
    {"adapter_serial", "text"},
    {"outcome", "text NOT NULL"},
    {"kind", "text NOT NULL"},
    {"reason", "text"},
    {"horizontal", "text"},
    {"vertical", "text"},
    {"size", "text"},
    {"standard", "text"},
    {"roundness", "text"},
    {"outside", "text"},
    {"seconds", "double precision"},
    {"serial", "text"},
    {"again", "integer"},
    {"operator", "text"},
    {"lot", "text"},
    {"profile", "text"},
    {"target", "text"},
    {"host", "text"},
    {"version", "text"},
    {"report_file", "text"},
};

// How a user names the database: "host:port/database", or the service.
QString WhereOf(const QString &url)
{
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(url.toUtf8().constData(), &error);
    PQfreemem(error);
    if (!options)
        return url;
    QString host, port, db, service;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        const QString value = o->val ? QString::fromUtf8(o->val) : QString();
        if (qstrcmp(o->keyword, "host") == 0 || (qstrcmp(o->keyword, "hostaddr") == 0 && host.isEmpty()))
            host = value;
        else if (qstrcmp(o->keyword, "port") == 0)
            port = value;
        else if (qstrcmp(o->keyword, "dbname") == 0)
            db = value;
        else if (qstrcmp(o->keyword, "service") == 0)
            service = value;
    }
    PQconninfoFree(options);
    if (!service.isEmpty() && host.isEmpty())
        return QStringLiteral("service %1").arg(service);
    return QStringLiteral("%1:%2/%3")
        .arg(host.isEmpty() ? QStringLiteral("localhost") : host,
             port.isEmpty() ? QStringLiteral("5432") : port, db);
}

// What to do about a connection libpq could not make, from its message.
QString AdviceFor(const QString &message)
{
    const auto has = [&message](const char *words) { return message.contains(QLatin1String(words)); };
    if (has("password authentication failed") || has("no password supplied") || has("SCRAM"))
        return QStringLiteral("check the user and the password in your pgpass file or service file");
    if (has("certificate verify failed") || has("root certificate"))
        return QStringLiteral("the server's certificate is not trusted: name the authority that signed it "
                              "with sslrootcert=FILE");
    if (has("Connection refused") || has("could not connect"))
        return QStringLiteral("is the database running, and listening there?");
    if (has("timeout expired"))
        return QStringLiteral("no answer within %1 s: is the host reachable?")
            .arg(LineStore::kConnectSeconds);
    if (has("does not exist"))
        return QStringLiteral("check the database's and the user's names");
    return QStringLiteral("see the database's message");
}

QString Simplified(const char *text)
{
    return QString::fromUtf8(text).simplified();
}

// Runs SQL: the first value of its answer (empty for a command), or the server's message.
Checked<QByteArray> Ask(PGconn *conn, const QString &sql)
{
    PGresult *result = PQexec(conn, sql.toUtf8().constData());
    const ExecStatusType status = PQresultStatus(result);
    Checked<QByteArray> answer = status == PGRES_TUPLES_OK && PQntuples(result) >= 1
                                     ? Checked<QByteArray>(QByteArray(PQgetvalue(result, 0, 0)))
                                     : Checked<QByteArray>(QByteArray());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        answer = Checked<QByteArray>::Refused(Simplified(PQresultErrorMessage(result)));
    PQclear(result);
    return answer;
}

}  // namespace

struct LineStore::Connection {
    PGconn *conn = nullptr;
    ~Connection()
    {
        if (conn)
            PQfinish(conn);
    }
};

Checked<QString> LineStore::CheckUrl(const QString &url)
{
    if (url.trimmed().isEmpty())
        return Checked<QString>::Refused(QStringLiteral("--store needs a connection URI or service=NAME"));
    char *error = nullptr;
    PQconninfoOption *options = PQconninfoParse(url.toUtf8().constData(), &error);
    if (!options) {
        const QString why = error ? Simplified(error) : QStringLiteral("unreadable");
        PQfreemem(error);
        return Checked<QString>::Refused(QStringLiteral("--store %1: %2").arg(url, why));
    }
    bool password = false;
    for (PQconninfoOption *o = options; o->keyword; ++o) {
        if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
            password = true;
    }
    PQconninfoFree(options);
    if (password)
        return Checked<QString>::Refused(
            QStringLiteral("--store: a password does not belong in the URL, where anyone who can list the "
                           "processes reads it; put it in your pgpass file (%1) or a service file (%2), "
                           "where libpq reads it")
                .arg(
#ifdef Q_OS_WIN
                    QStringLiteral("%APPDATA%\\postgresql\\pgpass.conf"),
                    QStringLiteral("%APPDATA%\\postgresql\\.pg_service.conf")
#else
                    QStringLiteral("~/.pgpass, mode 600"), QStringLiteral("~/.pg_service.conf")
#endif
                        ));
    return url;
}

LineStore::LineStore(QString url) : db_(std::make_unique<Connection>()), url_(std::move(url)) {}

LineStore::~LineStore() = default;

QString LineStore::Where() const
{
    if (db_->conn && PQstatus(db_->conn) == CONNECTION_OK)
        return QStringLiteral("%1:%2/%3")
            .arg(QString::fromUtf8(PQhost(db_->conn)), QString::fromUtf8(PQport(db_->conn)),
                 QString::fromUtf8(PQdb(db_->conn)));
    return WhereOf(url_);
}

bool LineStore::Connected() const
{
    return db_->conn && PQstatus(db_->conn) == CONNECTION_OK;
}

void LineStore::Disconnect()
{
    if (db_->conn)
        PQfinish(db_->conn);
    db_->conn = nullptr;
}

Done LineStore::Connect(bool needSchema)
{
    if (Connected())
        return Done::Ok();
    Disconnect();
    // libpq bounds the connection by connect_timeout, but not the host name's lookup before it:
    // a name server that never answers would hold the caller. The whole connect runs on a thread
    // of its own, given up after kConnectSeconds and some; a connection made after that is closed
    // there.
    struct Owned {
        PGconn *conn = nullptr;
        Owned() = default;
        explicit Owned(PGconn *c) : conn(c) {}
        Owned(Owned &&other) noexcept : conn(std::exchange(other.conn, nullptr)) {}
        Owned &operator=(Owned &&) = delete;
        ~Owned()
        {
            if (conn)
                PQfinish(conn);
        }
    };
    const int boundMs = kConnectSeconds * 1000 + 2000;
    std::optional<Owned> made = WithinMs(
        [url = url_.toUtf8(), timeout = QByteArray::number(kConnectSeconds)] {
            // A connection that goes quiet (a cable pulled, a server stopped hard) is found out
            // within some seconds, not after the system's own hours.
            const char *const keywords[] = {"dbname",           "connect_timeout",  "application_name",
                                            "keepalives",       "keepalives_idle",  "keepalives_interval",
                                            "keepalives_count", "tcp_user_timeout", nullptr};
            const char *const values[] = {
                url.constData(), timeout.constData(), "kv306", "1", "5", "2", "3", "10000", nullptr};
            return Owned(PQconnectdbParams(keywords, values, 1));
        },
        boundMs);
    if (!made)
        return Done::Refused(
            QStringLiteral("the database %1 cannot be reached: no answer within %2 s (is "
                           "the host's name known to the name server, and the host reachable?)")
                .arg(WhereOf(url_))
                .arg(boundMs / 1000));
    db_->conn = std::exchange(made->conn, nullptr);
    if (PQstatus(db_->conn) != CONNECTION_OK) {
        const QString message = Simplified(PQerrorMessage(db_->conn));
        Disconnect();
        return Done::Refused(QStringLiteral("the database %1 cannot be reached: %2 (%3)")
                                 .arg(WhereOf(url_), message, AdviceFor(message)));
    }
    // The server's notices ("already exists, skipping") are no news to a user; compiling a query
    // (JIT) costs more than the figures' queries take.
    PGresult *set =
        PQexec(db_->conn,
               QStringLiteral("SET statement_timeout = %1; SET client_min_messages = warning; SET jit = off")
                   .arg(kStatementMs)
                   .toUtf8());
    PQclear(set);
    if (!needSchema)
        return Done::Ok();
    // Whether the table is there, and in which form: two questions, as a query that names a table
    // that is not there fails whole.
    Checked<QByteArray> has = Ask(db_->conn, "SELECT to_regclass('kv306.rows') IS NOT NULL");
    const bool there = has && *has == "t";
    int version = 0;
    if (there) {
        has = Ask(db_->conn, "SELECT coalesce(max(version), 0) FROM kv306.schema_version");
        version = has ? has->toInt() : 0;
    }
    const bool answered = static_cast<bool>(has);
    const QString message = has.reason;
    if (!answered) {
        const QString where = Where();
        Disconnect();
        return Done::Refused(
            QStringLiteral("the database %1 did not say which table it holds: %2").arg(where, message));
    }
    if (there && version < kSchemaVersion) {
        const QString where = Where();
        Disconnect();
        return Done::Refused(
            QStringLiteral("the database %1 holds the line's rows in an older form (version %2); "
                           "bring it forward with: kv306ctl store init URL")
                .arg(where)
                .arg(version));
    }
    if (!there) {
        const QString where = Where();
        Disconnect();
        return Done::Refused(QStringLiteral("the database %1 has no table kv306.rows for the line's rows; "
                                            "make it with: kv306ctl store init URL")
                                 .arg(where));
    }
    return Done::Ok();
}

Checked<bool> LineStore::Init()
{
    if (const Done connected = Connect(false); !connected)
        return Checked<bool>::Refused(connected.reason);
    QStringList columns;
    for (const Column &c : kColumns)
        columns << QStringLiteral("\"%1\" %2").arg(QLatin1String(c.name), QLatin1String(c.type));
    const auto exec = [this](const QString &sql) { return Ask(db_->conn, sql); };
    // The table, its version, and what keeps the figures quick (see kTallySql). A table of an older
    // version is brought forward in the same transaction, the stations' rows held back meanwhile.
    const Checked<QByteArray> before =
        exec(QStringLiteral("BEGIN;"
                            "CREATE SCHEMA IF NOT EXISTS kv306;"
                            "CREATE TABLE IF NOT EXISTS kv306.schema_version (version integer NOT NULL);"
                            // Every role that reaches the table may see which form it is in.
                            "GRANT SELECT ON kv306.schema_version TO PUBLIC;"
                            "CREATE TABLE IF NOT EXISTS kv306.rows (%1);"
                            "LOCK TABLE kv306.rows IN SHARE ROW EXCLUSIVE MODE;"
                            // Bringing a large table forward counts all its rows once.
                            "SET LOCAL statement_timeout = '5min';"
                            "SELECT coalesce(max(version), 0) FROM kv306.schema_version")
                 .arg(columns.join(QLatin1Char(','))));
    Checked<QByteArray> done = before;
    if (done)
        done = exec(QString::fromLatin1(kTallySql));
    const int version = before ? before->toInt() : 0;
    if (done && version < kSchemaVersion)
        done = exec(QStringLiteral("SELECT kv306.rebuild_tally(); DELETE FROM kv306.schema_version;"
                                   "INSERT INTO kv306.schema_version VALUES (%1)")
                        .arg(kSchemaVersion));
    if (done)
        done = exec(QStringLiteral("COMMIT"));
    if (!done) {
        exec(QStringLiteral("ROLLBACK"));
        return Checked<bool>::Refused(
            QStringLiteral("the database %1 refused the table: %2").arg(Where(), done.reason));
    }
    // Brought forward from an older version (a new table has none).
    return version > 0 && version < kSchemaVersion;
}

Checked<int> LineStore::Send(const std::vector<Row> &rows)
{
    if (const Done connected = Connect(); !connected)
        return Checked<int>::Refused(connected.reason);
    QStringList names;
    QStringList places;
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
        names << QStringLiteral("\"%1\"").arg(QLatin1String(kColumns[i].name));
        places << QStringLiteral("$%1").arg(i + 1);
    }
    const QByteArray insert =
        QStringLiteral("INSERT INTO kv306.rows (%1) VALUES (%2) ON CONFLICT (id) DO NOTHING")
            .arg(names.join(QLatin1Char(',')), places.join(QLatin1Char(',')))
            .toUtf8();
    const auto fail = [this](PGresult *result) {
        const QString message = Simplified(PQresultErrorMessage(result));
        PQclear(result);
        const bool lost = PQstatus(db_->conn) != CONNECTION_OK;
        if (lost) {
            Disconnect();
        } else {
            PGresult *rollback = PQexec(db_->conn, "ROLLBACK");
            PQclear(rollback);
        }
        return Checked<int>::Refused(
            QStringLiteral("the database %1 %2: %3")
                .arg(WhereOf(url_), lost ? QStringLiteral("went away") : QStringLiteral("refused the rows"),
                     message.isEmpty() ? QStringLiteral("no message") : message));
    };
    PGresult *begin = PQexec(db_->conn, "BEGIN");
    if (PQresultStatus(begin) != PGRES_COMMAND_OK)
        return fail(begin);
    PQclear(begin);
    int added = 0;
    for (const Row &row : rows) {
        std::vector<QByteArray> values;
        std::vector<const char *> pointers;
        values.reserve(std::size(kColumns));
        for (const Column &c : kColumns) {
            QString value;
            if (qstrcmp(c.name, "report_file") == 0) {
                value = row.reportFile;
            } else {
                const auto found = row.fields.find(QByteArray(c.name));
                value = found == row.fields.end() ? QString() : found->second;
            }
            values.push_back(value.toUtf8());
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            // An empty field is no value: SQL's NULL, which a number column takes too.
            pointers.push_back(values[i].isEmpty() ? nullptr : values[i].constData());
        }
        PGresult *result = PQexecParams(db_->conn, insert.constData(), static_cast<int>(pointers.size()),
                                        nullptr, pointers.data(), nullptr, nullptr, 0);
        if (PQresultStatus(result) != PGRES_COMMAND_OK)
            return fail(result);
        added += qstrcmp(PQcmdTuples(result), "1") == 0 ? 1 : 0;
        PQclear(result);
    }
    PGresult *commit = PQexec(db_->conn, "COMMIT");
    if (PQresultStatus(commit) != PGRES_COMMAND_OK)
        return fail(commit);
    PQclear(commit);
    return added;
}

Checked<LineStore::LineFigures> LineStore::FiguresOf(const Filter &filter)
{
    if (const Done connected = Connect(); !connected)
        return Checked<LineFigures>::Refused(connected.reason);
    // The two queries, the counts and the failures' reasons, with their parameters.
    const FiguresQuery query = FiguresQueryOf(filter);
    const QList<QByteArray> &params = query.params;
    const QString &counts = query.counts;
    const QString &reasons = query.reasons;
    std::vector<const char *> values;
    for (const QByteArray &p : params)
        values.push_back(p.constData());
    LineFigures figures;
    const auto group = [&figures](const QByteArray &grp, const QString &name) -> Figures & {
        if (grp == "slot")
            return figures.bySlot[name];
        if (grp == "operator")
            return figures.byOperator[name];
        if (grp == "lot")
            return figures.byLot[name];
        if (grp == "station")
            return figures.byStation[name];
        return figures.all;
    };
    // In this computer's offset from UTC, as a station here writes its report's times.
    const int offset = QDateTime::currentDateTime().offsetFromUtc();
    for (const QString &sql : {counts, reasons}) {
        PGresult *result = PQexecParams(db_->conn, sql.toUtf8().constData(), static_cast<int>(values.size()),
                                        nullptr, values.data(), nullptr, nullptr, 0);
        if (PQresultStatus(result) != PGRES_TUPLES_OK) {
            const QString message = Simplified(PQresultErrorMessage(result));
            PQclear(result);
            if (PQstatus(db_->conn) != CONNECTION_OK)
                Disconnect();
            return Checked<LineFigures>::Refused(
                QStringLiteral("the database %1 could not count the rows: %2").arg(WhereOf(url_), message));
        }
        // A group's figures are the sum of its two parts, each of which may be missing.
        for (int i = 0; i < PQntuples(result); ++i) {
            const auto at = [result, i](int c) { return QByteArray(PQgetvalue(result, i, c)); };
            Figures &f = group(at(0), QString::fromUtf8(at(1)));
            if (sql == reasons) {
                f.reasons[ReasonWords(QString::fromUtf8(at(2)))] += at(3).toInt();
                continue;
            }
            f.units += at(2).toInt();
            f.pass += at(3).toInt();
            f.fail += at(4).toInt();
            f.error += at(5).toInt();
            f.interrupted += at(6).toInt();
            f.newUnits += at(7).toInt();
            f.firstPass += at(8).toInt();
            f.setUpAgain += at(9).toInt();
            if (PQgetisnull(result, i, 10))
                continue;
            const QDateTime first =
                QDateTime::fromMSecsSinceEpoch(at(10).toLongLong(), Qt::OffsetFromUTC, offset);
            const QDateTime last =
                QDateTime::fromMSecsSinceEpoch(at(11).toLongLong(), Qt::OffsetFromUTC, offset);
            if (!f.first.isValid() || first < f.first)
                f.first = first;
            if (!f.last.isValid() || last > f.last)
                f.last = last;
        }
        PQclear(result);
    }
    return figures;
}

Checked<LineStore::Row> StoreRowOf(const CsvReader::Record &record, const ReportColumns &columns,
                                   const QString &reportFile)
{
    const Checked<ReportEntry> entry = EntryOf(record, columns);
    if (!entry)
        return Checked<LineStore::Row>::Refused(entry.reason);
    LineStore::Row row;
    row.reportFile = reportFile;
    const QList<QByteArray> names = ReportColumnNames(columns.format);
    for (qsizetype i = 0; i < names.size(); ++i) {
        // The first format's "serial" was the adapter's.
        const QByteArray name = columns.format == 1 && names[i] == "serial" ? "adapter_serial" : names[i];
        row.fields[name] = QString::fromUtf8(record.fields[i]);
    }
    row.fields["id"] = entry->id;
    row.fields["kind"] = entry->kind;
    if (row.fields["reason"].isEmpty() && entry->kind != QLatin1String("pass"))
        row.fields["reason"] = ReasonTokenOfOutcome(row.fields["outcome"]);
    return row;
}

Checked<ReportRows> ReadReportRows(const QString &path)
{
    QFile file(path);
    if (const Done opened = OpenToRead(file); !opened)
        return Checked<ReportRows>::Refused(opened.reason);
    CsvReader csv;
    std::vector<CsvReader::Record> records;
    csv.Feed(file.readAll(), &records);
    if (const std::optional<CsvReader::Record> last = csv.Unended())
        records.push_back(*last);
    if (records.empty())
        return Checked<ReportRows>::Refused(QStringLiteral("%1 is empty").arg(path));
    const std::optional<ReportColumns> columns = ColumnsOf(records.front());
    if (!columns)
        return Checked<ReportRows>::Refused(
            QStringLiteral("%1 is not a station report (its first line is not the report's header)")
                .arg(path));
    ReportRows rows;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const Checked<LineStore::Row> row = StoreRowOf(records[r], *columns, QFileInfo(path).fileName());
        if (row)
            rows.rows.push_back(*row);
        else
            ++rows.unreadable;
    }
    return rows;
}

}  // namespace kv306
