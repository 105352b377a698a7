#include "protocol/scan_queue.h"

#include "link/port_ref.h"
#include "link/texts.h"

namespace kv306 {

QString ScanQueue::Add(const QString &line, QString (*refusal)(const QString &))
{
    const QString text = line.trimmed();
    const auto badText = [refusal](const QString &t) -> QString {
        return t.isEmpty() ? Tx::tr("扫描的序列号是空的") : refusal(t);
    };
    if (const QString bad = badText(text); !bad.isEmpty())
        return bad;
    int slot = 0;
    QString serial = text;
    const qsizetype space = text.indexOf(QLatin1Char(' '));
    if (space > 0) {
        const QString first = text.left(space);
        const Checked<PortRef> named = PortRef::Read(first);
        for (int i = 0; i < slotNames_.size(); ++i) {
            if (slotNames_[i].compare(first, Qt::CaseInsensitive) == 0 ||
                (named && slotNames_[i] == named->Label()))
                slot = i + 1;
        }
        // A first word that can only be a port ("COM9", "/dev/ttyUSB1", "socket://host:4001"),
        // not the first word of a serial number.
        if (!slot && named &&
            (named->kind() != PortRef::Kind::Path || first.startsWith(QLatin1String("/dev/"))))
            return Tx::tr("%1 不是本工位的端口").arg(first);
        if (slot) {
            serial = text.mid(space + 1).trimmed();
            if (const QString bad = badText(serial); !bad.isEmpty())
                return bad;
        }
    }
    if (!slot && slotNames_.size() <= 1)
        slot = 1;
    std::lock_guard lock(mutex_);
    if (slot)
        named_[slot].push_back(serial);
    else
        unplaced_.push_back(serial);
    Place();
    return {};
}

void ScanQueue::Place()
{
    // The first slot, in the order given, whose unit waits and has no serial number coming.
    while (!unplaced_.empty()) {
        int slot = 0;
        for (const auto &[s, waits] : waiting_) {
            if (waits && named_[s].empty()) {
                slot = s;
                break;
            }
        }
        if (!slot)
            return;
        named_[slot].push_back(unplaced_.front());
        unplaced_.pop_front();
    }
}

void ScanQueue::End()
{
    std::lock_guard lock(mutex_);
    ended_ = true;
}

std::optional<QString> ScanQueue::Take(int slot)
{
    std::lock_guard lock(mutex_);
    waiting_[slot] = true;
    Place();
    std::deque<QString> &mine = named_[slot];
    if (mine.empty())
        return std::nullopt;
    const QString serial = mine.front();
    mine.pop_front();
    waiting_[slot] = false;
    return serial;
}

void ScanQueue::StopWaiting(int slot)
{
    std::lock_guard lock(mutex_);
    waiting_[slot] = false;
}

void ScanQueue::PutBack(int slot, const QString &serial)
{
    std::lock_guard lock(mutex_);
    named_[slot].push_front(serial);
}

bool ScanQueue::Over(int slot) const
{
    std::lock_guard lock(mutex_);
    const auto mine = named_.find(slot);
    return ended_ && unplaced_.empty() && (mine == named_.end() || mine->second.empty());
}

}  // namespace kv306
