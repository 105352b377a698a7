#pragma once

#include "link/comm_error.h"
#include "link/pacer.h"
#include "link/serial_control.h"

#include <QString>

#include <optional>

namespace kv306 {

// What one reply wait received.
struct Reply {
    // The bytes the reply was read as when it was whole (what Input gave: the count asked for);
    // empty when no whole reply came within the limits.
    Bytes bytes;
    bool whole = false;
    // How many bytes came in all, kept or dropped (a flood is counted too), and the first of them
    // (at most SerialLink::kHeardLimit), also when none was whole: what a partial or an over-long
    // reply or a flood began with.
    qint64 seen = 0;
    Bytes heard;
    // The longest the line was silent between two bytes. A unit sends its reply in one go; one
    // that came in pieces far apart may be line noise rather than the unit.
    qint64 longestGapMs = 0;
    // From the wait's start to the reply whole; -1 without one.
    qint64 ms = -1;
};

// The thin layer every exchange with the unit passes through. It opens and closes the port
// around each exchange and receives an exact count of reply bytes. Senders write their frame
// straight to the control between OpenLink and ReadReplyHex. It shows nothing: a failure to open
// is handed back, and the control's errors during a wait pass to the caller.
class SerialLink {
public:
    // A reply may trickle in, but the whole wait never lasts longer than this (or than one
    // silence limit, if that is longer): a line that never falls silent would otherwise freeze
    // the window for ever.
    static constexpr qint32 kWholeWaitMs = 3000;
    // A reply is whole only when the line stays quiet this long after its last expected byte:
    // three byte-times at 9600 baud, so a reply one byte too long fails at the line's own pace
    // as it does when it comes in one burst.
    static constexpr int kSettleMs = 3;
    // After a wait that ended without its reply, how long the link keeps listening for a late
    // answer, which it discards, so that the next request is not answered by it.
    static constexpr int kLateReplyMs = 500;
    // A late answer is taken to be over once the line has been quiet this long after it.
    static constexpr int kQuietMs = 50;

    SerialLink(SerialControl &comm, Pacer &pacer) : comm_(comm), pacer_(pacer) {}

    // Opens the port if it is closed, then lets the line settle 5 ms. A failure is returned, not
    // thrown: afterwards the port is simply still closed (the window shows it with
    // ReportCommError).
    std::optional<CommError> OpenLink();
    // 100 ms for the unit to finish, close, 5 ms. Failures pass silently.
    void CloseLink();
    // Waits for exactly `count` reply bytes; `timeoutMs` bounds the silence before and between
    // bytes and kWholeWaitMs the whole wait, whatever arrives, and says what came. A reply is
    // whole when exactly `count` bytes came and the line then stayed quiet kSettleMs; the input
    // is discarded after the wait either way. A line that floods is read and dropped as it comes,
    // so the wait holds only a few kilobytes at a time. Errors of the control pass to the caller.
    Reply Receive(qint16 count, qint32 timeoutMs);
    // The same wait as the window's actions know it: the reply as upper-case hex ("550AFF"), or
    // "" on time-out, and ReplyBuffer left with the reply's bytes, or `count` zeros.
    QString ReadReplyHex(qint16 count, qint32 timeoutMs);
    // After a wait that ended without its reply: listens up to kLateReplyMs more (never past the
    // wait's whole limit), until a late answer is in and the line is quiet, and drops what comes.
    // Returns how many bytes it dropped.
    qint64 DiscardLateReply();

    // What the last ReadReplyHex received.
    Bytes ReplyBuffer;
    static constexpr std::size_t kHeardLimit = 64;

private:
    SerialControl &comm_;
    Pacer &pacer_;
    // When the last wait began, by the pacer's clock: a late answer is listened for no later
    // than its whole limit.
    qint64 waitStarted_ = 0;
    qint64 waitLimit_ = 0;
};

// "  55  D0  A3": each byte as two spaces and two upper-case hex digits.
QString HexPairs(const Bytes &bytes, qsizetype count, const char *separator);
// "55 D0 A3": every byte, one space between.
QString HexWords(const Bytes &bytes);

}  // namespace kv306
