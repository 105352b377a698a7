#pragma once

#include "protocol/outcome_text.h"
#include "protocol/unit_core.h"

#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace kv306 {

// One exchange as the traffic log shows it.
struct LogEntry {
    QString time;         // "2026-12-07 14:03:22.517"
    QString port;         // "COM3" or a device path
    QString sent;         // "55 D0 A3 00 FF 01 8D"; empty when nothing was sent
    QString sentMeaning;  // "读出参数"
    QString reply;        // "16 14 19 00 03 00 18"; empty when nothing came
    // "六个参数 22 20 25 PAL 3 保留", "已保存", "水平偏移 = 23", "已应答 00 00", "无应答",
    // "错误 8002 该串口不存在！"
    QString replyMeaning;
    qint64 ms = -1;  // how long the unit took; -1 without a reply
    QDateTime when;  // the saved log has it in ISO 8601
};

// Every exchange the tool makes, the last 5000 of them, from any thread. Recording is cheap
// (a few short strings after the reply is in), so it never changes an exchange's timing.
class TrafficLog {
public:
    static constexpr std::size_t kCapacity = 5000;

    // Called after each recorded entry, on the recording thread, outside the log's lock.
    void SetOnRecord(std::function<void()> onRecord) { onRecord_ = std::move(onRecord); }

    void Record(const QString &port, const Outcome &outcome);
    std::vector<LogEntry> Entries() const;
    // What a viewer needs to follow the log: how many entries were ever recorded since the last
    // clearing, how many clearings there were, and the entries after the first `seen` that are
    // still kept.
    struct Tail {
        std::uint64_t total = 0;
        std::uint64_t clearings = 0;
        std::vector<LogEntry> entries;
    };
    Tail Since(std::uint64_t seen) const;
    std::size_t Size() const;
    void Clear();
    // Tab-separated, a header line first; times in ISO 8601.
    QByteArray Tsv() const;

private:
    mutable std::mutex mutex_;
    std::deque<LogEntry> entries_;
    std::uint64_t total_ = 0;
    std::uint64_t clearings_ = 0;
    std::function<void()> onRecord_;
};

// What a request frame asks, in the window's words ("保存参数 22 20 25 PAL 3 保留", "水平偏移 >").
QString FrameMeaning(const Bytes &frame);
// The bytes a reply column shows: the whole reply, or what came of one that was not whole (the
// first 64, and how many came in all when more did).
QString ReplyColumn(const Traffic &traffic);
// What the reply of an exchange says, given the outcome that judged it.
QString ReplyMeaning(const Traffic &traffic, const Outcome &outcome);
// The log's columns: time, port, sent, meaning, reply, meaning, milliseconds.
QStringList LogHeaders();

}  // namespace kv306
