#pragma once

// What an action costs whatever the tool does: the bytes on a 9600-baud line and the link's own
// pauses. Every benchmark row stands beside one of these. And what the benchmarks share.

#include "link/serial_link.h"
#include "panel/qt_toolkit.h"

#include <algorithm>
#include <vector>

namespace kv306::bench {

constexpr double kByteMs = 10.0 / 9.6;  // ten bits a byte
constexpr double kOpenMs = 5;           // the pause after opening the port
constexpr double kCloseMs = 105;        // 100 ms before closing it and 5 ms after
// A reply is whole only once the line has stayed quiet a moment after it.
constexpr double kSettleMs = SerialLink::kSettleMs;

constexpr double Wire(int bytes)
{
    return bytes * kByteMs;
}

// One exchange of a request of `sent` bytes and a reply of `received`, the port opened before
// it and closed after it.
constexpr double ExchangeFloor(int sent, int received)
{
    return kOpenMs + Wire(sent) + Wire(received) + kSettleMs + kCloseMs;
}

// Steps a second while an arrow button is held: one step exchange after the other.
constexpr double HeldNudgeFloor()
{
    return 1000 / ExchangeFloor(7, 2);
}

// The real toolkit with its real pauses, except that boxes are answered at once and the
// program's directory is given.
class BenchToolkit : public QtToolkit {
public:
    explicit BenchToolkit(QString appPath) : appPath_(std::move(appPath)) {}
    void MsgBox(const QString &text, int, const std::optional<QString> &) override { said.push_back(text); }
    QString AppPath() override { return appPath_; }
    std::vector<QString> said;

private:
    QString appPath_;
};

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace kv306::bench
