// Downloads one URL into a file through THttpCli's RcvdStream and prints
// "bytes seconds peak-rss-kib" on one line (seconds from the start of the
// request to its completion).

#include "net/http_cli.h"
#include "bench/peak_rss.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: http_bench_client URL OUTFILE\n");
        return 2;
    }
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "cannot create %s\n", argv[2]);
        return 2;
    }
    THttpCli cli;
    cli.SetName("BenchCli");
    cli.SetURL(argv[1]);
    cli.SetRcvdStream(&out);
    QElapsedTimer timer;
    int rc = 1;
    cli.OnRequestDone = [&](THttpCli* c, THttpRequest, quint16 err) {
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (err == 0 && c->StatusCode() == 200) {
            std::printf("%lld %.6f %ld\n", static_cast<long long>(c->RcvdCount()), seconds,
                        PeakRssKib());
            rc = 0;
        } else {
            std::fprintf(stderr, "failed: error %u, status %d %s\n", err, c->StatusCode(),
                         c->ReasonPhrase().constData());
        }
        app.exit(rc);
    };
    timer.start();
    cli.GetASync();
    app.exec();
    out.close();
    return rc;
}
