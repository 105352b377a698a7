#include "ctl/ctl_internal.h"

#include <atomic>
#include <csignal>

namespace kv306::ctl {

namespace {

std::atomic<int> stopSignal{0};

extern "C" void OnStopSignal(int signo)
{
    stopSignal.store(signo);
}

}  // namespace

void CatchStopSignals()
{
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    // A dropped ssh session (hang-up) and Ctrl-\ stop as Ctrl-C does: each unit's state is said.
    std::signal(SIGHUP, OnStopSignal);
    std::signal(SIGQUIT, OnStopSignal);
    // A closed pipe is seen as a failed write, so the units are still told about.
    std::signal(SIGPIPE, SIG_IGN);
}

int StopSignal()
{
    return stopSignal.load();
}

}  // namespace kv306::ctl
