#include "ctl/ctl.h"

#include "link/comm_error.h"
#include "link/output_file.h"
#include "link/port_access.h"
#include "link/port_file.h"
#include "link/port_map.h"
#include "protocol/params_text.h"
#include "protocol/probe.h"
#include "protocol/station.h"
#include "protocol/unit_core.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QThread>
#include <QTranslator>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>

namespace kv306::ctl {

namespace {

const char kUsage[] = R"(Sets up and operates KV306 overlay units over a serial line.

Commands:
  ports                         COM1..COM20 that exist: name, device, state, adapter;
                                with --port only those; --names: the names alone,
                                opening nothing
  read                          the unit's six parameters
  write KEY=VALUE...            all six keys; or: write --from PROFILE
  set KEY=VALUE...              read, change the named keys, write, read back and compare
  toggle overlay|crosshair      switch the overlay or its crosshair; prints the unit's echo
  step KEY up|down [COUNT]      KEY horizontal, vertical or size; up raises the value by
                                one, down lowers it; prints each new value. (The
                                window's vertical arrow that points up lowers the value:
                                it moves the picture up.)
  probe                         send a read to each free port (with --port: to those
                                only); list those a unit answers on
  apply PROFILE --port A [--port B ...]
                                write and verify the profile on every port at once
  verify PROFILE --port A [--port B ...]
                                read every unit (nothing is written) and compare it with
                                the profile: one line a unit, then a summary
  station PROFILE --port A [--port B ...] --report FILE [--junit FILE]
                                a production line's set-up station: on every port wait
                                for a unit to answer, apply and verify the profile,
                                append its row to the CSV report, wait for the unit to
                                go; one line a unit ("COM3 #17 pass 1.2 s") until
                                stopped, --count N units, or --once (what is there now)
  apply, verify and station with --dry-run say what they would send where, and open
  nothing

Keys: horizontal 0-63, vertical 0-63, size 0-51, standard PAL|NTSC, roundness 0-3,
      outside keep|remove.
PORT: COM1..COM20 (as the window finds them) or a device path. Without --port, the port
      remembered in Com.TXT.)";

// The exit codes, as --help lists them; README and the man page say the same (a test checks).
struct ExitCodeRow {
    const char *codes;
    const char *meaning;
};
constexpr ExitCodeRow kExitCodes[] = {
    {"0", "done"},
    {"1", "the unit failed (no reply, bad reply, verify mismatch, unconfirmed) or differs from the profile "
          "(verify); probe found no unit"},
    {"2", "usage or profile error; nothing was sent"},
    {"3", "port error: missing, busy, no permission, pulled, never a serial port"},
    {"4", "standard output or error, or the station's report, could not be written"},
    {"130, 143, 129, 131", "stopped by SIGINT, SIGTERM, SIGHUP or SIGQUIT (the exchange in flight is "
                           "finished, nothing more is sent, each unit's state is said)"},
    {"141", "stopped by a closed pipe on standard output"},
};

QString ExitCodesText()
{
    QString text = QStringLiteral("\n\nExit codes:\n");
    for (const ExitCodeRow &row : kExitCodes) {
        // The meaning in lines of at most 80 characters, beside its codes.
        QString line = QStringLiteral("  %1  ").arg(QLatin1String(row.codes), -18);
        const qsizetype indent = line.size();
        for (const QString &word : QString::fromLatin1(row.meaning).split(QLatin1Char(' '))) {
            if (line.size() + word.size() > 80 && line.size() > indent) {
                text += line.trimmed().isEmpty() ? line : line.chopped(1) + QLatin1Char('\n');
                line = QString(indent, QLatin1Char(' '));
            }
            line += word + QLatin1Char(' ');
        }
        text += line.chopped(1) + QLatin1Char('\n');
    }
    return text + QStringLiteral("\nSee kv306ctl(1) for every option, the report's columns and examples.");
}

std::mutex printLock;

// Set by SIGINT, SIGTERM, SIGHUP or SIGQUIT: the exchange in flight finishes, nothing more is
// sent.
std::atomic<int> stopSignal{0};
// Standard output or error could not be written; a closed pipe also stops the work.
std::atomic<bool> outputFailed{false};
std::atomic<bool> pipeClosed{false};
// --json: failures are a JSON document on standard output too.
bool jsonMode = false;

extern "C" void OnStopSignal(int signo)
{
    stopSignal.store(signo);
}

void CatchStopSignals()
{
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
#ifndef Q_OS_WIN
    // A dropped ssh session (hang-up) and Ctrl-\ stop as Ctrl-C does: each unit's state is said.
    std::signal(SIGHUP, OnStopSignal);
    std::signal(SIGQUIT, OnStopSignal);
    // A closed pipe is seen as a failed write, so the units are still told about.
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool Stopped()
{
    return stopSignal.load() != 0 || pipeClosed.load();
}

// Text from files, devices and the unit as one harmless line: control characters as \xHH, so a
// name cannot clear the terminal or cut the line. Tabs may stay where they separate columns.
QString Printable(const QString &text, bool keepTabs)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && !(keepTabs && u == u'\t')) || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void Write(FILE *stream, const QByteArray &bytes)
{
    std::lock_guard lock(printLock);
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream) ==
                             static_cast<std::size_t>(bytes.size()) &&
                         std::fflush(stream) == 0;
    if (!written) {
        outputFailed = true;
        if (errno == EPIPE)
            pipeClosed = true;
        std::clearerr(stream);
    }
}

