#include "link/port_access.h"

#include "link/texts.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kv306 {

namespace {

QString ResolvedDevice(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

}  // namespace

std::optional<Refusal> PermissionRefusal(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return std::nullopt;  // missing, not refused
    // The effective ids decide an open, so ask with them.
    if (::faccessat(AT_FDCWD, native.constData(), R_OK | W_OK, AT_EACCESS) == 0 || errno != EACCES)
        return std::nullopt;
    Refusal refusal;
    refusal.device = ResolvedDevice(path);
    const struct group *g = ::getgrgid(st.st_gid);
    refusal.group = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(st.st_gid);
    refusal.groupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return refusal;
}

std::optional<QString> NotSerialCause(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        if (errno == ELOOP)
            return Tx::tr("%1 是循环的符号链接").arg(path);
        if (errno == ENOTDIR)
            return Tx::tr("%1 的路径中有一部分不是文件夹").arg(path);
        return std::nullopt;  // missing: the caller says so
    }
    const QString device = ResolvedDevice(path);
    if (S_ISDIR(st.st_mode))
        return Tx::tr("%1 是一个文件夹").arg(device);
    if (S_ISFIFO(st.st_mode))
        return Tx::tr("%1 是命名管道").arg(device);
    if (S_ISSOCK(st.st_mode))
        return Tx::tr("%1 是套接字").arg(device);
    if (S_ISREG(st.st_mode))
        return Tx::tr("%1 是一个普通文件").arg(device);
    if (!S_ISCHR(st.st_mode))
        return Tx::tr("%1 不是字符设备").arg(device);
    // The kernel files each device under its class; a terminal's is "tty" (pseudo-terminals are
    // not filed at all). Opening the device to ask would stir the lines of a port in use.
    const QString subsystem =
        QFileInfo(
            QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(major(st.st_rdev)).arg(minor(st.st_rdev)))
            .symLinkTarget();
    if (!subsystem.isEmpty() && QFileInfo(subsystem).fileName() != QLatin1String("tty"))
        return Tx::tr("%1 不是终端设备").arg(device);
    return std::nullopt;
}

QString EffectiveUserName()
{
    if (const struct passwd *pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    const QString name = qEnvironmentVariable("USER");
    return name.isEmpty() ? QStringLiteral("$USER") : name;
}

QString SystemDeviceBehind(const QString &path)
{
    return path.isEmpty() || !QFileInfo::exists(path) ? QString() : ResolvedDevice(path);
}

bool SystemNeverAnAdapter(const QString &device)
{
    return device.startsWith(QLatin1String("/dev/pts/"));
}

bool SystemPortNameThere(const QString &path)
{
    const QFileInfo entry(path);
    return !path.isEmpty() && (entry.exists() || entry.isSymLink());
}

QString PortHolder(const QString &path)
{
    // A serial program locks the device (flock, as this one does) or leaves a lock file with its
    // process number (/var/lock/LCK..ttyUSB0, as Qt's serial port and minicom do).
    struct stat st {};
    const QString device = ResolvedDevice(path);
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return {};
    QString pid;
    QFile locks(QStringLiteral("/proc/locks"));
    if (locks.open(QIODevice::ReadOnly)) {
        // "1: FLOCK  ADVISORY  WRITE 4242 00:1a:6 0 EOF": the holder and the file, as
        // major:minor:inode of the file system and the node.
        const QString node = QStringLiteral("%1:%2:%3")
                                 .arg(major(st.st_dev), 2, 16, QLatin1Char('0'))
                                 .arg(minor(st.st_dev), 2, 16, QLatin1Char('0'))
                                 .arg(st.st_ino);
        for (const QByteArray &line : locks.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 6 && QString::fromLatin1(fields[5]) == node) {
                pid = QString::fromLatin1(fields[4]);
                break;
            }
        }
    }
    if (pid.isEmpty()) {
        QFile lockFile(QStringLiteral("/var/lock/LCK..") + QFileInfo(device).fileName());
        if (lockFile.open(QIODevice::ReadOnly))
            pid = QString::fromLatin1(lockFile.read(64).trimmed());
    }
    bool number = false;
    if (pid.toLongLong(&number) <= 0 || !number)
        return {};
    if (pid.toLongLong() == ::getpid())
        return Tx::tr("本程序");
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name =
        comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : QString();
    return Tx::tr("%1（进程 %2）").arg(name.isEmpty() ? Tx::tr("一个程序") : name, pid);
}

}  // namespace kv306
