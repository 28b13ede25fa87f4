#pragma once

#include <string>
#include <utility>
#include <vector>

// One request as the server has read it: the header within its bounds, the
// body whole (at most the server's body limit).
struct HttpRequest
{
    std::string method;
    std::string target; // as sent, query included
    std::string path;   // without the query, percent-decoded
    std::string query;  // after "?", raw
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name, compared without case; empty if none.
    std::string header(const std::string& name) const;
};

// The answer the routes build; the server adds the length and the framing.
struct HttpResponse
{
    int status = 200;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    void setContent(int newStatus, std::string newBody, const char* type)
    {
        status = newStatus;
        body = std::move(newBody);
        contentType = type;
    }
};
