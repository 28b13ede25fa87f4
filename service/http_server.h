#pragma once

#include "service/connection_deadlines.h"
#include "service/http_exchange.h"

#include <cstddef>
#include <functional>

struct MHD_Connection;
struct MHD_Daemon;
class ListenSocket;

// The service's HTTP server, on libmicrohttpd: connections are served by a
// few event-driven workers, so peers that send slowly or not at all hold
// no worker, and each connection is bounded in memory, in idle time and in
// the time it may take to deliver a request. Routes are one handler.
class HttpServer
{
public:
    using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;
    // Answers for requests the server refuses itself (413, 431).
    using ErrorPage = std::function<void(int status, HttpResponse&)>;
    using Logger = std::function<void(const HttpRequest&, const HttpResponse&)>;

    // A request header must fit into a connection's memory, which also
    // holds its read buffer (else 431), and have at most maxHeaderLines
    // lines (else 431, counted once the header is in).
    static constexpr std::size_t connectionMemory = 32 * 1024;
    static constexpr unsigned maxHeaderLines = 100;
    static constexpr unsigned connectionLimit = 1000;
    static constexpr unsigned connectionsPerAddress = 200;
    static constexpr unsigned idleSeconds = 10;
    // From the connection's start or the last answer until the request,
    // header and body, is in.
    static constexpr unsigned requestSeconds = 10;
    static constexpr unsigned workers = 8;

    // Starts serving on `socket` (kept open by the caller until stop).
    // Throws std::runtime_error when the server cannot start.
    HttpServer(const ListenSocket& socket, std::size_t maxBodySize, Handler handler,
               ErrorPage errorPage, Logger logger);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

private:
    struct Connection;
    friend struct HttpServerCallbacks;

    bool serve(MHD_Connection* connection, Connection& state, const char* path, const char* method);
    bool refuse(MHD_Connection* connection, const Connection& state, const char* method,
                int status);
    bool answer(MHD_Connection* connection, const HttpRequest& request,
                const HttpResponse& response);

    const std::size_t maxBodySize_;
    Handler handler_;
    ErrorPage errorPage_;
    Logger logger_;
    ConnectionDeadlines deadlines_;
    MHD_Daemon* daemon_ = nullptr;
};
