#include "link/program_files.h"

#include "link/port_file.h"

#include <QDir>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kv306 {

namespace {

QString Beside(const QString &appDir, const QString &name)
{
    return appDir + QLatin1Char('/') + name;
}

}  // namespace

bool IsPortable(const QString &appDir)
{
#ifdef Q_OS_WIN
    return QFileInfo(appDir).isWritable();
#else
    return ::faccessat(AT_FDCWD, QFile::encodeName(appDir).constData(), W_OK | X_OK, AT_EACCESS) == 0;
#endif
}

QString UserConfigDir()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/kv306");
}

QSettings UserSettings()
{
    return QSettings(UserConfigDir() + QStringLiteral("/kv306.conf"), QSettings::IniFormat);
}

QString PortFileToRead(const QString &appDir)
{
    const QString beside = Beside(appDir, QLatin1String(kPortFileName));
    if (IsPortable(appDir))
        return beside;
    const QString own = Beside(UserConfigDir(), QLatin1String(kPortFileName));
    return QFileInfo::exists(own) || !QFileInfo(beside).isReadable() ? own : beside;
}

QString PortFileToWrite(const QString &appDir)
{
    return Beside(IsPortable(appDir) ? appDir : UserConfigDir(), QLatin1String(kPortFileName));
}

QString HelpFilePath(const QString &appDir, const QString &name)
{
    const QString beside = Beside(appDir, name);
    if (IsPortable(appDir))
        return beside;
    const QString installed = QDir::cleanPath(appDir + QStringLiteral("/../share/kv306/") + name);
    return QFileInfo::exists(installed) ? installed : beside;
}

}  // namespace kv306
