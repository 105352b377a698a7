#include "link/network_device.h"

#include "link/bounded_call.h"
#include "link/port_claim.h"
#include "link/texts.h"

#include <QElapsedTimer>

namespace kv306 {

namespace {

const std::uint8_t kConfirmed[] = {telnet::kSetBaudRate, telnet::kSetDataSize, telnet::kSetParity,
                                   telnet::kSetStopSize};

QString LineText(const LineSettings &line)
{
    return QStringLiteral("%1 %2%3%4")
        .arg(line.baud)
        .arg(line.dataBits)
        .arg(QChar::fromLatin1(line.parity).toUpper())
        .arg(line.stopBits == 15 ? QStringLiteral("1.5") : QString::number(line.stopBits));
}

// What a server that serves another client says before it closes ("Port already in use").
bool SaysInUse(const QByteArray &said)
{
    return said.toLower().contains("in use");
}

}  // namespace

bool NetworkDevice::SetLine(const LineSettings &line)
{
    line_ = line;
    return true;
}

bool NetworkDevice::Refuse(int number, const QString &reason, const QString &message)
{
    Stream().Close();
    openError_ = CommError(number, reason, message);
    return false;
}

bool NetworkDevice::Refuse(const CommError &error)
{
    return Refuse(error.number(), QString::fromStdString(error.what()), error.message());
}

bool NetworkDevice::Open(const NetworkPort &port)
{
    openError_.reset();
    buffer_.clear();
    said_.clear();
    faulted_ = closedByServer_ = sent_ = heard_ = false;
    decoder_ = {};
    answerer_ = {};
    comPortAgreed_.reset();
    answers_.clear();
    port_ = port;
    tls_.reset();
    const QString shown = port_.Name();
    const QString reason = QStringLiteral("connect %1: ").arg(shown);
    TcpStream::Failure failure = TcpStream::Failure::None;
    if (const std::optional<HostFailure> remembered = RememberedHostFailure(port_.host)) {
        failure = remembered->timedOut ? TcpStream::Failure::TimedOut : TcpStream::Failure::NotFound;
        stream_.SetErrorText(remembered->why);
    } else {
        failure = stream_.Connect(port_.host, port_.port, kConnectMs);
        if (failure == TcpStream::Failure::NotFound ||
            (failure == TcpStream::Failure::TimedOut && stream_.ErrorText() == NameTimedOut(kConnectMs)))
            RememberHostFailure(port_.host, {stream_.ErrorText(), failure == TcpStream::Failure::TimedOut});
    }
    switch (failure) {
    case TcpStream::Failure::None: break;
    case TcpStream::Failure::NotFound:
        return Refuse(
            ErrorNo::NoSuchPort, reason + stream_.ErrorText(),
            Tx::tr("找不到主机 %1（%2）：请检查网络串口的名字和网络。").arg(port_.host, stream_.ErrorText()));
    case TcpStream::Failure::Refused:
        return Refuse(ErrorNo::NoSuchPort, reason + stream_.ErrorText(),
                      Tx::tr("%1 上没有服务在监听：请检查串口服务器是否在运行，端口号是否正确。").arg(shown));
    case TcpStream::Failure::TimedOut:
        return Refuse(
            ErrorNo::NoSuchPort, reason + stream_.ErrorText(),
            Tx::tr("%1 在 %2 秒内没有接受连接：请检查网络和串口服务器。").arg(shown).arg(kConnectMs / 1000));
    case TcpStream::Failure::Other:
        return Refuse(ErrorNo::NoSuchPort, reason + stream_.ErrorText(),
                      Tx::tr("无法连接 %1（%2）：请检查网络和串口服务器。").arg(shown, stream_.ErrorText()));
    }
    if (port_.tls && !Secure(static_cast<int>(kConnectMs)))
        return false;
    if (port_.kind == NetworkPort::Kind::Rfc2217 && !Negotiate())
        return false;
    // While the server holds its terminal open for us, what it is (the same-port rule's).
    served_ = findServed_ ? PortClaim::ServedDeviceKey(stream_.PeerAddress(), port_.port) : QString();
    return true;
}

bool NetworkDevice::Secure(int ms)
{
    tls_ = std::make_unique<TlsStream>(stream_);
    const TlsStream::Outcome o = tls_->Handshake(port_.host, CurrentTlsTrust(), ms);
    if (o.refusal == TlsStream::Refusal::None)
        return true;
    const CommError refused = TlsRefused(o, ms);
    tls_.reset();
    return Refuse(refused);
}

CommError NetworkDevice::TlsRefused(const TlsStream::Outcome &o, int ms) const
{
    const QString shown = port_.Name();
    const QString where = port_.HostAndPort();
    const auto day = [](const QDateTime &at) { return at.toString(QStringLiteral("yyyy-MM-dd")); };
    QString message;
    switch (o.refusal) {
    case TlsStream::Refusal::None:
    case TlsStream::Refusal::NotTrusted:
        message = Tx::tr("%1 的证书由“%2”签发，不是信任的证书机构签发的：请用 --tls-ca 指定签发它的 CA 文件"
                         "（窗口：工具 → TLS 证书…）。")
                      .arg(where, o.issuer);
        break;
    case TlsStream::Refusal::NameMismatch:
        message = Tx::tr("%1 的证书是给 %2 的，不是给 %3 的：请用证书里的名字连接，或为它换一张证书。")
                      .arg(where, o.names.join(Tx::tr("、")), port_.host);
        break;
    case TlsStream::Refusal::Expired:
        message = Tx::tr("%1 的证书已于 %2 过期（有效期 %3 至 %2）：请为串口服务器换一张新证书。")
                      .arg(where, day(o.notAfter), day(o.notBefore));
        break;
    case TlsStream::Refusal::NotYetValid:
        message = Tx::tr("%1 的证书从 %2 起才有效（有效期 %2 至 %3）：请检查本机和串口服务器的时间。")
                      .arg(where, day(o.notBefore), day(o.notAfter));
        break;
    case TlsStream::Refusal::ClientCertWanted:
        message = Tx::tr("%1 要求本机出示客户端证书，但没有设置：请用 --tls-cert 和 --tls-key 指定"
                         "（窗口：工具 → TLS 证书…）。")
                      .arg(where);
        break;
    case TlsStream::Refusal::ClientCertRefused:
        message = Tx::tr("%1 拒绝了本机的客户端证书：请使用串口服务器信任的 CA 签发的证书。").arg(where);
        break;
    case TlsStream::Refusal::PlainServer: {
        NetworkPort plain = port_;
        plain.tls = false;
        message = Tx::tr("%1 不使用 TLS（是普通的串口服务器）：请确认它的设置；如果确实不加密，请改用 %2。")
                      .arg(where, plain.Name());
        break;
    }
    case TlsStream::Refusal::TimedOut:
        message = Tx::tr("%1 在 %2 秒内没有完成 TLS 握手：请检查网络和串口服务器的 TLS 设置。")
                      .arg(where)
                      .arg(ms / 1000);
        break;
    case TlsStream::Refusal::Closed:
    case TlsStream::Refusal::Other:
        message =
            Tx::tr("与 %1 的 TLS 连接没有建立（%2）：请检查串口服务器的 TLS 设置。").arg(where, o.detail);
        break;
    }
    return CommError(ErrorNo::SecureConnection, QStringLiteral("tls %1: %2").arg(shown, o.detail), message);
}

std::optional<CommError> NetworkDevice::OurCertificateRefused() const
{
    // A server that judges our certificate (or the want of one) after the handshake, as ser2net
    // does against its allowed certificates, closes before it says a word.
    if (!tls_ || !tls_->AskedForCertificate() || !closedByServer_ || heard_)
        return std::nullopt;
    TlsStream::Outcome o;
    const bool ours = !CurrentTlsTrust().certFile.isEmpty();
    o.refusal = ours ? TlsStream::Refusal::ClientCertRefused : TlsStream::Refusal::ClientCertWanted;
    o.detail = QStringLiteral("the server asked for our certificate and closed the connection");
    return TlsRefused(o, kConnectMs);
}

bool NetworkDevice::ServerSpeaksTls() const
{
    if (port_.tls)
        return false;
    if (LooksLikeTlsRecord(said_))
        return true;
    if (heard_)
        return false;
    TcpStream probe;
    if (probe.Connect(port_.host, port_.port, kConnectMs) != TcpStream::Failure::None)
        return false;
    TlsStream tls(probe);
    const TlsStream::Refusal refusal = tls.Handshake(port_.host, CurrentTlsTrust(), kConnectMs).refusal;
    tls.Close();
    return refusal != TlsStream::Refusal::PlainServer && refusal != TlsStream::Refusal::TimedOut &&
           refusal != TlsStream::Refusal::Other;
}

CommError NetworkDevice::SpeaksTls(const QString &reason) const
{
    NetworkPort secure = port_;
    secure.tls = true;
    return CommError(ErrorNo::SecureConnection, reason,
                     Tx::tr("%1 使用 TLS，不能用不加密的 %2 连接：请改用 %3。")
                         .arg(port_.HostAndPort(), port_.Name(), secure.Name()));
}

bool NetworkDevice::Negotiate()
{
    const QString shown = port_.Name();
    if (!Stream().Send(telnet::Opening(line_), kSendMs)) {
        closedByServer_ = true;
        if (const std::optional<CommError> refused = OurCertificateRefused())
            return Refuse(*refused);
        return Refuse(ErrorNo::NoSuchPort,
                      QStringLiteral("negotiate %1: %2").arg(shown, Stream().ErrorText()),
                      Tx::tr("串口服务器 %1 断开了连接：它可能停止了，或者网络断了。").arg(shown));
    }
    const auto confirmed = [this] {
        for (const std::uint8_t command : kConfirmed) {
            if (!answers_.count(command))
                return false;
        }
        return true;
    };
    QElapsedTimer clock;
    clock.start();
    // The server may leave the flow control unanswered (some do): it is asked for, not awaited.
    while (!(comPortAgreed_.value_or(false) && confirmed()) && comPortAgreed_.value_or(true) &&
           !closedByServer_ && clock.elapsed() < kNegotiateMs)
        Receive(static_cast<int>(kNegotiateMs - clock.elapsed()));
    if (const std::optional<CommError> refused = OurCertificateRefused())
        return Refuse(*refused);
    // A Telnet server speaks first; one that said nothing at all may be a TLS server.
    if ((!heard_ || LooksLikeTlsRecord(said_)) && ServerSpeaksTls()) {
        const CommError refused = SpeaksTls(QStringLiteral("negotiate %1: the server speaks TLS").arg(shown));
        return Refuse(refused);
    }
    if (closedByServer_ && (SaysInUse(said_) || !comPortAgreed_))
        return Refuse(
            ErrorNo::PortInUse,
            QStringLiteral("negotiate %1: the server closed the connection (%2)")
                .arg(shown, QString::fromLatin1(said_).trimmed()),
            Tx::tr("串口服务器 %1 正在为另一个客户端服务：请先结束那个连接，再试一次。").arg(shown));
    if (closedByServer_)
        return Refuse(ErrorNo::ReadFailed,
                      QStringLiteral("negotiate %1: %2").arg(shown, Stream().ErrorText()),
                      Tx::tr("串口服务器 %1 断开了连接：它可能停止了，或者网络断了。").arg(shown));
    const QString setLine =
        Tx::tr("服务器 %1 不允许设置串口；如果它的串口已设为 9600 8N1，请改用 socket://。").arg(shown);
    if (comPortAgreed_ == false)
        return Refuse(ErrorNo::BadCommState,
                      QStringLiteral("negotiate %1: the server refuses COM-PORT-OPTION").arg(shown), setLine);
    if (!confirmed())
        return Refuse(ErrorNo::BadCommState,
                      QStringLiteral("negotiate %1: the line settings were not confirmed within %2 ms")
                          .arg(shown)
                          .arg(kNegotiateMs),
                      setLine);
    for (const std::uint8_t command : kConfirmed) {
        const QByteArray wanted = telnet::Value(static_cast<telnet::ComPortCommand>(command), line_);
        if (answers_[command] != wanted)
            return Refuse(
                ErrorNo::BadCommState,
                QStringLiteral("negotiate %1: command %2 answered %3, asked %4")
                    .arg(shown)
                    .arg(command)
                    .arg(QString::fromLatin1(answers_[command].toHex(' ')),
                         QString::fromLatin1(wanted.toHex(' '))),
                Tx::tr("服务器 %1 没有把串口设成 %2：请检查它的设置。").arg(shown, LineText(line_)));
    }
    return true;
}

bool NetworkDevice::Receive(int ms)
{
    bool closed = false;
    const QByteArray bytes = Stream().Receive(ms, &closed);
    heard_ = heard_ || !bytes.isEmpty();
    const qsizetype before = buffer_.size();
    if (port_.kind == NetworkPort::Kind::Socket) {
        buffer_ += bytes;
    } else {
        std::vector<telnet::Command> commands;
        decoder_.Feed(bytes, &buffer_, &commands);
        for (const telnet::Command &c : commands) {
            if (c.option == telnet::kComPortOption && (c.verb == telnet::kDo || c.verb == telnet::kDont))
                comPortAgreed_ = c.verb == telnet::kDo;
            if (c.verb == telnet::kSb && c.option == telnet::kComPortOption && !c.sub.isEmpty() &&
                static_cast<std::uint8_t>(c.sub[0]) > telnet::kServerAnswer)
                answers_[static_cast<std::uint8_t>(c.sub[0]) - telnet::kServerAnswer] = c.sub.mid(1);
            const QByteArray answer = answerer_.Answer(c);
            if (!answer.isEmpty())
                Stream().Send(answer, kSendMs);
        }
    }
    // The connection's first bytes, whenever they come: a busy server's words may reach us only
    // after the request went out, when the network adds a few milliseconds.
    if (said_.size() < 256)
        said_ += buffer_.mid(before, 256 - said_.size());
    if (closed)
        closedByServer_ = true;
    const bool came = buffer_.size() > before;
    if (buffer_.size() > kWaitingMax)
        buffer_.remove(0, buffer_.size() - kWaitingMax);
    return came;
}

void NetworkDevice::Close()
{
    Stream().Close();
}

bool NetworkDevice::IsOpen() const
{
    return Stream().IsOpen() && !faulted_;
}

bool NetworkDevice::Fail()
{
    if (!faulted_)
        error_ = closedByServer_ ? QStringLiteral("the server closed the connection") : Stream().ErrorText();
    faulted_ = true;
    Stream().Close();
    return false;
}

bool NetworkDevice::Pump(int ms)
{
    // Bytes that came before the server closed are taken first; the close is the next news.
    if (closedByServer_)
        return Fail();
    return Receive(ms) || (closedByServer_ && Fail());
}

QByteArray NetworkDevice::Take(qint64 max)
{
    const QByteArray taken = max > 0 ? buffer_.left(max) : buffer_;
    buffer_.remove(0, taken.size());
    return taken;
}

void NetworkDevice::DiscardInput()
{
    Receive(0);
    buffer_.clear();
    if (closedByServer_)
        Fail();
}

bool NetworkDevice::Write(const QByteArray &bytes)
{
    const QByteArray wire = port_.kind == NetworkPort::Kind::Rfc2217 ? telnet::Escape(bytes) : bytes;
    if (Stream().Send(wire, kSendMs)) {
        sent_ = true;
        return true;
    }
    // Refused because the server closed: what it said before it did tells why.
    Receive(0);
    closedByServer_ = closedByServer_ || !Stream().IsOpen();
    return Fail();
}

CommError NetworkDevice::Fault(int usual, const QString &reason) const
{
    const QString shown = port_.Name();
    // A TLS server reached without TLS answers the first bytes with an alert.
    if (const std::optional<CommError> refused = OurCertificateRefused())
        return *refused;
    if (closedByServer_ && ServerSpeaksTls())
        return SpeaksTls(reason);
    // A server that serves another client says so and closes before anything was asked (raw
    // TCP has no handshake to tell it earlier).
    if (closedByServer_ && (!sent_ || SaysInUse(said_)))
        return CommError(
            ErrorNo::PortInUse, reason,
            Tx::tr("串口服务器 %1 正在为另一个客户端服务：请先结束那个连接，再试一次。").arg(shown));
    return CommError(closedByServer_ ? ErrorNo::ReadFailed : usual, reason,
                     Tx::tr("串口服务器 %1 断开了连接：它可能停止了，或者网络断了。").arg(shown));
}

}  // namespace kv306
