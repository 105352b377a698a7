#include "link/port_access.h"

#include "link/port_map.h"
#include "link/texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace kv306 {

namespace {

#ifndef Q_OS_WIN
QString ResolvedDevice(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}
#endif

#ifdef Q_OS_WIN
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
#endif

}  // namespace

std::optional<Refusal> PermissionRefusal(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return std::nullopt;
#else
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
#endif
}

std::optional<QString> NotSerialCause(const QString &path)
{
#ifdef Q_OS_WIN
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
#else
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
#endif
}

namespace {

// The effective user's login name.
QString CurrentUserName()
{
#ifndef Q_OS_WIN
    if (const struct passwd *pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    const QString name = qEnvironmentVariable("USER");
    return name.isEmpty() ? QStringLiteral("$USER") : name;
}

// The fix for the groups that may open their devices; the rest need an administrator.
QString Fix(const QList<Refusal> &refusals)
{
    QStringList groups;
    bool needAdmin = false;
    for (const Refusal &r : refusals) {
        if (!r.groupMayOpen)
            needAdmin = true;
        else if (!groups.contains(r.group))
            groups << r.group;
    }
    QString fix;
    if (!groups.isEmpty()) {
        const QString user = CurrentUserName();
        fix += Tx::tr("请把用户 %1 加入 %2 组：\nsudo usermod -aG %3 %1\n然后注销并重新登录。")
                   .arg(user, groups.join(Tx::tr("、")), groups.join(QLatin1Char(',')));
    }
    if (needAdmin) {
        if (!fix.isEmpty())
            fix += QLatin1Char('\n');
        fix += Tx::tr("设备的所属组也没有读写权限，请让管理员为它设置访问权限（udev 规则）。");
    }
    return fix;
}

}  // namespace

QString PermissionMessage(const Refusal &refusal)
{
    return Tx::tr("没有权限打开串口 %1（属于 %2 组）。").arg(refusal.device, refusal.group) +
           QLatin1Char('\n') + Fix({refusal});
}

QString PermissionStartupMessage(const QList<Refusal> &refusals)
{
    QString text = Tx::tr("找到串口，但当前用户没有权限打开：") + QLatin1Char('\n');
    for (qsizetype i = 0; i < refusals.size() && i < kLastPort; ++i)
        text += Tx::tr("%1（%2 组）").arg(refusals[i].device, refusals[i].group) + QLatin1Char('\n');
    return text + Fix(refusals) + QLatin1Char('\n') + Tx::tr("之后重新打开程序。");
}

QList<PortIdentity> IdentifyPorts(const QStringList &paths)
{
    QList<PortIdentity> identities;
    QList<QSerialPortInfo> adapters;
    bool asked = false;
    for (const QString &path : paths) {
        PortIdentity id;
#ifdef Q_OS_WIN
        // A port's name is its device; the system names its adapter.
        const bool there = !path.isEmpty() && PortThere(path);
#else
        const bool there = !path.isEmpty() && QFileInfo::exists(path);
#endif
        if (there) {
#ifdef Q_OS_WIN
            // The system's own device name: a port's name is no news in its own row.
            id.device = DosDeviceOf(path);
#else
            id.device = ResolvedDevice(path);
            // A pseudo-terminal is no adapter; asking the system costs some 15 ms.
            if (id.device.startsWith(QLatin1String("/dev/pts/"))) {
                identities << id;
                continue;
            }
#endif
            if (!asked) {
                adapters = QSerialPortInfo::availablePorts();
                asked = true;
            }
            QStringList parts;
            for (const QSerialPortInfo &info : std::as_const(adapters)) {
                if (info.systemLocation() != id.device && info.portName() != id.device &&
                    info.portName() != path)
                    continue;
                id.serial = info.serialNumber();
                for (const QString &part : {info.description(), info.manufacturer(), info.serialNumber()}) {
                    if (!part.isEmpty() && !parts.contains(part))
                        parts << part;
                }
                break;
            }
            id.adapter = parts.join(QStringLiteral(" · "));
        }
        identities << id;
    }
    return identities;
}

QString PortHolder(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return {};
#else
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
#endif
}

QStringList PortPresence()
{
    QStringList presence;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const QString path = DevicePathForPort(n);
#ifdef Q_OS_WIN
        presence << (PortThere(path) ? path : QString());
#else
        presence << (path.isEmpty() || !QFileInfo::exists(path) ? QString() : ResolvedDevice(path));
#endif
    }
    return presence;
}

}  // namespace kv306
