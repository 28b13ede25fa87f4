#include "service/index_service.h"

#include "service/byte_range.h"
#include "service/database.h"
#include "service/form_body.h"
#include "service/gbk_codec.h"
#include "service/pages.h"
#include "service/service_error.h"
#include "service/skin_store.h"

#include <algorithm>
#include <cstdio>

namespace {

const char* gbkText = "text/plain; charset=GBK";
const char* gbkJson = "application/json; charset=GBK";
const char* utf8Html = "text/html; charset=utf-8";

// Keywords longer than this are refused; only shorter ones enter the search
// log, so the hot-word bar gets words, not sentences.
constexpr std::size_t maxKeywordLength = 100;
constexpr std::size_t maxLoggedWordLength = 20;
constexpr std::size_t maxReportLength = 2000;
constexpr int hotWordCount = 10;

bool isBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

// Removes bytes of code 32 and below at both ends, as the client does.
std::string trimmed(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string required(const FormBody& form, const std::string& name)
{
    std::optional<std::string> value = form.value(name);
    if (!value)
        throw ServiceError(400, "missing field: " + name);
    return *value;
}

// A form value as UTF-8 text; the client sends GBK.
std::string textField(const FormBody& form, const std::string& name)
{
    std::string utf8;
    if (!GbkCodec::toUtf8(required(form, name), utf8))
        throw ServiceError(400, "field is not GBK text: " + name);
    if (utf8.find('\0') != std::string::npos)
        throw ServiceError(400, "field holds a NUL byte: " + name);
    return utf8;
}

std::int64_t fileIdField(const FormBody& form)
{
    std::string text = trimmed(required(form, "file_id"));
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw ServiceError(400, "file_id is not a file id");
    return std::stoll(text);
}

// Scores read "8分优秀" and the like: a number from 1 to 10, then "分".
int parseScore(const std::string& text)
{
    std::size_t digits = text.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string::npos || digits > 2 ||
        text.compare(digits, 3, "分") != 0 || GbkCodec::utf8Length(text) > 20)
        return 0;
    int score = std::stoi(text.substr(0, digits));
    return score >= 1 && score <= 10 ? score : 0;
}

void appendJsonString(std::string& json, const std::string& text)
{
    json += '"';
    for (char c : text) {
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                json += escape;
            } else {
                json += c;
            }
        }
    }
    json += '"';
}

// JSON text in GBK. Control characters are escaped already; a character GBK
// lacks becomes a \u escape (it can only stand inside a string).
std::string jsonToGbk(const std::string& utf8Json)
{
    return GbkCodec::fromUtf8(utf8Json, [](char32_t cp) {
        char escape[16];
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            std::snprintf(escape, sizeof escape, "\\u%04x\\u%04x",
                          static_cast<unsigned>(0xD800 + (cp >> 10)),
                          static_cast<unsigned>(0xDC00 + (cp & 0x3FF)));
        } else {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(cp));
        }
        return std::string(escape);
    });
}

// Splits a keyword into its words at blanks, the ideographic space included.
std::vector<std::string> keywordTerms(std::string keyword)
{
    const std::string ideographicSpace = "\xE3\x80\x80";
    for (std::size_t at = keyword.find(ideographicSpace); at != std::string::npos;
         at = keyword.find(ideographicSpace, at))
        keyword.replace(at, ideographicSpace.size(), " ");
    std::vector<std::string> terms;
    std::string term;
    for (char c : keyword + " ") {
        if (isBlank(c)) {
            if (!term.empty())
                terms.push_back(term);
            term.clear();
        } else {
            term += c;
        }
    }
    return terms;
}

void answer(HttpResponse& response, int status, const std::string& body, const char* type)
{
    response.setContent(status, body, type);
}

// Runs a handler; a ServiceError becomes its status with the message as a
// short plain text.
template <typename Handler> void guarded(HttpResponse& response, Handler&& handler)
{
    try {
        handler();
    } catch (const ServiceError& error) {
        answer(response, error.status(), std::string(error.what()) + "\n",
               "text/plain; charset=utf-8");
    } catch (const std::exception& error) {
        answer(response, 500, std::string(error.what()) + "\n", "text/plain; charset=utf-8");
    }
}

const char* reasonText(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return status >= 500 ? "Internal Server Error" : "Error";
    }
}

// Answers a ranged or whole download of `data`.
void sendBytes(const HttpRequest& request, HttpResponse& response, const std::string& data,
               const char* type)
{
    ByteRange range = ByteRange::parse(request.header("Range"), data.size());
    response.headers.emplace_back("Accept-Ranges", "bytes");
    switch (range.kind) {
    case ByteRange::Kind::Whole:
        answer(response, 200, data, type);
        break;
    case ByteRange::Kind::Part:
        response.headers.emplace_back("Content-Range", "bytes " + std::to_string(range.first) +
                                                           "-" + std::to_string(range.last) + "/" +
                                                           std::to_string(data.size()));
        answer(response, 206, data.substr(range.first, range.last - range.first + 1), type);
        break;
    case ByteRange::Kind::Unsatisfiable:
        response.headers.emplace_back("Content-Range", "bytes */" + std::to_string(data.size()));
        answer(response, 416, "range not satisfiable\n", "text/plain; charset=utf-8");
        break;
    }
}

} // namespace

IndexService::IndexService(Database& database, const SkinStore& skins)
    : database_(database), skins_(skins)
{
}

void IndexService::handle(const HttpRequest& request, HttpResponse& response)
{
    guarded(response, [&] { route(request, response); });
}

void IndexService::errorPage(int status, HttpResponse& response)
{
    answer(response, status, Pages::errorPage(status, reasonText(status)), utf8Html);
}

