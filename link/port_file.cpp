#include "link/port_file.h"

#include "link/comm_error.h"
#include "link/network_port.h"
#include "link/output_file.h"
#include "link/port_map.h"
#include "link/system.h"
#include "link/texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <filesystem>

namespace kv306 {

namespace {

// More than any port name needs; a huge or binary file is not read whole.
constexpr qint64 kReadLimit = 256;

QString Beside(const QString &appDir, const QString &name)
{
    return appDir + QLatin1Char('/') + name;
}

}  // namespace

namespace {

// Notepad saves with a byte-order mark (UTF-8) or in UTF-16; a port name is plain ASCII either way.
QByteArray PlainText(const QByteArray &content)
{
    if (content.startsWith("\xEF\xBB\xBF"))
        return content.mid(3);
    const bool little = content.startsWith("\xFF\xFE");
    if (little || content.startsWith("\xFE\xFF")) {
        QStringDecoder decode(little ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return QString(decode(content.mid(2))).toLatin1();
    }
    return content;
}

// A field a message may quote: printable ASCII, not too long.
bool Quotable(const QByteArray &field)
{
    return std::all_of(field.begin(), field.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

QString Shown(const QByteArray &field)
{
    return field.size() > 24 ? QString::fromLatin1(field.left(24)) + QStringLiteral("…")
                             : QString::fromLatin1(field);
}

}  // namespace

Checked<QString> ParsePortFile(const QByteArray &raw)
{
    const auto refuse = &Checked<QString>::Refused;
    const QByteArray content = PlainText(raw);
    if (content.trimmed().isEmpty())
        return refuse(Tx::tr("文件是空的"));
    qsizetype i = 0;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t'))
        ++i;
    QByteArray field;
    if (i < content.size() && content[i] == '"') {
        const qsizetype close = content.indexOf('"', i + 1);
        if (close < 0)
            return refuse(Tx::tr("引号没有配对"));
        field = content.mid(i + 1, close - i - 1);
    } else {
        qsizetype end = i;
        while (end < content.size() && content[end] != ',' && content[end] != '\r' && content[end] != '\n')
            ++end;
        field = content.mid(i, end - i).trimmed();
    }
    // The number is the decimal one that starts at the name's fourth character: "COM05" and
    // "COM5 " both remember port 5. Windows writes its port names in any case.
    if (!Quotable(field))
        return refuse(Tx::tr("它的内容不是文本"));
    // A port behind a serial device server, as a pick of one is remembered.
    if (LooksLikeNetworkPort(QString::fromLatin1(field))) {
        const Checked<NetworkPort> network = ParseNetworkPort(QString::fromLatin1(field));
        return network ? Checked<QString>(network->Name()) : refuse(network.reason);
    }
    const QString notAPort = Tx::tr("“%1”不是串口名（应为 COM1 到 COM20）").arg(Shown(field));
    if (field.left(3).toUpper() != "COM")
        return refuse(notAPort);
    qsizetype d = 3;
    while (d < field.size() && (field[d] == ' ' || field[d] == '\t'))
        ++d;
    int number = 0;
    bool any = false;
    for (; d < field.size() && field[d] >= '0' && field[d] <= '9'; ++d) {
        any = true;
        number = std::min(number * 10 + (field[d] - '0'), 1000);
    }
    if (!any)
        return refuse(notAPort);
    if (number < kFirstPort || number > kLastPort)
        return refuse(Tx::tr("“%1”不在 COM1 到 COM20 之内").arg(Shown(field)));
    return PortNameOfNumber(number);
}

RememberedPort ReadRememberedPort(const QString &path)
{
    RememberedPort port;
    port.path = path;
    const QFileInfo info(path);
    port.exists = info.exists() || info.isSymLink();
    if (!port.exists)
        return port;
    // Only a plain file: opening a pipe of that name would wait for a writer for ever.
    if (!info.isFile()) {
        port.problem = info.isDir() ? Tx::tr("它是一个文件夹，不是文件")
                       : info.isSymLink() && !info.exists()
                           ? Tx::tr("它是指向 %1 的符号链接，那里什么也没有").arg(info.symLinkTarget())
                           : Tx::tr("它不是普通文件");
        return port;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        port.problem = Tx::tr("无法读取（%1）").arg(file.errorString());
        return port;
    }
    const Checked<QString> name = ParsePortFile(file.read(kReadLimit));
    port.name = name.value;
    port.problem = name.reason;
    return port;
}

std::optional<QString> ReadPortFile(const QString &path)
{
    return ReadRememberedPort(path).name;
}

void WritePortFile(const QString &path, const QString &name)
{
    const QString shown = QDir::toNativeSeparators(path);
    const auto refuse = [&path](const QString &reason, const QString &message) {
        throw CommError(ErrorNo::PathFileAccess, QStringLiteral("write %1: %2").arg(path, reason), message);
    };
    const QFileInfo info(path);
    // QSaveFile would write to whatever the link leads to.
    if (info.isSymLink())
        refuse(QStringLiteral("a symbolic link"),
               Tx::tr("无法记住所选串口：%1 是符号链接（指向 %2），不会写入它所指的文件。")
                   .arg(shown, QDir::toNativeSeparators(info.symLinkTarget())));
    // The user's configuration folder may not be there yet; when it cannot be made, the folder
    // and the system's cause are what the operator needs, not the file's "no such file".
    const QString folder = info.path();
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(folder.toStdU16String()), made);
    if (made)
        refuse(QString::fromStdString(made.message()),
               Tx::tr("无法记住所选串口：无法建立文件夹 %1（%2）。")
                   .arg(QDir::toNativeSeparators(folder), QString::fromStdString(made.message())));
    // Written whole, as every file the tool writes, so a failed write never loses the port
    // remembered before; where the directory refuses new files, the file is written in place.
    const QByteArray line = '"' + name.toLatin1() + "\"\r\n";
    if (const Done why = WriteWhole(path, line, true); !why)
        refuse(why.reason, info.isDir()
                               ? Tx::tr("无法记住所选串口：%1 是一个文件夹，不是文件。").arg(shown)
                               : Tx::tr("无法记住所选串口：%1 写不进去（%2）。").arg(shown, why.reason));
}

bool IsPortable(const QString &appDir)
{
    // An installed copy sits beside its data folder (/usr/bin and /usr/share/kv306): it never
    // writes beside itself, whoever runs it, root included, and leaves nothing there that would
    // outlive its removal.
    if (QFileInfo(appDir + QStringLiteral("/../share/kv306")).isDir())
        return false;
    return MayCreateFilesIn(appDir);
}

QString UserConfigDir()
{
    const QString systems = SystemSettingsRoot();
    if (!systems.isEmpty())
        return systems + QStringLiteral("/kv306");
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
    const QFileInfo besideInfo(beside);
    return QFileInfo::exists(own) || !(besideInfo.exists() || besideInfo.isSymLink()) ? own : beside;
}

QString PortFileToWrite(const QString &appDir)
{
    return Beside(IsPortable(appDir) ? appDir : UserConfigDir(), QLatin1String(kPortFileName));
}

}  // namespace kv306
