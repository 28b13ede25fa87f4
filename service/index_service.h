#pragma once

#include "service/http_exchange.h"

#include <string>

class Database;
class FormBody;
class SkinStore;

// The service's HTTP face: the client's service messages, the detail pages,
// the skin catalogue and the feedback page, as the handler of the HTTP
// server. Replies to the client are GBK; pages are UTF-8.
class IndexService
{
public:
    IndexService(Database& database, const SkinStore& skins);

    // Routes a request; every failure becomes an answer.
    void handle(const HttpRequest& request, HttpResponse& response);
    // The page for a request the server refused itself.
    static void errorPage(int status, HttpResponse& response);

    // Largest request body accepted; bigger ones get 413.
    static constexpr std::size_t maxBodySize = 64 * 1024;
    // Hits in one search reply, at most.
    static constexpr int maxHits = 100;

private:
    void route(const HttpRequest& request, HttpResponse& response);
    void clientMessage(const HttpRequest& request, HttpResponse& response);
    std::string search(const FormBody& form);
    std::string commend();
    std::string review(const FormBody& form);
    std::string report(const FormBody& form);
    void detailPage(const std::string& digits, HttpResponse& response);
    void skinCatalogue(const HttpRequest& request, HttpResponse& response);

    Database& database_;
    const SkinStore& skins_;
};
