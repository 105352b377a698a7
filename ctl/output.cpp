#include "ctl/ctl.h"
#include "ctl/ctl_internal.h"

#include "protocol/outcome_text.h"
#include "protocol/probe.h"
#include "protocol/traffic_log.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace kv306::ctl {

namespace {

std::mutex printLock;
// Standard output or error could not be written; a closed pipe also stops the work.
std::atomic<bool> outputFailed{false};
std::atomic<bool> pipeClosed{false};
bool jsonMode = false;

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

QByteArray Compact(const QJsonValue &value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return doc.toJson(QJsonDocument::Compact) + '\n';
}

// A refusal before anything is sent; with --json also one document on standard output.
int Refuse(const QString &message, bool pointAtHelp)
{
    Err(pointAtHelp ? message + QStringLiteral(" (see kv306ctl --help)") : message);
    if (jsonMode)
        PrintJson(QJsonObject{{QStringLiteral("error"), message}});
    return kExitUsage;
}

// The exit codes, with what each means.
struct ExitCodeRow {
    const char *codes;
    const char *meaning;
};
constexpr ExitCodeRow kExitCodes[] = {
    {"0", "done"},
    {"1", "the unit failed (no reply, bad reply, verify mismatch, a reply unconfirmed, a write "
          "whose check failed) or differs from the profile (verify); probe found no unit; a station "
          "ended with a unit there that was never scanned"},
    {"2", "usage error, or a profile or report that cannot be read; nothing was sent"},
    {"3", "port error: missing, busy, no permission, pulled, never a serial port; probe found every "
          "port refused"},
    {"4", "standard output or error, or the station's report, could not be written (a full disk)"},
    {"5", "the line's database could not be reached or refused: rows of the report wait to be sent with "
          "upload (station --store), or were not sent (upload), or no figures (report --store), or no "
          "table (store init)"},
    {"130, 143, 129, 131",
     "stopped by SIGINT, SIGTERM, SIGHUP (a dropped ssh session) or SIGQUIT: the exchange in "
     "flight is finished, nothing more is sent, each unit's state is said"},
    {"141", "stopped by a closed pipe on standard output"},
};

}  // namespace

bool JsonMode()
{
    return jsonMode;
}

void SetJsonMode(bool on)
{
    jsonMode = on;
}

bool Stopped()
{
    return StopSignal() != 0 || pipeClosed.load();
}

int FinalCode(int code)
{
    if (const int signal = StopSignal())
        return 128 + signal;
    if (pipeClosed)
        return kExitPipe;
    if (outputFailed) {
        Err(QStringLiteral("the output could not be written"));
        return kExitOutput;
    }
    return code;
}

bool OutputFailed()
{
    return outputFailed;
}

void Out(const QString &line)
{
    Write(stdout, Printable(line, true).toLocal8Bit() + '\n');
}

void OutRaw(const QByteArray &bytes)
{
    Write(stdout, bytes);
}

void Err(const QString &line)
{
    Write(stderr, "kv306ctl: " + Printable(line, false).toLocal8Bit() + '\n');
}

// After a stop or a closed pipe, what each unit was left with must still be on record somewhere.
void Record(const QString &line)
{
    if (!outputFailed)
        Out(line);
    if (outputFailed)
        Err(line);
}

// For jq, and as JSON Lines when there are several.
void PrintJson(const QJsonValue &value)
{
    Write(stdout, Compact(value));
}

void RecordJson(const QJsonObject &value)
{
    const QByteArray line = Compact(value);
    if (!outputFailed)
        Write(stdout, line);
    if (outputFailed)
        Write(stderr, line);
}

int Usage(const QString &message)
{
    return Refuse(message, true);
}

int ProfileError(const QString &path, const QString &reason)
{
    return FileError(path + QStringLiteral(": ") + reason);
}

int FileError(const QString &message)
{
    return Refuse(message, false);
}

int ExitCodeOf(const Outcome &o)
{
    // A write stopped before its check is no failure: the stop decides the code.
    return o.Ok() ? kExitOk : ReasonOf(o)->exitCode;
}

void RaiseTo(std::atomic<int> &code, int least)
{
    int now = code.load();
    while (now < least && !code.compare_exchange_weak(now, least)) {
    }
}

