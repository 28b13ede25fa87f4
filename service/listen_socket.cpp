#include "service/listen_socket.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// listen() cuts any larger backlog to this, so it is the most we can have.
int systemBacklog()
{
    std::ifstream in("/proc/sys/net/core/somaxconn");
    int value = 0;
    return (in >> value) && value > 0 ? value : SOMAXCONN;
}

std::string where(const std::string& host, int port)
{
    return host + ":" + std::to_string(port);
}

} // namespace

ListenSocket::ListenSocket(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (int rc = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found))
        throw ListenError("cannot listen on " + where(host, port) + ": " + gai_strerror(rc));

    int error = 0;
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        int on = 1;
        if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, systemBacklog()) == 0) {
            fd_ = fd;
        } else {
            error = errno;
            close(fd);
        }
    }
    freeaddrinfo(found);
    if (fd_ < 0) {
        if (error == EADDRINUSE)
            throw ListenError("port " + std::to_string(port) + " on " + host +
                              " is taken by another process; stop it or choose another port"
                              " with --port");
        throw ListenError("cannot listen on " + where(host, port) + ": " + std::strerror(error));
    }

    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

ListenSocket::~ListenSocket()
{
    if (fd_ >= 0)
        close(fd_);
}
