#include "protocol/station.h"

#include "link/comm_error.h"
#include "link/port_access.h"
#include "link/port_claim.h"
#include "link/port_map.h"
#include "link/texts.h"
#include "protocol/english_texts.h"
#include "protocol/outcome_text.h"
#include "protocol/probe.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <memory>
#include <vector>

namespace kv306 {

Station::Station(Options options, StationReport *report)
    : options_(options), report_(report), scans_(options.slotNames)
{
    EnglishTexts::Prepare();
}

QString Station::ReportError() const
{
    std::lock_guard lock(mutex_);
    return reportError_;
}

std::optional<Outcome> Station::PortFault() const
{
    std::lock_guard lock(mutex_);
    return portFault_;
}

std::optional<int> Station::TakeUnit()
{
    int taken = taken_.load();
    do {
        if (options_.count > 0 && taken >= options_.count)
            return std::nullopt;
    } while (!taken_.compare_exchange_weak(taken, taken + 1));
    return taken + 1;
}

bool Station::CountReached() const
{
    return options_.count > 0 && taken_.load() >= options_.count;
}

bool Station::Rest(int ms) const
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (Stopping())
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(20, ms - clock.elapsed())));
    }
    return !Stopping();
}

void Station::Changed(int slot, const PortRef &port, SlotState state, const QString &why)
{
    if (SlotChanged)
        SlotChanged(slot, port, state, why);
}

Done Station::Claim(int slot, const PortRef &port, PortClaim &claim)
{
    if (!port.Served() && PortClaim::SystemDeviceKey(port.Device()).isEmpty()) {
        Unclaim(claim);  // nothing there: the read says so
        return Done::Ok();
    }
    const QString key = port.Identity();
    if (key == claim.Key())
        return Done::Ok();
    Unclaim(claim);
    std::lock_guard lock(mutex_);
    const auto other = claimed_.find(key);
    if (other != claimed_.end() && other->second.first != slot)
        return Done::Refused(Tx::tr("与 %1 是同一个设备").arg(other->second.second));
    if (const Done taken = claim.Take(key); !taken)
        return taken;
    claimed_[key] = {slot, port.Label()};
    return Done::Ok();
}

Done Station::ClaimServed(int slot, const PortRef &port, const QString &key, QString &mine)
{
    if (key.isEmpty() || key == mine)
        return Done::Ok();
    std::lock_guard lock(mutex_);
    const auto other = claimed_.find(key);
    if (other != claimed_.end() && other->second.first != slot)
        return Done::Refused(Tx::tr("与 %1 是同一个设备").arg(other->second.second));
    if (!mine.isEmpty())
        claimed_.erase(mine);
    claimed_[key] = {slot, port.Label()};
    mine = key;
    return Done::Ok();
}

void Station::Unclaim(PortClaim &claim)
{
    if (claim.Key().isEmpty())
        return;
    {
        std::lock_guard lock(mutex_);
        claimed_.erase(claim.Key());
    }
    claim.Release();
}

namespace {

// Something came back: a unit is there, whatever it said.
bool Answered(const Outcome &o)
{
    return o.Ok() || (o.failure != Failure::Port && !o.traffic.empty() && o.traffic.back().seen > 0);
}

bool PortGone(const Outcome &o)
{
    return o.failure == Failure::Port && o.errorNumber == ErrorNo::NoSuchPort;
}

// Another program holds the port: the unit may be there all the same.
bool PortBusy(const Outcome &o)
{
    return o.failure == Failure::Port && o.errorNumber == ErrorNo::PortInUse;
}

bool NeverAPort(const Outcome &o)
{
    return o.failure == Failure::Port && o.errorNumber == ErrorNo::NotSerialDevice;
}

enum class Look { Stays, Gone, Busy };

// One read of a unit that was there; `misses` counts the reads in a row it did not answer. A local
// port that goes takes its unit with it. A server port that refuses or drops the connection is one
// more miss, as a silent unit is: the server may be restarting while the unit stays on its
// fixture.
Look Presence(const Outcome &o, bool served, int &misses)
{
    if (NeverAPort(o) || (PortGone(o) && !served))
        return Look::Gone;
    if (PortBusy(o))
        return Look::Busy;  // someone else has the port for a moment: no read, answered or not
    misses = Answered(o) ? 0 : misses + 1;
    return misses >= Station::kGoneAfterMisses ? Look::Gone : Look::Stays;
}

}  // namespace

void Station::Run(const QList<PortRef> &ports)
{
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < ports.size(); ++i) {
        threads.emplace_back(QThread::create([this, i, port = ports[i]] { RunSlot(i + 1, port); }));
        threads.back()->start();
    }
    for (auto &t : threads)
        t->wait();
}

