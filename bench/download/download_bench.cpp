// Download benchmark: TMultipartHttpDownloader with 2 and 4 parts beside
// `curl -o`, all fetching the same file from an nginx started here on
// 127.0.0.1. Prints the throughput of each (best of N runs), the ratios
// against curl, and the peak memory of our downloader for a small and the
// large document (it must not grow with the document).
//
// Usage: download_bench [size-MB] [runs]        (defaults 200, 3)
// Each of our downloads runs in a child process of this program
// ("download_bench fetch URL FILE PARTS"), so that its peak memory is its own.

#include "net/multipart_downloader.h"
#include "tests/support/nginx_server.h"
#include "bench/peak_rss.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

// Child: one download; prints "bytes seconds peak-rss-kib".
int Fetch(const char* url, const char* path, int parts)
{
    auto* out = new QFile(QString::fromLocal8Bit(path));
    if (!out->open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot create %s\n", path);
        return 2;
    }
    TMultipartHttpDownloader dl;
    dl.SetURL(url);
    dl.SetPartCount(parts);
    dl.SetFileStream(out);
    QElapsedTimer timer;
    int rc = 1;
    dl.OnRequestDone = [&](TMultipartHttpDownloader*, int code, const QByteArray& reason) {
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (code == 200) {
            std::printf("%lld %.6f %ld\n", static_cast<long long>(dl.ContentLength()), seconds,
                        PeakRssKib());
            rc = 0;
        } else {
            std::fprintf(stderr, "failed: %d %s\n", code, reason.constData());
            delete dl.FileStream();
        }
        QCoreApplication::quit();
    };
    timer.start();
    dl.Start();
    QCoreApplication::exec();
    return rc;
}

bool MakeFile(const QString& path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()),
                                              chunk.size() / 4);
        const qint64 n = qMin<qint64>(left, chunk.size());
        if (f.write(chunk.constData(), n) != n)
            return false;
        left -= n;
    }
    return true;
}

bool SameFiles(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd()) {
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    }
    return true;
}

struct Result
{
    double mbPerS = 0;
    long rssKib = 0;
};

// One of our downloads in a child process; false when it failed.
bool Ours(const QByteArray& url, const QString& out, int parts, const QString& expected, Result& r)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"fetch", QString::fromLatin1(url), out, QString::number(parts)});
    if (!child.waitForFinished(600000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s", child.readAllStandardError().constData());
        return false;
    }
    const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
    if (f.size() != 3 || !SameFiles(out, expected)) {
        std::fprintf(stderr, "downloaded file differs from the served one\n");
        return false;
    }
    r.mbPerS = f[0].toDouble() / f[1].toDouble() / 1048576.0;
    r.rssKib = f[2].toLong();
    QFile::remove(out);
    return true;
}

bool Curl(const QByteArray& url, const QString& out, const QString& expected, Result& r)
{
    QProcess curl;
    curl.start("curl",
               {"-s", "-o", out, "-w", "%{time_total} %{size_download}", QString::fromLatin1(url)});
    if (!curl.waitForFinished(600000) || curl.exitCode() != 0)
        return false;
    const QList<QByteArray> f = curl.readAllStandardOutput().trimmed().split(' ');
    if (f.size() != 2 || !SameFiles(out, expected))
        return false;
    r.mbPerS = f[1].toDouble() / f[0].toDouble() / 1048576.0;
    QFile::remove(out);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "fetch") == 0)
        return Fetch(argv[2], argv[3], std::atoi(argv[4]));

    const int sizeMb = argc > 1 ? std::atoi(argv[1]) : 200;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const int smallMb = qMax(1, sizeMb / 10);
    if (sizeMb <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: download_bench [size-MB] [runs]\n");
        return 2;
    }
    NginxServer nginx;
    if (!nginx.Start()) {
        std::fprintf(stderr, "%s\n", nginx.Error().toLocal8Bit().constData());
        return 1;
    }
    QTemporaryDir work;
    const QString big = nginx.Root() + "/big.bin";
    const QString small = nginx.Root() + "/small.bin";
    if (!work.isValid() || !MakeFile(big, qint64(sizeMb) << 20) ||
        !MakeFile(small, qint64(smallMb) << 20)) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }
    const QByteArray bigUrl = nginx.BaseUrl() + "/big.bin";
    const QByteArray smallUrl = nginx.BaseUrl() + "/small.bin";
    const QString out = work.filePath("out.bin");

    Result best2, best4, bestCurl, small2;
    for (int run = 1; run <= runs; ++run) {
        Result r2, r4, rc;
        if (!Ours(bigUrl, out, 2, big, r2) || !Ours(bigUrl, out, 4, big, r4) ||
            !Curl(bigUrl, out, big, rc)) {
            std::fprintf(stderr, "run %d failed\n", run);
            return 1;
        }
        std::printf("run %d: 2 parts %.1f MB/s (peak RSS %ld MB), 4 parts %.1f MB/s (peak RSS "
                    "%ld MB), curl %.1f MB/s\n",
                    run, r2.mbPerS, r2.rssKib / 1024, r4.mbPerS, r4.rssKib / 1024, rc.mbPerS);
        std::fflush(stdout);
        if (r2.mbPerS > best2.mbPerS)
            best2.mbPerS = r2.mbPerS;
        if (r4.mbPerS > best4.mbPerS)
            best4.mbPerS = r4.mbPerS;
        best2.rssKib = qMax(best2.rssKib, r2.rssKib);
        best4.rssKib = qMax(best4.rssKib, r4.rssKib);
        bestCurl.mbPerS = qMax(bestCurl.mbPerS, rc.mbPerS);
    }
    if (!Ours(smallUrl, out, 2, small, small2)) {
        std::fprintf(stderr, "small download failed\n");
        return 1;
    }
    std::printf("document: %d MB from nginx on 127.0.0.1, best of %d runs\n", sizeMb, runs);
    std::printf("downloader, 2 parts: %.1f MB/s, peak RSS %ld MB\n", best2.mbPerS,
                best2.rssKib / 1024);
    std::printf("downloader, 4 parts: %.1f MB/s, peak RSS %ld MB\n", best4.mbPerS,
                best4.rssKib / 1024);
    std::printf("curl -o:             %.1f MB/s\n", bestCurl.mbPerS);
    std::printf("ratio (2 parts / curl): %.2f\n", best2.mbPerS / bestCurl.mbPerS);
    std::printf("ratio (4 parts / curl): %.2f\n", best4.mbPerS / bestCurl.mbPerS);
    std::printf("peak RSS, 2 parts: %d MB document %ld MB, %d MB document %ld MB (ratio %.2f)\n",
                smallMb, small2.rssKib / 1024, sizeMb, best2.rssKib / 1024,
                double(best2.rssKib) / double(small2.rssKib));
    return 0;
}