void Out(const QString &line)
{
    Write(stdout, Printable(line, true).toLocal8Bit() + '\n');
}

void Err(const QString &line)
{
    Write(stderr, "kv306ctl: " + Printable(line, false).toLocal8Bit() + '\n');
}

// A unit's state, on standard output while it can be written, else on standard error: after a
// stop or a closed pipe, what each unit was left with must still be on record somewhere.
void Record(const QString &line)
{
    if (!outputFailed)
        Out(line);
    if (outputFailed)
        Err(line);
}

// One JSON document a line, without spacing: for jq, and as JSON Lines when there are several.
void PrintJson(const QJsonValue &value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    Write(stdout, doc.toJson(QJsonDocument::Compact) + '\n');
}

// A JSON line that must be on record: on standard output while it can be written, else on
// standard error, as Record does for a line of text.
void RecordJson(const QJsonObject &value)
{
    const QByteArray line = QJsonDocument(value).toJson(QJsonDocument::Compact) + '\n';
    if (!outputFailed)
        Write(stdout, line);
    if (outputFailed)
        Write(stderr, line);
}

// A refusal before anything is sent; with --json also one document on standard output.
int Refuse(const QString &message, bool pointAtHelp)
{
    Err(pointAtHelp ? message + QStringLiteral(" (see kv306ctl --help)") : message);
    if (jsonMode)
        PrintJson(QJsonObject{{QStringLiteral("error"), message}});
    return kExitUsage;
}

int Usage(const QString &message)
{
    return Refuse(message, true);
}

int ProfileError(const QString &path, const QString &reason)
{
    return Refuse(path + QStringLiteral(": ") + reason, false);
}

int ExitCodeOf(const Outcome &o)
{
    return o.Ok() ? kExitOk : o.failure == Failure::Port ? kExitPort : kExitUnit;
}

// `code` becomes at least `least`, whichever slot's thread gets there first.
void RaiseTo(std::atomic<int> &code, int least)
{
    int now = code.load();
    while (now < least && !code.compare_exchange_weak(now, least)) {
    }
}

// A port as named on the command line: "COM3" or a device path.
struct Target {
    QString label;
    int number = 0;  // 0 for a device path
    // A relative path is the path from the current folder.
    QString Device() const
    {
        return number ? DevicePathForPort(number) : QFileInfo(label).absoluteFilePath();
    }
};

std::optional<Target> TargetOf(const QString &text, QString *error)
{
    // "com3" is COM3, as Windows has it.
    const QString upper = text.startsWith(QLatin1String("com"), Qt::CaseInsensitive) ? text.toUpper() : text;
    const int number = PortNumberOfName(upper);
    if (number >= kFirstPort && number <= kLastPort && upper == PortNameOfNumber(number))
        return Target{upper, number};
    if (text.contains(QLatin1Char('/')))
        return Target{text, 0};
    *error = QStringLiteral("'%1' is no port (COM1 to COM20, or a device path)").arg(text);
    return std::nullopt;
}

// One unit behind the port named on the command line.
struct Unit : UnitOnPort {
    explicit Unit(const Target &target)
        : UnitOnPort(target.number, target.number ? QString() : target.Device())
    {
    }
};

// How a port would take an open now, and why not; opens and closes it at once when it is free.
struct PortStateOf {
    QString state;  // free, busy, no permission, missing, not a serial device, unusable
    QString cause;  // why, when it is not free ("/tmp/p/COM3 is a named pipe", "held by ...")
};

PortStateOf PortState(const Target &target)
{
    Unit unit(target);
    try {
        unit.comm.SetPortOpen(true);
        unit.comm.SetPortOpen(false);
        return {QStringLiteral("free"), {}};
    } catch (const CommError &e) {
        const QFileInfo entry(target.Device());
        switch (e.number()) {
        case ErrorNo::PermissionDenied:
            return {QStringLiteral("no permission"), QString(e.message()).replace(QLatin1Char('\n'), ' ')};
        case ErrorNo::NoSuchPort:
            return {QStringLiteral("missing"),
                    entry.isSymLink()
                        ? QStringLiteral("a link to %1, which is not there").arg(entry.symLinkTarget())
                        : QString()};
        case ErrorNo::NotSerialDevice:
            return {QStringLiteral("not a serial device"), e.message().section(QStringLiteral(": "), 1)};
        case ErrorNo::PortInUse: {
            const QString holder = PortHolder(target.Device());
            return {QStringLiteral("busy"),
                    holder.isEmpty() ? QString() : QStringLiteral("held by ") + holder};
        }
        default:
            return {QStringLiteral("unusable"), QStringLiteral("error %1: %2").arg(e.number()).arg(e.what())};
        }
    }
}

