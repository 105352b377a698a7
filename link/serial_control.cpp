#include "link/serial_control.h"

#include "link/comm_error.h"
#include "link/port_access.h"
#include "link/port_map.h"
#include "link/texts.h"

#include <QRegularExpression>

#include <atomic>

#ifndef Q_OS_WIN
#include <sys/file.h>
#endif

namespace kv306 {

namespace {

constexpr int kLastPortNumber = 255;

std::atomic<int> openAttempts{0};

int OpenFailureNumber(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError: return ErrorNo::NoSuchPort;
    case QSerialPort::PermissionError:  // Qt's own lock, or the device taken exclusively
        return ErrorNo::PortInUse;
    case QSerialPort::UnsupportedOperationError:  // the line settings
        return ErrorNo::BadCommState;
    default: return ErrorNo::HardwareUnavailable;
    }
}

bool IsDeviceFault(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
           error == QSerialPort::ResourceError;
}

}  // namespace

SerialControl::SerialControl(QObject *parent) : QObject(parent)
{
    // A pulled adapter makes Qt read end-of-file over and over while the port stays open;
    // close it on the first fault so that nothing spins and the next access says "not open".
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialControl::OnPortError);
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        if (rThreshold_ > 0 && port_.bytesAvailable() >= rThreshold_)
            emit Received();
    });
}

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
    comm.SetSettings(QStringLiteral("9600") + QStringLiteral(",n,8,1"));
    comm.SetInputLen(0);
    comm.SetInputMode(SerialControl::kInputBinary);
    comm.SetRThreshold(1);
}

SerialControl::~SerialControl()
{
    if (port_.isOpen())
        port_.close();
}

void SerialControl::OnPortError(QSerialPort::SerialPortError error)
{
    if (IsDeviceFault(error) && port_.isOpen())
        port_.close();
}

void SerialControl::SetCommPort(int number)
{
    if (port_.isOpen())
        throw CommError(ErrorNo::PortOpened,
                        QStringLiteral("CommPort %1 set while COM%2 is open").arg(number).arg(commPort_));
    if (number < 1 || number > kLastPortNumber)
        throw CommError(ErrorNo::NoSuchPort, QStringLiteral("no port number %1").arg(number));
    commPort_ = number;
}

void SerialControl::SetSettings(const QString &settings)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{2,7}),([neoms]),([5-8]),(1|1\\.5|2)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(settings);
    if (!m.hasMatch())
        throw CommError(ErrorNo::InvalidValue, QStringLiteral("settings \"%1\"").arg(settings));
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (m.captured(2).toLower().at(0).unicode()) {
    case 'e': parity = QSerialPort::EvenParity; break;
    case 'o': parity = QSerialPort::OddParity; break;
    case 'm': parity = QSerialPort::MarkParity; break;
    case 's': parity = QSerialPort::SpaceParity; break;
    default: break;
    }
    const QString stop = m.captured(4);
    const QSerialPort::StopBits stopBits = stop == QLatin1String("2")     ? QSerialPort::TwoStop
                                           : stop == QLatin1String("1.5") ? QSerialPort::OneAndHalfStop
                                                                          : QSerialPort::OneStop;
    // The port holds them while closed and takes them on when it opens. Line signals are left
    // alone: a pseudo-terminal refuses them, and the unit needs none.
    if (!port_.setBaudRate(m.captured(1).toInt()) || !port_.setParity(parity) ||
        !port_.setDataBits(static_cast<QSerialPort::DataBits>(m.captured(3).toInt())) ||
        !port_.setStopBits(stopBits) || !port_.setFlowControl(QSerialPort::NoFlowControl)) {
        const QString reason = port_.errorString();
        if (port_.isOpen())
            port_.close();
        throw CommError(ErrorNo::BadCommState,
                        QStringLiteral("settings %1 on %2: %3").arg(settings, port_.portName(), reason));
    }
    settings_ = settings;
}

QString SerialControl::DevicePath() const
{
    return devicePath_.isEmpty() ? DevicePathForPort(commPort_) : devicePath_;
}

