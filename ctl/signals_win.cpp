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
    // Ctrl-C and a console closed; Windows has no hang-up, quit or pipe signals.
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

int StopSignal()
{
    return stopSignal.load();
}

}  // namespace kv306::ctl
