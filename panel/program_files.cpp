#include "panel/program_files.h"

#include "link/port_file.h"
#include "link/texts.h"

#include <QDir>
#include <QFileInfo>

namespace kv306 {

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

QString HelpFilePath(const QString &appDir, const QString &name)
{
    const QString beside = appDir + QLatin1Char('/') + name;
    if (IsPortable(appDir))
        return beside;
    const QString installed = QDir::cleanPath(appDir + QStringLiteral("/../share/kv306/") + name);
    return QFileInfo::exists(installed) ? installed : beside;
}

}  // namespace kv306
