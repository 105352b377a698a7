#pragma once

#include <QStringList>

namespace kv306::ctl {

// Exit codes of kv306ctl.
constexpr int kExitOk = 0;
constexpr int kExitUnit = 1;    // the unit failed: no reply, bad reply, verify mismatch
constexpr int kExitUsage = 2;   // the command line or a profile is wrong; nothing was sent
constexpr int kExitPort = 3;    // the port: missing, busy, no permission, pulled
constexpr int kExitOutput = 4;  // standard output or error could not be written (a full disk)
constexpr int kExitStore = 5;   // the line's database could not take or give the rows
// Stopped by a signal: 128 + its number, so 130 for SIGINT and 143 for SIGTERM; 141 when standard
// output is a pipe that was closed. The exchange in flight is finished first.
constexpr int kExitPipe = 141;

// Runs one command line (arguments without the program's name); prints data to standard output
// and one line per error to standard error, and returns the exit code.
int Run(const QStringList &arguments);

}  // namespace kv306::ctl