// Runs `work` for every target, each on a thread of its own with its own port, and waits. A
// target that a stop reached before its thread began is not started: its outcome stays empty.
// Each thread writes only its own element.
std::vector<std::optional<Outcome>> OnEveryPort(const QList<Target> &targets,
                                                const std::function<Outcome(const Target &)> &work)
{
    std::vector<std::optional<Outcome>> outcomes(static_cast<std::size_t>(targets.size()));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < targets.size(); ++i) {
        threads.emplace_back(QThread::create([&work, &targets, &outcomes, i] {
            if (!Stopped())
                outcomes[static_cast<std::size_t>(i)] = work(targets[i]);
        }));
        threads.back()->start();
    }
    for (auto &t : threads)
        t->wait();
    return outcomes;
}

// COM1 to COM20 whose name is there at all, whatever it leads to.
QList<Target> NamedPorts()
{
    QList<Target> targets;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const QFileInfo entry(DevicePathForPort(n));
#ifdef Q_OS_WIN
        const bool there = !PortPresence().value(n - 1).isEmpty();
#else
        const bool there = !entry.filePath().isEmpty() && (entry.exists() || entry.isSymLink());
#endif
        if (there)
            targets << Target{PortNameOfNumber(n), n};
    }
    return targets;
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

// The failure's fields for a JSON document.
QJsonObject FailureJson(const Outcome &o, QJsonObject into = {})
{
    into.insert(QStringLiteral("error"), FailureText(o));
    if (o.failure == Failure::Port)
        into.insert(QStringLiteral("number"), o.errorNumber);
    return into;
}

// `partial`: what a --json document says besides the failure (the steps made before it).
// `before`: what had been done when it failed ("pulled after 8 of 40 steps made").
int Fail(const Target &target, const Outcome &o, const QJsonObject &partial = {}, const QString &before = {})
{
    Err(target.label + QStringLiteral(": ") + (before.isEmpty() ? QString() : before + QStringLiteral(": ")) +
        FailureText(o));
    if (jsonMode)
        PrintJson(WithPort(target, FailureJson(o, partial)));
    return ExitCodeOf(o);
}

// A reply taken that may not have been the unit's (a doubted echo, a step that changed nothing):
// the unit failed, as far as a script can tell.
int Unconfirmed(const Target &target, const QString &why, QJsonObject partial = {})
{
    Err(target.label + QStringLiteral(": unconfirmed: ") + why);
    if (jsonMode) {
        partial.insert(QStringLiteral("error"), QStringLiteral("unconfirmed: ") + why);
        PrintJson(WithPort(target, partial));
    }
    return kExitUnit;
}

// Says what a stop left behind on one unit.
int Interrupted(const Target &target, const QString &state, QJsonObject json = {})
{
    Err(QStringLiteral("interrupted: %1: %2").arg(target.label, state));
    if (jsonMode) {
        json.insert(QStringLiteral("interrupted"), true);
        json.insert(QStringLiteral("state"), state);
        PrintJson(WithPort(target, json));
    }
    return kExitOk;  // the stop decides the exit code
}

class Command {
public:
    Command(const QStringList &words, bool json) : words_(words), json_(json) {}

