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
    // An installed copy sits beside its data folder (/usr/bin and /usr/share/kv306): it never
    // writes beside itself, whoever runs it, root included, and leaves nothing there that would
    // outlive its removal.
    if (QFileInfo(appDir + QStringLiteral("/../share/kv306")).isDir())
        return false;
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
    const QString path = UserConfigDir() + QStringLiteral("/kv306.conf");
    // Only a plain file that can be read: a pipe of that name would hold the window for ever,
    // and a folder or an unreadable file gives nothing. Such a file is left alone; the defaults
    // serve and what changes is not kept.
    const QFileInfo info(path);
    if (info.exists() && (!info.isFile() || !info.isReadable()))
        return QSettings(QStringLiteral("/dev/null/kv306.conf"), QSettings::IniFormat);
    return QSettings(path, QSettings::IniFormat);
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
