#pragma once

#include "link/comm_error.h"
#include "link/serial_control.h"
#include "link/toolkit.h"

#include <QString>

#include <optional>

namespace kv306 {

// The thin layer every exchange with the unit passes through. It opens and closes the port
// around each exchange, receives an exact count of reply bytes, and tells serial errors to the
// operator. Senders write their frame straight to the control between OpenLink and ReadReplyHex.
class SerialLink {
public:
    // A reply may trickle in, but the whole wait never lasts longer than this (or than one
    // silence limit, if that is longer): a line that never falls silent would otherwise freeze
    // the window for ever.
    static constexpr qint32 kWholeWaitMs = 3000;

    SerialLink(MSComm &comm, Toolkit &toolkit) : comm_(comm), toolkit_(toolkit) {}

    // Opens the port if it is closed, then lets the line settle 5 ms. A failure is shown with
    // its number and swallowed: afterwards the port is simply still closed.
    void OpenLink();
    // The same, telling a failure to the caller instead of the operator.
    std::optional<CommError> OpenLinkQuietly();
    // 100 ms for the unit to finish, close, 5 ms. Failures pass silently.
    void CloseLink();
    // Waits for exactly `count` reply bytes; `timeoutMs` bounds the silence before and between
    // bytes. Returns them as upper-case hex ("550AFF"), or "" on time-out, when ReplyBuffer holds
    // `count` zeros and the input is discarded. Errors of the control pass to the caller.
    QString ReadReplyHex(qint16 count, const qint32 &timeoutMs);
    // Shows the text of an error number in a critical box titled "错误"; 0 shows nothing.
    void ReportCommError(int number);
    // The same for a caught error: its own message when it has one (a refusal for permission).
    void ReportCommError(const CommError &error);

    // What the last ReadReplyHex received (all of it, possibly more than was asked for).
    Bytes ReplyBuffer;

private:
    MSComm &comm_;
    Toolkit &toolkit_;
};

// "  55  D0  A3": each byte as two spaces and two upper-case hex digits.
QString HexPairs(const Bytes &bytes, qsizetype count, const char *separator);
// "55 D0 A3": every byte, one space between.
QString HexWords(const Bytes &bytes);

}  // namespace kv306
