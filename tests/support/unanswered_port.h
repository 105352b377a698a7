#pragma once

// A loopback port that never takes a connection: a listener whose queue is full, so the system
// leaves further connections unanswered (a server that hangs, a network that drops).

#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace kv306::test {

class UnansweredPort {
public:
    UnansweredPort()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at);
        ::listen(listener, 0);
        socklen_t length = sizeof at;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&at), &length);
        fds_.push_back(listener);
        for (int i = 0; i < 3; ++i) {
            fds_.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            (void)::connect(fds_.back(), reinterpret_cast<sockaddr *>(&at), sizeof at);
        }
        port = ntohs(at.sin_port);
    }
    ~UnansweredPort()
    {
        for (const int fd : fds_)
            ::close(fd);
    }
    UnansweredPort(const UnansweredPort &) = delete;
    UnansweredPort &operator=(const UnansweredPort &) = delete;

    QString Url() const { return QStringLiteral("socket://127.0.0.1:%1").arg(port); }
    quint16 port = 0;

private:
    std::vector<int> fds_;
};

}  // namespace kv306::test
