#include "ctl/ctl.h"

#include "link/comm_error.h"
#include "link/port_access.h"
#include "link/port_file.h"
#include "link/port_map.h"
#include "link/program_files.h"
#include "protocol/params_text.h"
#include "protocol/probe.h"
#include "protocol/unit_core.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>

namespace kv306::ctl {

namespace {

const char kUsage[] = R"(Sets up and operates KV306 overlay units over a serial line.

Commands:
  ports                         COM1..COM20 that exist: name, device, state, adapter
  read                          the unit's six parameters
  write KEY=VALUE...            all six keys; or: write --from PROFILE
  set KEY=VALUE...              read, change the named keys, write, read back and compare
  toggle overlay|crosshair      switch the overlay or its crosshair; prints the new state
  step KEY up|down [COUNT]      KEY horizontal, vertical or size; prints each new value
  probe                         send a read to each free port; list those a unit answers on
  apply PROFILE --port A [--port B ...]
                                write and verify the profile on every port at once

Keys: horizontal 0-63, vertical 0-63, size 0-51, standard PAL|NTSC, roundness 0-3,
      outside keep|remove.
PORT: COM1..COM20 (as the window finds them) or a device path. Without --port, the port
      remembered in Com.TXT.

Exit codes: 0 done; 1 the unit failed (no reply, bad reply, verify mismatch);
            2 usage or profile error (nothing sent); 3 port error (missing, busy,
            no permission, pulled).)";

std::mutex printLock;

void Out(const QString &line)
{
    std::lock_guard lock(printLock);
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void Err(const QString &line)
{
    std::lock_guard lock(printLock);
    std::fprintf(stderr, "kv306ctl: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

int Usage(const QString &message)
{
    Err(message + QStringLiteral(" (see kv306ctl --help)"));
    return kExitUsage;
}

void PrintJson(const QJsonValue &value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    std::lock_guard lock(printLock);
    std::fprintf(stdout, "%s", doc.toJson(QJsonDocument::Indented).constData());
    std::fflush(stdout);
}

int ExitCodeOf(const Outcome &o)
{
    return o.Ok() ? kExitOk : o.failure == Failure::Port ? kExitPort : kExitUnit;
}

// A port as named on the command line: "COM3" or a device path.
struct Target {
    QString label;
    int number = 0;  // 0 for a device path
    QString Device() const { return number ? DevicePathForPort(number) : label; }
};

std::optional<Target> TargetOf(const QString &text, QString *error)
{
    const int number = PortNumberOfName(text);
    if (number >= kFirstPort && number <= kLastPort && text == PortNameOfNumber(number))
        return Target{text, number};
    if (text.contains(QLatin1Char('/')))
        return Target{text, 0};
    *error = QStringLiteral("'%1' is no port (COM1 to COM20, or a device path)").arg(text);
    return std::nullopt;
}

// One unit behind the port named on the command line.
struct Unit : UnitOnPort {
    explicit Unit(const Target &target) : UnitOnPort(target.number, target.number ? QString() : target.label)
    {
    }
};

// How a port would take an open now; opens and closes it at once when it is free.
QString PortState(const Target &target)
{
    Unit unit(target);
    try {
        unit.comm.SetPortOpen(true);
        unit.comm.SetPortOpen(false);
        return QStringLiteral("free");
    } catch (const CommError &e) {
        if (e.number() == ErrorNo::PermissionDenied)
            return QStringLiteral("no permission");
        if (e.number() == ErrorNo::NoSuchPort)
            return QStringLiteral("missing");
        return QStringLiteral("busy");
    }
}

// Runs `work` for every target, each on a thread of its own with its own port, and waits.
void OnEveryPort(const QList<Target> &targets, const std::function<void(int, const Target &)> &work)
{
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < targets.size(); ++i) {
        threads.emplace_back(QThread::create([&work, &targets, i] { work(i, targets[i]); }));
        threads.back()->start();
    }
    for (auto &t : threads)
        t->wait();
}

QList<Target> ExistingPorts()
{
    QList<Target> targets;
    const QStringList presence = PortPresence();
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        if (!presence[n - 1].isEmpty())
            targets << Target{PortNameOfNumber(n), n};
    }
    return targets;
}

QJsonObject WithPort(const Target &target, QJsonObject o)
{
    o.insert(QStringLiteral("port"), target.label);
    return o;
}

int Fail(const Target &target, const Outcome &o)
{
    Err(target.label + QStringLiteral(": ") + FailureText(o));
    return ExitCodeOf(o);
}

class Command {
public:
    Command(const QStringList &words, bool json) : words_(words), json_(json) {}

    int Ports()
    {
        if (words_.size() > 1)
            return Usage(QStringLiteral("ports takes no arguments"));
        const QList<Target> targets = ExistingPorts();
        QStringList paths;
        for (const Target &t : targets)
            paths << t.Device();
        const QList<PortIdentity> ids = IdentifyPorts(paths);
        QJsonArray list;
        for (int i = 0; i < targets.size(); ++i) {
            const QString state = PortState(targets[i]);
            if (json_) {
                list.append(QJsonObject{{QStringLiteral("name"), targets[i].label},
                                        {QStringLiteral("device"), ids[i].device},
                                        {QStringLiteral("description"), ids[i].adapter},
                                        {QStringLiteral("state"), state}});
            } else {
                Out(QStringLiteral("%1\t%2\t%3\t%4")
                        .arg(targets[i].label, ids[i].device, state, ids[i].adapter)
                        .trimmed());
            }
        }
        if (json_)
            PrintJson(list);
        return kExitOk;
    }

    int Read(const Target &target)
    {
        if (words_.size() > 1)
            return Usage(QStringLiteral("read takes no arguments"));
        Unit unit(target);
        const Outcome o = unit.core.Read();
        unit.link.CloseLink();
        return o.Ok() ? PrintValues(target, o.values) : Fail(target, o);
    }

    int Write(const Target &target, const Params &params)
    {
        Unit unit(target);
        const Outcome o = unit.core.Write(params);
        unit.link.CloseLink();
        if (!o.Ok())
            return Fail(target, o);
        if (json_)
            PrintJson(WithPort(target, {{QStringLiteral("result"), QStringLiteral("written")}}));
        return kExitOk;
    }

    int Set(const Target &target)
    {
        if (words_.size() < 2)
            return Usage(QStringLiteral("set needs KEY=VALUE"));
        // Checked whole before anything is sent.
        const Assignments checked = ParseAssignments(words_.mid(1));
        if (!checked.error.isEmpty())
            return Usage(checked.error);
        Unit unit(target);
        const Outcome read = unit.core.Read();
        unit.link.CloseLink();
        if (!read.Ok())
            return Fail(target, read);
        const Params wanted = ParseAssignments(words_.mid(1), read.values).params;
        const Outcome o = unit.core.WriteAndVerify(wanted);
        unit.link.CloseLink();
        return o.Ok() ? PrintValues(target, o.values) : Fail(target, o);
    }

    int Toggle(const Target &target)
    {
        const QString what = words_.value(1);
        if (words_.size() != 2 || (what != QLatin1String("overlay") && what != QLatin1String("crosshair")))
            return Usage(QStringLiteral("toggle needs overlay or crosshair"));
        Unit unit(target);
        const Outcome o = unit.core.Toggle(what == QLatin1String("crosshair"));
        unit.link.CloseLink();
        if (!o.Ok())
            return Fail(target, o);
        const QString state = o.value ? QStringLiteral("on") : QStringLiteral("off");
        if (json_)
            PrintJson(WithPort(target, {{what, state}}));
        else
            Out(what + QLatin1Char('=') + state);
        return kExitOk;
    }

    int Step(const Target &target)
    {
        const int param = ParamKeyIndex(words_.value(1));
        const QString way = words_.value(2);
        if (words_.size() < 3 || words_.size() > 4 || param < 0 || param > 2 ||
            (way != QLatin1String("up") && way != QLatin1String("down")))
            return Usage(QStringLiteral("step needs horizontal, vertical or size, then up or down"));
        bool good = true;
        const int count = words_.size() == 4 ? words_[3].toInt(&good) : 1;
        if (!good || count < 1 || count > 1000)
            return Usage(QStringLiteral("step COUNT must be 1 to 1000"));
        Unit unit(target);
        QJsonArray values;
        const QString key = words_[1];
        for (int i = 0; i < count; ++i) {
            // Button index 0 raises the value, 1 lowers it, for each of the three pairs.
            const Outcome o = unit.core.Step(param, way == QLatin1String("up") ? 0 : 1);
            if (o.failure == Failure::Port && o.beforeSending)
                return Fail(target, o);
            if (!o.Ok()) {
                unit.link.CloseLink();
                if (json_)
                    PrintJson(WithPort(target, {{key, values}}));
                return Fail(target, o);
            }
            unit.link.CloseLink();
            values.append(o.value);
            if (!json_)
                Out(key + QLatin1Char('=') + QString::number(o.value));
        }
        if (json_)
            PrintJson(WithPort(target, {{key, values}}));
        return kExitOk;
    }

    int Probe()
    {
        if (words_.size() > 1)
            return Usage(QStringLiteral("probe takes no arguments"));
        const QList<Target> targets = ExistingPorts();
        std::vector<std::optional<Params>> answers(static_cast<std::size_t>(targets.size()));
        OnEveryPort(targets, [&answers](int i, const Target &t) {
            answers[static_cast<std::size_t>(i)] = kv306::Probe(t.number);
        });
        QJsonArray list;
        int found = 0;
        for (int i = 0; i < targets.size(); ++i) {
            const auto &a = answers[static_cast<std::size_t>(i)];
            if (!a)
                continue;
            ++found;
            if (json_) {
                QJsonObject o = WithPort(targets[i], ParamsJson(*a));
                o.insert(QStringLiteral("device"), QFileInfo(targets[i].Device()).canonicalFilePath());
                list.append(o);
            } else {
                Out(targets[i].label + QLatin1Char('\t') + FormatParams(*a));
            }
        }
        if (json_)
            PrintJson(list);
        if (found == 0) {
            Err(QStringLiteral("no unit answered on %1 port(s) tried").arg(targets.size()));
            return kExitUnit;
        }
        return kExitOk;
    }

    int Apply(const QList<Target> &targets, const Params &params)
    {
        std::vector<Outcome> outcomes(static_cast<std::size_t>(targets.size()));
        const bool json = json_;
        OnEveryPort(targets, [&outcomes, &params, json](int i, const Target &t) {
            Unit unit(t);
            Outcome o = unit.core.WriteAndVerify(params);
            unit.link.CloseLink();
            if (!json)
                Out(t.label +
                    (o.Ok() ? QStringLiteral(": applied") : QStringLiteral(": failed: ") + FailureText(o)));
            outcomes[static_cast<std::size_t>(i)] = std::move(o);
        });
        int applied = 0;
        int code = kExitOk;
        QJsonArray list;
        for (int i = 0; i < targets.size(); ++i) {
            const Outcome &o = outcomes[static_cast<std::size_t>(i)];
            applied += o.Ok() ? 1 : 0;
            code = std::max(code, ExitCodeOf(o));
            QJsonObject row{
                {QStringLiteral("port"), targets[i].label},
                {QStringLiteral("result"), o.Ok() ? QStringLiteral("applied") : QStringLiteral("failed")}};
            if (o.Ok())
                row.insert(QStringLiteral("values"), ParamsJson(o.values));
            else
                row.insert(QStringLiteral("error"), FailureText(o));
            list.append(row);
        }
        const auto total = targets.size();
        const QString summary = QStringLiteral("%1 unit%2: %3 applied, %4 failed")
                                    .arg(total)
                                    .arg(total == 1 ? "" : "s")
                                    .arg(applied)
                                    .arg(total - applied);
        if (json_)
            PrintJson(list);
        else
            Out(summary);
        if (applied < total)
            Err(summary);
        return code;
    }

private:
    int PrintValues(const Target &target, const Params &values)
    {
        if (json_)
            PrintJson(WithPort(target, ParamsJson(values)));
        else
            Out(FormatParams(values));
        return kExitOk;
    }

    QStringList words_;
    bool json_;
};

}  // namespace

int Run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kUsage));
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("ports, read, write, set, toggle, step, "
                                                "probe or apply"));
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("the unit's port (COMn or a device)"), QStringLiteral("PORT"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("print one JSON document"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"), QStringLiteral("write: the values of a profile"), QStringLiteral("PROFILE"));
    parser.addOption(portOption);
    parser.addOption(jsonOption);
    parser.addOption(fromOption);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();

    if (!parser.parse(QStringList{QStringLiteral("kv306ctl")} + arguments))
        return Usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fprintf(stdout, "%s", parser.helpText().toLocal8Bit().constData());
        return kExitOk;
    }
    if (parser.isSet(versionOption)) {
        Out(QStringLiteral("kv306ctl ") + QCoreApplication::applicationVersion());
        return kExitOk;
    }

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return Usage(QStringLiteral("no command given"));
    const QString name = words[0];
    Command command(words, parser.isSet(jsonOption));
    if (parser.isSet(fromOption) && name != QLatin1String("write"))
        return Usage(QStringLiteral("--from belongs to write"));

    QList<Target> targets;
    for (const QString &port : parser.values(portOption)) {
        QString error;
        const std::optional<Target> target = TargetOf(port, &error);
        if (!target)
            return Usage(error);
        targets << *target;
    }

    if (name == QLatin1String("ports"))
        return command.Ports();
    if (name == QLatin1String("probe"))
        return command.Probe();
    if (name == QLatin1String("apply")) {
        if (words.size() != 2)
            return Usage(QStringLiteral("apply needs one PROFILE"));
        if (targets.isEmpty())
            return Usage(QStringLiteral("apply needs at least one --port"));
        const Profile profile = ReadProfile(words[1]);
        if (!profile.params)
            return Usage(words[1] + QStringLiteral(": ") + profile.error);
        return command.Apply(targets, *profile.params);
    }

    static const QStringList single{QStringLiteral("read"), QStringLiteral("write"), QStringLiteral("set"),
                                    QStringLiteral("toggle"), QStringLiteral("step")};
    if (!single.contains(name))
        return Usage(QStringLiteral("unknown command '%1'").arg(name));
    if (targets.size() > 1)
        return Usage(QStringLiteral("%1 takes one --port").arg(name));

    // The values of a write are checked before the port is even looked for.
    Params params{};
    if (name == QLatin1String("write")) {
        if (parser.isSet(fromOption)) {
            if (words.size() > 1)
                return Usage(QStringLiteral("write takes KEY=VALUE words or --from, not both"));
            const Profile profile = ReadProfile(parser.value(fromOption));
            if (!profile.params)
                return Usage(parser.value(fromOption) + QStringLiteral(": ") + profile.error);
            params = *profile.params;
        } else {
            const Assignments a = ParseAssignments(words.mid(1));
            if (!a.error.isEmpty())
                return Usage(a.error);
            for (std::size_t k = 0; k < kParamCount; ++k) {
                if (!a.named[k])
                    return Usage(
                        QStringLiteral("write needs all six keys; '%1' is missing").arg(kParamKeys[k]));
            }
            params = a.params;
        }
    }

    if (targets.isEmpty()) {
        const QString file = PortFileToRead(QCoreApplication::applicationDirPath());
        const std::optional<QString> remembered = ReadPortFile(file);
        if (!remembered)
            return Usage(QStringLiteral("no --port given and no port remembered in %1; try: kv306ctl ports")
                             .arg(file));
        targets << Target{*remembered, PortNumberOfName(*remembered)};
    }
    const Target &target = targets.front();
    if (name == QLatin1String("read"))
        return command.Read(target);
    if (name == QLatin1String("write"))
        return command.Write(target, params);
    if (name == QLatin1String("set"))
        return command.Set(target);
    if (name == QLatin1String("toggle"))
        return command.Toggle(target);
    return command.Step(target);
}

}  // namespace kv306::ctl
