#include "protocol/report_figures.h"

#include "protocol/outcome_text.h"

#include <QUuid>

#include <algorithm>
#include <functional>

#include "link/output_file.h"
#include "link/texts.h"

#include <QFile>
#include <QJsonArray>

namespace kv306 {

QList<QByteArray> ReportColumnNames(int format)
{
    QList<QByteArray> names{
        "time", "unit", "slot", "port", "device", format == 1 ? "serial" : "adapter_serial", "outcome"};
    for (int k = 0; k < kParamCount; ++k)
        names << QByteArray(Param(k).key);
    names << "seconds";
    if (format >= 2)
        names << "serial"
              << "again"
              << "operator"
              << "lot"
              << "profile"
              << "target"
              << "host"
              << "version";
    if (format >= 3)
        names << "reason";
    if (format >= 4)
        names << "id";
    return names;
}

QByteArray ReportHeader(int format)
{
    return ReportColumnNames(format).join(',');
}

QString ReasonTokenOfOutcome(const QString &outcome)
{
    if (outcome.startsWith(QLatin1String("pass")))
        return {};
    if (outcome.startsWith(QLatin1String("interrupted")))
        return QStringLiteral("interrupted");
    QString rest = outcome.section(QStringLiteral(": "), 1);
    if (outcome.startsWith(QLatin1String("error"))) {
        // "error: error 8002: ..." -> "error-8002"
        return rest.section(QStringLiteral(": "), 0, 0).replace(QLatin1Char(' '), QLatin1Char('-'));
    }
    if (rest.startsWith(QLatin1String("written, check failed: ")))
        rest = rest.mid(23);
    static const std::pair<const char *, const char *> kKinds[] = {
        {"verify mismatch", "verify-mismatch"},      {"no reply", "no-reply"},
        {"the unit sent", "wrong-reply-length"},     {"bad reply", "bad-reply"},
        {"bad check byte", "bad-check-byte"},        {"unequal echo", "unequal-echo"},
        {"value out of range", "value-out-of-range"}};
    for (const auto &[start, token] : kKinds) {
        if (rest.startsWith(QLatin1String(start)))
            return QLatin1String(token);
    }
    return rest.section(QLatin1Char(':'), 0, 0).left(40);
}

QString NewRowId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString DerivedRowId(const QList<QByteArray> &fields, const QString &host)
{
    // A name-based UUID (version 5) in a namespace of the tool's own: the same row of the same
    // station gives the same id, however often and from wherever it is sent.
    static const QUuid kRows(QStringLiteral("4b563330-3672-5f77-9a1e-6f2b3c1e9a4d"));
    return QUuid::createUuidV5(kRows, host.toUtf8() + '\n' + fields.join(',')).toString(QUuid::WithoutBraces);
}

int ReportColumns::Of(const char *name) const
{
    const auto it = index.find(QByteArray(name));
    return it == index.end() ? -1 : it->second;
}

std::optional<ReportColumns> ColumnsOf(const CsvReader::Record &header)
{
    for (int format = kReportFormat; format >= 1; --format) {
        const QList<QByteArray> names = ReportColumnNames(format);
        QList<QByteArray> fields;
        for (const QByteArray &f : header.fields)
            fields << f.trimmed();
        if (fields == names) {
            ReportColumns columns;
            columns.format = format;
            for (int i = 0; i < names.size(); ++i)
                columns.index[names[i]] = i;
            columns.time = columns.Of("time");
            columns.unit = columns.Of("unit");
            columns.slot = columns.Of("slot");
            columns.port = columns.Of("port");
            columns.outcome = columns.Of("outcome");
            columns.reason = columns.Of("reason");
            columns.id = columns.Of("id");
            columns.host = columns.Of("host");
            if (format >= 2) {
                columns.serial = columns.Of("serial");
                columns.again = columns.Of("again");
                columns.operatorName = columns.Of("operator");
                columns.lot = columns.Of("lot");
            }
            return columns;
        }
    }
    return std::nullopt;
}

namespace {

// The report's own time, "2026-12-08T15:11:39.042+01:00" (or "Z"), read without Qt's general
// parser, which takes most of a long report's time; anything else goes to that parser.
QDateTime StampOf(const QByteArray &text)
{
    const char *t = text.constData();
    const auto digits = [t](int at, int n) {
        int v = 0;
        for (int i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return -1;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    const qsizetype n = text.size();
    if ((n == 29 || n == 24) && t[4] == '-' && t[7] == '-' && t[10] == 'T' && t[13] == ':' && t[16] == ':' &&
        t[19] == '.') {
        int offset = 0;
        if (n == 29 && (t[23] == '+' || t[23] == '-') && t[26] == ':') {
            const int h = digits(24, 2), m = digits(27, 2);
            offset = h < 0 || m < 0 ? -1 : (h * 60 + m) * 60 * (t[23] == '-' ? -1 : 1);
        } else if (n != 24 || t[23] != 'Z') {
            offset = -1;
        }
        const QDate day(digits(0, 4), digits(5, 2), digits(8, 2));
        const QTime time(digits(11, 2), digits(14, 2), digits(17, 2), digits(20, 3));
        if (offset != -1 && day.isValid() && time.isValid())
            return QDateTime(day, time, Qt::OffsetFromUTC, offset);
    }
    return QDateTime::fromString(QString::fromUtf8(text), Qt::ISODateWithMs);
}

}  // namespace

Checked<ReportEntry> EntryOf(const CsvReader::Record &row, const ReportColumns &columns)
{
    const auto refuse = &Checked<ReportEntry>::Refused;
    if (row.fields.size() != static_cast<qsizetype>(columns.index.size()))
        return refuse(QStringLiteral("it has %1 fields where the header names %2")
                          .arg(row.fields.size())
                          .arg(columns.index.size()));
    const auto bytes = [&row](int i) { return i < 0 ? QByteArray() : row.fields[i]; };
    const auto text = [&row](int i) { return i < 0 ? QString() : QString::fromUtf8(row.fields[i]); };
    ReportEntry e;
    e.at = StampOf(bytes(columns.time));
    if (!e.at.isValid())
        return refuse(QStringLiteral("its time '%1' is no ISO 8601 time").arg(text(columns.time).left(40)));
    bool number = false;
    e.unit = bytes(columns.unit).toInt(&number);
    if (!number || e.unit < 1)
        return refuse(QStringLiteral("its unit '%1' is no unit number").arg(text(columns.unit).left(20)));
    e.slot = bytes(columns.slot).toInt(&number);
    if (!number || e.slot < 1)
        return refuse(QStringLiteral("its slot '%1' is no slot number").arg(text(columns.slot).left(20)));
    e.port = text(columns.port);
    const QByteArray outcome = bytes(columns.outcome);
    for (const char *kind : {"pass", "fail", "error", "interrupted"}) {
        if (outcome.startsWith(kind) &&
            (outcome.size() == qsizetype(qstrlen(kind)) || outcome[qstrlen(kind)] == ':'))
            e.kind = QLatin1String(kind);
    }
    if (e.kind.isEmpty())
        return refuse(QStringLiteral("its outcome '%1' is none of pass, fail, error, interrupted")
                          .arg(text(columns.outcome).left(40)));
    const QString reason = text(columns.reason);
    if (!reason.isEmpty())
        e.reason = ReasonWords(reason);
    else if (e.kind != QLatin1String("pass"))
        e.reason = ReasonWords(ReasonTokenOfOutcome(QString::fromUtf8(outcome)));
    const QByteArray again = bytes(columns.again);
    if (!again.isEmpty()) {
        e.again = again.toInt(&number);
        if (!number || e.again < 1)
            return refuse(
                QStringLiteral("its again '%1' is no unit number").arg(text(columns.again).left(20)));
    }
    e.serial = text(columns.serial);
    e.operatorName = text(columns.operatorName);
    e.lot = text(columns.lot);
    e.host = text(columns.host);
    e.id = text(columns.id);
    if (e.id.isEmpty())
        e.id = DerivedRowId(row.fields, text(columns.host));
    else if (QUuid::fromString(e.id).isNull())
        return refuse(QStringLiteral("its id '%1' is no UUID").arg(e.id.left(40)));
    return e;
}

std::optional<double> Figures::Yield() const
{
    return newUnits > 0 ? std::optional<double>(static_cast<double>(firstPass) / newUnits) : std::nullopt;
}

std::optional<double> Figures::PerHour() const
{
    const qint64 ms = first.isValid() && last.isValid() ? first.msecsTo(last) : 0;
    return ms >= 60000 ? std::optional<double>(units * 3600000.0 / static_cast<double>(ms)) : std::nullopt;
}

QJsonObject Figures::Json() const
{
    QJsonObject o{{QStringLiteral("units"), units},
                  {QStringLiteral("pass"), pass},
                  {QStringLiteral("fail"), fail},
                  {QStringLiteral("error"), error},
                  {QStringLiteral("interrupted"), interrupted},
                  {QStringLiteral("newUnits"), newUnits},
                  {QStringLiteral("firstPass"), firstPass},
                  {QStringLiteral("setUpAgain"), setUpAgain}};
    if (const std::optional<double> y = Yield())
        o.insert(QStringLiteral("firstPassYield"), *y);
    if (const std::optional<double> h = PerHour())
        o.insert(QStringLiteral("perHour"), *h);
    if (first.isValid()) {
        o.insert(QStringLiteral("from"), first.toString(Qt::ISODateWithMs));
        o.insert(QStringLiteral("to"), last.toString(Qt::ISODateWithMs));
    }
    QJsonObject failures;
    for (const auto &[reason, n] : reasons)
        failures.insert(reason, n);
    o.insert(QStringLiteral("failures"), failures);
    return o;
}

QString Figures::Text() const
{
    QString text = UnitCounts(units, pass, fail, error);
    if (interrupted > 0)
        text += QStringLiteral(", %1 interrupted").arg(interrupted);
    if (const std::optional<double> y = Yield())
        text += QStringLiteral("; first-pass yield %1% (%2 of %3)")
                    .arg(*y * 100, 0, 'f', 1)
                    .arg(firstPass)
                    .arg(CountOf(newUnits, "new unit", "new units"));
    text += QStringLiteral("; %1 set up more than once").arg(setUpAgain);
    if (const std::optional<double> h = PerHour())
        text += QStringLiteral("; %1 units/h").arg(*h, 0, 'f', 1);
    if (!reasons.empty()) {
        QStringList failures;
        for (const auto &[reason, n] : reasons)
            failures << QStringLiteral("%1 %2").arg(reason).arg(n);
        text += QStringLiteral("; failures: ") + failures.join(QStringLiteral(", "));
    }
    return text;
}

QString FiguresWords(const Figures &f, FiguresScope whose)
{
    // %n: one unit or more, as each language counts them.
    QString text = (whose == FiguresScope::Line
                        ? Tx::tr("全线各工位同期共 %n 台：合格 %1，不合格 %2，错误 %3", nullptr, f.units)
                        : Tx::tr("报告共 %n 台：合格 %1，不合格 %2，错误 %3", nullptr, f.units))
                       .arg(f.pass)
                       .arg(f.fail)
                       .arg(f.error + f.interrupted);
    if (const std::optional<double> y = f.Yield())
        text += Tx::tr("；一次合格率 %1%（%2/%3）").arg(*y * 100, 0, 'f', 1).arg(f.firstPass).arg(f.newUnits);
    if (f.setUpAgain > 0)
        text += Tx::tr("；重复设置 %n 台", nullptr, f.setUpAgain);
    if (const std::optional<double> h = f.PerHour())
        text += Tx::tr("；每小时 %1 台").arg(*h, 0, 'f', 1);
    return text;
}

void Tally::Count(Group &group, const ReportEntry &e)
{
    Figures &f = group.figures;
    ++f.units;
    f.pass += e.kind == QLatin1String("pass") ? 1 : 0;
    f.fail += e.kind == QLatin1String("fail") ? 1 : 0;
    f.error += e.kind == QLatin1String("error") ? 1 : 0;
    f.interrupted += e.kind == QLatin1String("interrupted") ? 1 : 0;
    if (!e.reason.isEmpty())
        ++f.reasons[e.reason];
    if (!f.first.isValid() || e.at < f.first)
        f.first = e.at;
    if (!f.last.isValid() || e.at > f.last)
        f.last = e.at;
    // A unit is known by its serial number; without one, each row is a unit of its own. Its
    // first set-up is its first row here unless the row says of one before (rows from a time on).
    const QString identity = e.serial.isEmpty() ? e.id : e.serial;
    Group::Seen &seen = group.units[identity];
    if (++seen.times == 1 && e.again == 0) {
        ++f.newUnits;
        f.firstPass += e.kind == QLatin1String("pass") ? 1 : 0;
    } else if (!seen.again) {
        seen.again = true;
        ++f.setUpAgain;
    }
}

void Tally::Add(const ReportEntry &e)
{
    Count(total_, e);
    Count(slots_[e.port], e);
    Count(operators_[e.operatorName], e);
    Count(lots_[e.lot], e);
    Count(stations_[e.host], e);
}

std::map<QString, Figures> Tally::Of(const std::map<QString, Group> &groups)
{
    std::map<QString, Figures> figures;
    for (const auto &[name, group] : groups)
        figures[name] = group.figures;
    return figures;
}

bool ReportFilter::Takes(const ReportEntry &e) const
{
    return (!since.isValid() || e.at >= since) && (!until.isValid() || e.at <= until) &&
           (host.isEmpty() || e.host == host) && (lot.isEmpty() || e.lot == lot);
}

namespace {

// Reads one report; each row the filter takes goes to `take`.
ReportReading ReadEntries(const QString &path, const ReportFilter &filter,
                          const std::function<void(ReportEntry &&)> &keep)
{
    ReportReading reading;
    QFile file(path);
    if (const Done refused = OpenToRead(file); !refused) {
        reading.error = refused.reason;
        return reading;
    }
    CsvReader csv;
    std::vector<CsvReader::Record> records;
    std::optional<ReportColumns> columns;
    bool header = true;
    const auto take = [&](const CsvReader::Record &r) {
        if (header) {
            header = false;
            columns = ColumnsOf(r);
            if (!columns)
                reading.error =
                    QStringLiteral("%1 is not a station report (its first line is not the report's header)")
                        .arg(path);
            return columns.has_value();
        }
        Checked<ReportEntry> e = EntryOf(r, *columns);
        if (!e) {
            reading.unreadable.push_back({path, r.line, e.reason});
            return true;
        }
        ++reading.rows;
        if (filter.Takes(*e))
            keep(std::move(*e));
        return true;
    };
    while (!file.atEnd()) {
        records.clear();
        csv.Feed(file.read(1 << 20), &records);
        for (const CsvReader::Record &r : records) {
            if (!take(r))
                return reading;
        }
    }
    if (const std::optional<CsvReader::Record> last = csv.Unended())
        take(*last);
    else if (header)
        reading.error = QStringLiteral("%1 is empty: no station report").arg(path);
    return reading;
}

}  // namespace

ReportReading ReadReport(const QString &path, const ReportFilter &filter)
{
    Tally tally;
    ReportReading reading = ReadEntries(path, filter, [&tally](ReportEntry &&e) { tally.Add(e); });
    reading.tally = std::move(tally);
    return reading;
}

ReportReading ReadReports(const QStringList &paths, const ReportFilter &filter)
{
    if (paths.size() == 1)
        return ReadReport(paths.front(), filter);
    ReportReading all;
    std::vector<ReportEntry> entries;
    for (const QString &path : paths) {
        const ReportReading one =
            ReadEntries(path, filter, [&entries](ReportEntry &&e) { entries.push_back(std::move(e)); });
        if (!one.error.isEmpty()) {
            all.error = one.error;
            return all;
        }
        all.rows += one.rows;
        all.unreadable.insert(all.unreadable.end(), one.unreadable.begin(), one.unreadable.end());
    }
    std::stable_sort(entries.begin(), entries.end(), [](const ReportEntry &a, const ReportEntry &b) {
        return a.at < b.at || (a.at == b.at && a.unit < b.unit);
    });
    for (const ReportEntry &e : entries)
        all.tally.Add(e);
    return all;
}

}  // namespace kv306
