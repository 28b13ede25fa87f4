// lumo-service: the local index service for the Lumo client.
#include "service/database.h"
#include "service/http_server.h"
#include "service/index_service.h"
#include "service/listen_socket.h"
#include "service/skin_store.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <string>

namespace {

const char* usage = "Usage: lumo-service [options]\n"
                    "  --host ADDR     address to listen on (default 127.0.0.1)\n"
                    "  --port N        port to listen on, 0 for any free port (default 8990)\n"
                    "  --data DIR      data folder (default $XDG_DATA_HOME/lumo-service or\n"
                    "                  ~/.local/share/lumo-service); the catalogue is created\n"
                    "                  there on first start\n"
                    "  --skins DIR     folder of the skin catalogue (<id>.skn, <id>.jpg;\n"
                    "                  default DATA/skins)\n"
                    "  --records N     files in a newly created catalogue (default 50000)\n"
                    "  --access-log    print one line per request on standard output\n"
                    "  --help          show this text\n";

struct Options
{
    std::string host = "127.0.0.1";
    int port = 8990;
    std::string data;
    std::string skins;
    long long records = 50000;
    bool accessLog = false;
};

bool parseNumber(const char* text, long long low, long long high, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

std::string defaultDataFolder()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::string(xdg) + "/lumo-service";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/lumo-service";
    return "lumo-service-data";
}

// Returns 0 to go on, else the exit code.
int parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "lumo-service: %s needs a value\n", option.c_str());
                return nullptr;
            }
            return argv[++i];
        };
        long long number = 0;
        if (option == "--help" || option == "-h") {
            std::fputs(usage, stdout);
            return -1;
        } else if (option == "--access-log") {
            options.accessLog = true;
        } else if (option == "--host") {
            const char* text = value();
            if (!text)
                return 2;
            options.host = text;
        } else if (option == "--port") {
            const char* text = value();
            if (!text || !parseNumber(text, 0, 65535, number)) {
                std::fprintf(stderr, "lumo-service: --port needs a number from 0 to 65535\n");
                return 2;
            }
            options.port = static_cast<int>(number);
        } else if (option == "--records") {
            const char* text = value();
            if (!text || !parseNumber(text, 1, 10000000, number)) {
                std::fprintf(stderr, "lumo-service: --records needs a number from 1 to 10000000\n");
                return 2;
            }
            options.records = number;
        } else if (option == "--data" || option == "--skins") {
            const char* text = value();
            if (!text || !*text) {
                std::fprintf(stderr, "lumo-service: %s needs a folder\n", option.c_str());
                return 2;
            }
            (option == "--data" ? options.data : options.skins) = text;
        } else {
            std::fprintf(stderr, "lumo-service: unknown option %s\n%s", option.c_str(), usage);
            return 2;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (int rc = parseOptions(argc, argv, options))
        return rc < 0 ? 0 : rc;
    if (options.data.empty())
        options.data = defaultDataFolder();
    if (options.skins.empty())
        options.skins = options.data + "/skins";

    // SIGINT and SIGTERM end the service cleanly; they are taken here with
    // sigwait, so the server threads never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        namespace fs = std::filesystem;
        // Listen first: a port that is taken is reported before the
        // catalogue is built.
        ListenSocket socket(options.host, options.port);
        fs::create_directories(options.data);
        fs::create_directories(options.skins);
        Database database((fs::path(options.data) / "catalogue.db").string(), options.records);
        SkinStore skins(options.skins);
        IndexService service(database, skins);

        std::mutex logMutex;
        HttpServer::Logger logger;
        if (options.accessLog) {
            logger = [&logMutex](const HttpRequest& request, const HttpResponse& response) {
                std::lock_guard<std::mutex> lock(logMutex);
                std::printf("%s %s %d\n", request.method.c_str(), request.target.c_str(),
                            response.status);
                std::fflush(stdout);
            };
        }
        HttpServer server(
            socket, IndexService::maxBodySize,
            [&service](const HttpRequest& request, HttpResponse& response) {
                service.handle(request, response);
            },
            &IndexService::errorPage, logger);
        std::printf("lumo-service: %lld files, listening on http://%s:%d/\n",
                    static_cast<long long>(database.recordCount()), options.host.c_str(),
                    socket.port());
        std::fflush(stdout);

        int signal = 0;
        sigwait(&stopSignals, &signal);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumo-service: %s\n", error.what());
        return 1;
    }
}
