#include "link/system.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace kv306 {

std::optional<QString> SystemPortName(int)
{
    return std::nullopt;
}

bool MayCreateFilesIn(const QString &folder)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

QString SystemSettingsRoot()
{
    return {};
}

std::optional<QString> MissingDisplay(const QStringList &arguments)
{
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const qsizetype given = arguments.indexOf(QStringLiteral("-platform"));
    if (given >= 0 && given + 1 < arguments.size())
        platform = arguments[given + 1];
    platform = platform.section(QLatin1Char(':'), 0, 0);
    // Platforms that draw on a display of their own, or on none.
    if (!platform.isEmpty() && platform != QLatin1String("xcb") && platform != QLatin1String("wayland"))
        return std::nullopt;
    const QString display = qEnvironmentVariable("DISPLAY");
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && platform != QLatin1String("xcb"))
        return std::nullopt;
    if (display.isEmpty())
        return QStringLiteral("DISPLAY is not set");
    // A local X display ":N" listens on its socket in /tmp/.X11-unix.
    if (display.startsWith(QLatin1Char(':'))) {
        const QString number = display.mid(1).section(QLatin1Char('.'), 0, 0);
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X") + number))
            return QStringLiteral("nothing serves the display %1").arg(display);
    }
    return std::nullopt;
}

FineTimer::FineTimer() = default;
FineTimer::~FineTimer() = default;

}  // namespace kv306
