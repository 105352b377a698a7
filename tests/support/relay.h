#pragma once

// A relay on a loopback port in front of a server, delaying each direction as a plant network
// does: every connection it takes is passed to the server, the bytes of each way held `delayMs`
// before they go on, and a close passed on as late as the bytes before it.

#include <QString>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <thread>
#include <vector>

namespace kv306::test {

class Relay {
public:
    Relay(quint16 target, int delayMs) : target_(target), delay_(delayMs)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in at = Loopback(0);
        ::bind(listener_, reinterpret_cast<sockaddr *>(&at), sizeof at);
        ::listen(listener_, 8);
        socklen_t length = sizeof at;
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&at), &length);
        port = ntohs(at.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~Relay()
    {
        stop_ = true;
        thread_.join();
        for (Pair &p : pairs_) {
            if (!p.closed) {
                ::close(p.fd[0]);
                ::close(p.fd[1]);
            }
        }
        ::close(listener_);
    }
    Relay(const Relay &) = delete;
    Relay &operator=(const Relay &) = delete;

    // "socket://127.0.0.1:PORT" and the like, with the relay's port.
    QString Url(const char *scheme) const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port);
    }

    quint16 port = 0;

private:
    using Clock = std::chrono::steady_clock;
    struct Piece {
        Clock::time_point due;
        QByteArray bytes;  // empty: the sender closed
    };
    struct Pair {
        int fd[2];                    // the client, the server
        std::deque<Piece> toward[2];  // what goes to fd[i]
        bool closed = false;
    };

    static sockaddr_in Loopback(quint16 port)
    {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        at.sin_port = htons(port);
        return at;
    }

    void Run()
    {
        while (!stop_) {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            for (const Pair &p : pairs_) {
                fds.push_back({p.fd[0], static_cast<short>(p.closed ? 0 : POLLIN), 0});
                fds.push_back({p.fd[1], static_cast<short>(p.closed ? 0 : POLLIN), 0});
            }
            ::poll(fds.data(), fds.size(), 2);
            if (fds[0].revents & POLLIN)
                Accept();
            const auto now = Clock::now();
            for (std::size_t i = 0; i < pairs_.size(); ++i) {
                Pair &p = pairs_[i];
                for (int side = 0; side < 2 && !p.closed; ++side) {
                    if (i * 2 + 1 + side < fds.size() &&
                        fds[i * 2 + 1 + side].revents & (POLLIN | POLLHUP | POLLERR)) {
                        char buffer[4096];
                        const ssize_t n = ::read(p.fd[side], buffer, sizeof buffer);
                        p.toward[1 - side].push_back({now + std::chrono::milliseconds(delay_),
                                                      n > 0 ? QByteArray(buffer, n) : QByteArray()});
                    }
                }
                for (int side = 0; side < 2; ++side) {
                    while (!p.toward[side].empty() && p.toward[side].front().due <= now) {
                        const QByteArray bytes = p.toward[side].front().bytes;
                        p.toward[side].pop_front();
                        if (bytes.isEmpty()) {
                            // A close goes on as a close of both ways, after what came before it.
                            ::close(p.fd[0]);
                            ::close(p.fd[1]);
                            p.fd[0] = p.fd[1] = -1;
                            p.closed = true;
                            p.toward[0].clear();
                            p.toward[1].clear();
                            break;
                        }
                        (void)!::write(p.fd[side], bytes.constData(), static_cast<size_t>(bytes.size()));
                    }
                }
            }
        }
    }

    void Accept()
    {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in at = Loopback(target_);
        if (::connect(server, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0) {
            ::close(server);
            ::close(client);
            return;
        }
        pairs_.push_back({{client, server}, {}, false});
    }

    quint16 target_;
    int delay_;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::vector<Pair> pairs_;
    std::thread thread_;
};

}  // namespace kv306::test
