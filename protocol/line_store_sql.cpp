#include "protocol/line_store_sql.h"

#include <QStringList>

namespace kv306 {

// The figures over a million rows come within a second from kv306.tally: the rows counted by
// hour, slot, operator, lot, station, kind, reason and whether the row says of a set-up before,
// kept by a trigger as rows come. It holds the rows of units set up once in the whole table; a
// unit's rows once it has more than one are `repeated`, taken out of the tally, and counted one by
// one, as they must be to tell a unit's first set-up. The trigger runs with its owner's rights,
// so a station's role needs nothing but INSERT. kv306.rebuild_tally() makes both anew (after rows
// were deleted or changed by hand).
const char kTallySql[] = R"sql(
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

FiguresQuery FiguresQueryOf(const LineStore::Filter &filter)
{
    FiguresQuery query;
    QList<QByteArray> &params = query.params;
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
    query.counts = counts;
    query.reasons = reasons;
    return query;
}

}  // namespace kv306
