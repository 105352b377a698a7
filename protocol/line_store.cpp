#include "protocol/line_store.h"

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

// The figures over a million rows come within a second from kv306.tally: the rows counted by
// hour, slot, operator, lot, station, kind, reason and whether the row says of a set-up before,
// kept by a trigger as rows come. It holds the rows of units set up once in the whole table; a
// unit's rows once it has more than one are `repeated`, taken out of the tally, and counted one by
// one, as they must be to tell a unit's first set-up. The trigger runs with its owner's rights,
// so a station's role needs nothing but INSERT. kv306.rebuild_tally() makes both anew (after rows
// were deleted or changed by hand).
constexpr char kTally[] = R"sql(
ALTER TABLE kv306.rows ADD COLUMN IF NOT EXISTS repeated boolean NOT NULL DEFAULT false,
  ADD COLUMN IF NOT EXISTS prev_all timestamptz, ADD COLUMN IF NOT EXISTS next_all timestamptz,
  ADD COLUMN IF NOT EXISTS prev_slot timestamptz, ADD COLUMN IF NOT EXISTS next_slot timestamptz,
  ADD COLUMN IF NOT EXISTS prev_operator timestamptz, ADD COLUMN IF NOT EXISTS next_operator timestamptz,
  ADD COLUMN IF NOT EXISTS prev_lot timestamptz, ADD COLUMN IF NOT EXISTS next_lot timestamptz,
  ADD COLUMN IF NOT EXISTS prev_station timestamptz, ADD COLUMN IF NOT EXISTS next_station timestamptz;
CREATE INDEX IF NOT EXISTS rows_time ON kv306.rows ("time");
CREATE INDEX IF NOT EXISTS rows_serial ON kv306.rows (serial);
CREATE INDEX IF NOT EXISTS rows_lot ON kv306.rows (lot);
CREATE INDEX IF NOT EXISTS rows_repeated ON kv306.rows ("time") WHERE repeated;
CREATE TABLE IF NOT EXISTS kv306.tally (
  hour timestamptz NOT NULL, port text NOT NULL, "operator" text NOT NULL, lot text NOT NULL,
  host text NOT NULL, kind text NOT NULL, reason text NOT NULL, fresh boolean NOT NULL,
  rows bigint NOT NULL, first timestamptz NOT NULL, last timestamptz NOT NULL,
  PRIMARY KEY (hour, port, "operator", lot, host, kind, reason, fresh));
CREATE OR REPLACE FUNCTION kv306.tally_add(r kv306.rows, n integer) RETURNS void
LANGUAGE sql SET search_path = pg_catalog, pg_temp AS $$
  INSERT INTO kv306.tally AS t VALUES (
    date_trunc('hour', r."time" AT TIME ZONE 'UTC') AT TIME ZONE 'UTC', r.port,
    coalesce(r."operator", ''), coalesce(r.lot, ''), coalesce(r.host, ''), r.kind,
    coalesce(r.reason, ''), coalesce(r.again, 0) = 0, n, r."time", r."time")
  ON CONFLICT (hour, port, "operator", lot, host, kind, reason, fresh) DO UPDATE
    SET rows = t.rows + excluded.rows, first = least(t.first, excluded.first),
        last = greatest(t.last, excluded.last)
$$;
-- A repeated unit's rows linked to its row before and after in the whole, and in the same slot,
-- operator, lot and station: a row is its unit's first in a stretch of time when the row before
-- lies before the stretch, and the unit was set up again in it when the row after lies within.
CREATE OR REPLACE FUNCTION kv306.link(only_serial text) RETURNS void
LANGUAGE plpgsql SET search_path = pg_catalog, pg_temp AS $$
BEGIN
  EXECUTE format($q$
    UPDATE kv306.rows r SET repeated = true, prev_all = w.pa, next_all = w.na, prev_slot = w.ps,
      next_slot = w.ns, prev_operator = w.po, next_operator = w.no, prev_lot = w.pl, next_lot = w.nl,
      prev_station = w.ph, next_station = w.nh
    FROM (SELECT id, lag("time") OVER a AS pa, lead("time") OVER a AS na, lag("time") OVER s AS ps,
            lead("time") OVER s AS ns, lag("time") OVER o AS po, lead("time") OVER o AS no,
            lag("time") OVER l AS pl, lead("time") OVER l AS nl, lag("time") OVER h AS ph,
            lead("time") OVER h AS nh
          FROM kv306.rows WHERE %s
          WINDOW a AS (PARTITION BY serial ORDER BY "time", unit),
            s AS (PARTITION BY serial, port ORDER BY "time", unit),
            o AS (PARTITION BY serial, coalesce("operator", '') ORDER BY "time", unit),
            l AS (PARTITION BY serial, coalesce(lot, '') ORDER BY "time", unit),
            h AS (PARTITION BY serial, coalesce(host, '') ORDER BY "time", unit)) w
    WHERE r.id = w.id$q$,
    CASE WHEN only_serial IS NULL THEN 'repeated' ELSE format('serial = %L', only_serial) END);
