#include "link/network_port.h"

#include "link/bounded_call.h"
#include "link/tcp_stream.h"
#include "link/texts.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <future>
#include <map>
#include <mutex>
#include <thread>

namespace kv306 {

namespace {

constexpr struct {
    const char *scheme;
    NetworkPort::Kind kind;
    bool tls;
} kSchemes[] = {{"rfc2217://", NetworkPort::Kind::Rfc2217, false},
                {"socket://", NetworkPort::Kind::Socket, false},
                {"rfc2217+tls://", NetworkPort::Kind::Rfc2217, true},
                {"socket+tls://", NetworkPort::Kind::Socket, true}};

// An IPv6 address as written in brackets: hex digits and colons (an IPv4 tail after the last).
bool LooksLikeIpv6(const QString &host)
{
    if (!host.contains(QLatin1Char(':')))
        return false;
    for (const QChar c : host) {
        if (!(c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')) ||
              c == QLatin1Char(':') || c == QLatin1Char('.')))
            return false;
    }
    return true;
}

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
    for (const auto &s : kSchemes) {
        if (s.kind == kind && s.tls == tls)
            return QLatin1String(s.scheme) + HostAndPort();
    }
    return HostAndPort();
}

bool LooksLikeNetworkPort(const QString &text)
{
    for (const auto &s : kSchemes) {
        if (text.startsWith(QLatin1String(s.scheme), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

Checked<NetworkPort> ParseNetworkPort(const QString &text)
{
    const auto refuse = &Checked<NetworkPort>::Refused;
    NetworkPort port;
    QString rest;
    for (const auto &s : kSchemes) {
        if (text.startsWith(QLatin1String(s.scheme), Qt::CaseInsensitive)) {
            port.kind = s.kind;
            port.tls = s.tls;
            rest = text.mid(static_cast<qsizetype>(qstrlen(s.scheme)));
        }
    }
    if (rest.isNull())
        return refuse(Tx::tr("“%1”不是网络串口（应为 rfc2217://主机:端口 或 socket://主机:端口，加密的为 "
                             "rfc2217+tls:// 或 "
                             "socket+tls://）")
                          .arg(text));
    // A name is written as it is meant: a space, a user name or a path is no part of it.
    for (const QChar c : rest) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return refuse(Tx::tr("“%1”含有空白或控制字符").arg(text));
    }
    if (rest.contains(QLatin1Char('@')))
        return refuse(Tx::tr("“%1”：网络串口的名字里不能有用户名（@）").arg(text));
    qsizetype colon = -1;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return refuse(Tx::tr("“%1”：IPv6 地址要写在方括号里，后面是冒号和端口号").arg(text));
        port.host = rest.mid(1, close - 1);
        colon = close + 1;
        // Brackets hold an IPv6 address and nothing else.
        if (!LooksLikeIpv6(port.host))
            return refuse(Tx::tr("“%1”：方括号里只能写 IPv6 地址").arg(text));
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
    // A host's name is letters, digits, dots, hyphens and underscores (an IPv6 address was
    // checked in its brackets): a quote or a comma would not survive Com.TXT.
    if (!rest.startsWith(QLatin1Char('['))) {
        for (const QChar c : port.host) {
            if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('.') &&
                c != QLatin1Char('-') && c != QLatin1Char('_'))
                return refuse(Tx::tr("“%1”：主机名只能有字母、数字、点、连字符和下划线").arg(text));
        }
    }
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
    const Checked<NetworkPort> port = ParseNetworkPort(line);
    return port ? std::optional<QString>(port->Name()) : std::nullopt;
}

namespace {

// The hosts looked up, each remembered for a while: a name that is not known, or whose name
// server does not answer, costs its bound once in a run, not once for every pair of ports compared
// or every connection tried.
constexpr qint64 kRememberMs = 30000;
struct Looked {
    QString address;  // empty: not known, or no answer in time (failure says which)
    HostFailure failure;
    QElapsedTimer since;
};
std::mutex lookedMutex;
std::map<QString, Looked> looked;

bool Fresh(const QString &host)
{
    const auto known = looked.find(host);
    // An address found is the server's for the run: a port's identity does not change under a
    // station. A name not known is asked again after a while.
    return known != looked.end() && known->second.since.isValid() &&
           (!known->second.address.isEmpty() || known->second.since.elapsed() <= kRememberMs);
}

}  // namespace

void LookUpServers(const QStringList &hosts, int ms)
{
    std::vector<QString> asked;
    {
        std::lock_guard lock(lookedMutex);
        for (const QString &host : hosts) {
            if (!Fresh(host) && std::find(asked.begin(), asked.end(), host) == asked.end())
                asked.push_back(host);
        }
    }
    // Every name at once, each on a thread of its own, all within one bound: LookUpHost keeps
    // its own, so each answer is there within `ms` of its start.
    std::vector<std::future<Checked<QString>>> answers;
    for (const QString &host : asked)
        answers.push_back(std::async(std::launch::async, [host, ms] { return LookUpHost(host, ms); }));
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const Checked<QString> address = answers[i].get();
        std::lock_guard lock(lookedMutex);
        Looked &entry = looked[asked[i]];
        entry.address = address.value.value_or(QString());
        entry.failure = {address.reason, address.reason == NameTimedOut(ms)};
        entry.since.start();
    }
}

std::optional<HostFailure> RememberedHostFailure(const QString &host)
{
    std::lock_guard lock(lookedMutex);
    if (!Fresh(host) || !looked[host].address.isEmpty())
        return std::nullopt;
    return looked[host].failure;
}

void RememberHostFailure(const QString &host, const HostFailure &failure)
{
    std::lock_guard lock(lookedMutex);
    Looked &entry = looked[host];
    entry.address.clear();
    entry.failure = failure;
    entry.since.start();
}

QString ServerKey(const NetworkPort &port, int ms)
{
    LookUpServers({port.host}, ms);
    std::lock_guard lock(lookedMutex);
    const QString address = looked[port.host].address;
    return (address.isEmpty() ? port.host : address) + QLatin1Char('/') + QString::number(port.port);
}

}  // namespace kv306
