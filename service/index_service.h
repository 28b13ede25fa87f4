#pragma once

#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

class Database;
class FormBody;
class SkinStore;

// The service's HTTP face: the client's service messages, the detail pages,
// the skin catalogue and the feedback page, installed on a cpp-httplib
// server. Replies to the client are GBK; pages are UTF-8.
class IndexService
{
public:
    IndexService(Database& database, const SkinStore& skins);

    // Installs the routes, the error pages and the body size limit.
    void install(httplib::Server& server);

    // Largest request body accepted; bigger ones get 413.
    static constexpr std::size_t maxBodySize = 64 * 1024;
    // Hits in one search reply, at most.
    static constexpr int maxHits = 100;

private:
    void clientMessage(const httplib::Request& request, httplib::Response& response);
    std::string search(const FormBody& form);
    std::string commend();
    std::string review(const FormBody& form);
    std::string report(const FormBody& form);
    void detailPage(const httplib::Request& request, httplib::Response& response);
    void skinCatalogue(const httplib::Request& request, httplib::Response& response);

    Database& database_;
    const SkinStore& skins_;
};
