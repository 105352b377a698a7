#pragma once

#include <QStringList>

namespace kv306::ctl {

// Exit codes of kv306ctl.
constexpr int kExitOk = 0;
constexpr int kExitUnit = 1;   // the unit failed: no reply, bad reply, verify mismatch
constexpr int kExitUsage = 2;  // the command line or a profile is wrong; nothing was sent
constexpr int kExitPort = 3;   // the port: missing, busy, no permission, pulled

// Runs one command line (arguments without the program's name); prints data to standard output
// and one line per error to standard error, and returns the exit code.
int Run(const QStringList &arguments);

}  // namespace kv306::ctl
