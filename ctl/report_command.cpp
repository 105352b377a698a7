#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "protocol/line_store.h"
#include "protocol/report_figures.h"

#include <QJsonArray>
#include <QJsonObject>

namespace kv306::ctl {

namespace {

QJsonObject Groups(const std::map<QString, Figures> &groups)
{
    QJsonObject o;
    for (const auto &[name, figures] : groups)
        o.insert(name, figures.Json());
    return o;
}

void PrintGroups(const char *heading, const std::map<QString, Figures> &groups)
{
    Out(QLatin1String(heading));
    for (const auto &[name, figures] : groups)
        Out(QStringLiteral("  %1: %2").arg(name.isEmpty() ? QStringLiteral("(none)") : name, figures.Text()));
}

void PrintFigures(const QString &what, const Figures &total, const std::map<QString, Figures> &bySlot,
                  const std::map<QString, Figures> &operators, const std::map<QString, Figures> &lots,
                  const std::map<QString, Figures> &stations)
{
    QString span;
    if (total.first.isValid())
        span = QStringLiteral(" from %1 to %2")
                   .arg(total.first.toString(Qt::ISODate), total.last.toString(Qt::ISODate));
    Out(what + span);
    Out(QStringLiteral("  ") + total.Text());
    PrintGroups("by slot:", bySlot);
    PrintGroups("by operator:", operators);
    PrintGroups("by lot:", lots);
    PrintGroups("by station:", stations);
}

QJsonObject FiguresJson(const Figures &total, const std::map<QString, Figures> &bySlot,
                        const std::map<QString, Figures> &operators, const std::map<QString, Figures> &lots,
                        const std::map<QString, Figures> &stations, const Invocation &in)
{
    QJsonObject o{{QStringLiteral("all"), total.Json()},
                  {QStringLiteral("slots"), Groups(bySlot)},
                  {QStringLiteral("operators"), Groups(operators)},
                  {QStringLiteral("lots"), Groups(lots)},
                  {QStringLiteral("stations"), Groups(stations)}};
    if (in.since.isValid())
        o.insert(QStringLiteral("since"), in.since.toString(Qt::ISODate));
    if (in.until.isValid())
        o.insert(QStringLiteral("until"), in.until.toString(Qt::ISODate));
    return o;
}

}  // namespace

// The shift's figures from stations' reports read together, or from the line's database: the
// whole, and each slot, operator, lot and station.
int ReportCommand(const Invocation &in)
{
    const ReportFilter filter{in.since, in.until, in.stationHost, in.lot};
    if (!in.store.isEmpty()) {
        if (!in.words.isEmpty())
            return Usage(QStringLiteral("report takes FILE... or --store URL, not both"));
        LineStore store(in.store);
        const Checked<LineStore::LineFigures> f =
            store.FiguresOf({in.since, in.until, in.stationHost, in.lot});
        if (!f) {
            Err(f.reason);
            if (JsonMode())
                PrintJson(QJsonObject{{QStringLiteral("error"), f.reason}});
            return kExitStore;
        }
        if (JsonMode()) {
            QJsonObject o = FiguresJson(f->all, f->bySlot, f->byOperator, f->byLot, f->byStation, in);
            o.insert(QStringLiteral("store"), store.Where());
            PrintJson(o);
        } else {
            PrintFigures(QStringLiteral("store %1").arg(store.Where()), f->all, f->bySlot, f->byOperator,
                         f->byLot, f->byStation);
        }
        return kExitOk;
    }
    if (in.words.isEmpty())
        return Usage(QStringLiteral("report needs a FILE, or --store URL"));
    const ReportReading reading = ReadReports(in.words, filter);
    if (!reading.error.isEmpty())
        return FileError(reading.error);
    // Rows it cannot read are named, and the figures are those of the rest: the exit says so.
    constexpr std::size_t kNamed = 20;
    QJsonArray unreadable;
    for (std::size_t i = 0; i < reading.unreadable.size(); ++i) {
        const ReportReading::Unreadable &u = reading.unreadable[i];
        if (i < kNamed)
            Err(QStringLiteral("%1: line %2 cannot be read, left out: %3")
                    .arg(u.file)
                    .arg(u.line)
                    .arg(u.why));
        QJsonObject row{{QStringLiteral("line"), u.line}, {QStringLiteral("why"), u.why}};
        if (in.words.size() > 1)
            row.insert(QStringLiteral("report"), u.file);
        unreadable.append(row);
    }
    if (reading.unreadable.size() > kNamed)
        Err(QStringLiteral("%1 more rows cannot be read").arg(reading.unreadable.size() - kNamed));
    const int code = reading.unreadable.empty() ? kExitOk : kExitUsage;
    const Tally &t = reading.tally;
    const QString shown = in.words.join(QStringLiteral(", "));
    if (JsonMode()) {
        QJsonObject o = FiguresJson(t.Total(), t.BySlot(), t.ByOperator(), t.ByLot(), t.ByStation(), in);
        o.insert(QStringLiteral("report"), in.words.size() == 1
                                               ? QJsonValue(in.words[0])
                                               : QJsonValue(QJsonArray::fromStringList(in.words)));
        o.insert(QStringLiteral("rows"), reading.rows);
        if (!unreadable.isEmpty())
            o.insert(QStringLiteral("unreadable"), unreadable);
        PrintJson(o);
        return code;
    }
    PrintFigures(QStringLiteral("report %1").arg(shown), t.Total(), t.BySlot(), t.ByOperator(), t.ByLot(),
                 t.ByStation());
    return code;
}

}  // namespace kv306::ctl
