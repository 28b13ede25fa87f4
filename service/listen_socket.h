#pragma once

#include <stdexcept>
#include <string>

// Raised when the service cannot listen; the message names the address and
// the port and says why.
class ListenError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A TCP socket listening on host:port with the system's largest backlog.
// The address is reused (a restart binds at once while the old connections
// linger), the port never: a port another process listens on is refused.
class ListenSocket
{
public:
    // Port 0 picks a free port. Throws ListenError.
    ListenSocket(const std::string& host, int port);
    ~ListenSocket();
    ListenSocket(const ListenSocket&) = delete;
    ListenSocket& operator=(const ListenSocket&) = delete;

    int fd() const { return fd_; }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};
