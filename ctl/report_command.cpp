#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

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

}  // namespace

// The shift's figures from a station's report: the whole, and each slot, operator and lot.
int ReportCommand(const Invocation &in)
{
    if (in.words.size() != 1)
        return Usage(QStringLiteral("report needs one FILE"));
    const QString path = in.words[0];
    const ReportReading reading = ReadReport(path, in.since, in.until);
    if (!reading.error.isEmpty())
        return FileError(reading.error);
    // Rows it cannot read are named, and the figures are those of the rest: the exit says so.
    constexpr std::size_t kNamed = 20;
    QJsonArray unreadable;
    for (std::size_t i = 0; i < reading.unreadable.size(); ++i) {
        const ReportReading::Unreadable &u = reading.unreadable[i];
        if (i < kNamed)
            Err(QStringLiteral("%1: line %2 cannot be read, left out: %3").arg(path).arg(u.line).arg(u.why));
        unreadable.append(QJsonObject{{QStringLiteral("line"), u.line}, {QStringLiteral("why"), u.why}});
    }
    if (reading.unreadable.size() > kNamed)
        Err(QStringLiteral("%1: %2 more rows cannot be read")
                .arg(path)
                .arg(reading.unreadable.size() - kNamed));
    const int code = reading.unreadable.empty() ? kExitOk : kExitUsage;
    const Figures total = reading.tally.Total();
    if (JsonMode()) {
        QJsonObject o{{QStringLiteral("report"), path},
                      {QStringLiteral("rows"), reading.rows},
                      {QStringLiteral("all"), total.Json()},
                      {QStringLiteral("slots"), Groups(reading.tally.BySlot())},
                      {QStringLiteral("operators"), Groups(reading.tally.ByOperator())},
                      {QStringLiteral("lots"), Groups(reading.tally.ByLot())}};
        if (!unreadable.isEmpty())
            o.insert(QStringLiteral("unreadable"), unreadable);
        if (in.since.isValid())
            o.insert(QStringLiteral("since"), in.since.toString(Qt::ISODate));
        if (in.until.isValid())
            o.insert(QStringLiteral("until"), in.until.toString(Qt::ISODate));
        PrintJson(o);
        return code;
    }
    QString span;
    if (total.first.isValid())
        span = QStringLiteral(" from %1 to %2")
                   .arg(total.first.toString(Qt::ISODate), total.last.toString(Qt::ISODate));
    Out(QStringLiteral("report %1%2").arg(path, span));
    Out(QStringLiteral("  ") + total.Text());
    PrintGroups("by slot:", reading.tally.BySlot());
    PrintGroups("by operator:", reading.tally.ByOperator());
    PrintGroups("by lot:", reading.tally.ByLot());
    return code;
}

}  // namespace kv306::ctl