    // The ports named with --port, or else every port whose name leads somewhere (a link to
    // nothing, a loop or a pipe too: their state says what is wrong).
    int Ports(const QList<Target> &named)
    {
        if (words_.size() > 1)
            return Usage(QStringLiteral("ports takes no arguments"));
        const QList<Target> targets = named.isEmpty() ? NamedPorts() : named;
        QStringList paths;
        for (const Target &t : targets)
            paths << t.Device();
        const QList<PortIdentity> ids = IdentifyPorts(paths);
        QJsonArray list;
        for (int i = 0; i < targets.size(); ++i) {
            const PortStateOf state = PortState(targets[i]);
            // A name that leads nowhere shows where it points.
            const QString device = ids[i].device.isEmpty() ? targets[i].Device() : ids[i].device;
            if (json_) {
                QJsonObject row{{QStringLiteral("name"), targets[i].label},
                                {QStringLiteral("device"), device},
                                {QStringLiteral("description"), ids[i].adapter},
                                {QStringLiteral("state"), state.state}};
                if (!state.cause.isEmpty())
                    row.insert(QStringLiteral("cause"), state.cause);
                list.append(row);
            } else {
                const QString shown = state.cause.isEmpty()
                                          ? state.state
                                          : QStringLiteral("%1 (%2)").arg(state.state, state.cause);
                Out(QStringLiteral("%1\t%2\t%3\t%4")
                        .arg(targets[i].label, device, shown, ids[i].adapter)
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
        if (Stopped())
            return Interrupted(target, QStringLiteral("not started"));
        Unit unit(target);
        const Outcome o = unit.core.Write(params);
        unit.link.CloseLink();
        if (!o.Ok())
            return Fail(target, o);
        if (Stopped())
            return Interrupted(target, QStringLiteral("written"));
        if (json_)
            PrintJson(WithPort(target, {{QStringLiteral("result"), QStringLiteral("written")}}));
        return kExitOk;
    }

    int Set(const Target &target)
    {
        if (words_.size() < 2)
            return Usage(QStringLiteral("set needs KEY=VALUE"));
        // Checked whole before anything is sent.
        const Checked<Assignments> checked = ParseAssignments(words_.mid(1));
        if (!checked)
            return Usage(checked.reason);
        Unit unit(target);
        const Outcome read = unit.core.Read();
        unit.link.CloseLink();
        if (!read.Ok())
            return Fail(target, read);
        if (Stopped())
            return Interrupted(target, QStringLiteral("not started"));
        const Params wanted = ParseAssignments(words_.mid(1), read.values)->params;
        const Outcome o = unit.core.WriteAndVerify(wanted, [] { return !Stopped(); });
        unit.link.CloseLink();
        if (o.unverified)
            return Interrupted(target, QStringLiteral("written, not verified"));
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
        // The unit's echo carries no documented on/off meaning: say only that it answered.
        const QString echo = HexWords(o.traffic.back().received);
        if (!o.doubt.isEmpty())
            return Unconfirmed(target, QStringLiteral("%1 toggle: echo %2, but %3").arg(what, echo, o.doubt),
                               {{QStringLiteral("toggled"), what}, {QStringLiteral("echo"), echo}});
        if (json_)
            PrintJson(WithPort(target, {{QStringLiteral("toggled"), what}, {QStringLiteral("echo"), echo}}));
        else
            Out(QStringLiteral("%1 toggle acknowledged (echo %2)").arg(what, echo));
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
            return Usage(QStringLiteral("step COUNT must be a whole number from 1 to 1000"));
        Unit unit(target);
        QJsonArray values;
        const QString key = words_[1];
        const bool up = way == QLatin1String("up");
        const int limit = up ? Param(param).entries - 1 : 0;
        int before = -1;
        for (int i = 0; i < count; ++i) {
            if (Stopped()) {
                unit.link.CloseLink();
                return Interrupted(target, QStringLiteral("%1 of %2 steps made").arg(i).arg(count),
                                   {{key, values}});
            }
            // Button index 0 raises the value, 1 lowers it, for each of the three pairs.
            const Outcome o = unit.core.Step(param, up ? 0 : 1);
            if (!(o.failure == Failure::Port && o.beforeSending))
                unit.link.CloseLink();
            if (!o.Ok()) {
                // With the steps made before; a port that went away on the way was pulled.
                const bool pulled = o.failure == Failure::Port && (i > 0 || !o.beforeSending) &&
                                    o.errorNumber != ErrorNo::PortInUse &&
                                    o.errorNumber != ErrorNo::PermissionDenied;
                const QString made = QStringLiteral("%1 of %2 steps made").arg(i).arg(count);
                return Fail(target, o, {{key, values}, {QStringLiteral("made"), i}},
                            count == 1 && !pulled ? QString()
                            : pulled              ? QStringLiteral("the unit was pulled after ") + made
                                                  : made + QStringLiteral(", then"));
            }
            if (!o.doubt.isEmpty())
                return Unconfirmed(target, QStringLiteral("%1=%2, but %3").arg(key).arg(o.value).arg(o.doubt),
                                   {{key, values}});
            // The same value again, away from the limit it moves to: the unit made no step (a
            // dead unit on a noisy line answers so).
            if (o.value == before && before != limit)
                return Unconfirmed(target,
                                   QStringLiteral("%1=%2 again after a step %3, away from its limit %4")
                                       .arg(key)
                                       .arg(o.value)
                                       .arg(way)
                                       .arg(limit),
                                   {{key, values}});
            before = o.value;
            values.append(o.value);
            if (!json_)
                Out(key + QLatin1Char('=') + QString::number(o.value));
        }
        if (json_)
            PrintJson(WithPort(target, {{key, values}}));
        return kExitOk;
    }

    // Reads the ports named with --port, or else every port there is; never another.
    int Probe(const QList<Target> &named)
    {
        if (words_.size() > 1)
            return Usage(QStringLiteral("probe takes no arguments"));
        const QList<Target> targets = named.isEmpty() ? ExistingPorts() : named;
        const std::vector<std::optional<Outcome>> outcomes = OnEveryPort(
            targets, [](const Target &t) { return ProbePort(t.number, t.number ? QString() : t.label); });
        QJsonArray list;
        int found = 0;
        int refused = 0;
        for (int i = 0; i < targets.size(); ++i) {
            if (!outcomes[static_cast<std::size_t>(i)])
                continue;  // stopped first
            const Outcome &o = *outcomes[static_cast<std::size_t>(i)];
            if (o.failure == Failure::Port && o.beforeSending) {
                // Not tried: busy, missing or no permission. Said, so it is not taken for "no unit".
                ++refused;
                Err(targets[i].label + QStringLiteral(": not probed: ") + FailureText(o));
                if (json_)
                    list.append(WithPort(targets[i], FailureJson(o)));
                continue;
            }
            if (!o.Ok() || o.traffic.empty())
                continue;
            ++found;
            if (json_) {
                QJsonObject row = WithPort(targets[i], ParamsJson(o.values));
                row.insert(QStringLiteral("device"), QFileInfo(targets[i].Device()).canonicalFilePath());
                list.append(row);
            } else {
                Out(targets[i].label + QLatin1Char('\t') + FormatParams(o.values));
            }
        }
        if (json_)
            PrintJson(list);
        if (found > 0)
            return kExitOk;
        if (refused > 0 && refused == targets.size()) {
            Err(QStringLiteral("every port was refused (%1 tried)").arg(refused));
            return kExitPort;
        }
        Err(QStringLiteral("no unit answered on %1 port(s) tried").arg(targets.size() - refused));
        return kExitUnit;
    }

    // Every unit is said once, when all are done, in the order of the command line.
    int Apply(const QList<Target> &targets, const Params &params)
    {
        const std::vector<std::optional<Outcome>> outcomes = OnEveryPort(targets, [&params](const Target &t) {
            Unit unit(t);
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
            QJsonObject row{{QStringLiteral("port"), targets[i].label}};
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
            if (!json_)
                Record(targets[i].label + QStringLiteral(": ") + said);
        }
        const auto total = targets.size();
        const auto failed = total - applied - written - unconfirmed - notStarted;
        QString summary = QStringLiteral("%1 unit%2: %3 %4")
                              .arg(total)
                              .arg(total == 1 ? "" : "s")
                              .arg(applied)
                              .arg(stopped ? QStringLiteral("verified") : QStringLiteral("applied"));
        if (unconfirmed > 0)
            summary += QStringLiteral(", %1 written, check failed").arg(unconfirmed);
        summary += QStringLiteral(", %1 failed").arg(failed);
        if (stopped)
            summary = QStringLiteral("interrupted: ") + summary +
                      QStringLiteral(", %1 written, %2 not started").arg(written).arg(notStarted);
        if (json_)
            PrintJson(list);
        else
            Record(summary);
        if (applied < total && !outputFailed)
            Err(summary);
        return code;
    }

    // Reads every unit (never writes) and compares it with the profile.
    int Verify(const QList<Target> &targets, const Params &profile)
    {
        const std::vector<std::optional<Outcome>> outcomes = OnEveryPort(targets, [](const Target &t) {
            Unit unit(t);
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
            QJsonObject row{{QStringLiteral("port"), targets[i].label}};
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
                QStringList differences;
                QJsonArray fields;
                for (int k = 0; k < kParamCount; ++k) {
                    const int holds = o.values[static_cast<std::size_t>(k)];
                    const int wanted = profile[static_cast<std::size_t>(k)];
                    if (holds == wanted)
                        continue;
                    differences << QStringLiteral("%1 %2 (profile %3)")
                                       .arg(QLatin1String(Param(k).key), ParamValueText(k, holds),
                                            ParamValueText(k, wanted));
                    fields.append(QLatin1String(Param(k).key));
                }
                row.insert(QStringLiteral("values"), ParamsJson(o.values));
                row.insert(QStringLiteral("differs"), fields);
                if (differences.isEmpty()) {
                    ++matches;
                    said = QStringLiteral("matches");
                } else {
                    ++differs;
                    said = QStringLiteral("differs: ") + differences.join(QStringLiteral(", "));
                    code = std::max(code, kExitUnit);
                }
                row.insert(QStringLiteral("result"), differences.isEmpty() ? "matches" : "differs");
            }
            list.append(row);
            if (!json_)
                Out(targets[i].label + QStringLiteral(": ") + said);
        }
        const auto total = targets.size();
        QString summary = QStringLiteral("%1 unit%2: %3 match, %4 differ, %5 failed")
                              .arg(total)
                              .arg(total == 1 ? "" : "s")
                              .arg(matches)
                              .arg(differs)
                              .arg(failed);
        if (Stopped())
            summary = QStringLiteral("interrupted: ") + summary;
        if (json_) {
            QJsonObject document{{QStringLiteral("profile"), ParamsJson(profile)},
                                 {QStringLiteral("units"), list}};
            PrintJson(document);
        } else {
            Out(summary);
        }
        return code;
    }

    // What apply, verify or station would send to each port; nothing is opened.
    int DryRun(const QString &name, const QList<Target> &targets, const Params &profile,
               const QString &report, const QString &junit)
    {
        const QString read = HexWords(CommandFrame(Op::ReadParams, 0x00));
        const std::optional<Bytes> frame = ParameterFrame(profile);
        const QString write = frame ? HexWords(*frame) : QString();
        QStringList devices;
        for (const Target &t : targets)
            devices << t.Device();
        const QList<PortIdentity> ids = IdentifyPorts(devices);
        QJsonArray list;
        for (int i = 0; i < targets.size(); ++i) {
            const Target &t = targets[i];
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
            if (json_)
                list.append(QJsonObject{{QStringLiteral("port"), t.label},
                                        {QStringLiteral("device"), t.Device()},
                                        {QStringLiteral("present"), there},
                                        {QStringLiteral("frames"), frames}});
            else
                Out(QStringLiteral("%1 (%2%3): %4")
                        .arg(t.label, QDir::toNativeSeparators(t.Device()),
                             there ? QString() : QStringLiteral(", not there now"), said));
        }
        // What would become of each file, and what stands in its way now.
        const auto fileProblem = [](const QString &path) {
            const SaveTarget target = ChooseSaveTarget(path);
            if (target.path.isEmpty())
                return target.refusal;
            const QFileInfo info(target.path);
            if (!info.dir().exists())
                return QStringLiteral("its folder %1 does not exist")
                    .arg(QDir::toNativeSeparators(info.path()));
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
            if (json_) {
                document.insert(key, path);
                if (!problem.isEmpty())
                    document.insert(key + QStringLiteral("Problem"), problem);
            } else {
                Out(QString::fromLatin1(what).arg(QDir::toNativeSeparators(path)) +
                    (problem.isEmpty() ? QString() : QStringLiteral(", but ") + problem));
            }
        }
        if (json_)
            PrintJson(document);
        return kExitOk;
    }

    // Unit after unit on every port, until a stop, the count or, with `once`, one look.
    int RunStation(const QList<Target> &targets, const Station::Options &options, const QString &reportPath,
                   const QString &junitPath)
    {
        StationReport report;
        QString error;
        if (!report.Open(reportPath, junitPath, &error)) {
            Err(QStringLiteral("report %1").arg(error));
            if (json_)
                PrintJson(QJsonObject{{QStringLiteral("error"), QStringLiteral("report ") + error}});
            return kExitOutput;
        }
        Station station(options, &report);
        station.ShouldStop = [] { return Stopped(); };
        const bool json = json_;
        // The largest code among the units, and the slots that found none (with --once).
        std::atomic<int> code{kExitOk};
        std::atomic<int> noUnitFailed{0};
        std::atomic<int> noUnitError{0};
        station.UnitDone = [json, &code](const StationRow &row) {
            RaiseTo(code, ExitCodeOf(row.detail));
            if (json) {
                QJsonObject o{
                    {QStringLiteral("time"), StampText(row.at)}, {QStringLiteral("unit"), row.unit},
                    {QStringLiteral("slot"), row.slot},          {QStringLiteral("port"), row.port},
                    {QStringLiteral("device"), row.device},      {QStringLiteral("result"), row.KindWord()},
                    {QStringLiteral("outcome"), row.outcome},    {QStringLiteral("seconds"), row.seconds}};
                if (!row.serial.isEmpty())
                    o.insert(QStringLiteral("serial"), row.serial);
                if (row.values)
                    o.insert(QStringLiteral("values"), ParamsJson(*row.values));
                if (row.detail.failure == Failure::Port)
                    o.insert(QStringLiteral("number"), row.detail.errorNumber);
                if (!row.reportError.isEmpty())
                    o.insert(QStringLiteral("reportError"), row.reportError);
                RecordJson(o);
                return;
            }
            const QString time = QString::number(row.seconds, 'f', 1) + QStringLiteral(" s");
            QString line = row.Passed()
                               ? QStringLiteral("%1 #%2 pass %3").arg(row.port).arg(row.unit).arg(time)
                               : QStringLiteral("%1 #%2 %3 %4: %5")
                                     .arg(row.port)
                                     .arg(row.unit)
                                     .arg(row.KindWord(), time, row.outcome.section(QStringLiteral(": "), 1));
            if (!row.reportError.isEmpty())
                line += QStringLiteral(" (not in the report: %1)").arg(row.reportError);
            Record(line);
        };
        station.SlotChanged = [json](int, const SlotPort &port, Station::SlotState state,
                                     const QString &why) {
            if (json && state != Station::SlotState::Unusable)
                return;
            switch (state) {
            case Station::SlotState::NoPort:
                Err(port.label + QStringLiteral(": no port yet (") + why + ')');
                break;
            case Station::SlotState::Waiting: Err(port.label + QStringLiteral(": waiting for a unit")); break;
            case Station::SlotState::Busy:
                Err(port.label + QStringLiteral(": busy") +
                    (why.isEmpty() ? QString() : QStringLiteral(" (") + why + ')') +
                    QStringLiteral("; nothing is set up on it while it is"));
                break;
            case Station::SlotState::Present: Err(port.label + QStringLiteral(": unit present")); break;
            case Station::SlotState::Gone: Err(port.label + QStringLiteral(": unit gone")); break;
            case Station::SlotState::Unusable:
                Err(port.label + QStringLiteral(": can never be a serial port, so the station stops: ") +
                    why);
                break;
            case Station::SlotState::Done: break;
            }
        };
        station.NoUnit = [json, &code, &noUnitFailed, &noUnitError](int, const SlotPort &port,
                                                                    const Outcome &o) {
            RaiseTo(code, ExitCodeOf(o));
            ++(o.failure == Failure::Port ? noUnitError : noUnitFailed);
            Err(port.label + QStringLiteral(": no unit: ") + FailureText(o));
            if (json) {
                QJsonObject row{{QStringLiteral("port"), port.label},
                                {QStringLiteral("result"), QStringLiteral("no unit")}};
                RecordJson(FailureJson(o, row));
            }
        };
        std::vector<std::unique_ptr<QThread>> threads;
        for (int i = 0; i < targets.size(); ++i) {
            const SlotPort port{targets[i].label, targets[i].number};
            threads.emplace_back(QThread::create([&station, i, port] { station.RunSlot(i + 1, port); }));
            threads.back()->start();
        }
        for (auto &t : threads)
            t->wait();

        // A slot that found no unit counts as the exit code counts it: a failed unit, or a port
        // error.
        const int empty = noUnitFailed + noUnitError;
        const int units = station.Units() + empty;
        const int failed = station.Failed() + noUnitFailed;
        const int errors = station.Errors() + noUnitError;
        const QString reportError = station.ReportError();
        const std::optional<Outcome> fault = station.PortFault();
        QString summary = QStringLiteral("station: %1 unit%2: %3 pass, %4 fail, %5 error")
                              .arg(units)
                              .arg(units == 1 ? "" : "s")
                              .arg(station.Passed())
                              .arg(failed)
                              .arg(errors);
        if (station.Interrupted() > 0)
            summary += QStringLiteral(", %1 written, not verified").arg(station.Interrupted());
        if (empty > 0)
            summary += QStringLiteral(" (%1 slot%2 without a unit)").arg(empty).arg(empty == 1 ? "" : "s");
        if (Stopped())
            summary = QStringLiteral("interrupted: ") + summary;
        if (!reportError.isEmpty() || fault)
            summary = QStringLiteral("stopped: ") + summary;
        if (json_) {
            QJsonObject figures{{QStringLiteral("units"), units},
                                {QStringLiteral("pass"), station.Passed()},
                                {QStringLiteral("fail"), failed},
                                {QStringLiteral("error"), errors},
                                {QStringLiteral("interrupted"), station.Interrupted()},
                                {QStringLiteral("noUnit"), empty}};
            if (!reportError.isEmpty())
                figures.insert(QStringLiteral("reportError"), reportError);
            if (fault)
                figures.insert(QStringLiteral("portError"), FailureJson(*fault));
            RecordJson(QJsonObject{{QStringLiteral("summary"), figures}});
        } else {
            Record(summary);
        }
        if (!reportError.isEmpty()) {
            Err(QStringLiteral("the report could not be written, so the station stopped: ") + reportError);
            return kExitOutput;
        }
        if (fault)
            return kExitPort;
        return code.load();
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

namespace {

int RunCommand(const QStringList &arguments)
{
    // A negative step count would be taken for an option.
    static const QRegularExpression negative(QStringLiteral("^-[0-9]+$"));
    jsonMode = arguments.contains(QStringLiteral("--json"));
    for (const QString &argument : arguments) {
        if (negative.match(argument).hasMatch())
            return Usage(QStringLiteral("COUNT must be a positive whole number, not %1").arg(argument));
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kUsage) + ExitCodesText());
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("ports, read, write, set, toggle, step, "
                                                "probe, apply, verify or station"));
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("the unit's port (COMn or a device)"), QStringLiteral("PORT"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("print one JSON document"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"), QStringLiteral("write: the values of a profile"), QStringLiteral("PROFILE"));
    const QCommandLineOption namesOption(
        QStringLiteral("names"),
        QStringLiteral("ports: only the names of the ports there are; opens nothing"));
    const QCommandLineOption reportOption(
        QStringLiteral("report"), QStringLiteral("station: the CSV file each unit's row is appended to"),
        QStringLiteral("FILE"));
    const QCommandLineOption junitOption(
        QStringLiteral("junit"), QStringLiteral("station: a JUnit XML file, rewritten after each unit"),
        QStringLiteral("FILE"));
    const QCommandLineOption countOption(QStringLiteral("count"),
                                         QStringLiteral("station: stop after N units"), QStringLiteral("N"));
    const QCommandLineOption onceOption(QStringLiteral("once"),
                                        QStringLiteral("station: set up the units there now, then end"));
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"),
        QStringLiteral("apply, verify, station: say what would be sent; open nothing"));
    parser.addOption(portOption);
    parser.addOption(jsonOption);
    parser.addOption(reportOption);
    parser.addOption(junitOption);
    parser.addOption(countOption);
    parser.addOption(onceOption);
    parser.addOption(dryRunOption);
    parser.addOption(fromOption);
    parser.addOption(namesOption);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();

    if (!parser.parse(QStringList{QStringLiteral("kv306ctl")} + arguments))
        return Usage(parser.errorText());
    if (parser.isSet(helpOption)) {
        Write(stdout, parser.helpText().toLocal8Bit());
        return kExitOk;
    }
    if (parser.isSet(versionOption)) {
        Out(QStringLiteral("kv306ctl ") + QCoreApplication::applicationVersion());
        return kExitOk;
    }

    const QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return Usage(QStringLiteral("no command given"));
    // An option that takes one value given twice: which one was meant cannot be guessed.
    for (const QCommandLineOption *o : {&reportOption, &junitOption, &countOption, &fromOption}) {
        if (parser.values(*o).size() > 1)
            return Usage(QStringLiteral("--%1 given twice").arg(o->names().constFirst()));
    }
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
        // The same unit twice would get two writers at once. Two links to one device are one
        // port, also while the device is not there yet.
        for (const Target &earlier : std::as_const(targets)) {
            if (earlier.label == target->label || SameFile(earlier.Device(), target->Device()))
                return Usage(QStringLiteral("%1 and %2 are the same port").arg(earlier.label, target->label));
        }
        targets << *target;
    }

    if (parser.isSet(namesOption) && name != QLatin1String("ports"))
        return Usage(QStringLiteral("--names belongs to ports"));
    const bool station = name == QLatin1String("station");
    for (const QCommandLineOption *o : {&reportOption, &junitOption, &countOption, &onceOption}) {
        if (parser.isSet(*o) && !station)
            return Usage(QStringLiteral("--%1 belongs to station").arg(o->names().constFirst()));
    }
    const bool dryRun = parser.isSet(dryRunOption);
    if (dryRun && !station && name != QLatin1String("apply") && name != QLatin1String("verify"))
        return Usage(QStringLiteral("--dry-run belongs to apply, verify and station"));
    if (name == QLatin1String("ports")) {
        if (parser.isSet(namesOption)) {
            // For completion: what is there, without opening anything.
            for (const Target &t : ExistingPorts())
                Out(t.label);
            return kExitOk;
        }
        return command.Ports(targets);
    }
    if (name == QLatin1String("probe"))
        return command.Probe(targets);
    if (name == QLatin1String("apply") || name == QLatin1String("verify") || station) {
        if (words.size() != 2)
            return Usage(QStringLiteral("%1 needs one PROFILE").arg(name));
        if (targets.isEmpty())
            return Usage(QStringLiteral("%1 needs at least one --port").arg(name));
        Station::Options options;
        if (station) {
            if (!parser.isSet(reportOption) || parser.value(reportOption).isEmpty())
                return Usage(QStringLiteral("station needs --report FILE"));
            if (parser.isSet(countOption)) {
                bool ok = false;
                options.count = parser.value(countOption).toInt(&ok);
                if (!ok || options.count < 1)
                    return Usage(QStringLiteral("--count needs a positive whole number, not %1")
                                     .arg(parser.value(countOption)));
            }
            options.once = parser.isSet(onceOption);
            if (options.once && parser.isSet(countOption))
                return Usage(QStringLiteral("--once and --count do not go together"));
        }
        const Checked<Params> profile = ReadProfile(words[1]);
        if (!profile)
            return ProfileError(words[1], profile.reason);
        if (station) {
            // Each file the station writes is a file of its own: never the profile, never the other.
            const QString report = parser.value(reportOption);
            const QString junit = parser.value(junitOption);
            if (SameFile(report, words[1]))
                return Usage(QStringLiteral("--report %1 leads to the profile %2").arg(report, words[1]));
            if (SameFile(junit, words[1]))
                return Usage(QStringLiteral("--junit %1 leads to the profile %2").arg(junit, words[1]));
            if (SameFile(junit, report))
                return Usage(QStringLiteral("--junit %1 leads to the report %2").arg(junit, report));
        }
        if (dryRun)
            return command.DryRun(name, targets, *profile, parser.value(reportOption),
                                  parser.value(junitOption));
        if (station) {
            options.profile = *profile;
            return command.RunStation(targets, options, parser.value(reportOption),
                                      parser.value(junitOption));
        }
        return name == QLatin1String("apply") ? command.Apply(targets, *profile)
                                              : command.Verify(targets, *profile);
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
            const Checked<Params> profile = ReadProfile(parser.value(fromOption));
            if (!profile)
                return ProfileError(parser.value(fromOption), profile.reason);
            params = *profile;
        } else {
            const Checked<Assignments> checked = ParseAssignments(words.mid(1));
            if (!checked)
                return Usage(checked.reason);
            const Assignments &a = *checked;
            for (std::size_t k = 0; k < kParamCount; ++k) {
                if (!a.named[k])
                    return Usage(
                        QStringLiteral("write needs all six keys; '%1' is missing").arg(kParams[k].key));
            }
            params = a.params;
        }
    }

    if (targets.isEmpty()) {
        const RememberedPort file =
            ReadRememberedPort(PortFileToRead(QCoreApplication::applicationDirPath()));
        const std::optional<QString> remembered = file.name;
        const QString shown = QDir::toNativeSeparators(file.path);
        if (!file.exists)
            return Usage(QStringLiteral(
                             "no --port given, and no port chosen yet (there is no %1); try: kv306ctl ports")
                             .arg(shown));
        if (!remembered)
            return Usage(QStringLiteral("no --port given, and %1 names no port: %2; try: kv306ctl ports")
                             .arg(shown, file.problem));
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

}  // namespace

int Run(const QStringList &arguments)
{
    // Errors in English whatever the locale, the serial control's numbered ones included.
    static QTranslator english;
    if (english.load(QStringLiteral(":/i18n/kv306_en.qm")))
        QCoreApplication::installTranslator(&english);
    CatchStopSignals();
    const int code = RunCommand(arguments);
    if (const int signal = stopSignal.load())
        return 128 + signal;
    if (pipeClosed)
        return kExitPipe;
    if (outputFailed) {
        Err(QStringLiteral("the output could not be written"));
        return kExitOutput;
    }
    return code;
}

}  // namespace kv306::ctl
