#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "protocol/line_store.h"
#include "protocol/outcome_text.h"

#include <QJsonArray>
#include <QJsonObject>

namespace kv306::ctl {

namespace {

int StoreError(const QString &message)
{
    Err(message);
    if (JsonMode())
        PrintJson(QJsonObject{{QStringLiteral("error"), message}});
    return kExitStore;
}

}  // namespace

// store init URL: the line's table, made once, or brought forward from an older version;
// nothing when it is there.
int StoreCommand(const Invocation &in)
{
    if (in.words.size() != 2 || in.words[0] != QLatin1String("init"))
        return Usage(QStringLiteral("store takes: init URL"));
    const Checked<QString> url = LineStore::CheckUrl(in.words[1]);
    if (!url)
        return Usage(url.reason);
    LineStore store(*url);
    const Checked<bool> made = store.Init();
    if (!made)
        return StoreError(made.reason);
    const QString said =
        QStringLiteral("the database %1 holds the line's rows in kv306.rows%2")
            .arg(store.Where(),
                 *made ? QStringLiteral(" (brought forward to version %1)").arg(LineStore::kSchemaVersion)
                       : QString());
    if (JsonMode())
        PrintJson(QJsonObject{{QStringLiteral("store"), store.Where()},
                              {QStringLiteral("ready"), true},
                              {QStringLiteral("version"), LineStore::kSchemaVersion},
                              {QStringLiteral("broughtForward"), *made}});
    else
        Out(said);
    return kExitOk;
}

// upload FILE... --store URL: the rows the database does not hold yet, each report in one go.
int UploadCommand(const Invocation &in)
{
    if (in.words.isEmpty())
        return Usage(QStringLiteral("upload needs at least one FILE"));
    if (in.store.isEmpty())
        return Usage(QStringLiteral("upload needs --store URL"));
    LineStore store(in.store);
    if (const Done connected = store.Connect(); !connected)
        return StoreError(connected.reason);
    int code = kExitOk;
    int sentAll = 0;
    int thereAll = 0;
    QJsonArray reports;
    for (const QString &path : in.words) {
        const Checked<ReportRows> rows = ReadReportRows(path);
        if (!rows) {
            Err(rows.reason);
            reports.append(
                QJsonObject{{QStringLiteral("report"), path}, {QStringLiteral("error"), rows.reason}});
            code = std::max(code, kExitUsage);
            continue;
        }
        int sent = 0;
        QString refused;
        constexpr std::size_t kBatch = 500;
        for (std::size_t at = 0; at < rows->rows.size() && refused.isEmpty(); at += kBatch) {
            const std::vector<LineStore::Row> batch(
                rows->rows.begin() + static_cast<std::ptrdiff_t>(at),
                rows->rows.begin() + static_cast<std::ptrdiff_t>(std::min(at + kBatch, rows->rows.size())));
            const Checked<int> added = store.Send(batch);
            if (added)
                sent += *added;
            else
                refused = added.reason;
        }
        const int total = static_cast<int>(rows->rows.size());
        QJsonObject o{{QStringLiteral("report"), path},
                      {QStringLiteral("rows"), total},
                      {QStringLiteral("sent"), sent},
                      {QStringLiteral("unreadable"), rows->unreadable}};
        if (!refused.isEmpty()) {
            Err(QStringLiteral("%1: %2").arg(path, refused));
            o.insert(QStringLiteral("error"), refused);
            code = std::max(code, kExitStore);
        } else {
            sentAll += sent;
            thereAll += total - sent;
            if (!JsonMode())
                Out(sent == 0 ? QStringLiteral("%1: nothing to send, the database holds its %2 already")
                                    .arg(path, CountOf(total, "row", "rows"))
                              : QStringLiteral("%1: %2 sent, %3 there already")
                                    .arg(path, CountOf(sent, "row", "rows"))
                                    .arg(total - sent));
        }
        if (rows->unreadable > 0) {
            Err(QStringLiteral("%1: %2 that cannot be read, not sent (kv306ctl report %1 names them)")
                    .arg(path, CountOf(rows->unreadable, "row", "rows")));
            code = std::max(code, kExitUsage);
        }
        reports.append(o);
    }
    if (JsonMode())
        PrintJson(QJsonObject{{QStringLiteral("store"), store.Where()},
                              {QStringLiteral("sent"), sentAll},
                              {QStringLiteral("there"), thereAll},
                              {QStringLiteral("reports"), reports}});
    return code;
}

}  // namespace kv306::ctl
