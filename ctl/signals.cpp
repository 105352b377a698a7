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
    CatchSystemSignals(OnStopSignal);
}

int StopSignal()
{
    return stopSignal.load();
}

}  // namespace kv306::ctl