void SerialControl::SetPortOpen(bool open)
{
    if (!open) {
        if (port_.isOpen())
            port_.close();
        return;
    }
    if (port_.isOpen())
        throw CommError(ErrorNo::PortInUse, QStringLiteral("%1 is already open").arg(PortLabel()));
    const QString path = DevicePath();
    if (path.isEmpty())
        throw CommError(ErrorNo::NoSuchPort, QStringLiteral("%1 has no device").arg(PortLabel()));
    port_.setPortName(path);
    ++openAttempts;
    if (!port_.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port_.error();
        const QString reason = QStringLiteral("open %1: %2").arg(path, port_.errorString());
        // Qt says "permission" for a held port too; the device's mode and owner tell them apart.
        if (const std::optional<Refusal> refusal = PermissionRefusal(path))
            throw CommError(ErrorNo::PermissionDenied, reason, PermissionMessage(*refusal));
        // A folder, a plain file or /dev/null behind the name is no port that is busy.
        if (const std::optional<QString> cause = NotSerialCause(path))
            throw CommError(ErrorNo::NotSerialDevice, reason,
                            Tx::tr("%1 不是串口设备：%2").arg(PortLabel(), *cause));
        throw CommError(OpenFailureNumber(error), reason);
    }
#ifndef Q_OS_WIN
    // Qt's lock file is named after the path and exclusive mode does not bind root; a lock on
    // the device itself catches another program on any path to the same terminal.
    if (::flock(static_cast<int>(port_.handle()), LOCK_EX | LOCK_NB) != 0) {
        port_.close();
        throw CommError(ErrorNo::PortInUse, QStringLiteral("open %1: held by another program").arg(path));
    }
#endif
    // As on a real line, nothing received while the port was closed is kept.
    port_.clear(QSerialPort::Input);
}

QString SerialControl::PortLabel() const
{
    return devicePath_.isEmpty() ? PortNameOfNumber(commPort_) : devicePath_;
}

int SerialControl::OpenAttempts()
{
    return openAttempts;
}

void SerialControl::RequireOpen(int number) const
{
    if (!port_.isOpen())
        throw CommError(number, QStringLiteral("%1 is not open").arg(PortLabel()));
}

void SerialControl::FailDevice(int number, const QString &what)
{
    const QString reason = QStringLiteral("%1 %2: %3").arg(what, PortLabel(), port_.errorString());
    if (port_.isOpen())
        port_.close();
    throw CommError(number, reason);
}

bool SerialControl::Pump(int ms)
{
    RequireOpen(ErrorNo::PortNotOpenRead);
    if (port_.waitForReadyRead(ms))
        return true;
    const QSerialPort::SerialPortError error = port_.error();
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) {
        port_.clearError();
        return false;
    }
    FailDevice(ErrorNo::ReadFailed, QStringLiteral("read"));
}

int SerialControl::InBufferCount()
{
    Pump(0);
    return static_cast<int>(port_.bytesAvailable());
}

void SerialControl::SetInBufferCount(int count)
{
    if (count != 0)
        throw CommError(ErrorNo::InvalidValue, QStringLiteral("InBufferCount %1").arg(count));
    RequireOpen(ErrorNo::PortNotOpenRead);
    port_.clear(QSerialPort::Input);
}

Bytes SerialControl::Input()
{
    Pump(0);
    const QByteArray data = inputLen_ > 0 ? port_.read(inputLen_) : port_.readAll();
    return Bytes(data.begin(), data.end());
}

void SerialControl::Output(const Bytes &bytes)
{
    RequireOpen(ErrorNo::PortNotOpen);
    const auto size = static_cast<qint64>(bytes.size());
    if (port_.write(reinterpret_cast<const char *>(bytes.data()), size) != size)
        FailDevice(ErrorNo::DeviceBusy, QStringLiteral("write"));
    port_.flush();
    if (!port_.isOpen() || IsDeviceFault(port_.error()))
        FailDevice(ErrorNo::DeviceBusy, QStringLiteral("write"));
}

bool SerialControl::WaitForInput(int ms)
{
    return Pump(ms);
}

}  // namespace kv306
