#include "link/tcp_stream.h"

#include "link/bounded_call.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace kv306 {

namespace {

// The host's addresses, or why there are none.
struct Lookup {
    QList<QHostAddress> addresses;
    QString failure;
    bool timedOut = false;
};

Lookup LookUp(const QString &host, int ms)
{
    Lookup found;
    QHostAddress literal;
    if (literal.setAddress(host)) {
        found.addresses << literal;
        return found;
    }
    const std::optional<QHostInfo> info = WithinMs([host] { return QHostInfo::fromName(host); }, ms);
    if (!info) {
        found.timedOut = true;
        found.failure = NameTimedOut(ms);
        return found;
    }
    found.addresses = info->addresses();
    if (found.addresses.isEmpty())
        found.failure = info->errorString();
    return found;
}

}  // namespace

Checked<QString> LookUpHost(const QString &host, int ms)
{
    const Lookup found = LookUp(host, ms);
    if (found.addresses.isEmpty())
        return Checked<QString>::Refused(found.failure);
    return found.addresses.front().toString();
}

struct TcpStream::System {
    QTcpSocket socket;
};

TcpStream::TcpStream() : system_(std::make_unique<System>()) {}

TcpStream::~TcpStream()
{
    Close();
}

TcpStream::Failure TcpStream::Connect(const QString &host, quint16 port, int ms)
{
    QElapsedTimer clock;
    clock.start();
    const Lookup found = LookUp(host, ms);
    if (found.addresses.isEmpty()) {
        error_ = found.failure;
        return found.timedOut ? Failure::TimedOut : Failure::NotFound;
    }
    QTcpSocket &socket = system_->socket;
    Failure failure = Failure::Other;
    for (const QHostAddress &address : found.addresses) {
        socket.abort();
        // What the system has not handed over stays with the system: a flood is held back by
        // the connection itself, not gathered here.
        socket.setReadBufferSize(kReceiveMax);
        socket.connectToHost(address, port);
        const int left = static_cast<int>(std::max<qint64>(1, ms - clock.elapsed()));
        if (socket.waitForConnected(left)) {
            socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            error_.clear();
            return Failure::None;
        }
        error_ = socket.errorString();
        switch (socket.error()) {
        case QAbstractSocket::ConnectionRefusedError: failure = Failure::Refused; break;
        case QAbstractSocket::SocketTimeoutError: failure = Failure::TimedOut; break;
        case QAbstractSocket::HostNotFoundError: failure = Failure::NotFound; break;
        default: failure = Failure::Other; break;
        }
        if (clock.elapsed() >= ms) {
            failure = Failure::TimedOut;
            break;
        }
    }
    socket.abort();
    return failure;
}

QString TcpStream::PeerAddress() const
{
    QHostAddress peer = system_->socket.peerAddress();
    bool mapped = false;
    const QHostAddress v4(peer.toIPv4Address(&mapped));
    return mapped ? v4.toString() : peer.toString();
}

bool TcpStream::IsOpen() const
{
    return system_->socket.state() == QAbstractSocket::ConnectedState;
}

bool TcpStream::Send(const QByteArray &bytes, int ms)
{
    QTcpSocket &socket = system_->socket;
    if (socket.write(bytes) != bytes.size()) {
        error_ = socket.errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (socket.bytesToWrite() > 0) {
        const int left = static_cast<int>(ms - clock.elapsed());
        if (left <= 0 || !socket.waitForBytesWritten(left)) {
            error_ = socket.errorString();
            return false;
        }
    }
    return true;
}

QByteArray TcpStream::Receive(int ms, bool *closed)
{
    QTcpSocket &socket = system_->socket;
    if (socket.bytesAvailable() == 0 && socket.state() == QAbstractSocket::ConnectedState)
        socket.waitForReadyRead(ms);
    const QByteArray bytes = socket.read(kReceiveMax);
    // What came is acknowledged at once (the system turns this off again as it goes): a server
    // that holds its next small write until the last is acknowledged (Nagle's rule, as a TLS
    // server's records meet it) would otherwise wait 40 ms for the delayed acknowledgement.
    int one = 1;
    ::setsockopt(static_cast<int>(socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) {
        *closed = true;
        error_ = socket.errorString();
    }
    return bytes;
}

void TcpStream::Close()
{
    // Closed as a client closes, so that the server's end sees a close, not a reset; a server
    // that does not close its end in a moment is left.
    QTcpSocket &socket = system_->socket;
    if (socket.state() == QAbstractSocket::ConnectedState) {
        socket.disconnectFromHost();
        if (socket.state() != QAbstractSocket::UnconnectedState)
            socket.waitForDisconnected(50);
    }
    socket.abort();
}

}  // namespace kv306
