#pragma once

#include "link/comm_error.h"
#include "link/line_settings.h"

#include <QByteArray>
#include <QString>

namespace kv306 {

// What the serial control asks of whatever stands behind a port: a serial device
// (link/serial_device.h) or a serial device server's TCP port (link/network_device.h). Each
// receives into a buffer of its own when asked, so the control sees the same thing from both:
// a count of waiting bytes, the bytes, a discard.
class PortDevice {
public:
    virtual ~PortDevice() = default;

    // Kept while closed and applied on open; false when an open device refuses them.
    virtual bool SetLine(const LineSettings &line) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Takes in what has come, waiting up to `ms` when nothing waits. False when nothing came in
    // time, or when the device failed: it is then closed and Faulted().
    virtual bool Pump(int ms) = 0;
    virtual qint64 Waiting() const = 0;
    // Up to `max` waiting bytes; every waiting byte for 0.
    virtual QByteArray Take(qint64 max) = 0;
    // Drops what waits; a device that failed meanwhile is Faulted() afterwards.
    virtual void DiscardInput() = 0;
    // Hands every byte on; false when they were refused or lost (the device is then Faulted()).
    virtual bool Write(const QByteArray &bytes) = 0;
    virtual bool Faulted() const = 0;
    virtual QString ErrorText() const = 0;
    // The serial control's error for a fault: `usual` is the number a read or a write failure
    // has (8020, 8019); a device may know better (a server that serves another client is busy).
    virtual CommError Fault(int usual, const QString &reason) const { return CommError(usual, reason); }
};

}  // namespace kv306
