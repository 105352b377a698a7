#include "link/port_claim.h"

#include "link/port_access.h"

#include <QDir>
#include <QStringList>

#include <QFile>
#include <QFileInfo>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kv306 {

namespace {

// Where the claims live: the system's lock folder, where every user may write, else the
// temporary one. Every station picks the same.
QString ClaimFolder()
{
    for (const char *folder : {"/run/lock", "/var/lock"}) {
        if (::access(folder, W_OK | X_OK) == 0)
            return QString::fromLatin1(folder);
    }
    return QDir::tempPath();
}

}  // namespace

struct PortClaim::System {
    int fd = -1;
    QString file;
};

PortClaim::PortClaim() : system_(std::make_unique<System>()) {}

PortClaim::~PortClaim()
{
    Release();
}

QString PortClaim::SystemDeviceKey(const QString &devicePath)
{
    struct stat st {};
    if (devicePath.isEmpty() || ::stat(QFile::encodeName(devicePath).constData(), &st) != 0)
        return {};
    if (S_ISCHR(st.st_mode))
        return QStringLiteral("c%1.%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
    return QStringLiteral("f%1.%2").arg(st.st_dev).arg(st.st_ino);
}

namespace {

// Whether the address is one of this computer's own.
bool OwnAddress(const QString &address)
{
    if (address.startsWith(QLatin1String("127.")) || address == QLatin1String("::1"))
        return true;
    ifaddrs *all = nullptr;
    if (::getifaddrs(&all) != 0)
        return false;
    bool own = false;
    for (const ifaddrs *a = all; a && !own; a = a->ifa_next) {
        if (!a->ifa_addr || (a->ifa_addr->sa_family != AF_INET && a->ifa_addr->sa_family != AF_INET6))
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        const void *raw =
            a->ifa_addr->sa_family == AF_INET
                ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in *>(a->ifa_addr)->sin_addr)
                : static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 *>(a->ifa_addr)->sin6_addr);
        own = ::inet_ntop(a->ifa_addr->sa_family, raw, text, sizeof text) && address == QLatin1String(text);
    }
    ::freeifaddrs(all);
    return own;
}

// The inodes of the sockets listening on `port` (/proc/net/tcp and tcp6: state 0A).
QStringList ListeningSockets(quint16 port)
{
    QStringList inodes;
    const QString hexPort = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const char *table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() > 9 && f[1].endsWith(hexPort.toLatin1()) && f[3] == "0A")
                inodes << QString::fromLatin1(f[9]);
        }
    }
    return inodes;
}

}  // namespace

QString PortClaim::ServedDeviceKey(const QString &address, quint16 port)
{
    if (!OwnAddress(address))
        return {};
    const QStringList inodes = ListeningSockets(port);
    if (inodes.isEmpty())
        return {};
    QStringList wanted;
    for (const QString &inode : inodes)
        wanted << QStringLiteral("socket:[%1]").arg(inode);
    // The process that listens, then the terminal among what it holds open (past its standard
    // streams, which may be the terminal it was started from).
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!pid.front().isDigit())
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList entries = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        const auto listens = [&] {
            for (const QString &fd : entries) {
                char target[64] = {};
                if (::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target - 1) >
                        0 &&
                    wanted.contains(QString::fromLatin1(target)))
                    return true;
            }
            return false;
        };
        if (!listens())
            continue;
        for (const QString &fd : entries) {
            struct stat st {};
            if (fd.toInt() <= 2 || ::stat(QFile::encodeName(fds.filePath(fd)).constData(), &st) != 0 ||
                !S_ISCHR(st.st_mode))
                continue;
            const QString subsystem = QFileInfo(QStringLiteral("/sys/dev/char/%1:%2/subsystem")
                                                    .arg(major(st.st_rdev))
                                                    .arg(minor(st.st_rdev)))
                                          .symLinkTarget();
            // Pseudo-terminals (a simulated unit, a terminal server's) have no place in sysfs.
            const bool pty = major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
            if (subsystem.endsWith(QLatin1String("/tty")) || pty)
                return SystemDeviceKey(fds.filePath(fd));
        }
        return {};
    }
    return {};
}

Done PortClaim::Take(const QString &key)
{
    if (key == key_ && system_->fd >= 0)
        return Done::Ok();
    Release();
    const QString file = ClaimFolder() + QStringLiteral("/kv306-station.") + key + QStringLiteral(".lock");
    // Read-only is enough to lock, and opens a claim file that another user made.
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return HeldBy(QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno))));
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return HeldBy(PortHolder(file));
    }
    system_->fd = fd;
    system_->file = file;
    key_ = key;
    return Done::Ok();
}

void PortClaim::Release()
{
    if (system_->fd >= 0)
        ::close(system_->fd);
    system_->fd = -1;
    key_.clear();
}

}  // namespace kv306
