#include "link/serial_control.h"

#include "link/comm_error.h"
#include "link/network_port.h"
#include "link/port_access.h"
#include "link/port_map.h"
#include "link/texts.h"

#include <QRegularExpression>

#include <atomic>

namespace kv306 {

namespace {

constexpr int kLastPortNumber = 255;

std::atomic<int> openAttempts{0};

int OpenFailureNumber(SerialDevice::OpenFailure failure)
{
    switch (failure) {
    case SerialDevice::OpenFailure::Missing: return ErrorNo::NoSuchPort;
    case SerialDevice::OpenFailure::Held:
    case SerialDevice::OpenFailure::Locked: return ErrorNo::PortInUse;
    case SerialDevice::OpenFailure::Settings: return ErrorNo::BadCommState;
    case SerialDevice::OpenFailure::NotSerial: return ErrorNo::NotSerialDevice;
    case SerialDevice::OpenFailure::Other: break;
    }
    return ErrorNo::HardwareUnavailable;
}

}  // namespace

SerialControl::SerialControl(QObject *parent) : QObject(parent) {}

SerialControl::~SerialControl() = default;

void SerialControl::SetInputLen(int length)
{
    if (length < 0)
        throw CommError(ErrorNo::InvalidValue, QStringLiteral("InputLen %1").arg(length));
    inputLen_ = length;
}

void SerialControl::SetInputMode(int mode)
{
    if (mode != kInputBinary)
        throw CommError(ErrorNo::InvalidValue, QStringLiteral("InputMode %1").arg(mode));
}

void SerialControl::SetRThreshold(int threshold)
{
    if (threshold < 0)
        throw CommError(ErrorNo::InvalidValue, QStringLiteral("RThreshold %1").arg(threshold));
    rThreshold_ = threshold;
}

void SetUpLine(SerialControl &comm)
{
    comm.SetSettings(kUnitLine);
    comm.SetInputLen(0);
    comm.SetInputMode(SerialControl::kInputBinary);
    comm.SetRThreshold(1);
}

void SerialControl::SetCommPort(int number)
{
    if (device_->IsOpen())
        throw CommError(ErrorNo::PortOpened,
                        QStringLiteral("CommPort %1 set while %2 is open").arg(number).arg(PortLabel()));
    if (number < 1 || number > kLastPortNumber)
        throw CommError(ErrorNo::NoSuchPort, QStringLiteral("no port number %1").arg(number));
    port_ = PortRef::Com(number);
}

void SerialControl::SetSettings(const QString &settings)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{2,7}),([neoms]),([5-8]),(1|1\\.5|2)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(settings);
    if (!m.hasMatch())
        throw CommError(ErrorNo::InvalidValue, QStringLiteral("settings \"%1\"").arg(settings));
    const QString stop = m.captured(4);
    const LineSettings line{m.captured(1).toInt(), static_cast<char>(m.captured(2).toLower().at(0).unicode()),
                            m.captured(3).toInt(),
                            stop == QLatin1String("2")     ? 2
                            : stop == QLatin1String("1.5") ? 15
                                                           : 1};
    // The devices hold them while closed and take them on when they open.
    network_.SetLine(line);
    if (!serial_.SetLine(line))
        throw CommError(
            ErrorNo::BadCommState,
            QStringLiteral("settings %1 on %2: %3").arg(settings, PortLabel(), serial_.ErrorText()));
    settings_ = settings;
}

void SerialControl::SetPort(const PortRef &port)
{
    if (device_->IsOpen() && !(port == port_))
        throw CommError(ErrorNo::PortOpened,
                        QStringLiteral("port %1 set while %2 is open").arg(port.Label(), PortLabel()));
    port_ = port;
}

