#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <vector>

namespace kv306 {

using Bytes = std::vector<std::uint8_t>;

// The window's serial communications control (MSComm1). Properties keep the control's names;
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
class MSComm : public QObject {
    Q_OBJECT
public:
    explicit MSComm(QObject *parent = nullptr);
    ~MSComm() override;

    void SetCommPort(int number);
    int CommPort() const { return commPort_; }

    // "9600,n,8,1": baud, parity (n, e, o, m, s), data bits, stop bits.
    void SetSettings(const QString &settings);
    QString Settings() const { return settings_; }

    void SetInputLen(int length) { inputLen_ = length; }
    int InputLen() const { return inputLen_; }
    void SetInputMode(int mode) { inputMode_ = mode; }
    int InputMode() const { return inputMode_; }
    void SetRThreshold(int threshold) { rThreshold_ = threshold; }
    int RThreshold() const { return rThreshold_; }

    void SetPortOpen(bool open);
    bool PortOpen() const { return port_.isOpen(); }

    // Bytes received and waiting; writing 0 discards them.
    int InBufferCount();
    void SetInBufferCount(int count);
    // Every waiting byte (the control is used with InputLen 0 and binary input).
    Bytes Input();
    // Sends the bytes; does not wait for them to drain.
    void Output(const Bytes &bytes);

    // Blocks until more bytes arrive or `ms` pass, without burning the processor. Replaces the
    // tight poll of InBufferCount in a reply wait; true when something arrived.
    bool WaitForInput(int ms);

    // Where the current port number lives on this system.
    QString DevicePath() const;
    // "COM3", or the device path when one was given.
    QString PortLabel() const;
    // A device named by its path rather than by a port number; empty goes back to the number.
    void SetDevicePath(const QString &path) { devicePath_ = path; }

    // How many times any control has tried to open a port in this process (for checking that
    // something opens nothing).
    static int OpenAttempts();

private:
    void RequireOpen(int number) const;
    // Pulls what the device has into the receive buffer, waiting up to `ms`.
    bool Pump(int ms);
    [[noreturn]] void FailDevice(int number, const QString &what);
    void OnPortError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    int commPort_ = 1;
    QString devicePath_;
    QString settings_ = QStringLiteral("9600,n,8,1");
    int inputLen_ = 0;
    int inputMode_ = 0;
    int rThreshold_ = 0;
};

}  // namespace kv306
