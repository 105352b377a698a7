#include "link/plain_toolkit.h"

#include <QCoreApplication>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <thread>

namespace kv306 {

namespace {

constexpr int kSleepMarginUs = 400;

}  // namespace

void PlainToolkit::MsgBox(const QString &text, int, const std::optional<QString> &)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void PlainToolkit::Sleep(int ms)
{
    if (ms <= 0)
        return;
    // The system wakes a sleeper a few tenths of a millisecond late, and an exchange has four
    // pauses: sleep short of the deadline, then wait out the rest by watching the clock.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(ms);
    std::this_thread::sleep_until(deadline - microseconds(kSleepMarginUs));
    while (steady_clock::now() < deadline)
        std::this_thread::yield();
}

void PlainToolkit::DoEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString PlainToolkit::AppPath()
{
    return QCoreApplication::applicationDirPath();
}

bool PlainToolkit::StartProgram(const QString &program, const QStringList &arguments)
{
    // An argument list, never a shell: a directory name with spaces or quotes stays one argument.
    return QProcess::startDetached(program, arguments);
}

}  // namespace kv306
