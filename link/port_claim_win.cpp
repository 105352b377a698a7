#include "link/port_claim.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace kv306 {

struct PortClaim::System {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

PortClaim::PortClaim() : system_(std::make_unique<System>()) {}

PortClaim::~PortClaim()
{
    Release();
}

QString PortClaim::ServedDeviceKey(const QString &, quint16)
{
    return {};
}

QString PortClaim::SystemDeviceKey(const QString &devicePath)
{
    // A port's name is its device on Windows ("COM3", "\\.\COM3").
    return QFileInfo(devicePath).fileName().toUpper();
}

Done PortClaim::Take(const QString &key)
{
    if (key == key_ && system_->handle != INVALID_HANDLE_VALUE)
        return Done::Ok();
    Release();
    const QString file = QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/kv306-station.") + key +
                                                  QStringLiteral(".lock"));
    HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t *>(file.utf16()), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return HeldBy(file);
    OVERLAPPED at{};
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        ::CloseHandle(h);
        return HeldBy(QString());  // Windows does not say who
    }
    system_->handle = h;
    key_ = key;
    return Done::Ok();
}

void PortClaim::Release()
{
    if (system_->handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(system_->handle);
    system_->handle = INVALID_HANDLE_VALUE;
    key_.clear();
}

}  // namespace kv306
