#include "link/output_file.h"

#include "link/texts.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv306 {

QString NotPlainFile(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return Tx::tr("%1 是一个文件夹").arg(path);
    if (S_ISFIFO(st.st_mode))
        return Tx::tr("%1 是命名管道").arg(path);
    if (S_ISSOCK(st.st_mode))
        return Tx::tr("%1 是套接字").arg(path);
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return Tx::tr("%1 是设备文件").arg(path);
    return Tx::tr("%1 不是普通文件").arg(path);
}

bool SameNode(const QString &a, const QString &b)
{
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

QString StandardStreamOnto(const QString &path)
{
    struct stat named {};
    if (::stat(QFile::encodeName(path).constData(), &named) != 0 || !S_ISREG(named.st_mode))
        return {};
    for (const auto &[fd, name] : {std::pair{1, "standard output"}, std::pair{2, "standard error"}}) {
        struct stat open {};
        if (::fstat(fd, &open) == 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino)
            return QString::fromLatin1(name);
    }
    return {};
}

Qt::CaseSensitivity FileNameCase()
{
    return Qt::CaseSensitive;
}

void ReopenClosedStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number: this one, as those below it are open.
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
}

struct AppendFile::System {
    int fd = -1;
};

AppendFile::AppendFile() : system_(std::make_unique<System>()) {}

// Here, where System is whole (a file compiled on its own would not know its size).
AppendFile::~AppendFile()
{
    Close();
}

Done AppendFile::Open(const QString &path)
{
    Close();
    path_ = path;
    // Not blocking: a pipe put there since the name was checked must not hold the caller.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        return Done::Refused(SystemReason(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Done::Refused(NotPlainFile(path));
    }
    system_->fd = fd;
    return Done::Ok();
}

void AppendFile::Close()
{
    if (system_->fd >= 0)
        ::close(system_->fd);
    system_->fd = -1;
}

bool AppendFile::IsOpen() const
{
    return system_->fd >= 0;
}

Done AppendFile::Lock()
{
    int failed = 0;
    do {
        failed = ::flock(system_->fd, LOCK_EX);
    } while (failed != 0 && errno == EINTR);
    return failed == 0 ? Done::Ok() : Done::Refused(SystemReason(errno));
}

void AppendFile::Unlock()
{
    ::flock(system_->fd, LOCK_UN);
}

bool AppendFile::StillThere() const
{
    struct stat open {};
    struct stat named {};
    return ::fstat(system_->fd, &open) == 0 && open.st_nlink > 0 &&
           ::stat(QFile::encodeName(path_).constData(), &named) == 0 && named.st_dev == open.st_dev &&
           named.st_ino == open.st_ino;
}

qint64 AppendFile::Size() const
{
    struct stat st {};
    return ::fstat(system_->fd, &st) == 0 ? static_cast<qint64>(st.st_size) : -1;
}

Checked<QByteArray> AppendFile::ReadFrom(qint64 offset) const
{
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n =
            ::pread(system_->fd, chunk, sizeof chunk, static_cast<off_t>(offset + bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            return Checked<QByteArray>::Refused(SystemReason(errno));
        }
        if (n == 0)
            return bytes;
        bytes.append(chunk, n);
    }
}

Done AppendFile::AppendWhole(const QByteArray &bytes)
{
    const qint64 before = Size();
    qsizetype done = 0;
    int failure = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(system_->fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failure = n < 0 ? errno : ENOSPC;
            break;
        }
        done += n;
    }
    // Made safe on the disk; a file system that cannot sync (a network share) has nothing more to do.
    if (failure == 0 && ::fsync(system_->fd) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS)
        failure = errno;
    if (failure == 0)
        return Done::Ok();
    // Whole or not at all: a part of a row would be counted as a row by the next reader.
    if (before >= 0 && done > 0)
        (void)!::ftruncate(system_->fd, static_cast<off_t>(before));
    return Done::Refused(SystemReason(failure));
}

}  // namespace kv306
