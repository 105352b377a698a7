#include "link/port_access.h"

#include "link/texts.h"

#include <QDir>

#include <windows.h>

namespace kv306 {

namespace {

// Whether the system has port `name` ("COM3"). A COM port is no file, and the system's own lists
// do not know a port that Wine maps, so the device is asked: an open without any access, which
// reads or writes nothing, and which a port another program holds refuses as denied. A name
// that opens as a device of no known kind has no port behind it (Wine keeps such names for the
// ports it is told to leave out).
bool PortThere(const QString &name)
{
    const QString device = QStringLiteral("\\\\.\\") + name;
    HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(device.utf16()), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        const DWORD type = ::GetFileType(handle);
        ::CloseHandle(handle);
        return type != FILE_TYPE_UNKNOWN;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

// The system's name for the device behind a port ("\\Device\\Serial2"), or empty.
QString DosDeviceOf(const QString &name)
{
    wchar_t target[512] = {};
    if (::QueryDosDeviceW(reinterpret_cast<const wchar_t *>(name.utf16()), target, 512) == 0)
        return {};
    return QString::fromWCharArray(target);
}

// Under Wine, the link in the prefix that a port name follows to a Unix file (Z:\...\dosdevices\com5);
// empty elsewhere.
QString WineDosDevicesEntry(const QString &name)
{
    static const bool underWine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (!underWine)
        return {};
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = qEnvironmentVariable("HOME") + QStringLiteral("/.wine");
    return QStringLiteral("Z:") + prefix + QStringLiteral("/dosdevices/") + name.toLower();
}

}  // namespace

std::optional<Refusal> PermissionRefusal(const QString &)
{
    return std::nullopt;  // Windows refuses no user a COM port by its rights
}

std::optional<QString> NotSerialCause(const QString &path)
{
    // Windows says "access denied" both for a port another program holds and, under Wine, for a
    // name mapped to a folder: the prefix's link tells them apart.
    // Wine shows its links as reparse points, which Qt would follow to a Unix path it cannot
    // read: the system's own attributes say what is there.
    const QString entry = QDir::toNativeSeparators(WineDosDevicesEntry(path));
    const DWORD attributes = entry.isEmpty()
                                 ? INVALID_FILE_ATTRIBUTES
                                 : ::GetFileAttributesW(reinterpret_cast<const wchar_t *>(entry.utf16()));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Tx::tr("%1 在 Wine 中指向一个文件夹").arg(path);
    return std::nullopt;
}

QString EffectiveUserName()
{
    const QString name = qEnvironmentVariable("USER");
    return name.isEmpty() ? QStringLiteral("$USER") : name;
}

QString SystemDeviceBehind(const QString &path)
{
    if (path.isEmpty() || !PortThere(path))
        return {};
    // The system's own device name: a port's name is no news in its own row.
    const QString device = DosDeviceOf(path);
    return device.isEmpty() ? path : device;
}

bool SystemNeverAnAdapter(const QString &)
{
    return false;
}

bool SystemPortNameThere(const QString &path)
{
    return !path.isEmpty() && PortThere(path);
}

QString PortHolder(const QString &)
{
    return {};  // Windows does not say who holds a port
}

}  // namespace kv306
