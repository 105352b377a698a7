#include "link/serial_device.h"

#include "link/system_win.h"

#include <windows.h>

// Needs windows.h first.
#include <timeapi.h>

#include <algorithm>
#include <chrono>

namespace kv306 {

// The synchronous comm calls: waiting input is asked for with ClearCommError and read with
// ReadFile, which returns at once (ReadIntervalTimeout MAXDWORD). Between looks the thread sleeps
// a millisecond, so a wait costs next to no processor time; while a port is open the system's
// timer runs at 1 ms (timeBeginPeriod), or a sleep of 1 ms would last a 15.6 ms tick.
struct SerialDevice::System {
    HANDLE handle = INVALID_HANDLE_VALUE;
    QByteArray received;

    bool Apply(const LineSettings &line)
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle, &dcb))
            return false;
        dcb.BaudRate = static_cast<DWORD>(line.baud);
        dcb.ByteSize = static_cast<BYTE>(line.dataBits);
        dcb.Parity = line.parity == 'e'   ? EVENPARITY
                     : line.parity == 'o' ? ODDPARITY
                     : line.parity == 'm' ? MARKPARITY
                     : line.parity == 's' ? SPACEPARITY
                                          : NOPARITY;
        dcb.fParity = dcb.Parity != NOPARITY;
        dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : line.stopBits == 15 ? ONE5STOPBITS : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        return ::SetCommState(handle, &dcb) != 0;
    }
};

SerialDevice::SerialDevice() : system_(std::make_unique<System>()) {}

SerialDevice::~SerialDevice()
{
    Close();
}

bool SerialDevice::Open(const QString &path)
{
    faulted_ = false;
    // COM10 and above are reached only through the device namespace.
    const QString name = path.startsWith(QLatin1String("\\\\.\\")) ? path : QStringLiteral("\\\\.\\") + path;
    HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(name.utf16()),
                                  GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        error_ = WindowsMessage(code);
        openFailure_ = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND     ? OpenFailure::Missing
                       : code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ? OpenFailure::Held
                                                                                        : OpenFailure::Other;
        return false;
    }
    system_->handle = handle;
    ::timeBeginPeriod(1);
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 1000};
    if (!system_->Apply(line_) || !::SetCommTimeouts(handle, &timeouts)) {
        const DWORD code = ::GetLastError();
        error_ = WindowsMessage(code);
        // Under Wine a COM name left without a device opens, then takes no call at all; a file
        // mapped as a port (/dev/null) refuses the serial calls as a wrong handle.
        openFailure_ = code == ERROR_INVALID_FUNCTION                                ? OpenFailure::Missing
                       : code == ERROR_INVALID_HANDLE || code == ERROR_NOT_SUPPORTED ? OpenFailure::NotSerial
                                                                                     : OpenFailure::Settings;
        Close();
        return false;
    }
    DiscardInput();
    return true;
}

void SerialDevice::Close()
{
    if (system_->handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(system_->handle);
        system_->handle = INVALID_HANDLE_VALUE;
        ::timeEndPeriod(1);
    }
    system_->received.clear();
}

bool SerialDevice::IsOpen() const
{
    return system_->handle != INVALID_HANDLE_VALUE;
}

bool SerialDevice::SetLine(const LineSettings &line)
{
    line_ = line;
    if (!IsOpen() || system_->Apply(line))
        return true;
    error_ = WindowsMessage(::GetLastError());
    Close();
    return false;
}

bool SerialDevice::Pump(int ms)
{
    // The tick count moves in steps of the system timer (15.6 ms): a 3 ms wait for the line to
    // settle would last a whole step.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(system_->handle, &errors, &status))
            return Fail();
        if (status.cbInQue > 0) {
            const qsizetype had = system_->received.size();
            system_->received.resize(had + static_cast<qsizetype>(status.cbInQue));
            DWORD got = 0;
            if (!::ReadFile(system_->handle, system_->received.data() + had, status.cbInQue, &got, nullptr))
                return Fail();
            system_->received.resize(had + static_cast<qsizetype>(got));
            if (got > 0)
                return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::Sleep(1);
    }
}

qint64 SerialDevice::Waiting() const
{
    return system_->received.size();
}

QByteArray SerialDevice::Take(qint64 max)
{
    QByteArray &received = system_->received;
    const qsizetype n =
        max > 0 ? std::min<qsizetype>(static_cast<qsizetype>(max), received.size()) : received.size();
    QByteArray taken = received.left(n);
    received.remove(0, n);
    return taken;
}

void SerialDevice::DiscardInput()
{
    system_->received.clear();
    if (IsOpen())
        ::PurgeComm(system_->handle, PURGE_RXCLEAR);
}

bool SerialDevice::Write(const QByteArray &bytes)
{
    DWORD written = 0;
    if (::WriteFile(system_->handle, bytes.constData(), static_cast<DWORD>(bytes.size()), &written,
                    nullptr) &&
        written == static_cast<DWORD>(bytes.size()))
        return true;
    return Fail();
}

bool SerialDevice::Fail()
{
    error_ = WindowsMessage(::GetLastError());
    faulted_ = true;
    Close();
    return false;
}

qintptr SerialDevice::Handle() const
{
    return reinterpret_cast<qintptr>(system_->handle);
}

}  // namespace kv306
