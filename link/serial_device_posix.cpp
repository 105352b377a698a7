#include "link/serial_device.h"

#include <QFileInfo>
#include <QObject>
#include <QSerialPort>

#include <sys/file.h>

namespace kv306 {

namespace {

bool IsDeviceFault(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ReadError || error == QSerialPort::WriteError ||
           error == QSerialPort::ResourceError;
}

// What a fault on an open port says. A terminal that hung up (an adapter pulled, the far end of a
// pseudo-terminal closed) reads to the system as "Inappropriate ioctl for device" or an
// input/output error, which says nothing to an operator.
QString FaultText(const QSerialPort &port)
{
    const QString said = port.errorString();
    if (port.error() == QSerialPort::ResourceError || said.contains(QLatin1String("Inappropriate ioctl")) ||
        said.contains(QLatin1String("Input/output error")))
        return QStringLiteral("the device went away (%1)").arg(said);
    return said;
}

bool Apply(QSerialPort &port, const LineSettings &line)
{
    const QSerialPort::Parity parity = line.parity == 'e'   ? QSerialPort::EvenParity
                                       : line.parity == 'o' ? QSerialPort::OddParity
                                       : line.parity == 'm' ? QSerialPort::MarkParity
                                       : line.parity == 's' ? QSerialPort::SpaceParity
                                                            : QSerialPort::NoParity;
    const QSerialPort::StopBits stop = line.stopBits == 2    ? QSerialPort::TwoStop
                                       : line.stopBits == 15 ? QSerialPort::OneAndHalfStop
                                                             : QSerialPort::OneStop;
    return port.setBaudRate(line.baud) && port.setParity(parity) &&
           port.setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits)) && port.setStopBits(stop) &&
           port.setFlowControl(QSerialPort::NoFlowControl);
}

}  // namespace

struct SerialDevice::System {
    QSerialPort port;
    QMetaObject::Connection onError;
};

SerialDevice::SerialDevice() : system_(std::make_unique<System>())
{
    // A pulled adapter makes Qt read end-of-file over and over while the port stays open: close
    // it on the first fault, so that nothing spins and the next access finds it closed.
    system_->onError = QObject::connect(&system_->port, &QSerialPort::errorOccurred, [this](auto error) {
        if (IsDeviceFault(error) && system_->port.isOpen()) {
            error_ = FaultText(system_->port);
            faulted_ = true;
            system_->port.close();
        }
    });
}

SerialDevice::~SerialDevice()
{
    QObject::disconnect(system_->onError);
    Close();
}

bool SerialDevice::Open(const QString &path)
{
    QSerialPort &port = system_->port;
    faulted_ = false;
    // Qt takes a name without a leading slash as one under /dev ("pts/9" as /dev/pts/9); here a
    // relative path is the path from the current folder, as everywhere else.
    port.setPortName(QFileInfo(path).absoluteFilePath());
    if (!Apply(port, line_) || !port.open(QIODevice::ReadWrite)) {
        error_ = port.errorString();
        switch (port.error()) {
        case QSerialPort::DeviceNotFoundError: openFailure_ = OpenFailure::Missing; break;
        case QSerialPort::PermissionError: openFailure_ = OpenFailure::Held; break;  // Qt's lock too
        case QSerialPort::UnsupportedOperationError: openFailure_ = OpenFailure::Settings; break;
        default: openFailure_ = OpenFailure::Other; break;
        }
        return false;
    }
    // Qt's lock file is named after the path and its exclusive mode does not bind root; a lock
    // on the device itself catches another program on any path to the same terminal.
    if (::flock(static_cast<int>(port.handle()), LOCK_EX | LOCK_NB) != 0) {
        port.close();
        error_.clear();
        openFailure_ = OpenFailure::Locked;
        return false;
    }
    return true;
}

void SerialDevice::Close()
{
    if (system_->port.isOpen())
        system_->port.close();
}

bool SerialDevice::IsOpen() const
{
    return system_->port.isOpen();
}

bool SerialDevice::SetLine(const LineSettings &line)
{
    line_ = line;
    if (Apply(system_->port, line))
        return true;
    error_ = system_->port.errorString();
    Close();
    return false;
}

bool SerialDevice::Pump(int ms)
{
    QSerialPort &port = system_->port;
    if (port.waitForReadyRead(ms))
        return true;
    const QSerialPort::SerialPortError error = port.error();
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) {
        port.clearError();
        return false;
    }
    return Fail();
}

bool SerialDevice::Fail()
{
    // The first fault's account is kept: closing may add another.
    if (!faulted_) {
        error_ = FaultText(system_->port);
        faulted_ = true;
    }
    Close();
    return false;
}

qint64 SerialDevice::Waiting() const
{
    return system_->port.bytesAvailable();
}

QByteArray SerialDevice::Take(qint64 max)
{
    return max > 0 ? system_->port.read(max) : system_->port.readAll();
}

void SerialDevice::DiscardInput()
{
    system_->port.clear(QSerialPort::Input);
}

bool SerialDevice::Write(const QByteArray &bytes)
{
    QSerialPort &port = system_->port;
    const bool written = port.write(bytes) == bytes.size();
    if (written)
        port.flush();
    if (written && port.isOpen() && !IsDeviceFault(port.error()))
        return true;
    return Fail();
}

qintptr SerialDevice::Handle() const
{
    return system_->port.handle();
}

}  // namespace kv306
