#include "platform/wsocket_system.h"

#include "platform/wsocket_error.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int MapErrno(int e)
{
    switch (e) {
    case 0:
        return WSocketError::None;
    case ECONNREFUSED:
        return WSocketError::ConnectionRefused;
    case ECONNRESET:
    case EPIPE:
        return WSocketError::ConnectionReset;
    case ECONNABORTED:
        return WSocketError::ConnectionAborted;
    case ETIMEDOUT:
        return WSocketError::TimedOut;
    case EHOSTUNREACH:
        return WSocketError::HostUnreachable;
    case ENETUNREACH:
        return WSocketError::NetworkUnreachable;
    case ENETDOWN:
        return WSocketError::NetworkDown;
    case EADDRNOTAVAIL:
        return WSocketError::AddressNotAvailable;
    case EADDRINUSE:
        return WSocketError::AddressInUse;
    case EACCES:
    case EPERM:
        return WSocketError::PermissionDenied;
    case EINVAL:
        return WSocketError::InvalidArgument;
    case EMFILE:
    case ENFILE:
        return WSocketError::TooManyOpenFiles;
    case ENOBUFS:
    case ENOMEM:
        return WSocketError::NoBufferSpace;
    default:
        return WSocketError::Unknown;
    }
}

// Errors that a connect() may give at once for what is really the outcome of
// the connection attempt; those are reported like a failed attempt.
bool IsConnectOutcome(int e)
{
    return e == ECONNREFUSED || e == ENETUNREACH || e == EHOSTUNREACH || e == ETIMEDOUT;
}

bool WouldBlock(int e)
{
    return e == EAGAIN || e == EWOULDBLOCK;
}

sockaddr_in IPv4(quint32 address, quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = address;
    return a;
}

qint64 Read(qintptr socket, char* buffer, qint64 maxLen, int flags, int* error)
{
    *error = 0;
    for (;;) {
        const ssize_t n = ::recv(int(socket), buffer, size_t(maxLen), flags);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (!WouldBlock(errno))
            *error = MapErrno(errno);
        return -1;
    }
}

} // namespace

bool WSocketSystem::ParseIPv4(const QString& text, quint32* address)
{
    const QByteArray ascii = text.toLatin1();
    in_addr parsed;
    if (text.isEmpty() || ::inet_pton(AF_INET, ascii.constData(), &parsed) != 1)
        return false;
    *address = parsed.s_addr;
    return true;
}

int WSocketSystem::Open(bool bindLocal, quint32 localAddress, qintptr* socket)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return MapErrno(errno);
    const sockaddr_in local = IPv4(localAddress, 0);
    if (bindLocal && ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int error = MapErrno(errno);
        ::close(fd);
        return error;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    *socket = fd;
    return 0;
}

WSocketSystem::ConnectStart WSocketSystem::StartConnect(qintptr socket, quint32 address,
                                                        quint16 port, int* error)
{
    *error = 0;
    const sockaddr_in remote = IPv4(address, port);
    int rc;
    do {
        rc = ::connect(int(socket), reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 || IsConnectOutcome(errno))
        return ConnectStart::Settled;
    if (errno == EINPROGRESS)
        return ConnectStart::Pending;
    *error = MapErrno(errno);
    return ConnectStart::Failed;
}

int WSocketSystem::ConnectError(qintptr socket)
{
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(int(socket), SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
        soError = errno;
    if (soError == 0) {
        // A connect that failed at once leaves no pending error; the missing
        // peer tells.
        sockaddr_in peer{};
        socklen_t plen = sizeof peer;
        if (::getpeername(int(socket), reinterpret_cast<sockaddr*>(&peer), &plen) != 0)
            soError = ECONNREFUSED;
    }
    return MapErrno(soError);
}

qint64 WSocketSystem::Send(qintptr socket, const char* data, qint64 len, int* error)
{
    *error = 0;
    for (;;) {
        const ssize_t n = ::send(int(socket), data, size_t(len), MSG_NOSIGNAL);
        if (n > 0)
            return n;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && WouldBlock(errno))
            return 0;
        *error = MapErrno(n < 0 ? errno : EPIPE);
        return -1;
    }
}

qint64 WSocketSystem::Receive(qintptr socket, char* buffer, qint64 maxLen, int* error)
{
    return Read(socket, buffer, maxLen, 0, error);
}

qint64 WSocketSystem::Peek(qintptr socket, int* error)
{
    char probe;
    return Read(socket, &probe, 1, MSG_PEEK, error);
}

qint64 WSocketSystem::Pending(qintptr socket)
{
    int n = 0;
    if (::ioctl(int(socket), FIONREAD, &n) != 0)
        return 0;
    return n;
}

void WSocketSystem::ShutdownBoth(qintptr socket)
{
    ::shutdown(int(socket), SHUT_RDWR);
}

void WSocketSystem::Close(qintptr socket)
{
    ::close(int(socket));
}
