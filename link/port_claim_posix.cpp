#include "link/port_claim.h"

#include "link/port_access.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

bool PortClaim::Take(const QString &key, QString *holder)
{
    if (key == key_ && system_->fd >= 0)
        return true;
    Release();
    const QString file = ClaimFolder() + QStringLiteral("/kv306-station.") + key + QStringLiteral(".lock");
    // Read-only is enough to lock, and opens a claim file that another user made.
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *holder = QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        *holder = PortHolder(file);
        return false;
    }
    system_->fd = fd;
    system_->file = file;
    key_ = key;
    return true;
}

void PortClaim::Release()
{
    if (system_->fd >= 0)
        ::close(system_->fd);
    system_->fd = -1;
    key_.clear();
}

}  // namespace kv306
