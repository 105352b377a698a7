#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "link/output_file.h"
#include "protocol/outcome_text.h"
#include "protocol/params_text.h"
#include "protocol/probe.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include <array>
#include <tuple>

namespace kv306::ctl {

// Every unit is said once, when all are done, in the order of the command line.
int ApplyCommand(const Invocation &in)
{
    const QList<PortRef> &targets = in.ports;
    const Params &params = *in.profile;
    const std::vector<std::optional<Outcome>> outcomes = OnEveryPort(targets, [&params](const PortRef &t) {
        UnitOnPort unit(t);
        Outcome o = unit.core.WriteAndVerify(params, [] { return !Stopped(); });
        unit.link.CloseLink();
        return o;
    });
    const bool stopped = Stopped();
    int applied = 0;
    int written = 0;
    int unconfirmed = 0;
    int notStarted = 0;
    int code = kExitOk;
    QJsonArray list;
    for (int i = 0; i < targets.size(); ++i) {
        const std::optional<Outcome> &started = outcomes[static_cast<std::size_t>(i)];
        const Outcome &o = started ? *started : Outcome{};
        QString state;
        QString said;
        QJsonObject row{{QStringLiteral("port"), targets[i].Label()}};
        if (!started) {
            state = said = QStringLiteral("not started");
            ++notStarted;
        } else if (o.unverified) {
            state = QStringLiteral("written");
            said = QStringLiteral("written, not verified");
            ++written;
        } else if (o.Ok()) {
            state = said = stopped ? QStringLiteral("verified") : QStringLiteral("applied");
            row.insert(QStringLiteral("values"), ParamsJson(o.values));
            ++applied;
        } else {
            // Acknowledged, then not confirmed: the unit holds new values, maybe not these.
            state = o.acknowledged ? QStringLiteral("check failed") : QStringLiteral("failed");
            said = o.acknowledged ? FailureText(o) : QStringLiteral("failed: ") + FailureText(o);
            unconfirmed += o.acknowledged ? 1 : 0;
            row = FailureJson(o, row);
            code = std::max(code, ExitCodeOf(o));
        }
        row.insert(QStringLiteral("result"), state);
        list.append(row);
        if (!JsonMode())
            Record(targets[i].Label() + QStringLiteral(": ") + said);
    }
    const auto total = targets.size();
    const auto failed = total - applied - written - unconfirmed - notStarted;
    QString summary = QStringLiteral("%1: %2 %3")
                          .arg(CountOf(total, "unit", "units"))
                          .arg(applied)
                          .arg(stopped ? QStringLiteral("verified") : QStringLiteral("applied"));
    if (unconfirmed > 0)
        summary += QStringLiteral(", %1 written, check failed").arg(unconfirmed);
    summary += QStringLiteral(", %1 failed").arg(failed);
    if (stopped)
        summary = QStringLiteral("interrupted: ") + summary +
                  QStringLiteral(", %1 written, %2 not started").arg(written).arg(notStarted);
    if (JsonMode())
        PrintJson(list);
    else
        Record(summary);
    if (applied < total && !OutputFailed())
        Err(summary);
    return code;
}

// Reads every unit (never writes) and compares it with the profile.
int VerifyCommand(const Invocation &in)
{
    const QList<PortRef> &targets = in.ports;
    const Params &profile = *in.profile;
    const std::vector<std::optional<Outcome>> outcomes = OnEveryPort(targets, [](const PortRef &t) {
        UnitOnPort unit(t);
        Outcome o = unit.core.Read();
        unit.link.CloseLink();
        return o;
    });
    int matches = 0;
    int differs = 0;
    int failed = 0;
    int code = kExitOk;
    QJsonArray list;
    for (int i = 0; i < targets.size(); ++i) {
        const std::optional<Outcome> &started = outcomes[static_cast<std::size_t>(i)];
        const Outcome &o = started ? *started : Outcome{};
        QJsonObject row{{QStringLiteral("port"), targets[i].Label()}};
        QString said;
        if (!started) {
            said = QStringLiteral("not started");
            row.insert(QStringLiteral("result"), said);
        } else if (!o.Ok()) {
            ++failed;
            said = QStringLiteral("failed: ") + FailureText(o);
            row = FailureJson(o, row);
            row.insert(QStringLiteral("result"), QStringLiteral("failed"));
            code = std::max(code, ExitCodeOf(o));
        } else {
            QJsonArray fields;
            for (const int k : Differing(o.values, profile))
                fields.append(QLatin1String(Param(k).key));
            row.insert(QStringLiteral("values"), ParamsJson(o.values));
            row.insert(QStringLiteral("differs"), fields);
            if (fields.isEmpty()) {
                ++matches;
                said = QStringLiteral("matches");
            } else {
                ++differs;
                said = QStringLiteral("differs: ") + ProfileDifferences(o.values, profile);
                code = std::max(code, kExitUnit);
            }
            row.insert(QStringLiteral("result"), fields.isEmpty() ? "matches" : "differs");
        }
        list.append(row);
        if (!JsonMode())
            Out(targets[i].Label() + QStringLiteral(": ") + said);
    }
    const auto total = targets.size();
    QString summary = QStringLiteral("%1: %2 match, %3 differ, %4 failed")
                          .arg(CountOf(total, "unit", "units"))
                          .arg(matches)
                          .arg(differs)
                          .arg(failed);
    if (Stopped())
        summary = QStringLiteral("interrupted: ") + summary;
    if (JsonMode()) {
        QJsonObject document{{QStringLiteral("profile"), ParamsJson(profile)},
                             {QStringLiteral("units"), list}};
        PrintJson(document);
    } else {
        Out(summary);
    }
    return code;
}

// What apply, verify or station would send to each port; nothing is opened.
int DryRunCommand(const Invocation &in)
{
    const QString &name = in.name;
    const QList<PortRef> &targets = in.ports;
    const Params &profile = *in.profile;
    const QString &report = in.report;
    const QString &junit = in.junit;
    const QString read = HexWords(CommandFrame(Op::ReadParams, 0x00));
    const std::optional<Bytes> frame = ParameterFrame(profile);
    const QString write = frame ? HexWords(*frame) : QString();
    const QList<PortIdentity> ids = IdentifyPorts(targets);
    QJsonArray list;
    for (int i = 0; i < targets.size(); ++i) {
        const PortRef &t = targets[i];
        const bool there = !ids[i].device.isEmpty();
        QJsonArray frames;
        QString said;
        if (name == QLatin1String("verify")) {
            frames.append(read);
            said = QStringLiteral("would read (%1) and compare with %2").arg(read, FormatParams(profile));
        } else {
            if (name == QLatin1String("station"))
                frames.append(read);
            frames.append(write);
            frames.append(read);
            said = QStringLiteral("would %1write %2 (%3), then read back (%4) and compare")
                       .arg(name == QLatin1String("station")
                                ? QStringLiteral("wait for a unit to answer a read (%1), ").arg(read)
                                : QString(),
                            FormatParams(profile), write, read);
        }
        if (JsonMode())
            list.append(QJsonObject{{QStringLiteral("port"), t.Label()},
                                    {QStringLiteral("device"), there ? ids[i].device : t.Device()},
                                    {QStringLiteral("present"), there},
                                    {QStringLiteral("frames"), frames}});
        else
            Out(QStringLiteral("%1 (%2%3): %4")
                    .arg(t.Label(), QDir::toNativeSeparators(there ? ids[i].device : t.Device()),
                         there ? QString() : QStringLiteral(", not there now"), said));
    }
    // What would become of each file, and what stands in its way now.
    const auto fileProblem = [](const QString &path) {
        const SaveTarget target = ChooseSaveTarget(path);
        if (target.path.isEmpty())
            return target.refusal;
        const QFileInfo info(target.path);
        if (!info.dir().exists())
            return QStringLiteral("its folder %1 does not exist").arg(QDir::toNativeSeparators(info.path()));
        return QString();
    };
    const std::array<std::tuple<QString, QString, const char *>, 2> files{
        {{QStringLiteral("report"), report, "each unit's row would be appended to %1"},
         {QStringLiteral("junit"), junit, "the JUnit file %1 would be rewritten whole after each unit"}}};
    QJsonObject document{{QStringLiteral("dryRun"), name}, {QStringLiteral("ports"), list}};
    for (const auto &[key, path, what] : files) {
        if (path.isEmpty())
            continue;
        const QString problem = fileProblem(path);
        if (JsonMode()) {
            document.insert(key, path);
            if (!problem.isEmpty())
                document.insert(key + QStringLiteral("Problem"), problem);
        } else {
            Out(QString::fromLatin1(what).arg(QDir::toNativeSeparators(path)) +
                (problem.isEmpty() ? QString() : QStringLiteral(", but ") + problem));
        }
    }
    if (JsonMode())
        PrintJson(document);
    return kExitOk;
}

}  // namespace kv306::ctl
