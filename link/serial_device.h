#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace kv306 {

// A line's settings: 9600 baud, parity 'n', 'e', 'o', 'm' or 's', 8 data bits, stop bits 1, 15
// (one and a half) or 2. No flow control: a pseudo-terminal refuses line signals and the unit
// needs none.
struct LineSettings {
    qint32 baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1;
};

// The device under the serial control, one file a system: serial_device_posix.cpp on Qt's
// serial port, serial_device_win.cpp on the system's synchronous comm calls (a handle opened
// without overlapped I/O, which behaves the same on Windows and under Wine). It receives into a
// buffer of its own when asked (Pump), so that the control sees the same thing everywhere:
// a count of waiting bytes, the bytes, a discard.
class SerialDevice {
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
    void Close();
    bool IsOpen() const;
    // Kept while closed and applied on open; false when an open device refuses them (it is then
    // closed).
    bool SetLine(const LineSettings &line);

    // Takes in what the device has, waiting up to `ms` for something when nothing waits. False
    // when nothing came in time, or when the device failed: it is then closed, Faulted() holds
    // and ErrorText() says why.
    bool Pump(int ms);
    qint64 Waiting() const;
    // Up to `max` waiting bytes; every waiting byte for 0.
    QByteArray Take(qint64 max);
    void DiscardInput();
    // Hands every byte to the device; false when it refused or lost them (the device is then
    // closed and Faulted()).
    bool Write(const QByteArray &bytes);

    bool Faulted() const { return faulted_; }
    OpenFailure LastOpenFailure() const { return openFailure_; }
    QString ErrorText() const { return error_; }
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
