#pragma once

#include <QElapsedTimer>

namespace kv306 {

// The link's sense of time: exact pauses and a monotonic millisecond clock. The window's toolkit
// builds on it; tests put one in its place that records pauses or skips them.
class Pacer {
public:
    Pacer() { clock_.start(); }
    virtual ~Pacer() = default;

    // Blocks the calling thread `ms` milliseconds, neither fewer nor noticeably more.
    virtual void Sleep(int ms);
    // Monotonic milliseconds.
    virtual qint64 Clock() { return clock_.elapsed(); }

private:
    QElapsedTimer clock_;
};

}  // namespace kv306
