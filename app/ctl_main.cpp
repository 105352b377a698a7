// kv306ctl: the KV306 from a terminal and from scripts; `kv306ctl --help` lists the commands.
#include "ctl/ctl.h"
#include "link/output_file.h"

#include <QCoreApplication>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

int main(int argc, char **argv)
{
    kv306::ReopenClosedStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv306ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV306_VERSION));
    const int code = kv306::ctl::Run(QCoreApplication::arguments().mid(1));
#ifdef Q_OS_WIN
    // Everything is said and every port closed. Once worker threads have run (apply, verify,
    // probe), the process's own exit can hang in a thread-local destructor under Wine; ending
    // here keeps the exit code and loses nothing.
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
#endif
    return code;
}