END $$;
CREATE OR REPLACE FUNCTION kv306.rows_added() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
  other kv306.rows;
  seen boolean := false;
BEGIN
  IF NEW.serial IS NOT NULL THEN
    -- Two stations adding one serial number at once: the second waits for the first.
    PERFORM pg_advisory_xact_lock(hashtext('kv306 serial ' || NEW.serial));
    FOR other IN UPDATE kv306.rows SET repeated = true
                 WHERE serial = NEW.serial AND id <> NEW.id AND NOT repeated RETURNING * LOOP
      PERFORM kv306.tally_add(other, -1);
    END LOOP;
    seen := EXISTS (SELECT 1 FROM kv306.rows WHERE serial = NEW.serial AND id <> NEW.id);
  END IF;
  IF seen THEN
    PERFORM kv306.link(NEW.serial);
  ELSE
    PERFORM kv306.tally_add(NEW, 1);
  END IF;
  RETURN NULL;
END $$;
DROP TRIGGER IF EXISTS rows_added ON kv306.rows;
CREATE TRIGGER rows_added AFTER INSERT ON kv306.rows FOR EACH ROW EXECUTE FUNCTION kv306.rows_added();
CREATE OR REPLACE FUNCTION kv306.rebuild_tally() RETURNS void
LANGUAGE sql SET search_path = pg_catalog, pg_temp AS $$
  LOCK TABLE kv306.rows IN SHARE ROW EXCLUSIVE MODE;
  UPDATE kv306.rows r SET repeated = false, prev_all = NULL, next_all = NULL, prev_slot = NULL,
    next_slot = NULL, prev_operator = NULL, next_operator = NULL, prev_lot = NULL, next_lot = NULL,
    prev_station = NULL, next_station = NULL
  WHERE r.repeated AND NOT EXISTS (SELECT 1 FROM kv306.rows o WHERE o.serial = r.serial AND o.id <> r.id);
  UPDATE kv306.rows r SET repeated = true
  FROM (SELECT serial FROM kv306.rows WHERE serial IS NOT NULL GROUP BY serial HAVING count(*) > 1) d
  WHERE r.serial = d.serial AND NOT r.repeated;
  SELECT kv306.link(NULL);
  TRUNCATE kv306.tally;
  INSERT INTO kv306.tally
  SELECT date_trunc('hour', "time" AT TIME ZONE 'UTC') AT TIME ZONE 'UTC', port,
         coalesce("operator", ''), coalesce(lot, ''), coalesce(host, ''), kind, coalesce(reason, ''),
         coalesce(again, 0) = 0, count(*), min("time"), max("time")
  FROM kv306.rows WHERE NOT repeated GROUP BY 1, 2, 3, 4, 5, 6, 7, 8;
