#pragma once

// Error numbers of the connection layer. They follow the Winsock numbering
// so that texts like "(Error #10061)" read the same as on the original
// platform. 0 always means success.
namespace WSocketError {
constexpr int None = 0;
constexpr int Interrupted = 10004; // lookup cancelled
constexpr int PermissionDenied = 10013;
constexpr int InvalidArgument = 10022; // bad address or port given to Connect
constexpr int TooManyOpenFiles = 10024;
constexpr int InProgress = 10036; // operation not allowed in this state
constexpr int AddressInUse = 10048;
constexpr int AddressNotAvailable = 10049;
constexpr int NetworkDown = 10050;
constexpr int NetworkUnreachable = 10051;
constexpr int ConnectionAborted = 10053; // closed by us after a handler failed
constexpr int ConnectionReset = 10054;
constexpr int NoBufferSpace = 10055;
constexpr int NotConnected = 10057; // send on a closed socket
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostUnreachable = 10065;
constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004; // the name exists but has no IPv4 address
constexpr int Unknown = 10100;
} // namespace WSocketError
