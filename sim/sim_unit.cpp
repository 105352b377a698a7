#include "sim/sim_unit.h"
#include "sim/unit_frames.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kv306::sim {

namespace {

constexpr double kByteMs = 10.0 / 9.6;  // ten bits a byte at 9600 baud

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// A port name may be taken over only when nothing holds it, or when it is a link to a
// pseudo-terminal that no simulator serves any more; a user's own adapter link stays.
bool FreeLinkPath(const std::string &path, std::string *error)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return true;
    char target[256] = {};
    const ssize_t n = S_ISLNK(st.st_mode) ? ::readlink(path.c_str(), target, sizeof target - 1) : -1;
    const bool toPty = n > 0 && std::strncmp(target, "/dev/pts/", 9) == 0;
    if (toPty && ::access(target, F_OK) == 0) {
        if (error)
            *error = path + " is already the port of a unit on " + target +
                     " (a simulator still running?); leaving it alone";
        return false;
    }
    if (!toPty) {
        if (error)
            *error = path + " already exists and is not a simulated unit's; leaving it alone";
        return false;
    }
    ::unlink(path.c_str());
    return true;
}

}  // namespace

const std::vector<std::string> &FaultNames()
{
    static const std::vector<std::string> names{"none",         "silent",       "partial",       "extra",
                                                "trickle",      "babble",       "corrupt-check", "bad-ack",
                                                "unequal-echo", "out-of-range", "hang-up",       "mis-store",
                                                "flood",        "late",         "stray"};
    return names;
}

std::optional<Fault> FaultByName(const std::string &name)
{
    const auto &names = FaultNames();
    const auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end())
        return std::nullopt;
    return static_cast<Fault>(it - names.begin());
}

SimUnit::SimUnit(SimOptions options) : options_(options) {}

SimUnit::~SimUnit()
{
    Unplug();
}

bool SimUnit::Start(const std::string &linkPath, std::string *error)
{
    auto fail = [&](const std::string &what) {
        if (error)
            *error = what + ": " + std::strerror(errno);
        Close();
        return false;
    };
    char name[128] = {};
    if (::openpty(&master_, &slaveHold_, name, nullptr, nullptr) != 0)
        return fail("openpty");
    terminal_ = name;
    // Raw, so the terminal neither echoes the unit's replies back to it nor translates bytes.
    termios raw{};
    ::tcgetattr(slaveHold_, &raw);
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B9600);
    ::tcsetattr(slaveHold_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    // Never block on a full line: with the port closed nobody drains it, and bytes are lost.
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(slaveHold_, F_SETFD, FD_CLOEXEC);
    if (::pipe2(wake_, O_CLOEXEC) != 0)
        return fail("pipe");
    if (!linkPath.empty()) {
        if (!FreeLinkPath(linkPath, error)) {
            Close();
            return false;
        }
        if (::symlink(terminal_.c_str(), linkPath.c_str()) != 0)
            return fail("link " + linkPath);
        link_ = linkPath;
    }
    stop_ = false;
    hungUp_ = false;
    running_ = true;
    startedMs_ = NowMs();
    thread_ = std::thread([this] { Run(); });
    return true;
}

void SimUnit::Close()
{
    // The unit keeps its own end of the slave open so that the tool may close and reopen the
    // port between exchanges; closing both is what a pulled adapter looks like.
    for (int *fd : {&master_, &slaveHold_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    std::lock_guard lock(mutex_);
    RemoveOwnLink();
    running_ = false;
}

void SimUnit::RemoveOwnLink()
{
    // Only while it is still this unit's: another simulator (or a user) may have put its own
    // link there since.
    if (!link_.empty()) {
        char target[256] = {};
        const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n > 0 && terminal_ == std::string(target, static_cast<std::size_t>(n)))
            ::unlink(link_.c_str());
    }
    link_.clear();
}

void SimUnit::Unplug()
{
    if (thread_.joinable()) {
        stop_ = true;
        const char wake = 1;
        if (wake_[1] >= 0 && ::write(wake_[1], &wake, 1) < 0) {
            // The thread also notices stop_ at its next pause.
        }
        thread_.join();
    }
    Close();
}

void SimUnit::SetFault(Fault fault)
{
    std::lock_guard lock(mutex_);
    options_.fault = fault;
}

void SimUnit::SetReplyDelay(int ms)
{
    std::lock_guard lock(mutex_);
    options_.replyDelayMs = ms;
}

void SimUnit::SetReplyOverride(std::function<std::optional<Bytes>(const Bytes &)> reply)
{
    std::lock_guard lock(mutex_);
    override_ = std::move(reply);
}

std::vector<Bytes> SimUnit::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

Bytes SimUnit::Received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

void SimUnit::ClearLog()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
    received_.clear();
}