$$;
)sql";

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
    // The table, its version, and what keeps the figures quick (see kTally). A table of an older
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
        done = exec(QString::fromLatin1(kTally));
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
    QList<QByteArray> params;
    const auto bind = [&params](const QDateTime &at) {
        params << at.toUTC().toString(Qt::ISODateWithMs).toUtf8();
        return QStringLiteral("$%1::timestamptz").arg(params.size());
    };
    const auto bindText = [&params](const QString &value) {
        params << value.toUtf8();
        return QStringLiteral("$%1").arg(params.size());
    };
    // The station and the lot, as the tally and the rows both name them.
    QStringList whose{QStringLiteral("TRUE")};
    if (!filter.host.isEmpty())
        whose << QStringLiteral("coalesce(host, '') = %1").arg(bindText(filter.host));
    if (!filter.lot.isEmpty())
        whose << QStringLiteral("coalesce(lot, '') = %1").arg(bindText(filter.lot));
    const QString since = filter.since.isValid() ? bind(filter.since) : QString();
    const QString until = filter.until.isValid() ? bind(filter.until) : QString();
    // The whole hours (in UTC) between since and until are counted from the tally; the rows of the
    // hours cut by either end one by one.
    QDateTime fromHour, toHour;
    if (filter.since.isValid()) {
        const QDateTime utc = filter.since.toUTC();
        fromHour = QDateTime(utc.date(), QTime(utc.time().hour(), 0), Qt::UTC);
        if (fromHour < utc)
            fromHour = fromHour.addSecs(3600);
    }
    if (filter.until.isValid()) {
        const QDateTime utc = filter.until.toUTC();
        toHour = QDateTime(utc.date(), QTime(utc.time().hour(), 0), Qt::UTC);
    }
    const bool hours = !fromHour.isValid() || !toHour.isValid() || fromHour < toHour;
    QStringList inTime{QStringLiteral("TRUE")};
    if (!since.isEmpty())
        inTime << QStringLiteral("\"time\" >= %1").arg(since);
    if (!until.isEmpty())
        inTime << QStringLiteral("\"time\" <= %1").arg(until);
    QString tallyHours = QStringLiteral("FALSE");
    QString cut = inTime.join(QStringLiteral(" AND "));
    if (hours) {
        QStringList inHours{QStringLiteral("TRUE")};
        QStringList ends;
        if (fromHour.isValid()) {
            const QString from = bind(fromHour);
            inHours << QStringLiteral("hour >= %1").arg(from);
            ends << QStringLiteral("(\"time\" >= %1 AND \"time\" < %2)").arg(since, from);
        }
        if (toHour.isValid()) {
            const QString to = bind(toHour);
            inHours << QStringLiteral("hour < %1").arg(to);
            ends << QStringLiteral("(\"time\" >= %1 AND \"time\" <= %2)").arg(to, until);
        }
        tallyHours = inHours.join(QStringLiteral(" AND "));
        cut = ends.isEmpty() ? QStringLiteral("FALSE") : ends.join(QStringLiteral(" OR "));
    }
    const QString who = whose.join(QStringLiteral(" AND "));
    const QString within = inTime.join(QStringLiteral(" AND "));
    // Each row counted in the whole and in its slot, operator, lot and station. A unit is known by
    // its serial number, a row without one is a unit of its own; its first set-up is its first
    // row (by time) unless that row says of one before. Units set up once in the whole table are
    // counted by the tally's groups (`tg`); the rows of the others (`repeated`) one by one.
    const QString tallied =
        QStringLiteral(
            "WITH t AS (SELECT port, \"operator\", lot, host, kind, reason, fresh, rows AS n, first, last "
            "FROM kv306.tally WHERE rows > 0 AND %1 AND %2 "
            "UNION ALL SELECT port, coalesce(\"operator\", ''), coalesce(lot, ''), coalesce(host, ''), kind, "
            "coalesce(reason, ''), coalesce(again, 0) = 0, 1, \"time\", \"time\" FROM kv306.rows "
            "WHERE NOT repeated AND (%3) AND %1), "
            "tg AS (SELECT v.grp, v.name, t.* FROM t CROSS JOIN LATERAL (VALUES ('all', ''), ('slot', port), "
            "('operator', \"operator\"), ('lot', lot), ('station', host)) AS v(grp, name)) ")
            .arg(who, tallyHours, cut);
    const QString fromTally = QStringLiteral(
        "SELECT grp, name, sum(n), sum(n) FILTER (WHERE kind = 'pass'), sum(n) FILTER (WHERE kind = 'fail'), "
        "sum(n) FILTER (WHERE kind = 'error'), sum(n) FILTER (WHERE kind = 'interrupted'), "
        "sum(n) FILTER (WHERE fresh), sum(n) FILTER (WHERE fresh AND kind = 'pass'), "
        "sum(n) FILTER (WHERE NOT fresh), (extract(epoch FROM min(first)) * 1000)::bigint, "
        "(extract(epoch FROM max(last)) * 1000)::bigint FROM tg GROUP BY grp, name");
    // The repeated rows grouped five ways at once: by grouping(port, op, lt, hs), 15 is the whole,
    // 7 the slot, 11 the operator, 13 the lot, 14 the station.
    const QString repeated =
        QStringLiteral(
            "(SELECT *, coalesce(\"operator\", '') AS op, coalesce(lot, '') AS lt, coalesce(host, '') AS hs "
            "FROM kv306.rows WHERE repeated AND %1 AND %2) r")
            .arg(within, who);
    const QString grouped = QStringLiteral(
        "CASE grouping(port, op, lt, hs) WHEN 15 THEN 'all' WHEN 7 THEN 'slot' WHEN 11 THEN 'operator' "
        "WHEN 13 THEN 'lot' ELSE 'station' END, coalesce(port, op, lt, hs, '')");
    QString fromRepeated;
    if (filter.host.isEmpty() && filter.lot.isEmpty()) {
        // Whether a row is its unit's first in the stretch, and whether the unit came again in it,
        // from the times of its row before and after in each group.
        const struct {
            int code;
            const char *column;
        } ways[] = {{15, "all"}, {7, "slot"}, {11, "operator"}, {13, "lot"}, {14, "station"}};
        const auto eachWay = [&](const QString &condition) {
            QString text = QStringLiteral("CASE grouping(port, op, lt, hs)");
            for (const auto &w : ways) {
                const QString c = QLatin1String(w.column);
                const QString first = since.isEmpty()
                                          ? QStringLiteral("prev_%1 IS NULL").arg(c)
                                          : QStringLiteral("(prev_%1 IS NULL OR prev_%1 < %2)").arg(c, since);
                const QString again =
                    until.isEmpty() ? QStringLiteral("next_%1 IS NOT NULL").arg(c)
                                    : QStringLiteral("(next_%1 IS NOT NULL AND next_%1 <= %2)").arg(c, until);
                text += QStringLiteral(" WHEN %1 THEN count(*) FILTER (WHERE %2 AND %3)")
                            .arg(w.code)
                            .arg(first, QString(condition).replace(QLatin1String("AGAIN"), again));
            }
            return text + QStringLiteral(" END");
        };
        fromRepeated =
            QStringLiteral("SELECT %1, count(*), count(*) FILTER (WHERE kind = 'pass'), "
                           "count(*) FILTER (WHERE kind = 'fail'), count(*) FILTER (WHERE kind = 'error'), "
                           "count(*) FILTER (WHERE kind = 'interrupted'), %2, %3, %4, "
                           "(extract(epoch FROM min(\"time\")) * 1000)::bigint, "
                           "(extract(epoch FROM max(\"time\")) * 1000)::bigint FROM %5 "
                           "GROUP BY GROUPING SETS ((), (port), (op), (lt), (hs))")
                .arg(grouped, eachWay(QStringLiteral("coalesce(again, 0) = 0")),
                     eachWay(QStringLiteral("coalesce(again, 0) = 0 AND kind = 'pass'")),
                     eachWay(QStringLiteral("(AGAIN OR coalesce(again, 0) <> 0)")), repeated);
    } else {
        // One station's or one lot's rows: a unit's rows before and after may be another's, so its
        // rows are put in order here.
        fromRepeated =
            QStringLiteral(
                "SELECT grp, name, count(*), count(*) FILTER (WHERE kind = 'pass'), "
                "count(*) FILTER (WHERE kind = 'fail'), count(*) FILTER (WHERE kind = 'error'), "
                "count(*) FILTER (WHERE kind = 'interrupted'), "
                "count(*) FILTER (WHERE nth = 1 AND coalesce(again, 0) = 0), "
                "count(*) FILTER (WHERE nth = 1 AND coalesce(again, 0) = 0 AND kind = 'pass'), "
                "count(*) FILTER (WHERE nth = 1 AND (times > 1 OR coalesce(again, 0) <> 0)), "
                "(extract(epoch FROM min(\"time\")) * 1000)::bigint, (extract(epoch FROM max(\"time\")) * "
                "1000)::bigint "
                "FROM (SELECT g.*, row_number() OVER (PARTITION BY grp, name, serial ORDER BY \"time\", "
                "unit) AS nth, "
                "count(*) OVER (PARTITION BY grp, name, serial) AS times FROM (SELECT v.grp, v.name, r.* "
                "FROM %1 "
                "CROSS JOIN LATERAL (VALUES ('all', ''), ('slot', port), ('operator', op), ('lot', lt), "
                "('station', hs)) AS v(grp, name)) g) k GROUP BY grp, name")
                .arg(repeated);
    }
    const QString counts = tallied + fromTally + QStringLiteral(" UNION ALL ") + fromRepeated;
    const QString reasons =
        tallied +
        QStringLiteral("SELECT grp, name, reason, sum(n) FROM tg WHERE kind <> 'pass' AND reason <> '' "
                       "GROUP BY grp, name, reason UNION ALL SELECT %1, reason, count(*) FROM %2 "
                       "WHERE kind <> 'pass' AND reason IS NOT NULL GROUP BY GROUPING SETS "
                       "((reason), (port, reason), (op, reason), (lt, reason), (hs, reason))")
            .arg(grouped, repeated);
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
