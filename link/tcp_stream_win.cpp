#include "link/tcp_stream.h"

#include "link/bounded_call.h"
#include "link/system_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After Winsock's own headers, which it needs.
#include <mstcpip.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

namespace kv306 {

namespace {

void StartWinsock()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data{};
        ::WSAStartup(MAKEWORD(2, 2), &data);
    });
}

struct Address {
    sockaddr_storage storage{};
    int length = 0;
};

struct Lookup {
    std::vector<Address> addresses;
    QString failure;
    bool timedOut = false;
};

std::vector<Address> Resolve(const std::string &host, const std::string &service, int *error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    *error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    std::vector<Address> addresses;
    for (addrinfo *a = found; a; a = a->ai_next) {
        Address address;
        std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
        address.length = static_cast<int>(a->ai_addrlen);
        addresses.push_back(address);
    }
    if (found)
        ::freeaddrinfo(found);
    return addresses;
}

Lookup LookUp(const QString &host, quint16 port, int ms)
{
    StartWinsock();
    Lookup found;
    struct Result {
        std::vector<Address> addresses;
        int error = 0;
    };
    std::optional<Result> r = WithinMs(
        [name = host.toStdString(), service = std::to_string(port)] {
            Result r;
            r.addresses = Resolve(name, service, &r.error);
            return r;
        },
        ms);
    if (!r) {
        found.timedOut = true;
        found.failure = NameTimedOut(ms);
        return found;
    }
    found.addresses = std::move(r->addresses);
    if (found.addresses.empty())
        found.failure = WindowsMessage(static_cast<unsigned long>(r->error));
    return found;
}

QString AddressText(const Address &address)
{
    char text[INET6_ADDRSTRLEN] = {};
    const void *raw =
        address.storage.ss_family == AF_INET6
            ? static_cast<const void *>(&reinterpret_cast<const sockaddr_in6 &>(address.storage).sin6_addr)
            : static_cast<const void *>(&reinterpret_cast<const sockaddr_in &>(address.storage).sin_addr);
    ::inet_ntop(address.storage.ss_family, raw, text, sizeof text);
    return QString::fromLatin1(text);
}

}  // namespace

Checked<QString> LookUpHost(const QString &host, int ms)
{
    const Lookup found = LookUp(host, 0, ms);
    if (found.addresses.empty())
        return Checked<QString>::Refused(found.failure);
    return AddressText(found.addresses.front());
}

struct TcpStream::System {
    SOCKET socket = INVALID_SOCKET;

    void Drop()
    {
        if (socket != INVALID_SOCKET)
            ::closesocket(socket);
        socket = INVALID_SOCKET;
    }
    // Waits up to `ms` for the socket to become readable (or writable); false on time-out.
    bool Ready(bool writing, int ms) const
    {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket, &set);
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(socket, &failed);
        timeval limit{ms / 1000, (ms % 1000) * 1000};
        return ::select(0, writing ? nullptr : &set, writing ? &set : nullptr, &failed, &limit) > 0;
    }
};

TcpStream::TcpStream() : system_(std::make_unique<System>()) {}

TcpStream::~TcpStream()
{
    Close();
}

TcpStream::Failure TcpStream::Connect(const QString &host, quint16 port, int ms)
{
    const auto started = std::chrono::steady_clock::now();
    const auto left = [&] {
        const auto spent =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        return static_cast<int>(std::max<long long>(0, ms - spent.count()));
    };
    const Lookup found = LookUp(host, port, ms);
    if (found.addresses.empty()) {
        error_ = found.failure;
        return found.timedOut ? Failure::TimedOut : Failure::NotFound;
    }
    Failure failure = Failure::Other;
    for (const Address &address : found.addresses) {
        system_->Drop();
        system_->socket = ::socket(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
        if (system_->socket == INVALID_SOCKET)
            continue;
        u_long nonBlocking = 1;
        ::ioctlsocket(system_->socket, FIONBIO, &nonBlocking);
        const int started =
            ::connect(system_->socket, reinterpret_cast<const sockaddr *>(&address.storage), address.length);
        if (started != 0 && ::WSAGetLastError() != WSAEWOULDBLOCK) {
            error_ = WindowsMessage(static_cast<unsigned long>(::WSAGetLastError()));
            failure = ::WSAGetLastError() == WSAECONNREFUSED ? Failure::Refused : Failure::Other;
            continue;
        }
        if (!system_->Ready(true, left())) {
            failure = Failure::TimedOut;
            error_ = QStringLiteral("no connection within %1 ms").arg(ms);
            continue;
        }
        int error = 0;
        int length = sizeof error;
        ::getsockopt(system_->socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length);
        if (error != 0) {
            error_ = WindowsMessage(static_cast<unsigned long>(error));
            failure = error == WSAECONNREFUSED ? Failure::Refused : Failure::Other;
            continue;
        }
        BOOL noDelay = TRUE;
        ::setsockopt(system_->socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&noDelay),
                     sizeof noDelay);
        // Each segment acknowledged at once: a server that holds its next small write until the
        // last is acknowledged (Nagle's rule, as TLS servers' records meet it) would otherwise wait
        // for the delayed acknowledgement.
        DWORD every = 1;
        DWORD returned = 0;
        ::WSAIoctl(system_->socket, SIO_TCP_SET_ACK_FREQUENCY, &every, sizeof every, nullptr, 0, &returned,
                   nullptr, nullptr);
        error_.clear();
        return Failure::None;
    }
    system_->Drop();
    return failure;
}

QString TcpStream::PeerAddress() const
{
    return {};  // the same-port rule's served terminal is a Linux matter
}

bool TcpStream::IsOpen() const
{
    return system_->socket != INVALID_SOCKET;
}

bool TcpStream::Send(const QByteArray &bytes, int ms)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const int n =
            ::send(system_->socket, bytes.constData() + done, static_cast<int>(bytes.size() - done), 0);
        if (n > 0) {
            done += n;
            continue;
        }
        if (::WSAGetLastError() != WSAEWOULDBLOCK || !system_->Ready(true, ms)) {
            error_ = WindowsMessage(static_cast<unsigned long>(::WSAGetLastError()));
            return false;
        }
    }
    return true;
}

QByteArray TcpStream::Receive(int ms, bool *closed)
{
    QByteArray bytes;
    if (!system_->Ready(false, ms))
        return bytes;
    char chunk[4096];
    while (bytes.size() < kReceiveMax) {
        const int n = ::recv(system_->socket, chunk, sizeof chunk, 0);
        if (n > 0) {
            bytes.append(chunk, n);
            continue;
        }
        if (n == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK) {
            *closed = true;
            error_ = n == 0 ? QStringLiteral("the server closed the connection")
                            : WindowsMessage(static_cast<unsigned long>(::WSAGetLastError()));
        }
        return bytes;
    }
    return bytes;
}

void TcpStream::Close()
{
    if (system_->socket != INVALID_SOCKET)
        ::shutdown(system_->socket, SD_SEND);
    system_->Drop();
}

}  // namespace kv306
