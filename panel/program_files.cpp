#include "panel/program_files.h"

#include "link/port_file.h"
#include "link/texts.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

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

namespace {

// What the thing at `path` is, when it is there and no plain file.
QString NotPlainFile(const QString &path)
{
#ifndef Q_OS_WIN
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return Tx::tr("%1 是一个文件夹").arg(path);
    if (S_ISFIFO(st.st_mode))
        return Tx::tr("%1 是命名管道").arg(path);
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return Tx::tr("%1 是设备文件").arg(path);
    return Tx::tr("%1 不是普通文件").arg(path);
#else
    const QFileInfo info(path);
    return info.exists() && !info.isFile() ? Tx::tr("%1 不是普通文件").arg(path) : QString();
#endif
}

}  // namespace

SaveTarget ChooseSaveTarget(const QString &chosen, const QString &suffix)
{
    SaveTarget target;
    const QFileInfo info(chosen);
    QString path = chosen;
    // A name that is there is written as it is: /dev/full is refused, not made /dev/full.json.
    if (!info.exists() && !info.isSymLink() && info.suffix().isEmpty() && !suffix.isEmpty()) {
        path += QLatin1Char('.') + suffix;
        target.suffixAdded = true;
    }
    const QFileInfo named(path);
    if (named.isSymLink()) {
        const QString leadsTo = named.symLinkTarget();
        if (!QFileInfo::exists(leadsTo)) {
            target.refusal = Tx::tr("%1 是指向 %2 的符号链接，那里什么也没有")
                                 .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(leadsTo));
            return target;
        }
        path = leadsTo;  // the link stays, what it leads to is written
    }
    target.refusal = NotPlainFile(path);
    if (target.refusal.isEmpty())
        target.path = path;
    return target;
}

std::optional<QString> SaveToTarget(const SaveTarget &target, const QByteArray &content)
{
    if (target.path.isEmpty())
        return target.refusal;
    QSaveFile file(target.path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return file.errorString();
    return std::nullopt;
}

}  // namespace kv306
