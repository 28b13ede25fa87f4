#include "service/http_server.h"

#include "service/listen_socket.h"

#include <cstdlib>
#include <microhttpd.h>
#include <stdexcept>

// What the server keeps of a connection: the request being read.
struct HttpServer::Connection
{
    std::string target;
    std::string body;
    bool headerSeen = false;
    bool bodyTooLarge = false;
};

// libmicrohttpd's callbacks, with its exact signatures.
struct HttpServerCallbacks
{
    static void connectionChanged(void* self, MHD_Connection* connection, void** context,
                                  MHD_ConnectionNotificationCode change)
    {
        auto* server = static_cast<HttpServer*>(self);
        if (change == MHD_CONNECTION_NOTIFY_STARTED) {
            *context = new HttpServer::Connection;
            server->deadlines_.add(
                connection,
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)->connect_fd);
        } else {
            server->deadlines_.remove(connection);
            delete static_cast<HttpServer::Connection*>(*context);
            *context = nullptr;
        }
    }

    // Called once the request line is in: the raw target, before the
    // library decodes it, is what the query and the log are made of.
    static void* requestStarted(void*, const char* target, MHD_Connection* connection)
    {
        auto* state = static_cast<HttpServer::Connection*>(
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT)
                ->socket_context);
        *state = HttpServer::Connection{};
        state->target = target;
        return state;
    }

    static MHD_Result requestArrived(void* self, MHD_Connection* connection, const char* path,
                                     const char* method, const char*, const char* upload,
                                     size_t* uploadSize, void** context)
    {
        auto* server = static_cast<HttpServer*>(self);
        auto& state = *static_cast<HttpServer::Connection*>(*context);
        bool ok = true;
        if (!state.headerSeen) {
            state.headerSeen = true;
            const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                             MHD_HTTP_HEADER_CONTENT_LENGTH);
            if (MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr) >
                static_cast<int>(HttpServer::maxHeaderLines))
                ok = server->refuse(connection, state, method, 431);
            else if (length && std::strtoull(length, nullptr, 10) > server->maxBodySize_)
                ok = server->refuse(connection, state, method, 413);
        } else if (*uploadSize > 0) {
            // A body without a length that grows too large is read to its
            // end (within the request deadline) but not kept.
            if (!state.bodyTooLarge && state.body.size() + *uploadSize <= server->maxBodySize_) {
                state.body.append(upload, *uploadSize);
            } else {
                state.bodyTooLarge = true;
                state.body.clear();
            }
            *uploadSize = 0;
        } else if (state.bodyTooLarge) {
            ok = server->refuse(connection, state, method, 413);
        } else {
            ok = server->serve(connection, state, path, method);
        }
        return ok ? MHD_YES : MHD_NO;
    }

    static void requestEnded(void* self, MHD_Connection* connection, void**,
                             MHD_RequestTerminationCode)
    {
        static_cast<HttpServer*>(self)->deadlines_.awaitRequest(connection);
    }

    static MHD_Result collectHeader(void* headers, MHD_ValueKind, const char* name,
                                    const char* value)
    {
        static_cast<std::vector<std::pair<std::string, std::string>>*>(headers)->emplace_back(
            name, value ? value : "");
        return MHD_YES;
    }
};

HttpServer::HttpServer(const ListenSocket& socket, std::size_t maxBodySize, Handler handler,
                       ErrorPage errorPage, Logger logger)
    : maxBodySize_(maxBodySize), handler_(std::move(handler)), errorPage_(std::move(errorPage)),
      logger_(std::move(logger)), deadlines_(std::chrono::seconds(requestSeconds))
{
    daemon_ = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ITC, 0, nullptr, nullptr,
        &HttpServerCallbacks::requestArrived, this, MHD_OPTION_LISTEN_SOCKET,
        static_cast<MHD_socket>(socket.fd()), MHD_OPTION_THREAD_POOL_SIZE, workers,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, connectionMemory, MHD_OPTION_CONNECTION_LIMIT,
        connectionLimit, MHD_OPTION_PER_IP_CONNECTION_LIMIT, connectionsPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, idleSeconds, MHD_OPTION_NOTIFY_CONNECTION,
        &HttpServerCallbacks::connectionChanged, this, MHD_OPTION_URI_LOG_CALLBACK,
        &HttpServerCallbacks::requestStarted, this, MHD_OPTION_NOTIFY_COMPLETED,
        &HttpServerCallbacks::requestEnded, this, MHD_OPTION_END);
    if (!daemon_)
        throw std::runtime_error("cannot start the HTTP server");
}

HttpServer::~HttpServer()
{
    // The listening socket belongs to the caller: take it back first.
    MHD_quiesce_daemon(daemon_);
    MHD_stop_daemon(daemon_);
}

bool HttpServer::serve(MHD_Connection* connection, Connection& state, const char* path,
                       const char* method)
{
    HttpRequest request;
    request.method = method;
    request.target = state.target;
    request.path = path;
    if (std::size_t mark = state.target.find('?'); mark != std::string::npos)
        request.query = state.target.substr(mark + 1);
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &HttpServerCallbacks::collectHeader,
                              &request.headers);
    request.body = std::move(state.body);

    HttpResponse response;
    try {
        handler_(request, response);
    } catch (const std::exception&) {
        response = HttpResponse{};
        response.setContent(500, "internal error\n", "text/plain; charset=utf-8");
    }
    return answer(connection, request, response);
}

bool HttpServer::refuse(MHD_Connection* connection, const Connection& state, const char* method,
                        int status)
{
    HttpRequest request;
    request.method = method;
    request.target = state.target;
    HttpResponse response;
    errorPage_(status, response);
    // What is left of the request is not read: the connection ends here.
    response.headers.emplace_back(MHD_HTTP_HEADER_CONNECTION, "close");
    return answer(connection, request, response);
}

bool HttpServer::answer(MHD_Connection* connection, const HttpRequest& request,
                        const HttpResponse& response)
{
    deadlines_.requestRead(connection);
    MHD_Response* reply = MHD_create_response_from_buffer(
        response.body.size(), const_cast<char*>(response.body.data()), MHD_RESPMEM_MUST_COPY);
    if (!reply)
        return false;
    if (!response.contentType.empty())
        MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, response.contentType.c_str());
    for (const auto& [name, value] : response.headers)
        MHD_add_response_header(reply, name.c_str(), value.c_str());
    bool queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), reply) == MHD_YES;
    MHD_destroy_response(reply);
    if (queued && logger_)
        logger_(request, response);
    return queued;
}
