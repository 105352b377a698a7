#include "link/system.h"

#include "link/port_map.h"
#include "link/system_win.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

// Needs windows.h first.
#include <timeapi.h>

namespace kv306 {

QString WindowsMessage(unsigned long code)
{
    wchar_t *text = nullptr;
    ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString message = text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(code);
    ::LocalFree(text);
    return message;
}

std::optional<QString> SystemPortName(int number)
{
    return PortNameOfNumber(number);
}

bool MayCreateFilesIn(const QString &folder)
{
    return QFileInfo(folder).isWritable();
}

QString SystemSettingsRoot()
{
    // The user's roaming application data, as Windows programs keep their settings.
    const QString appData = qEnvironmentVariable("APPDATA");
    return appData.isEmpty() ? QString() : QDir::fromNativeSeparators(appData);
}

// Windows wakes a sleeper on its timer's tick, 15.6 ms unless asked for 1 ms: the 5 ms after
// closing a port would last a whole tick.
std::optional<QString> MissingDisplay(const QStringList &)
{
    return std::nullopt;  // a Windows desktop is always there
}

FineTimer::FineTimer()
{
    ::timeBeginPeriod(1);
}

FineTimer::~FineTimer()
{
    ::timeEndPeriod(1);
}

}  // namespace kv306
