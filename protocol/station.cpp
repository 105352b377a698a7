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
#include <QRegularExpression>
#include <QSysInfo>
#include <QThread>

namespace kv306 {

Station::Station(Options options, StationReport *report) : options_(options), report_(report)
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

bool Station::Claim(int slot, const PortRef &port, PortClaim &claim, QString *why)
{
    const QString key = PortClaim::DeviceKey(port.Device());
    if (key.isEmpty()) {
        Unclaim(claim);  // nothing there: the read says so
        return true;
    }
    if (key == claim.Key())
        return true;
    Unclaim(claim);
    std::lock_guard lock(mutex_);
    const auto other = claimed_.find(key);
    if (other != claimed_.end() && other->second.first != slot) {
        *why = Tx::tr("与 %1 是同一个设备").arg(other->second.second);
        return false;
    }
    QString holder;
    if (!claim.Take(key, &holder)) {
        *why = holder.isEmpty() ? Tx::tr("另一个工位正在使用它")
                                : Tx::tr("另一个工位正在使用它：%1").arg(holder);
        return false;
    }
    claimed_[key] = {slot, port.label};
    return true;
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

// A scan's first word that can only be a port ("COM9", "/dev/ttyUSB1", "socket://host:4001"),
// not the first word of a serial number.
bool LooksLikePort(const QString &word)
{
    static const QRegularExpression com(QStringLiteral("^COM[0-9]+$"),
                                        QRegularExpression::CaseInsensitiveOption);
    return com.match(word).hasMatch() || word.startsWith(QLatin1String("/dev/")) ||
           word.contains(QLatin1String("://"));
}

bool NeverAPort(const Outcome &o)
{
    return o.failure == Failure::Port && o.errorNumber == ErrorNo::NotSerialDevice;
}

}  // namespace

void Station::RunSlot(int slot, const PortRef &port)
{
    UnitOnPort unit(port);
    PortClaim claim;
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
        if (options_.scan && ScansOver(slot))
            break;
        if (!answered) {
            QString held;
            if (!Claim(slot, port, claim, &held)) {
                show(SlotState::Busy, held);
                if (options_.once) {
                    Outcome busy;
                    PortFailure(busy, CommError(ErrorNo::PortInUse, held), true);
                    if (NoUnit)
                        NoUnit(slot, port, busy);
                    break;
                }
                if (!Rest(kPortLookMs))
                    break;
                continue;
            }
            // A unit is there once it answers a read; the read waits its second for one.
            const Outcome look = unit.core.Read();
            unit.link.CloseLink();
            sinceAnswer.start();
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
        QString serial;
        if (options_.scan) {
            show(SlotState::Scan);
            const std::optional<QString> scanned = AwaitScan(slot);
            if (!scanned)
                break;
            serial = *scanned;
            sinceAnswer.start();
        }
        const std::optional<int> number = TakeUnit();
        if (!number)
            break;
        show(SlotState::Present);
        StationRow row = SetUp(unit, slot, port, *number);
        row.serial = serial;
        row.seconds = static_cast<double>(sinceAnswer.nsecsElapsed()) / 1e9;
        Record(row);
        if (options_.once || Stopping() || CountReached())
            break;
        if (options_.scan) {
            shown.reset();
            continue;
        }

        // The same unit is never taken twice: wait until its port goes or it stops answering.
        // Another unit answering with other values than this one was left with is the next one.
        const Params left = row.values ? *row.values : options_.profile;
        int misses = 0;
        while (!CountReached() && Rest(kStayLookMs)) {
            Outcome stay = unit.core.Read();
            unit.link.CloseLink();
            if (PortGone(stay) || NeverAPort(stay))
                break;
            if (PortBusy(stay))
                continue;  // someone else has the port for a moment: no read, answered or not
            if (stay.Ok() && stay.values != left) {
                sinceAnswer.start();
                answered = std::move(stay);
                break;
            }
            misses = Answered(stay) ? 0 : misses + 1;
            if (misses >= kGoneAfterMisses)
                break;
        }
        if (!Stopping())
            show(SlotState::Gone);
    }
    Unclaim(claim);
    show(SlotState::Done);
}

StationRow Station::SetUp(UnitOnPort &unit, int slot, const PortRef &port, int number)
{
    // The report's words are English whoever runs the station.
    const EnglishTexts english;
    StationRow row;
    row.unit = number;  // the report numbers it over its own rows
    row.slot = slot;
    row.port = port.label;
    const PortIdentity id = IdentifyPorts({port.Device()}).value(0);
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
    if (o.unverified) {
        row.kind = StationRow::Kind::Interrupted;
        row.outcome = QStringLiteral("interrupted: written, not verified");
    } else if (o.Ok()) {
        row.kind = StationRow::Kind::Pass;
        row.outcome = QStringLiteral("pass");
        row.values = o.values;
    } else if (o.failure == Failure::Port) {
        row.kind = StationRow::Kind::Error;
        row.outcome = QStringLiteral("error: ") + FailureText(o);
    } else {
        row.kind = StationRow::Kind::Fail;
        row.outcome = QStringLiteral("fail: ") + FailureText(o);
        if (o.failure == Failure::Mismatch)
            row.values = o.values;
    }
    return row;
}

QString Station::TextRefusal(const QString &text)
{
    if (text.size() > kSerialMax)
        return Tx::tr("长度超过 %1 个字符").arg(kSerialMax);
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return Tx::tr("含有控制字符");
    }
    // A label that reads "=HYPERLINK(...)" would run in the supervisor's spreadsheet.
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front()))
        return Tx::tr("以 %1 开头，表格程序会把它当作公式").arg(text.front());
    return {};
}

