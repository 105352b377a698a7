#pragma once

#include "link/line_settings.h"
#include "link/port_device.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace kv306 {

// The device under the serial control, one file a system: serial_device_posix.cpp on Qt's
// serial port, serial_device_win.cpp on the system's synchronous comm calls (a handle opened
// without overlapped I/O, which behaves the same on Windows and under Wine). It receives into a
// buffer of its own when asked (Pump), so that the control sees the same thing everywhere:
// a count of waiting bytes, the bytes, a discard.
class SerialDevice : public PortDevice {
public:
    // Why an open failed.
    enum class OpenFailure {
        Missing,    // nothing at that path
        Held,       // another program has it, or the system refused it
        Locked,     // another program holds its lock on the device (on any path to it)
        Settings,   // the device refused the line settings
        NotSerial,  // something opened, but it takes no serial call (a file, /dev/null under Wine)
        Other,
    };

    SerialDevice();
    ~SerialDevice();
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    // False with the reason in ErrorText() and OpenFailure().
    bool Open(const QString &path);
    void Close() override;
    bool IsOpen() const override;
    // An open device that refuses the settings is closed.
    bool SetLine(const LineSettings &line) override;

    bool Pump(int ms) override;
    qint64 Waiting() const override;
    QByteArray Take(qint64 max) override;
    void DiscardInput() override;
    bool Write(const QByteArray &bytes) override;

    bool Faulted() const override { return faulted_; }
    OpenFailure LastOpenFailure() const { return openFailure_; }
    QString ErrorText() const override { return error_; }
    // The system's handle of an open device (a file descriptor on Linux).
    qintptr Handle() const;

private:
    // A read or write failed: says why, closes the device; false, for the caller to return.
    bool Fail();

    struct System;
    std::unique_ptr<System> system_;
    LineSettings line_;
    bool faulted_ = false;
    OpenFailure openFailure_ = OpenFailure::Other;
    QString error_;
};

}  // namespace kv306
