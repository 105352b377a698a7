#pragma once

#include <QString>

#include <stdexcept>
#include <string>

namespace kv306 {

// Numbers the operator sees for failures of the serial control and of the port file.
namespace ErrorNo {
constexpr int Overflow = 6;           // a value that does not fit a frame byte
constexpr int PermissionDenied = 70;  // the user may not open the port's device
constexpr int PathFileAccess = 75;    // the port file cannot be written
constexpr int InvalidValue = 380;     // a property given a value it does not take
constexpr int PortOpened = 8000;      // operation not valid while the port is open
constexpr int NoSuchPort = 8002;
constexpr int PortInUse = 8005;
constexpr int NotSerialDevice = 8006;  // the name leads to something that is no serial device
constexpr int HardwareUnavailable = 8010;
constexpr int BadCommState = 8015;
constexpr int PortNotOpen = 8012;       // writing to a closed port
constexpr int PortNotOpenRead = 8018;   // reading a closed port
constexpr int DeviceBusy = 8019;        // the device refused or lost a write
constexpr int ReadFailed = 8020;        // the device went away or failed while reading
constexpr int SecureConnection = 8030;  // a +tls port's TLS refused (the certificate, the server)
}  // namespace ErrorNo

// A numbered failure. The number is what the operator is shown; the reason is the system's
// own account of it, kept for whoever debugs ("open /tmp/p/COM3: No such file or directory").
// `message`, when given, is what the operator is shown instead of the number's own text (a refusal
// for permission names the device and the fix).
class CommError : public std::runtime_error {
public:
    CommError(int number, const QString &reason, const QString &message = {})
        : std::runtime_error(reason.toStdString()), number_(number), message_(message)
    {
    }
    int number() const { return number_; }
    const QString &message() const { return message_; }

private:
    int number_;
    QString message_;
};

// The text shown for an error number; empty for 0 (nothing to show).
QString CommErrorText(int number);
// The text shown for an error: its own message, else its number's.
QString CommErrorText(const CommError &error);

}  // namespace kv306
