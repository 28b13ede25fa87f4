#pragma once

#include <QString>
#include <QtGlobal>

// The system's socket calls under TWSocket, one file per platform
// (wsocket_unix.cpp). A socket is a qintptr: a descriptor on Unix, a SOCKET
// on Windows; -1 is none on both. Errors come back as WSocketError numbers.
namespace WSocketSystem {

constexpr qintptr NoSocket = -1;

enum class ConnectStart
{
    Settled, // done or failed at once: ConnectError() tells which
    Pending, // the socket turns writable when the attempt ends
    Failed   // could not even start; the error number says why
};

// A dotted IPv4 address ("a.b.c.d", nothing else) in network byte order.
bool ParseIPv4(const QString& text, quint32* address);

// A non-blocking TCP socket that sends small writes at once, bound to
// `localAddress` when `bindLocal`. Returns 0 or an error number.
int Open(bool bindLocal, quint32 localAddress, qintptr* socket);
ConnectStart StartConnect(qintptr socket, quint32 address, quint16 port, int* error);
// The outcome of the connection attempt: 0 when connected.
int ConnectError(qintptr socket);

// Bytes handed to the system (> 0), 0 when it takes none now, -1 on failure
// with *error set.
qint64 Send(qintptr socket, const char* data, qint64 len, int* error);
// Bytes read (> 0), 0 when the peer has closed, -1 when nothing is there
// (*error 0) or on failure (*error set).
qint64 Receive(qintptr socket, char* buffer, qint64 maxLen, int* error);
// Like Receive for one byte, which stays unread.
qint64 Peek(qintptr socket, int* error);
// Bytes waiting to be read; 0 when unknown.
qint64 Pending(qintptr socket);

void ShutdownBoth(qintptr socket);
void Close(qintptr socket);

} // namespace WSocketSystem
