#pragma once

// kv306ctl's rooms, one section a file. ctl.cpp holds the table of commands that drives the
// command line: dispatch, which options a command takes, --help.

#include "link/port_ref.h"
#include "link/word_wrap.h"
#include "protocol/params.h"
#include "protocol/unit_core.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace kv306::ctl {

// --- ctl.cpp: the command line --------------------------------------------------------------

// One command line, checked: what each command's handler gets.
struct Invocation {
    QString name;                   // the command
    QStringList words;              // its words after the name ("size=30", "overlay", "horizontal up 2")
    QList<PortRef> ports;           // --port, in the order given, no port twice
    std::optional<Params> profile;  // the profile, for the commands that take one
    QString profilePath;
    QString report;  // station
    QString junit;   // station
    int count = 0;   // station: 0 for no limit
    bool once = false;
    bool scan = false;     // station: serial numbers from standard input
    QString operatorName;  // station
    QString lot;           // station
    QDateTime since;       // report
    QDateTime until;       // report
    bool dryRun = false;
    QString from;         // write
    bool names = false;   // ports
    QString store;        // station, upload, report: the line's database
    QString stationHost;  // report: one station's rows
};

// --- output.cpp: printing, JSON, stops and exit codes ------------------------------------------

// --json was given: failures and refusals are JSON documents on standard output too. Known in
// this one place, set once before any command runs.
bool JsonMode();
void SetJsonMode(bool on);

// Stops: SIGINT, SIGTERM, SIGHUP or SIGQUIT, or a closed pipe on standard output. The exchange in
// flight finishes, nothing more is sent.
void CatchStopSignals();
// The system's own stop signals besides SIGINT and SIGTERM: signals_posix.cpp, signals_win.cpp.
extern "C" {
using StopHandler = void (*)(int);
}
void CatchSystemSignals(StopHandler onStop);
// The signal that stopped the command, 0 while none has.
int StopSignal();
bool Stopped();
// 128 + the signal's number, the closed pipe's 141, 4 for output that could not be written, or
// `code`.
int FinalCode(int code);

// A line on standard output (data), a line on standard error ("kv306ctl: " in front), and a
// unit's state that must be on record (standard output while it can be written, else standard
// error). Control characters of a name or a device are shown as \xHH.
void Out(const QString &line);
void Err(const QString &line);
void Record(const QString &line);
// Bytes as they are (--help's text).
void OutRaw(const QByteArray &bytes);
// One compact JSON document a line on standard output; RecordJson falls back to standard error
// as Record does.
void PrintJson(const QJsonValue &value);
void RecordJson(const QJsonObject &value);
// Whether standard output or error could not be written at some point.
bool OutputFailed();
// --trace: from now on each frame sent and each reply, on standard error as it comes, with its
// time, its bytes and what they mean (as the window's traffic log reads them).
void TraceFrames();

// A refusal before anything is sent (exit 2); Usage points at --help.
int Usage(const QString &message);
int ProfileError(const QString &path, const QString &reason);
// A file read that is not what it should be (a report that is none): exit 2.
int FileError(const QString &message);
// 0 for a good outcome, 3 for a port failure, 1 for the unit's.
int ExitCodeOf(const Outcome &o);
// `code` becomes at least `least`, whichever thread gets there first.
void RaiseTo(std::atomic<int> &code, int least);

// {"port": "COM3", ...}
QJsonObject WithPort(const PortRef &port, QJsonObject o);
// The failure's fields for a JSON document: "error" and, for a serial error, "number".
QJsonObject FailureJson(const Outcome &o, QJsonObject into = {});
// Says that the unit failed; `partial`: what a --json document says besides the failure (the
// steps made before it); `before`: what had been done ("the unit was pulled after 8 of 40 steps
// made").
int Fail(const PortRef &port, const Outcome &o, const QJsonObject &partial = {}, const QString &before = {});
// A reply taken that may not have been the unit's (a doubted echo, a step that changed nothing):
// the unit failed, as far as a script can tell (1).
int Unconfirmed(const PortRef &port, const QString &why, QJsonObject partial = {});
// What a stop left behind on one unit; the stop decides the exit code.
int Interrupted(const PortRef &port, const QString &state, QJsonObject json = {});

// The exit codes, as --help lists them (README and the man page are checked against them).
QString ExitCodesText();

// --- targets.cpp: the ports named on the command line ------------------------------------------

// The --port words as ports: a name that is no port, or the same port twice (by name or by the
// device two names lead to), is refused with the reason.
std::optional<QList<PortRef>> PortsOf(const QStringList &words, QString *error);
// The port Com.TXT remembers, when no --port was given; the refusal's words otherwise.
std::optional<PortRef> RememberedPortRef(QString *error);
// Runs `work` for every port, each on a thread of its own with its own port, and waits. A port
// that a stop reached before its thread began is not started: its outcome stays empty.
std::vector<std::optional<Outcome>> OnEveryPort(const QList<PortRef> &ports,
                                                const std::function<Outcome(const PortRef &)> &work);

// --- unit_commands.cpp: one unit ----------------------------------------------------------------
int ReadCommand(const Invocation &in);
int WriteCommand(const Invocation &in);
int SetCommand(const Invocation &in);
int ToggleCommand(const Invocation &in);
int StepCommand(const Invocation &in);

// --- line_commands.cpp: a line of units -----------------------------------------------------
int ApplyCommand(const Invocation &in);
int VerifyCommand(const Invocation &in);
// apply, verify and station with --dry-run.
int DryRunCommand(const Invocation &in);

// --- station_command.cpp ------------------------------------------------------------------------
int StationCommand(const Invocation &in);

// --- report_command.cpp: a station's report read back -----------------------------------
int ReportCommand(const Invocation &in);

// --- port_commands.cpp: the ports themselves --------------------------------------------------
int PortsCommand(const Invocation &in);
int PortNamesCommand(const Invocation &in);  // ports --names
// store_commands.cpp: the line's database.
int UploadCommand(const Invocation &in);
int StoreCommand(const Invocation &in);
int ProbeCommand(const Invocation &in);

}  // namespace kv306::ctl
