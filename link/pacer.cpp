#include "link/pacer.h"

#include <chrono>
#include <thread>

#include "link/system.h"

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
    {
        const FineTimer fine;
        std::this_thread::sleep_until(deadline - microseconds(kSleepMarginUs));
    }
    while (steady_clock::now() < deadline)
        std::this_thread::yield();
}

}  // namespace kv306