void IndexService::route(const HttpRequest& request, HttpResponse& response)
{
    // HEAD is answered as GET; the server leaves the body out.
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    const std::string& path = request.path;
    const std::string detailPrefix = "/vexa-";
    if (post && path == "/vexa_client.php") {
        clientMessage(request, response);
    } else if (get && path.size() > detailPrefix.size() &&
               path.compare(0, detailPrefix.size(), detailPrefix) == 0 &&
               std::all_of(path.begin() + detailPrefix.size(), path.end(),
                           [](char c) { return c >= '0' && c <= '9'; })) {
        detailPage(path.substr(detailPrefix.size()), response);
    } else if ((get || post) && path == "/plugins/getskin.php") {
        skinCatalogue(request, response);
    } else if (get && path == "/forum-32-1.html") {
        answer(response, 200, Pages::forumPage(), utf8Html);
    } else if (get && path == Pages::popupPath) {
        answer(response, 200, Pages::popupPage(), utf8Html);
    } else {
        errorPage(404, response);
    }
}

void IndexService::clientMessage(const HttpRequest& request, HttpResponse& response)
{
    FormBody form = FormBody::parse(request.body);
    std::optional<std::string> action = form.value("action");
    if (!action)
        throw ServiceError(400, "missing field: action");
    if (*action == "search")
        answer(response, 200, search(form), gbkJson);
    else if (*action == "commend")
        answer(response, 200, commend(), gbkJson);
    else if (*action == "review")
        answer(response, 200, review(form), gbkText);
    else if (*action == "report")
        answer(response, 200, report(form), gbkText);
    else
        throw ServiceError(400, "unknown action");
}

std::string IndexService::search(const FormBody& form)
{
    std::string keyword = trimmed(textField(form, "word"));
    if (GbkCodec::utf8Length(keyword) > maxKeywordLength)
        throw ServiceError(400, "keyword too long");
    std::vector<std::string> terms = keywordTerms(keyword);
    std::vector<FileRecord> files;
    if (!terms.empty())
        files = database_.search(terms, maxHits);

    std::string json = "[";
    for (const FileRecord& file : files) {
        if (json.size() > 1)
            json += ',';
        json += "{\"file_name\":";
        appendJsonString(json, file.name);
        json += ",\"file_extension\":";
        appendJsonString(json, file.extension);
        json += ",\"file_size\":" + std::to_string(file.size);
        json += ",\"file_value\":" + std::to_string(file.value);
        json += ",\"file_views\":" + std::to_string(file.views);
        json += ",\"file_time\":";
        appendJsonString(json, file.indexed);
        json += ",\"s_url\":";
        appendJsonString(json, file.shareUrl);
        json += ",\"file_id\":" + std::to_string(file.id) + "}";
    }
    json += "]";

    if (!files.empty() && GbkCodec::utf8Length(keyword) <= maxLoggedWordLength) {
        std::string word;
        for (const auto& term : terms)
            word += (word.empty() ? "" : " ") + term;
        database_.logSearch(word);
    }
    return jsonToGbk(json);
}

std::string IndexService::commend()
{
    std::string json = "[";
    for (const std::string& word : database_.hotWords(hotWordCount)) {
        if (json.size() > 1)
            json += ',';
        json += "{\"word\":";
        appendJsonString(json, word);
        json += "}";
    }
    return jsonToGbk(json + "]");
}

std::string IndexService::review(const FormBody& form)
{
    std::int64_t fileId = fileIdField(form);
    std::string scoreText = trimmed(textField(form, "score"));
    int score = parseScore(scoreText);
    if (score == 0)
        throw ServiceError(400, "score is not a score from 1 to 10");
    if (!database_.addReview(fileId, score, scoreText))
        throw ServiceError(404, "no such file");
    return "true";
}

std::string IndexService::report(const FormBody& form)
{
    std::int64_t fileId = fileIdField(form);
    std::string content = trimmed(textField(form, "content"));
    if (content.empty())
        throw ServiceError(400, "empty report");
    if (GbkCodec::utf8Length(content) > maxReportLength)
        throw ServiceError(400, "report too long");
    if (!database_.addReport(fileId, content))
        throw ServiceError(404, "no such file");
    return "true";
}

void IndexService::detailPage(const std::string& digits, HttpResponse& response)
{
    std::optional<FileDetails> details;
    if (digits.size() <= 18)
        details = database_.details(std::stoll(digits));
    if (!details) {
        answer(response, 404, Pages::errorPage(404, "文件不存在"), utf8Html);
        return;
    }
    answer(response, 200, Pages::detailPage(*details), utf8Html);
}

void IndexService::skinCatalogue(const HttpRequest& request, HttpResponse& response)
{
    // The list comes as a form body; the downloads as a query.
    FormBody form = FormBody::parse(request.method == "POST" ? request.body : std::string());
    FormBody query = FormBody::parse(request.query);
    auto parameter = [&](const std::string& name) {
        std::optional<std::string> value = form.value(name);
        return value ? value : query.value(name);
    };
    std::optional<std::string> action = parameter("action");
    if (!action)
        throw ServiceError(400, "missing field: action");
    if (*action == "list") {
        std::string list;
        for (const std::string& id : skins_.ids())
            list += (list.empty() ? "" : ",") + id;
        answer(response, 200, list, gbkText);
        return;
    }
    SkinStore::Item item;
    if (*action == "downskin")
        item = SkinStore::Item::Skin;
    else if (*action == "downimg")
        item = SkinStore::Item::Preview;
    else
        throw ServiceError(400, "unknown action");
    std::optional<std::string> data = skins_.read(parameter("skin_id").value_or(""), item);
    if (!data)
        throw ServiceError(404, "no such skin");
    sendBytes(request, response, *data,
              item == SkinStore::Item::Skin ? "application/octet-stream" : "image/jpeg");
}