void Station::RunSlot(int slot, const PortRef &port)
{
    UnitOnPort unit(port);
    const bool served = port.Served();
    // Until the slot knows which terminal a server on this computer serves it, it asks at each
    // look (a few milliseconds an open).
    unit.comm.FindServedDevice(served);
    PortClaim claim;
    QString servedKey;   // the terminal a server on this computer serves for this slot, held
    QString servedSeen;  // the same, as last seen, held or not
    std::optional<SlotState> shown;
    const auto show = [&](SlotState state, const QString &why = {}) {
        if (shown != state)
            Changed(slot, port, state, why);
        shown = state;
    };
    // A read that a unit answered while the slot waited for the one before to go: that unit's
    // first answer, so it is not asked twice.
    std::optional<Outcome> answered;
    QElapsedTimer sinceAnswer;
    while (!Stopping() && !CountReached()) {
        if (!answered) {
            // Another slot or station holds the device; or a server on this computer serves a
            // terminal that another slot holds, one device with it: known from the first
            // connection on, it is not read again while held.
            Done free = Claim(slot, port, claim);
            // A server port not yet known: connected to, and let go, before anything is sent.
            if (free && served && servedSeen.isEmpty()) {
                if (!unit.link.OpenLink())
                    servedSeen = unit.comm.ServedDevice();
                unit.link.CloseLink();
                if (!servedSeen.isEmpty())
                    unit.comm.FindServedDevice(false);
            }
            if (free)
                free = ClaimServed(slot, port, servedSeen, servedKey);
            Outcome look;
            if (free) {
                // A unit is there once it answers a read; the read waits its second for one.
                look = unit.core.Read();
                unit.link.CloseLink();
                sinceAnswer.start();
                if (const QString now = unit.comm.ServedDevice(); !now.isEmpty()) {
                    servedSeen = now;
                    unit.comm.FindServedDevice(false);
                }
                free = ClaimServed(slot, port, servedSeen, servedKey);
            }
            if (!free) {
                show(SlotState::Busy, free.reason);
                if (options_.once) {
                    Outcome refused;
                    PortFailure(refused, CommError(ErrorNo::PortInUse, free.reason), true);
                    if (NoUnit)
                        NoUnit(slot, port, refused);
                    break;
                }
                if (!Rest(kPortLookMs))
                    break;
                continue;
            }
            if (NeverAPort(look)) {
                {
                    std::lock_guard lock(mutex_);
                    if (!portFault_)
                        portFault_ = look;
                }
                show(SlotState::Unusable, FailureText(look));
                Stop();
                break;
            }
            if (!Answered(look)) {
                const bool busy = PortBusy(look);
                const bool noPort = look.failure == Failure::Port && !busy;
                show(busy     ? SlotState::Busy
                     : noPort ? SlotState::NoPort
                              : SlotState::Waiting,
                     busy ? PortHolder(port.Device()) : FailureText(look));
                if (options_.once) {
                    if (NoUnit)
                        NoUnit(slot, port, look);
                    break;
                }
                // No unit, and no serial number will come for one.
                if (options_.scan && scans_.Over(slot))
                    break;
                if ((noPort || busy) && !Rest(kPortLookMs))
                    break;
                continue;
            }
        }
        answered.reset();
        if (Stopping())
            break;
        // With scans, a unit is new when its serial number is scanned, whatever it answered
        // before: it waits here for one, and is set up, and the slot looks again.
        // With scans, a unit waits for its serial number; one that goes first leaves it queued
        // for the next.
        QString serial;
        if (options_.scan) {
            show(SlotState::Scan);
            bool gone = false;
            const std::optional<QString> scanned = AwaitScan(slot, unit, served, &gone);
            if (gone) {
                show(SlotState::Gone);
                continue;
            }
            if (!scanned) {
                std::lock_guard lock(mutex_);
                notSetUp_ << port.Label();
                break;
            }
            serial = *scanned;
            sinceAnswer.start();
        }
        const std::optional<int> number = TakeUnit();
        if (!number) {
            if (options_.scan)
                scans_.PutBack(slot, serial);
            break;
        }
        show(SlotState::Present);
        StationRow row = SetUp(unit, slot, port, *number);
        if (options_.scan && !Answered(row.detail)) {
            // Nothing answered the set-up: a unit still there answers a read and fails as it
            // should; a unit taken away after its scan leaves its serial number to the next.
            const Outcome still = unit.core.Read();
            unit.link.CloseLink();
            if (!Answered(still)) {
                --taken_;
                scans_.PutBack(slot, serial);
                show(SlotState::Gone);
                continue;
            }
        }
        row.serial = serial;
        row.seconds = static_cast<double>(sinceAnswer.nsecsElapsed()) / 1e9;
        Record(row);
        if (options_.once || Stopping() || CountReached())
            break;

        // The same unit is never taken twice: wait until it goes. Another unit answering with
        // other values than this one was left with is the next one.
        show(SlotState::SetUp);
        const Params left = row.values ? *row.values : options_.profile;
        int misses = 0;
        while (!CountReached() && !(options_.scan && scans_.Over(slot)) && Rest(kStayLookMs)) {
            Outcome stay = unit.core.Read();
            unit.link.CloseLink();
            if (stay.Ok() && stay.values != left) {
                sinceAnswer.start();
                answered = std::move(stay);
                break;
            }
            if (Presence(stay, served, misses) == Look::Gone)
                break;
        }
        // A unit set up keeps its serial number; with none to come for another, the slot is done.
        if (options_.scan && scans_.Over(slot))
            break;
        if (!Stopping())
            show(SlotState::Gone);
    }
    Unclaim(claim);
    if (!servedKey.isEmpty()) {
        std::lock_guard lock(mutex_);
        claimed_.erase(servedKey);
    }
    show(SlotState::Done);
}