QString Station::Scanned(const QString &line)
{
    const QString text = line.trimmed();
    const auto badText = [](const QString &t) -> QString {
        return t.isEmpty() ? Tx::tr("扫描的序列号是空的") : TextRefusal(t);
    };
    if (const QString bad = badText(text); !bad.isEmpty())
        return bad;
    // "COM4 SN12345": a slot named first.
    int slot = 0;
    QString serial = text;
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    if (space > 0) {
        const QString first = text.left(space);
        const std::optional<PortRef> named = PortRef::Parse(first, nullptr);
        for (int i = 0; i < options_.slotNames.size(); ++i) {
            if (options_.slotNames[i].compare(first, Qt::CaseInsensitive) == 0 ||
                (named && options_.slotNames[i] == named->label))
                slot = i + 1;
        }
        if (!slot && named && LooksLikePort(first))
            return Tx::tr("%1 不是本工位的端口").arg(first);
        if (slot) {
            serial = text.mid(space + 1).trimmed();
            if (const QString bad = badText(serial); !bad.isEmpty())
                return bad;
        }
    }
    if (!slot && options_.slotNames.size() <= 1)
        slot = 1;
    std::lock_guard lock(mutex_);
    if (slot) {
        if (scans_.count(slot))
            return Tx::tr("%1 已有一个等待中的序列号（%2）")
                .arg(options_.slotNames.value(slot - 1), scans_[slot]);
        scans_[slot] = serial;
        return {};
    }
    unplaced_.push_back(serial);
    PlaceScans();
    return {};
}

void Station::PlaceScans()
{
    // The first slot, in the order given, whose unit is present and not yet scanned.
    while (!unplaced_.empty()) {
        int slot = 0;
        for (const auto &[s, waits] : awaiting_) {
            if (waits && !scans_.count(s)) {
                slot = s;
                break;
            }
        }
        if (!slot)
            return;
        scans_[slot] = unplaced_.front();
        unplaced_.erase(unplaced_.begin());
    }
}

bool Station::ScansOver(int slot) const
{
    std::lock_guard lock(mutex_);
    return scansEnded_ && unplaced_.empty() && !scans_.count(slot);
}

void Station::NoMoreScans()
{
    std::lock_guard lock(mutex_);
    scansEnded_ = true;
}

std::optional<QString> Station::AwaitScan(int slot)
{
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            awaiting_[slot] = true;
            PlaceScans();
            if (const auto scan = scans_.find(slot); scan != scans_.end()) {
                const QString serial = scan->second;
                scans_.erase(scan);
                awaiting_[slot] = false;
                return serial;
            }
            if (scansEnded_ && unplaced_.empty()) {
                awaiting_[slot] = false;
                return std::nullopt;
            }
        }
        if (!Rest(20)) {
            std::lock_guard lock(mutex_);
            awaiting_[slot] = false;
            return std::nullopt;
        }
    }
}

void Station::Record(StationRow &row)
{
    switch (row.kind) {
    case StationRow::Kind::Pass: ++passed_; break;
    case StationRow::Kind::Fail: ++failed_; break;
    case StationRow::Kind::Error: ++errors_; break;
    case StationRow::Kind::Interrupted: ++interrupted_; break;
    }
    if (report_ && !report_->Append(row, &row.reportError)) {
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
