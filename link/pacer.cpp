#include "link/pacer.h"

#include <chrono>
#include <thread>

#ifdef Q_OS_WIN
#include <windows.h>

// Needs windows.h first.
#include <timeapi.h>
#endif

namespace kv306 {

namespace {

constexpr int kSleepMarginUs = 400;

}  // namespace

void Pacer::Sleep(int ms)
{
    if (ms <= 0)
        return;
    // The system wakes a sleeper a few tenths of a millisecond late, and an exchange has four
    // pauses: sleep short of the deadline, then wait out the rest by watching the clock.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(ms);
#ifdef Q_OS_WIN
    // Windows wakes a sleeper on its timer's tick, 15.6 ms unless asked for 1 ms: the 5 ms after
    // closing a port would last a whole tick.
    ::timeBeginPeriod(1);
#endif
    std::this_thread::sleep_until(deadline - microseconds(kSleepMarginUs));
#ifdef Q_OS_WIN
    ::timeEndPeriod(1);
#endif
    while (steady_clock::now() < deadline)
        std::this_thread::yield();
}

}  // namespace kv306