QJsonObject WithPort(const PortRef &port, QJsonObject o)
{
    o.insert(QStringLiteral("port"), port.Label());
    return o;
}

QJsonObject FailureJson(const Outcome &o, QJsonObject into)
{
    into.insert(QStringLiteral("error"), FailureText(o));
    if (const std::optional<Reason> reason = ReasonOf(o))
        into.insert(QStringLiteral("reason"), reason->token);
    if (o.failure == Failure::Port)
        into.insert(QStringLiteral("number"), o.errorNumber);
    return into;
}

int Fail(const PortRef &port, const Outcome &o, const QJsonObject &partial, const QString &before)
{
    // A COMn that is not there: where it was looked for, and how to see what is.
    QString where;
    if (o.failure == Failure::Port && o.errorNumber == ErrorNo::NoSuchPort && port.Number()) {
        const QString folder = qEnvironmentVariable("KV306_PORT_DIR");
        where = folder.isEmpty()
                    ? QStringLiteral("; %1 is %2 on this computer; kv306ctl ports lists the ports there are")
                          .arg(port.Label(), port.Device())
                    : QStringLiteral("; %1 was looked for in KV306_PORT_DIR (%2), which has no %1; kv306ctl "
                                     "ports lists the ports there")
                          .arg(port.Label(), folder);
    }
    Err(port.Label() + QStringLiteral(": ") + (before.isEmpty() ? QString() : before + QStringLiteral(": ")) +
        FailureText(o) + where);
    if (jsonMode)
        PrintJson(WithPort(port, FailureJson(o, partial)));
    return ExitCodeOf(o);
}

int Unconfirmed(const PortRef &port, const QString &why, QJsonObject partial)
{
    Err(port.Label() + QStringLiteral(": unconfirmed: ") + why);
    if (jsonMode) {
        partial.insert(QStringLiteral("error"), QStringLiteral("unconfirmed: ") + why);
        PrintJson(WithPort(port, partial));
    }
    return kExitUnit;
}

int Interrupted(const PortRef &port, const QString &state, QJsonObject json)
{
    Err(QStringLiteral("interrupted: %1: %2").arg(port.Label(), state));
    if (jsonMode) {
        json.insert(QStringLiteral("interrupted"), true);
        json.insert(QStringLiteral("state"), state);
        PrintJson(WithPort(port, json));
    }
    return kExitOk;  // the stop decides the exit code
}

void TraceFrames()
{
    static TrafficLog log;
    static std::mutex printing;
    static std::uint64_t seen = 0;
    log.SetOnRecord([] {
        std::lock_guard lock(printing);
        const TrafficLog::Tail tail = log.Since(seen);
        seen = tail.total;
        for (const LogEntry &e : tail.entries) {
            const QString at = e.when.toString(QStringLiteral("HH:mm:ss.zzz"));
            if (!e.sent.isEmpty()) {
                const QDateTime sent = e.ms >= 0 ? e.when.addMSecs(-e.ms) : e.when;
                Err(QStringLiteral("trace %1 %2 sent %3 (%4)")
                        .arg(sent.toString(QStringLiteral("HH:mm:ss.zzz")), e.port, e.sent, e.sentMeaning));
            }
            if (e.ms >= 0)
                Err(QStringLiteral("trace %1 %2 received %3 after %4 ms (%5)")
                        .arg(at, e.port, e.reply)
                        .arg(e.ms)
                        .arg(e.replyMeaning));
            else
                Err(QStringLiteral("trace %1 %2 %3%4")
                        .arg(at, e.port,
                             e.reply.isEmpty() ? QString() : QStringLiteral("received ") + e.reply + ' ',
                             e.replyMeaning));
        }
    });
    UnitOnPort::TraceAll(&log);
}

QString ExitCodesText()
{
    QString text = QStringLiteral("Exit codes:\n");
    for (const ExitCodeRow &row : kExitCodes)
        text +=
            Wrapped(QStringLiteral("  %1  ").arg(QLatin1String(row.codes), -18), QLatin1String(row.meaning));
    return text;
}

}  // namespace kv306::ctl
