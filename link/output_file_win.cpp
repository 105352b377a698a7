#include "link/output_file.h"

#include "link/texts.h"

#include <QFileInfo>

#include "link/system_win.h"

#include <windows.h>

namespace kv306 {

namespace {

const wchar_t *Wide(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

// The volume and the file's number: what makes a file the same whatever its name.
bool FileId(HANDLE handle, BY_HANDLE_FILE_INFORMATION *info)
{
    return handle != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(handle, info) != 0;
}

bool NamedFileId(const QString &path, BY_HANDLE_FILE_INFORMATION *info)
{
    const QString native = QFileInfo(path).absoluteFilePath().replace(QLatin1Char('/'), QLatin1Char('\\'));
    HANDLE h = ::CreateFileW(Wide(native), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool known = FileId(h, info);
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
    return known;
}

bool SameId(const BY_HANDLE_FILE_INFORMATION &a, const BY_HANDLE_FILE_INFORMATION &b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Far past the end of any report: locking a byte there keeps the appenders in turn without
// keeping readers (a spreadsheet) from the rows.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

}  // namespace

QString NotPlainFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isFile())
        return {};
    if (info.isDir())
        return Tx::tr("%1 是一个文件夹").arg(path);
    return Tx::tr("%1 不是普通文件").arg(path);
}

bool SameNode(const QString &a, const QString &b)
{
    BY_HANDLE_FILE_INFORMATION ia{};
    BY_HANDLE_FILE_INFORMATION ib{};
    return NamedFileId(a, &ia) && NamedFileId(b, &ib) && SameId(ia, ib);
}

QString StandardStreamOnto(const QString &path)
{
    BY_HANDLE_FILE_INFORMATION named{};
    if (!NamedFileId(path, &named))
        return {};
    for (const auto &[which, name] :
         {std::pair{STD_OUTPUT_HANDLE, "standard output"}, std::pair{STD_ERROR_HANDLE, "standard error"}}) {
        BY_HANDLE_FILE_INFORMATION open{};
        if (FileId(::GetStdHandle(which), &open) && SameId(open, named))
            return QString::fromLatin1(name);
    }
    return {};
}

Qt::CaseSensitivity FileNameCase()
{
    return Qt::CaseInsensitive;
}

void ReopenClosedStandardStreams()
{
    // A Windows program's standard handles are no numbers a file could take.
}

struct AppendFile::System {
    HANDLE handle = INVALID_HANDLE_VALUE;
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
    const QString native = QFileInfo(path).absoluteFilePath().replace(QLatin1Char('/'), QLatin1Char('\\'));
    HANDLE h = ::CreateFileW(Wide(native), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return Done::Refused(WindowsMessage(::GetLastError()));
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return Done::Refused(Tx::tr("%1 不是普通文件").arg(path));
    }
    system_->handle = h;
    return Done::Ok();
}

void AppendFile::Close()
{
    if (system_->handle != INVALID_HANDLE_VALUE)
        ::CloseHandle(system_->handle);
    system_->handle = INVALID_HANDLE_VALUE;
}

bool AppendFile::IsOpen() const
{
    return system_->handle != INVALID_HANDLE_VALUE;
}

Done AppendFile::Lock()
{
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    if (::LockFileEx(system_->handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at))
        return Done::Ok();
    return Done::Refused(WindowsMessage(::GetLastError()));
}

void AppendFile::Unlock()
{
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    ::UnlockFileEx(system_->handle, 0, 1, 0, &at);
}

bool AppendFile::StillThere() const
{
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(system_->handle, FileStandardInfo, &standard, sizeof standard) ||
        standard.DeletePending)
        return false;
    BY_HANDLE_FILE_INFORMATION open{};
    BY_HANDLE_FILE_INFORMATION named{};
    return FileId(system_->handle, &open) && NamedFileId(path_, &named) && SameId(open, named);
}

qint64 AppendFile::Size() const
{
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(system_->handle, &size) ? static_cast<qint64>(size.QuadPart) : -1;
}

Checked<QByteArray> AppendFile::ReadFrom(qint64 offset) const
{
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        OVERLAPPED at{};
        const qint64 from = offset + bytes.size();
        at.Offset = static_cast<DWORD>(from & 0xFFFFFFFF);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        DWORD n = 0;
        if (!::ReadFile(system_->handle, chunk, sizeof chunk, &n, &at)) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_HANDLE_EOF)
                return bytes;
            return Checked<QByteArray>::Refused(WindowsMessage(code));
        }
        if (n == 0)
            return bytes;
        bytes.append(chunk, static_cast<qsizetype>(n));
    }
}

Done AppendFile::AppendWhole(const QByteArray &bytes)
{
    const qint64 before = Size();
    LARGE_INTEGER end{};
    end.QuadPart = before;
    DWORD failure = 0;
    qsizetype done = 0;
    if (before < 0 || !::SetFilePointerEx(system_->handle, end, nullptr, FILE_BEGIN))
        failure = ::GetLastError();
    while (failure == 0 && done < bytes.size()) {
        DWORD n = 0;
        if (!::WriteFile(system_->handle, bytes.constData() + done, static_cast<DWORD>(bytes.size() - done),
                         &n, nullptr)) {
            failure = ::GetLastError();
        } else if (n == 0) {
            failure = ERROR_DISK_FULL;
        }
        done += static_cast<qsizetype>(n);
    }
    if (failure == 0 && !::FlushFileBuffers(system_->handle))
        failure = ::GetLastError();
    if (failure == 0)
        return Done::Ok();
    // Whole or not at all: a part of a row would be counted as a row by the next reader.
    if (done > 0 && ::SetFilePointerEx(system_->handle, end, nullptr, FILE_BEGIN))
        ::SetEndOfFile(system_->handle);
    return Done::Refused(WindowsMessage(failure));
}

}  // namespace kv306
