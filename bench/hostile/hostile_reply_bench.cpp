// Peak resident memory of the client against a body without end. The
// client's five windows run in a child process exactly as the program
// builds them, pointed at a loopback server; nobody touches them, so the
// only request is the hot-word refresh that goes out by itself after 5 s
// (and again every 30 s). Run 1: every reply is a 200 whose body never
// ends. Run 2 (the peer): every reply is "[]". Prints both peaks, their
// ratio and how many body bytes the hostile server got rid of.
//
// Usage: QT_QPA_PLATFORM=offscreen hostile_reply_bench [seconds]   (default 12)
// The child gives up at 3 GiB, so a client without bounds cannot take the
// machine down.
#include "bench/peak_rss.h"
#include "skin/skin_application.h"
#include "tests/support/scripted_server.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

constexpr long kGiveUpKib = 3L * 1024 * 1024;

// Child: the windows for `seconds`, then "peak-kib".
int RunClient(int argc, char** argv, const QString& baseUrl, int seconds)
{
    TApplication app(argc, argv);
    QTemporaryDir folder;
    TMainForm MainForm(folder.path() + QLatin1Char('/'));
    MainForm.base_url = baseUrl;
    TWBForm WBForm(MainForm);
    TSkinFrm SkinFrm(MainForm);
    TVerFrm VerFrm(MainForm);
    TRpForm RpForm(MainForm);
    MainForm.show();
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (CurrentRssKib() > kGiveUpKib)
            QCoreApplication::quit();
    });
    watch.start();
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::quit(); });
    TApplication::exec();
    std::printf("%ld\n", PeakRssKib());
    return 0;
}

long RunAgainst(ScriptedServer& server, int seconds)
{
    QProcess child;
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                             "XDG_RUNTIME_DIR"})
        env.insert(QLatin1String(name), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("client"), QString::fromLatin1(server.BaseUrl() + "/"),
                 QString::number(seconds)});
    long peak = -1;
    QObject::connect(&child, &QProcess::finished, [&] {
        peak = child.readAllStandardOutput().trimmed().toLong();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return peak;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "client") == 0)
        return RunClient(argc, argv, QString::fromLatin1(argv[2]), std::atoi(argv[3]));

    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(6, std::atoi(argv[1])) : 12;

    ScriptedServer hostile;
    hostile.Responder = [](const QByteArray&) {
        ScriptedServer::Reply reply =
            ScriptedServer::Reply::Raw("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n[");
        reply.endless = QByteArray(64 * 1024, ' ');
        return reply;
    };
    ScriptedServer peer;
    peer.Responder = [](const QByteArray&) {
        return ScriptedServer::Reply::Raw("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n[]");
    };
    if (!hostile.Listen() || !peer.Listen()) {
        std::fprintf(stderr, "no loopback port\n");
        return 2;
    }
    const long hostilePeak = RunAgainst(hostile, seconds);
    const long peerPeak = RunAgainst(peer, seconds);
    std::printf("client for %d s, hot-word request after 5 s:\n", seconds);
    std::printf("  body without end   peak RSS %8.1f MiB  (server sent %.1f MiB)\n",
                hostilePeak / 1024.0, hostile.PouredCount() / 1048576.0);
    std::printf("  answering service  peak RSS %8.1f MiB\n", peerPeak / 1024.0);
    if (hostilePeak > 0 && peerPeak > 0)
        std::printf("  ratio %.2f%s\n", double(hostilePeak) / double(peerPeak),
                    hostilePeak >= kGiveUpKib ? "  (stopped at the 3 GiB cap)" : "");
    return 0;
}
