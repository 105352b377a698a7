#include "link/port_file.h"

#include "link/comm_error.h"
#include "link/port_map.h"
#include "link/texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kv306 {

namespace {

// More than any port name needs; a huge or binary file is not read whole.
constexpr qint64 kReadLimit = 256;

QString Beside(const QString &appDir, const QString &name)
{
    return appDir + QLatin1Char('/') + name;
}

}  // namespace

std::optional<QString> ParsePortFile(const QByteArray &content)
{
    qsizetype i = 0;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t'))
        ++i;
    QByteArray field;
    if (i < content.size() && content[i] == '"') {
        const qsizetype close = content.indexOf('"', i + 1);
        if (close < 0)
            return std::nullopt;
        field = content.mid(i + 1, close - i - 1);
    } else {
        qsizetype end = i;
        while (end < content.size() && content[end] != ',' && content[end] != '\r' && content[end] != '\n')
            ++end;
        field = content.mid(i, end - i).trimmed();
    }
    // The number is the decimal one that starts at the name's fourth character: "COM05" and
    // "COM5 " both remember port 5.
    if (!field.startsWith("COM"))
        return std::nullopt;
    qsizetype d = 3;
    while (d < field.size() && (field[d] == ' ' || field[d] == '\t'))
        ++d;
    int number = 0;
    bool any = false;
    for (; d < field.size() && field[d] >= '0' && field[d] <= '9'; ++d) {
        any = true;
        number = number * 10 + (field[d] - '0');
        if (number > kLastPort)
            return std::nullopt;
    }
    if (!any || number < kFirstPort)
        return std::nullopt;
    return PortNameOfNumber(number);
}

std::optional<QString> ReadPortFile(const QString &path)
{
    // Only a plain file: opening a pipe of that name would wait for a writer for ever.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ParsePortFile(file.read(kReadLimit));
}

void WritePortFile(const QString &path, const QString &name)
{
    // Written aside and renamed over the old file, so a failed write never loses the port
    // remembered before; where the directory refuses new files, the file is written in place.
    // The user's configuration folder may not be there yet.
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    const QByteArray line = '"' + name.toLatin1() + "\"\r\n";
    if (!file.open(QIODevice::WriteOnly) || file.write(line) != line.size() || !file.commit()) {
        const QString shown = QDir::toNativeSeparators(path);
        throw CommError(ErrorNo::PathFileAccess, QStringLiteral("write %1: %2").arg(path, file.errorString()),
                        QFileInfo(path).isDir()
                            ? Tx::tr("无法记住所选串口：%1 是一个文件夹，不是文件。").arg(shown)
                            : Tx::tr("无法记住所选串口：%1 写不进去（%2）。").arg(shown, file.errorString()));
    }
}

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
#ifdef Q_OS_WIN
    // The user's roaming application data, as Windows programs keep their settings.
    const QString appData = qEnvironmentVariable("APPDATA");
    if (!appData.isEmpty())
        return QDir::fromNativeSeparators(appData) + QStringLiteral("/kv306");
#endif
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/kv306");
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

}  // namespace kv306