void SerialControl::SetPortOpen(bool open)
{
    if (!open) {
        device_->Close();
        return;
    }
    if (device_->IsOpen())
        throw CommError(ErrorNo::PortInUse, QStringLiteral("%1 is already open").arg(PortLabel()));
    const QString path = DevicePath();
    if (path.isEmpty())
        throw CommError(ErrorNo::NoSuchPort, QStringLiteral("%1 has no device").arg(PortLabel()));
    ++openAttempts;
    // A port behind a serial device server: the device says what went wrong itself.
    if (const std::optional<NetworkPort> server = port_.Server()) {
        device_ = &network_;
        if (!network_.Open(*server))
            throw network_.OpenError();
        return;
    }
    device_ = &serial_;
    if (!serial_.Open(path)) {
        // Another program on any path to the same terminal holds its lock on the device.
        if (serial_.LastOpenFailure() == SerialDevice::OpenFailure::Locked) {
            const QString holder = PortHolder(path);
            throw CommError(ErrorNo::PortInUse,
                            QStringLiteral("open %1: held by %2")
                                .arg(path, holder.isEmpty() ? QStringLiteral("another program") : holder));
        }
        const QString reason = QStringLiteral("open %1: %2").arg(path, serial_.ErrorText());
        // Qt says "permission" for a held port too; the device's mode and owner tell them apart.
        if (const std::optional<Refusal> refusal = PermissionRefusal(path))
            throw CommError(ErrorNo::PermissionDenied, reason, PermissionMessage(*refusal));
        // A folder, a plain file or /dev/null behind the name is no port that is busy; nor is
        // something that opened and then took no serial call.
        const int number = OpenFailureNumber(serial_.LastOpenFailure());
        std::optional<QString> cause = NotSerialCause(path);
        if (!cause && number == ErrorNo::NotSerialDevice)
            cause = Tx::tr("它不接受串口的设置（%1）").arg(serial_.ErrorText());
        if (cause)
            throw CommError(ErrorNo::NotSerialDevice, reason,
                            Tx::tr("%1 不是串口设备：%2").arg(PortLabel(), *cause));
        const QString holder = number == ErrorNo::PortInUse ? PortHolder(path) : QString();
        throw CommError(number, holder.isEmpty() ? reason : reason + QStringLiteral(", held by ") + holder);
    }
    // As on a real line, nothing received while the port was closed is kept.
    device_->DiscardInput();
}

int SerialControl::OpenAttempts()
{
    return openAttempts;
}

void SerialControl::RequireOpen(int number) const
{
    if (!device_->IsOpen())
        throw CommError(number, QStringLiteral("%1 is not open").arg(PortLabel()));
}

void SerialControl::FailDevice(int number, const QString &what)
{
    const QString reason = QStringLiteral("%1 %2: %3").arg(what, PortLabel(), device_->ErrorText());
    device_->Close();
    throw device_->Fault(number, reason);
}

bool SerialControl::Pump(int ms)
{
    RequireOpen(ErrorNo::PortNotOpenRead);
    if (device_->Pump(ms)) {
        NoteReceived();
        return true;
    }
    if (device_->Faulted())
        FailDevice(ErrorNo::ReadFailed, QStringLiteral("read"));
    return false;
}

void SerialControl::NoteReceived()
{
    if (rThreshold_ > 0 && device_->Waiting() >= rThreshold_)
        emit Received();
}

int SerialControl::InBufferCount()
{
    Pump(0);
    return static_cast<int>(device_->Waiting());
}

void SerialControl::SetInBufferCount(int count)
{
    if (count != 0)
        throw CommError(ErrorNo::InvalidValue, QStringLiteral("InBufferCount %1").arg(count));
    RequireOpen(ErrorNo::PortNotOpenRead);
    device_->DiscardInput();
    // A server that closed the connection meanwhile (one that serves another client) is news.
    if (device_->Faulted())
        FailDevice(ErrorNo::ReadFailed, QStringLiteral("read"));
}

Bytes SerialControl::Input()
{
    Pump(0);
    const QByteArray data = device_->Take(inputLen_);
    return Bytes(data.begin(), data.end());
}

void SerialControl::Output(const Bytes &bytes)
{
    RequireOpen(ErrorNo::PortNotOpen);
    const QByteArray data(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    if (!device_->Write(data))
        FailDevice(ErrorNo::DeviceBusy, QStringLiteral("write"));
}

bool SerialControl::WaitForInput(int ms)
{
    return Pump(ms);
}

}  // namespace kv306
