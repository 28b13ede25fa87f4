// Measures the search latency of lumo-service: median and 99th percentile
// over a fixed keyword list, with one client, ten and fifty at once, each
// request on a new connection in HTTP/1.0 as the client sends it, and
// searches made while eight peers trickle request headers. A static page
// fetched the same way is the peer measured in the same run.
//
// Usage: service_bench [--url http://127.0.0.1:PORT/] [--rounds N]
// Without --url it starts its own service on a fresh 50,000-file catalogue.
#include "service/gbk_codec.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr double targetP99Ms = 20.0;

const std::vector<std::string> keywords = {
    "周杰伦",          "Windows 7", "高等数学",   "权力的游戏",    "Photoshop",
    "1080p",           "晴天",      "C++ Primer", "英语四级 真题", "mp3",
    "Game.of.Thrones", "壁纸",      "a",          "iso",           "三国演义 国语中字",
    "Linux",           "绿色版",    "zzqqxx",     "Taylor Swift",  "数据结构"};

struct Sample
{
    double ms = 0;
    bool ok = false;
};

// One request on a new connection; the reply is read until the close.
Sample exchange(int port, const std::string& request)
{
    Sample sample;
    auto start = std::chrono::steady_clock::now();
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return sample;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string reply;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[16384];
        ssize_t n;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
            reply.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    sample.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    sample.ok =
        reply.compare(0, 12, "HTTP/1.1 200") == 0 || reply.compare(0, 12, "HTTP/1.0 200") == 0;
    return sample;
}

std::string postRequest(int port, const std::string& body)
{
    return "POST /vexa_client.php HTTP/1.0\r\n"
           "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\n"
           "User-Agent: vexa-client-http\r\n"
           "Host: 127.0.0.1:" +
           std::to_string(port) +
           "\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The client percent-encodes only these bytes of a value.
std::string formValue(const std::string& utf8)
{
    std::string gbk = GbkCodec::fromUtf8(utf8, [](char32_t) { return std::string("?"); });
    std::string out;
    for (char c : gbk) {
        if (c == '%' || c == '&' || c == '+' || c == '=') {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

struct Figures
{
    std::size_t count = 0;
    std::size_t failed = 0;
    double median = 0;
    double p99 = 0;
};

Figures figures(std::vector<Sample> samples)
{
    Figures result;
    std::vector<double> ms;
    for (const Sample& sample : samples) {
        ms.push_back(sample.ms);
        result.failed += sample.ok ? 0 : 1;
    }
    result.count = ms.size();
    if (ms.empty())
        return result;
    std::sort(ms.begin(), ms.end());
    result.median = ms[ms.size() / 2];
    result.p99 = ms[std::min(ms.size() - 1, (ms.size() * 99 + 99) / 100 - 1)];
    return result;
}

// Runs `perClient` requests on each of `clients` threads, the request list
// taken round-robin from a different start on each thread.
std::vector<Sample> run(int port, const std::vector<std::string>& requests, int clients,
                        int perClient)
{
    std::vector<std::vector<Sample>> results(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            for (int i = 0; i < perClient; ++i)
                results[static_cast<std::size_t>(c)].push_back(exchange(
                    port, requests[(static_cast<std::size_t>(c) * 7 + i) % requests.size()]));
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::vector<Sample> all;
    for (const auto& part : results)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

void print(const char* label, const Figures& f)
{
    std::printf("%-28s %8zu %8zu %10.2f %10.2f\n", label, f.count, f.failed, f.median, f.p99);
}

// A service of our own on a fresh catalogue in a temporary folder.
class OwnService
{
public:
    bool start()
    {
        char folder[] = "/tmp/service_bench-XXXXXX";
        if (!mkdtemp(folder))
            return false;
        folder_ = folder;
        int out[2];
        if (pipe(out) != 0)
            return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::string data = folder_ + "/data";
            execl(LUMO_SERVICE_BINARY, LUMO_SERVICE_BINARY, "--port", "0", "--data", data.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        auto started = std::chrono::steady_clock::now();
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        close(out[0]);
        startSeconds_ =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::size_t at = line.rfind(':');
        port_ = at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 1);
        std::printf("%s (first start, catalogue built, in %.1f s)\n", line.c_str(), startSeconds_);
        return port_ > 0;
    }

    ~OwnService()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }

    int port() const { return port_; }

private:
    std::string folder_;
    pid_t pid_ = -1;
    int port_ = 0;
    double startSeconds_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    std::string url;
    int rounds = 25;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--url" && i + 1 < argc)
            url = argv[++i];
        else if (option == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr,
                         "Usage: service_bench [--url http://127.0.0.1:PORT/] [--rounds N]\n");
            return 2;
        }
    }

    OwnService own;
    int port = 0;
    if (url.empty()) {
        if (!own.start()) {
            std::fprintf(stderr, "service_bench: cannot start %s\n", LUMO_SERVICE_BINARY);
            return 1;
        }
        port = own.port();
    } else {
        std::size_t at = url.rfind(':');
        port = at == std::string::npos ? 0 : std::atoi(url.c_str() + at + 1);
        if (port <= 0 || url.compare(0, 17, "http://127.0.0.1:") != 0) {
            std::fprintf(stderr, "service_bench: --url must be http://127.0.0.1:PORT/\n");
            return 2;
        }
    }

    std::vector<std::string> searches;
    for (const std::string& keyword : keywords)
        searches.push_back(postRequest(port, "action=search&word=" + formValue(keyword)));
    std::vector<std::string> peer = {
        "GET /forum-32-1.html HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n"};

    run(port, searches, 1, static_cast<int>(searches.size())); // warm the caches

    int perClient = rounds * static_cast<int>(searches.size());
    Figures peerFigures = figures(run(port, peer, 1, perClient));
    Figures single = figures(run(port, searches, 1, perClient));
    Figures ten = figures(run(port, searches, 10, perClient / 5));
    Figures fifty = figures(run(port, searches, 50, perClient / 25));
    Figures slowPeers;
    {
        // Eight peers in the middle of a request header, as a hostile or
        // broken client leaves them.
        std::vector<int> peers;
        for (int i = 0; i < 8; ++i) {
            int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const char partial[] = "POST /vexa_client.php HTTP/1.0\r\nX-Slow: ";
            if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                send(fd, partial, sizeof partial - 1, MSG_NOSIGNAL);
            peers.push_back(fd);
        }
        slowPeers = figures(run(port, searches, 1, 20));
        for (int fd : peers)
            close(fd);
    }

    std::printf("%zu keywords, %d rounds\n", keywords.size(), rounds);
    std::printf("%-28s %8s %8s %10s %10s\n", "", "requests", "failed", "median ms", "p99 ms");
    print("static page, 1 client (peer)", peerFigures);
    print("search, 1 client", single);
    print("search, 10 clients", ten);
    print("search, 50 clients", fifty);
    print("search, 8 slow peers open", slowPeers);
    std::printf("search p99, 1 client: %.2f ms = %.2f x target (%.0f ms; below 1 meets it)\n",
                single.p99, single.p99 / targetP99Ms, targetP99Ms);
    if (peerFigures.median > 0)
        std::printf("search median / peer median: 1 client %.1f x, 10 clients %.1f x\n",
                    single.median / peerFigures.median, ten.median / peerFigures.median);
    return single.failed + ten.failed + fifty.failed + slowPeers.failed + peerFigures.failed == 0
               ? 0
               : 1;
}