StationRow Station::SetUp(UnitOnPort &unit, int slot, const PortRef &port, int number)
{
    // The report's words are English whoever runs the station.
    const EnglishTexts english;
    StationRow row;
    row.unit = number;  // the report numbers it over its own rows
    row.slot = slot;
    row.port = port.Label();
    const PortIdentity id = IdentifyPorts({port}).value(0);
    row.device = id.device.isEmpty() ? port.Device() : id.device;
    row.adapterSerial = id.serial;
    row.operatorName = options_.operatorName;
    row.lot = options_.lot;
    row.profile = options_.profileName;
    row.target = options_.profile;
    row.host = QSysInfo::machineHostName();
    row.version = QCoreApplication::applicationVersion();

    const Outcome o = unit.core.WriteAndVerify(options_.profile, [this] { return !Stopping(); });
    unit.link.CloseLink();
    row.at = QDateTime::currentDateTime();
    row.detail = o;
    row.kind = VerdictOf(o);
    switch (row.kind) {
    case Verdict::Interrupted: row.outcome = QStringLiteral("interrupted: written, not verified"); break;
    case Verdict::Pass: row.outcome = VerdictWord(row.kind); break;
    case Verdict::Error:
    case Verdict::Fail: row.outcome = VerdictWord(row.kind) + QStringLiteral(": ") + FailureText(o); break;
    }
    if (o.Ok() || o.failure == Failure::Mismatch)
        row.values = o.values;
    return row;
}

QString Station::TextRefusal(const QString &text)
{
    if (text.size() > kSerialMax)
        return Tx::tr("长度超过 %1 个字符").arg(kSerialMax);
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return Tx::tr("含有控制字符");
        // What a scanner or a command line gave that is no UTF-8 text reads as U+FFFD: two
        // different labels would become one.
        if (c == QChar::ReplacementCharacter)
            return Tx::tr("含有不是 UTF-8 文本的字节");
    }
    // A label that reads "=HYPERLINK(...)" would run in the supervisor's spreadsheet.
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front()))
        return Tx::tr("以 %1 开头，表格程序会把它当作公式").arg(text.front());
    return {};
}

QStringList Station::NotSetUp() const
{
    std::lock_guard lock(mutex_);
    return notSetUp_;
}

std::optional<QString> Station::AwaitScan(int slot, UnitOnPort &unit, bool served, bool *gone)
{
    QElapsedTimer sinceLook;
    sinceLook.start();
    int misses = 0;
    for (;;) {
        if (const std::optional<QString> serial = scans_.Take(slot))
            return serial;
        if (scans_.Over(slot) || !Rest(20))
            break;
        if (sinceLook.elapsed() >= kStayLookMs) {
            const Outcome look = unit.core.Read();
            unit.link.CloseLink();
            sinceLook.start();
            if (Presence(look, served, misses) == Look::Gone) {
                *gone = true;
                break;
            }
        }
    }
    scans_.StopWaiting(slot);
    return std::nullopt;
}

void Station::Record(StationRow &row)
{
    switch (row.kind) {
    case StationRow::Kind::Pass: ++passed_; break;
    case StationRow::Kind::Fail: ++failed_; break;
    case StationRow::Kind::Error: ++errors_; break;
    case StationRow::Kind::Interrupted: ++interrupted_; break;
    }
    if (const Done appended = report_ ? report_->Append(row) : Done::Ok(); !appended) {
        row.reportError = appended.reason;
        {
            std::lock_guard lock(mutex_);
            if (reportError_.isEmpty())
                reportError_ = row.reportError;
        }
        Stop();
    }
    if (UnitDone)
        UnitDone(row);
}

}  // namespace kv306
