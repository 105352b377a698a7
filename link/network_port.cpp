#include "link/network_port.h"

#include "link/tcp_stream.h"
#include "link/texts.h"

#include <QFile>
#include <QFileInfo>

namespace kv306 {

namespace {

constexpr struct {
    const char *scheme;
    NetworkPort::Kind kind;
} kSchemes[] = {{"rfc2217://", NetworkPort::Kind::Rfc2217}, {"socket://", NetworkPort::Kind::Socket}};

// More than any network port's name needs: a large file in the ports folder is no such entry.
constexpr qint64 kEntryLimit = 512;

}  // namespace

QString NetworkPort::HostAndPort() const
{
    const bool v6 = host.contains(QLatin1Char(':'));
    return (v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') +
           QString::number(port);
}

QString NetworkPort::Name() const
{
    return QLatin1String(kind == Kind::Rfc2217 ? "rfc2217://" : "socket://") + HostAndPort();
}

bool LooksLikeNetworkPort(const QString &text)
{
    for (const auto &s : kSchemes) {
        if (text.startsWith(QLatin1String(s.scheme), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

std::optional<NetworkPort> ParseNetworkPort(const QString &text, QString *error)
{
    const auto refuse = [&](const QString &why) -> std::optional<NetworkPort> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    NetworkPort port;
    QString rest;
    for (const auto &s : kSchemes) {
        if (text.startsWith(QLatin1String(s.scheme), Qt::CaseInsensitive)) {
            port.kind = s.kind;
            rest = text.mid(static_cast<qsizetype>(qstrlen(s.scheme)));
        }
    }
    if (rest.isNull())
        return refuse(Tx::tr("“%1”不是网络串口（应为 rfc2217://主机:端口 或 socket://主机:端口）").arg(text));
    qsizetype colon = -1;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return refuse(Tx::tr("“%1”：IPv6 地址要写在方括号里，后面是冒号和端口号").arg(text));
        port.host = rest.mid(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return refuse(Tx::tr("“%1”缺少端口号（主机:端口）").arg(text));
        port.host = rest.left(colon);
        if (port.host.contains(QLatin1Char(':')))
            return refuse(Tx::tr("“%1”：IPv6 地址要写在方括号里，后面是冒号和端口号").arg(text));
    }
    bool number = false;
    const uint p = rest.mid(colon + 1).toUInt(&number);
    if (port.host.isEmpty() || port.host.contains(QLatin1Char('/')) || port.host.contains(QLatin1Char(' ')))
        return refuse(Tx::tr("“%1”缺少主机名").arg(text));
    if (!number || p < 1 || p > 65535)
        return refuse(Tx::tr("“%1”的端口号应为 1 到 65535").arg(text));
    port.port = static_cast<quint16>(p);
    port.host = port.host.toLower();
    return port;
}

std::optional<QString> NetworkPortOfEntry(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kEntryLimit)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString line = QString::fromUtf8(file.readAll()).trimmed();
    if (line.contains(QLatin1Char('\n')) || !LooksLikeNetworkPort(line))
        return std::nullopt;
    const std::optional<NetworkPort> port = ParseNetworkPort(line);
    return port ? std::optional<QString>(port->Name()) : std::nullopt;
}

QString ServerKey(const NetworkPort &port, int ms)
{
    QString failure;
    const QString address = LookUpHost(port.host, ms, &failure);
    return (address.isEmpty() ? port.host : address) + QLatin1Char('/') + QString::number(port.port);
}

}  // namespace kv306
