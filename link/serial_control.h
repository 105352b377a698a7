#pragma once

#include "link/network_device.h"
#include "link/port_ref.h"
#include "link/serial_device.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

namespace kv306 {

// The line as the unit speaks it, written the serial control's way.
inline const QString kUnitLine = QStringLiteral("9600,n,8,1");

using Bytes = std::vector<std::uint8_t>;

// The serial communications control (the window's MSComm1). Its properties keep the names of
// the control it stands for (CommPort, Settings, PortOpen, InBufferCount, Input, Output, InputLen,
// InputMode, RThreshold) because they keep its meaning;
// every failure is a CommError carrying the control's number:
//
//   failure                                             number
//   port number with no device, device missing          8002  该串口不存在！
//   port held by another program or already open       8005  串口已被占用
//   device there, but this user may not open it         70    没有权限打开串口 (names device, group, fix)
//   CommPort changed while the port is open             8000
//   line settings refused by the device                 8015
//   Output to a closed port                             8012  串口还没打开！
//   Input or InBufferCount of a closed port             8018  串口尚未打开!
//   write refused or lost (adapter pulled, device gone)  8019  Device busy
//   read failed, end of file, device gone               8020  Error reading comm device
//   Settings text or InBufferCount value not accepted   380
//
// A device that fails is closed at once and reported once: the next property access finds
// the port closed rather than the same fault again.
class SerialControl : public QObject {
    Q_OBJECT
public:
    explicit SerialControl(QObject *parent = nullptr);
    ~SerialControl() override;

    // COMn; 0 while the port is a device path or a server.
    void SetCommPort(int number);
    int CommPort() const { return port_.Number(); }

    // "9600,n,8,1": baud, parity (n, e, o, m, s), data bits, stop bits.
    void SetSettings(const QString &settings);
    QString Settings() const { return settings_; }

    // How many bytes a read of Input takes at most; 0 takes every waiting byte.
    void SetInputLen(int length);
    int InputLen() const { return inputLen_; }
    // Input yields bytes (1, binary); text mode (0) is not offered and, like any other value,
    // is refused with 380.
    void SetInputMode(int mode);
    int InputMode() const { return kInputBinary; }
    // Received is raised when at least this many bytes wait; 0 raises nothing.
    void SetRThreshold(int threshold);
    int RThreshold() const { return rThreshold_; }

    void SetPortOpen(bool open);
    bool PortOpen() const { return device_->IsOpen(); }

    // Bytes received and waiting; writing 0 discards them.
    int InBufferCount();
    void SetInBufferCount(int count);
    // The waiting bytes, InputLen of them at most.
    Bytes Input();
    // Sends the bytes; does not wait for them to drain.
    void Output(const Bytes &bytes);

    // Blocks until more bytes arrive or `ms` pass, without burning the processor. Replaces the
    // tight poll of InBufferCount in a reply wait; true when something arrived.
    bool WaitForInput(int ms);

    // The terminal a server port's server serves, where the system tells (NetworkDevice), looked
    // for at each open while FindServedDevice is on.
    QString ServedDevice() const { return device_ == &network_ ? network_.ServedDevice() : QString(); }
    void FindServedDevice(bool find) { network_.FindServedDevice(find); }

    // Where the port leads now: COMn's place on this system, the device path, the server.
    QString DevicePath() const { return port_.Device(); }
    // "COM3", or the port's name as it was written.
    QString PortLabel() const { return port_.Label(); }
    // The port as every front end names it; opening it picks the device its kind leads to.
    // Not while the port is open (8000, as for CommPort).
    void SetPort(const PortRef &port);
    const PortRef &Port() const { return port_; }

    // How many times any control has tried to open a port in this process (for checking that
    // something opens nothing).
    static int OpenAttempts();

    static constexpr int kInputBinary = 1;

signals:
    // RThreshold bytes or more are waiting.
    void Received();

private:
    void RequireOpen(int number) const;
    // Pulls what the device has into the receive buffer, waiting up to `ms`.
    bool Pump(int ms);
    [[noreturn]] void FailDevice(int number, const QString &what);
    // Raises Received when RThreshold bytes or more wait.
    void NoteReceived();

    SerialDevice serial_;
    NetworkDevice network_;
    PortDevice *device_ = &serial_;  // the one the port's name leads to
    PortRef port_ = PortRef::Com(1);
    QString settings_ = kUnitLine;
    int inputLen_ = 0;
    int rThreshold_ = 0;
};

// The line as the unit speaks it: 9600 baud, no parity, 8 data bits, 1 stop bit; Input takes
// every waiting byte, as bytes; Received raised from the first byte (every reply wait turns it
// off as it ends). Start-up and every other front end set a control up with this.
void SetUpLine(SerialControl &comm);

}  // namespace kv306