UnitState SimUnit::State() const
{
    std::lock_guard lock(mutex_);
    return state_;
}

void SimUnit::SetState(const UnitState &state)
{
    std::lock_guard lock(mutex_);
    state_ = state;
}

void SimUnit::SetPowered(bool on)
{
    std::lock_guard lock(mutex_);
    Power(on);
}

void SimUnit::Power(bool on)
{
    if (on && !powered_)
        state_ = UnitState{};
    powered_ = on;
}

bool SimUnit::Pause(double ms)
{
    return PauseUntil(NowMs() + ms);
}

bool SimUnit::PauseUntil(double until)
{
    for (;;) {
        if (stop_)
            return false;
        const double left = until - NowMs();
        if (left <= 0)
            return true;
        if (left < 2.0) {
            // Short waits (the pace of one byte) need better than poll's millisecond.
            timespec ts{0, static_cast<long>(left * 1e6)};
            ::nanosleep(&ts, nullptr);
            continue;
        }
        pollfd fd{wake_[0], POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left) - 1);
    }
}

void SimUnit::Handle(const Bytes &request, double receivedAt)
{
    std::optional<Bytes> reply;
    Fault fault;
    int delay;
    ++heard_;
    {
        std::lock_guard lock(mutex_);
        if (options_.powerCycleMs > 0) {
            // On for one period, off for the next; each time it comes on it is a new unit.
            const auto period = static_cast<long long>((receivedAt - startedMs_) / options_.powerCycleMs);
            Power(period % 2 == 0);
        }
        if (!powered_)
            return;
        requests_.push_back(request);
        reply = override_ ? override_(request) : Answer(request, state_);
        fault = options_.fault;
        // Acknowledged all the same: only a read-back tells.
        if (fault == Fault::MisStore && reply && reply->size() == 1 && state_.params[2] > 0)
            --state_.params[2];
        delay = fault == Fault::Late ? options_.lateMs : options_.replyDelayMs;
        if (fault == Fault::Flood)
            flooding_ = true;
    }
    // The last byte of the request is only in after its time on the line.
    if (options_.linePace && !PauseUntil(receivedAt + static_cast<double>(request.size()) * kByteMs))
        return;
    if (delay > 0 && !Pause(delay))
        return;
    if (!reply || fault == Fault::Silent)
        return;
    Bytes &r = *reply;
    const bool echo = r.size() == 2;
    const bool params = r.size() == 7;
    switch (fault) {
    case Fault::Partial: r.pop_back(); break;
    case Fault::Extra: r.push_back(0x00); break;
    case Fault::CorruptCheck:
        if (params)
            r[6] ^= 0x01;
        break;
    case Fault::BadAck:
        if (r.size() == 1)
            r[0] = 0x98;
        break;
    case Fault::UnequalEcho:
        if (echo)
            r[1] = static_cast<std::uint8_t>(r[0] + 1);
        break;
    case Fault::OutOfRange:
        if (echo)
            r = {0x40, 0x40};
        if (params) {
            r[0] = 0x40;
            r[6] = Xor(r, 0, 5);
        }
        break;
    case Fault::HangUp:
        Send(Bytes{r[0]});
        hungUp_ = true;
        return;
    default: break;
    }
    if (fault == Fault::Babble) {
        // A line that never falls silent: more than any reply at once, then a byte a millisecond.
        r.insert(r.end(), 16, 0xAA);
        babbleUntilMs_ = NowMs() + options_.babbleMs;
    }
    if (fault == Fault::Trickle) {
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (i > 0 && !Pause(options_.trickleGapMs))
                return;
            Send(Bytes{r[i]});
        }
    } else {
        Send(r);
    }
}

