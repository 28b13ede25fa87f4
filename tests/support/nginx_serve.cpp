// Runs an NginxServer for scripts (the shell benchmarks): prints
// "base-url root-folder" on one line, then serves until its standard input
// is closed, and stops nginx.

#include "tests/support/nginx_server.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    NginxServer nginx;
    if (!nginx.Start()) {
        std::fprintf(stderr, "%s\n", nginx.Error().toLocal8Bit().constData());
        return 1;
    }
    std::printf("%s %s\n", nginx.BaseUrl().constData(), nginx.Root().toLocal8Bit().constData());
    std::fflush(stdout);
    char buffer[256];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    return 0;
}
