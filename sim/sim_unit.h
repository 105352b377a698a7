#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kv306::sim {

using Bytes = std::vector<std::uint8_t>;

// Ways the simulated unit can misbehave, for training and for testing a tool against a bad unit.
enum class Fault {
    None,
    Silent,        // answers nothing
    Partial,       // drops the last byte of every reply
    Extra,         // adds a byte to every reply
    Trickle,       // sends replies a byte at a time with long gaps (below the silence limit)
    Babble,        // after each reply the line never falls silent
    CorruptCheck,  // parameter replies carry a wrong check byte
    BadAck,        // acknowledges a parameter frame with 0x98
    UnequalEcho,   // the two echo bytes differ
    OutOfRange,    // echoes and parameter replies carry values no list can show
    HangUp,        // the adapter is pulled after the first reply byte
    MisStore,      // acknowledges a parameter frame but keeps the circle size one smaller
    Flood,         // from its first request on, sends without pause as fast as the line takes it
    Late,          // answers every request, but only after the tool's 1000 ms limit
    Stray,         // answers properly, and now and then sends a byte (0x99) unasked
};

// "none", "silent", ... in the order above.
const std::vector<std::string> &FaultNames();
std::optional<Fault> FaultByName(const std::string &name);

struct UnitState {
    // Horizontal offset, vertical offset, circle size, video standard, roundness, crosshair.
    std::array<std::uint8_t, 6> params{22, 20, 25, 0, 3, 0};
    bool overlayOn = true;
    bool crosshairOn = true;
};

struct SimOptions {
    bool linePace = true;  // 9600 baud: about 1.04 ms a byte, both ways
    int replyDelayMs = 0;  // the unit's thinking time before it answers
    Fault fault = Fault::None;
    int trickleGapMs = 300;
    int babbleMs = 8000;     // how long a babbling line keeps going after a reply
    int lateMs = 1300;       // a late unit's delay before it answers
    int strayEveryMs = 700;  // how often a stray unit sends its unasked byte
    // Above 0: the unit is switched on for this long, then off (silent) as long, and comes back
    // with the factory values: one new unit after another, as on a production line.
    int powerCycleMs = 0;
};

// A KV306 on the far end of a pseudo-terminal. The tool opens the terminal (or a link named
// COMn to it) as its serial port; a thread of the simulator answers the frames it writes.
class SimUnit {
public:
    explicit SimUnit(SimOptions options = {});
    ~SimUnit();
    SimUnit(const SimUnit &) = delete;
    SimUnit &operator=(const SimUnit &) = delete;

    // The receive log keeps at most this many of the latest bytes.
    static constexpr std::size_t kLogLimit = 64 * 1024;

    // Opens the terminal and, when `linkPath` is not empty, makes `linkPath` a link to it. An
    // existing `linkPath` is replaced only when it is a link to a pseudo-terminal that nobody
    // serves any more (a simulator that died); anything else there is left alone and Start fails.
    bool Start(const std::string &linkPath, std::string *error);
    // Pulls the adapter: the terminal goes away and the link is removed.
    void Unplug();
    bool Running() const { return running_; }

    std::string TerminalPath() const { return terminal_; }
    std::string LinkPath() const
    {
        std::lock_guard lock(mutex_);
        return link_;
    }

    void SetFault(Fault fault);
    void SetReplyDelay(int ms);
    // Replaces the reply to every request (nothing for silence); for units that no fault names.
    void SetReplyOverride(std::function<std::optional<Bytes>(const Bytes &request)> reply);

    // Complete frames received, in order; a frame with a bad check byte is logged too.
    std::vector<Bytes> Requests() const;
    // Every byte received.
    Bytes Received() const;
    // Complete frames that reached the terminal since the unit was made, answered or not (while
    // it is switched off or silent too): a test waits for reads to happen rather than for time.
    int Heard() const { return heard_.load(); }
    void ClearLog();

    UnitState State() const;
    void SetState(const UnitState &state);
    // Switched off, the unit hears nothing and answers nothing; switched on again it holds the
    // factory values (the next unit on the line).
    void SetPowered(bool on);

    // What the unit answers to a request, before any fault: nothing for a bad frame.
    static std::optional<Bytes> Answer(const Bytes &request, UnitState &state);

private:
    void Run();
    // `receivedAt`: when the request's bytes came off the terminal (all at once: the tool's
    // terminal does not pace them).
    void Handle(const Bytes &request, double receivedAt);
    void Send(const Bytes &reply);
    // Sleeps up to `ms`, or less when asked to stop; false when stopping.
    bool Pause(double ms);
    bool PauseUntil(double untilMs);
    void Close();
    // Removes the port link if it still leads to this unit's terminal. Called with mutex_ held.
    void RemoveOwnLink();
    // Switches the unit on or off; on again, it is a new unit. Called with mutex_ held.
    void Power(bool on);

    SimOptions options_;
    int master_ = -1;
    int slaveHold_ = -1;
    int wake_[2] = {-1, -1};
    std::string terminal_;
    std::string link_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> hungUp_{false};
    std::atomic<int> heard_{0};

    mutable std::mutex mutex_;
    UnitState state_;
    std::vector<Bytes> requests_;
    Bytes received_;
    std::function<std::optional<Bytes>(const Bytes &)> override_;
    double babbleUntilMs_ = 0;
    bool flooding_ = false;
    double nextStrayMs_ = 0;
    bool powered_ = true;
    double startedMs_ = 0;
};

}  // namespace kv306::sim
