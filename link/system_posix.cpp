#include "link/system.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace kv306 {

std::optional<QString> SystemPortName(int)
{
    return std::nullopt;
}

bool MayCreateFilesIn(const QString &folder)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

QString SystemSettingsRoot()
{
    return {};
}

FineTimer::FineTimer() = default;
FineTimer::~FineTimer() = default;

}  // namespace kv306
