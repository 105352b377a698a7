// The line's database under load: ten stations sending at once, and the figures of a million rows.
#include "store_bench.h"

#include "floors.h"

#include "protocol/line_store.h"
#include "protocol/outcome_text.h"
#include "protocol/report_figures.h"
#include "protocol/station_report.h"
#include "protocol/store_sender.h"
#include "support/postgres.h"  // the tests' PostgreSQL of their own

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace kv306::bench {

namespace {

// A report line of this version's format, as a station writes it.
QByteArray ReportLine(const QDateTime &at, int unit, const QByteArray &serial, const QByteArray &host)
{
    std::map<QByteArray, QByteArray> field{
        {"time", StampText(at).toUtf8()},
        {"unit", QByteArray::number(unit)},
        {"slot", "1"},
        {"port", "COM3"},
        {"outcome", "pass"},
        {"seconds", "0.300"},
        {"serial", serial},
        {"operator", "op1"},
        {"lot", "L1"},
        {"host", host},
        {"version", "1.1"},
        {"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8()}};
    QList<QByteArray> cells;
    for (const QByteArray &name : ReportColumnNames())
        cells << field[name];
    return cells.join(',') + '\n';
}

void Print(const char *name, double measured, const char *unit, const char *verdict)
{
    std::printf("%-26s %10.2f %-4s %15s %8s   %s\n", name, measured, unit, "", "", verdict);
}

// Ten stations, each with its sender and connection as `station --store` has them, in one process:
// first each adds a row every 100 ms for 10 s (ten times a busy line's pace), each row's time
// from being added to being in the database taken; then each adds 2000 at once, for the rows a
// second the database takes. One serial number in twenty was set up before at another station.
void TenStations(const test::Postgres &db)
{
    CsvReader reader;
    std::vector<CsvReader::Record> header;
    reader.Feed(ReportHeader() + '\n', &header);
    const ReportColumns columns = *ColumnsOf(header.front());
    constexpr int kStations = 10;
    std::vector<std::unique_ptr<StoreSender>> senders;
    for (int s = 0; s < kStations; ++s) {
        senders.push_back(std::make_unique<StoreSender>(db.Url(), QStringLiteral("station%1.csv").arg(s)));
        senders.back()->Start();
    }
    int serial = 0;
    const auto add = [&](int s, int n) {
        ++serial;
        const int number = serial % 20 == 0 ? serial - 13 : serial;
        senders[s]->Add(ReportLine(QDateTime::currentDateTime(), n, "B" + QByteArray::number(number),
                                   "station" + QByteArray::number(s)),
                        columns);
    };
    // Paced: each row's wait, read from its sender's count of rows sent.
    std::vector<std::vector<double>> added(kStations);
    std::vector<double> waits;
    std::vector<int> seen(kStations, 0);
    QElapsedTimer clock;
    clock.start();
    double next = 0;
    for (int tick = 0; tick < 100 || waits.size() < added.size() * 100;) {
        const double now = clock.nsecsElapsed() / 1e6;
        if (tick < 100 && now >= next) {
            for (int s = 0; s < kStations; ++s) {
                added[s].push_back(now);
                add(s, tick + 1);
            }
            ++tick;
            next += 100;
        }
        for (int s = 0; s < kStations; ++s) {
            const int sent = senders[s]->Now().sent;
            for (; seen[s] < sent; ++seen[s])
                waits.push_back(now - added[s][seen[s]]);
        }
        if (now > 60000)
            break;
        QThread::usleep(200);
    }
    std::sort(waits.begin(), waits.end());
    char verdict[160];
    std::snprintf(verdict, sizeof verdict, "longest %.1f ms over %zu rows, 10 stations at 10 rows/s each",
                  waits.empty() ? 0.0 : waits.back(), waits.size());
    Print("store: row to database", Median(waits), "ms", verdict);
    // A burst: what the database takes a second.
    const double t0 = clock.nsecsElapsed() / 1e6;
    for (int n = 0; n < 2000; ++n)
        for (int s = 0; s < kStations; ++s)
            add(s, 1000 + n);
    bool done = false;
    while (!done && clock.nsecsElapsed() / 1e6 - t0 < 120000) {
        done = true;
        for (const auto &sender : senders)
            done = done && sender->Now().waiting == 0;
        QThread::usleep(500);
    }
    const double took = clock.nsecsElapsed() / 1e6 - t0;
    std::snprintf(verdict, sizeof verdict, "%d rows from 10 stations at once in %.0f ms%s", kStations * 2000,
                  took, done ? "" : ": NOT ALL SENT");
    Print("store: rows a second", kStations * 2000 / (took / 1000), "/s", verdict);
}

QString TokenOf(Failure failure, int errorNumber = 0)
{
    Outcome o;
    o.failure = failure;
    o.errorNumber = errorNumber;
    return ReasonOf(o)->token;
}

// A million rows (as the report benchmark's shift, at ten stations), their figures asked for by
// kv306ctl report --store, a process started and ended as a supervisor's script does.
void MillionRows(const test::Postgres &db)
{
    db.Sql(
        QStringLiteral(
            "TRUNCATE kv306.rows; ALTER TABLE kv306.rows DISABLE TRIGGER rows_added; "
            "INSERT INTO kv306.rows (id, \"time\", unit, slot, port, outcome, kind, reason, seconds, serial, "
            "\"operator\", lot, host, version, report_file) "
            "SELECT gen_random_uuid(), timestamptz '2026-12-08 06:00+01' + i * interval '288 ms', i / 10, i "
            "% 4 + 1, "
            "'COM' || (i % 4 + 3), CASE WHEN i % 30 = 0 THEN 'fail: verify mismatch: size wrote 30, unit "
            "holds 29' "
            "WHEN i % 97 = 0 THEN 'error: error 8002: This port does not exist!' ELSE 'pass' END, "
            "CASE WHEN i % 30 = 0 THEN 'fail' WHEN i % 97 = 0 THEN 'error' ELSE 'pass' END, "
            "CASE WHEN i % 30 = 0 THEN '%1' WHEN i % 97 = 0 THEN '%2' END, 0.3, "
            "'SN' || CASE WHEN i % 20 = 0 THEN i - 7 ELSE i END, 'op' || i % 3, 'L' || i / 100000, "
            "'station' || i % 10, '1.1', 'r.csv' FROM generate_series(1, 1000000) AS i; "
            "ALTER TABLE kv306.rows ENABLE TRIGGER rows_added; SELECT kv306.rebuild_tally(); ANALYZE "
            "kv306.rows")
            .arg(TokenOf(Failure::Mismatch), TokenOf(Failure::Port, 8002)));
    std::vector<double> runs;
    QString said;
    for (int run = 0; run < 5; ++run) {
        QProcess p;
        QElapsedTimer clock;
        clock.start();
        p.start(QStringLiteral(KV306CTL), {QStringLiteral("report"), QStringLiteral("--store"), db.Url()});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            qFatal("kv306ctl report --store: %s", p.readAllStandardError().constData());
        runs.push_back(clock.nsecsElapsed() / 1e6);
        said = QString::fromUtf8(p.readAllStandardOutput()).section(QLatin1Char('\n'), 1, 1).trimmed();
    }
    const double m = Median(runs);
    char verdict[200];
    std::snprintf(verdict, sizeof verdict, "%s; target < 1000 ms: %s", qPrintable(said.left(60)),
                  m < 1000 ? "met" : "MISSED");
    std::printf("%-26s %10.2f %-4s %10.2f %-4s %8.3f   %s\n", "report --store, 1M rows", m, "ms", 1000.0,
                "ms", m / 1000, verdict);
}

}  // namespace

void StoreRows()
{
    test::Postgres db;
    QProcess init;
    init.start(QStringLiteral(KV306CTL), {QStringLiteral("store"), QStringLiteral("init"), db.Url()});
    if (!init.waitForFinished(60000) || init.exitCode() != 0)
        qFatal("kv306ctl store init: %s", init.readAllStandardError().constData());
    TenStations(db);
    MillionRows(db);
}

}  // namespace kv306::bench