void SimUnit::Send(const Bytes &reply)
{
    if (!options_.linePace) {
        // All at once, as one burst: a reader never sees part of it.
        if (::write(master_, reply.data(), reply.size()) < 0) {
            // Nobody is listening and the line is full: the reply is lost, as on a real line.
        }
        return;
    }
    // Each byte is handed over when its stop bit would have arrived, reckoned from the start so
    // that the sleeps' slack does not add up.
    const double start = NowMs();
    for (std::size_t k = 0; k < reply.size(); ++k) {
        if (!PauseUntil(start + static_cast<double>(k + 1) * kByteMs))
            return;
        if (::write(master_, &reply[k], 1) != 1)
            return;
    }
}

void SimUnit::Run()
{
    Bytes pending;
    std::uint8_t buffer[256];
    while (!stop_ && !hungUp_) {
        const double now = NowMs();
        const bool babbling = now < babbleUntilMs_;
        Fault fault;
        int strayEvery;
        {
            std::lock_guard lock(mutex_);
            fault = options_.fault;
            strayEvery = options_.strayEveryMs;
        }
        if (fault == Fault::Stray && now >= nextStrayMs_) {
            // A byte nobody asked for, such as a unit sends as it powers up.
            const std::uint8_t stray = 0x99;
            if (::write(master_, &stray, 1) != 1) {
                // Nobody reads the line: lost, as on a real one.
            }
            nextStrayMs_ = now + strayEvery;
        }
        const bool flooding = flooding_ && fault == Fault::Flood;
        if (flooding) {
            // As much as the line takes, without a pause: a peer gone mad.
            static const std::vector<std::uint8_t> noise(4096, 0x5A);
            if (::write(master_, noise.data(), noise.size()) < 0) {
                // Full: the poll below waits until the tool reads some.
            }
        }
        pollfd fds[2] = {{master_, static_cast<short>(POLLIN | (flooding ? POLLOUT : 0)), 0},
                         {wake_[0], POLLIN, 0}};
        int timeout = babbling ? 1 : 200;
        if (fault == Fault::Stray)
            timeout = std::max(1, std::min(timeout, static_cast<int>(nextStrayMs_ - now)));
        const int ready = ::poll(fds, 2, timeout);
        if (stop_)
            break;
        if (babbling) {
            const std::uint8_t noise = 0xAA;
            if (::write(master_, &noise, 1) != 1) {
                // Nobody has the port open and its buffer is full: noise is lost, as on a line.
            }
        }
        if (ready <= 0 || !(fds[0].revents & POLLIN))
            continue;
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        const double receivedAt = NowMs();
        {
            std::lock_guard lock(mutex_);
            received_.insert(received_.end(), buffer, buffer + n);
            if (received_.size() > kLogLimit)
                received_.erase(received_.begin(),
                                received_.begin() + static_cast<long>(received_.size() - kLogLimit));
        }
        pending.insert(pending.end(), buffer, buffer + n);
        // Frames start with 0x55; anything else before a start byte is line noise.
        for (;;) {
            const auto start = std::find(pending.begin(), pending.end(), kStart);
            pending.erase(pending.begin(), start);
            if (pending.size() < 2)
                break;
            const std::size_t length = FrameLength(pending[1]);
            if (length == 0) {
                pending.erase(pending.begin());
                continue;
            }
            if (pending.size() < length)
                break;
            const Bytes request(pending.begin(), pending.begin() + static_cast<long>(length));
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(length));
            Handle(request, receivedAt);
        }
    }
    if (hungUp_) {
        // The adapter is gone: close the terminal under the tool's feet.
        for (int *fd : {&master_, &slaveHold_}) {
            ::close(*fd);
            *fd = -1;
        }
        std::lock_guard lock(mutex_);
        RemoveOwnLink();
    }
}

}  // namespace kv306::sim
