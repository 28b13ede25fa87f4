// Memory at rest and the first preview.
//
// Resident memory ten seconds after start of the client (its process and
// every process it started) beside a bare Qt Widgets window with a line of
// Chinese text (fill_bare_probe), in the same run. Then the time from
// opening the first preview after start to the detail page's completion,
// beside the same for the second preview (preview_probe), the pages served
// on loopback by this process.
//
// Usage: xvfb-run -a -s '-screen 0 1280x800x24' preview_bench [preview runs]
// (QT_QPA_PLATFORM=offscreen works too, without GL.)
#include "tests/web/page_server.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QByteArray kDetailPage =
    "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
    "<title>数据结构教程.pdf - Lumo网盘搜索</title>"
    "<style>body{font:14px sans-serif;margin:20px}th{text-align:left}</style></head>"
    "<body onload=\"window.open('/popup-ad.html')\"><h1>数据结构教程.pdf</h1><table>"
    "<tr><th>大小</th><td>1 MB</td></tr><tr><th>收录时间</th><td>2013-09-24</td></tr>"
    "<tr><th>网盘地址</th><td><a href=\"http://pan.example.com/s/1\">http://pan.example.com/"
    "s/1</a></td></tr></table><a target=\"_blank\" href=\"/popup-ad.html\">广告</a></body></html>";

void RunEvents(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
}

// The process `pid` and every process below it.
std::vector<qint64> ProcessTree(qint64 pid)
{
    std::vector<qint64> tree{pid};
    const QStringList all = QDir("/proc").entryList(QDir::Dirs);
    for (size_t i = 0; i < tree.size(); ++i) {
        for (const QString& entry : all) {
            QFile stat("/proc/" + entry + "/stat");
            if (!entry.front().isDigit() || !stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 1 && fields[1].toLongLong() == tree[i])
                tree.push_back(entry.toLongLong());
        }
    }
    return tree;
}

long RssKib(qint64 pid)
{
    QFile status("/proc/" + QString::number(pid) + "/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// A process with its own temporary HOME, TMPDIR and XDG folders (so also
// its own single-instance slot).
struct Isolated
{
    QTemporaryDir home;
    QProcess process;

    bool Start(const QString& program, const QStringList& arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                                 "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
            const QString folder = home.filePath(QString::fromLatin1(name));
            QDir().mkdir(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            env.insert(QString::fromLatin1(name), folder);
        }
        process.setProcessEnvironment(env);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        return home.isValid() && process.waitForStarted(10000);
    }
    ~Isolated()
    {
        process.kill();
        process.waitForFinished(10000);
    }
};

// Resident memory of the program's process tree ten seconds after start.
long RestingKib(const QString& program, const QStringList& arguments, int* processes)
{
    Isolated run;
    if (!run.Start(program, arguments))
        return -1;
    RunEvents([&] { return run.process.state() == QProcess::NotRunning; }, 10000);
    if (run.process.state() == QProcess::NotRunning)
        return -1;
    long kib = 0;
    const std::vector<qint64> tree = ProcessTree(run.process.processId());
    for (qint64 pid : tree)
        kib += RssKib(pid);
    *processes = int(tree.size());
    return kib;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM", "xcb");

    int bareProcesses = 0, clientProcesses = 0;
    const long bare = RestingKib(LUMO_BARE_PROBE, {"text", "rest"}, &bareProcesses);
    const long client = RestingKib(LUMO_CLIENT, {}, &clientProcesses);
    if (bare <= 0 || client <= 0) {
        std::printf("a program ended before it was measured\n");
        return 1;
    }
    std::printf("platform %s\n"
                "resident memory ten seconds after start, no preview opened:\n"
                "  bare Qt window with a label %7.1f MB (%d process)\n"
                "  client                      %7.1f MB (%d processes)\n"
                "  ratio client / bare with a label %.2fx (target <= 2x)\n\n",
                qPrintable(platform), bare / 1024.0, bareProcesses, client / 1024.0,
                clientProcesses, double(client) / bare);
    std::fflush(stdout);

    PageServer pages;
    if (!pages.Listen())
        return 1;
    pages.AddPage("/vexa-1", kDetailPage);
    pages.AddPage("/vexa-2", kDetailPage);
    pages.AddPage("/popup-ad.html", "<html>ad</html>");
    std::vector<double> first, second, loading, stall, stall2;
    for (int run = 0; run < runs; ++run) {
        Isolated probe;
        if (!probe.Start(LUMO_PREVIEW_PROBE, {pages.BaseUrl()}))
            return 1;
        RunEvents([&] { return probe.process.state() == QProcess::NotRunning; }, 120000);
        QMap<QByteArray, double> figures;
        for (const QByteArray& line : probe.process.readAllStandardOutput().split('\n'))
            if (line.contains(' '))
                figures.insert(line.split(' ')[0], line.split(' ')[1].toDouble());
        if (probe.process.exitCode() != 0 || !figures.contains("second")) {
            std::printf("preview probe failed\n");
            return 1;
        }
        first.push_back(figures["first"]);
        loading.push_back(figures["loading"]);
        stall.push_back(figures["stall"]);
        stall2.push_back(figures["stall2"]);
        second.push_back(figures["second"]);
    }
    const double f = Median(first), s = Median(second);
    std::printf("opening a preview to its detail page's completion (median of %d runs):\n"
                "  first preview after start %7.1f ms (target <= 1500)\n"
                "    its loading page        %7.1f ms\n"
                "    longest GUI stall       %7.1f ms (the engine's start)\n"
                "  second preview            %7.1f ms\n"
                "    longest GUI stall       %7.1f ms\n"
                "  ratio first / second %.2fx\n",
                runs, f, Median(loading), Median(stall), s, Median(stall2), f / s);
    for (const QString& path : pages.RequestedPaths())
        if (path.startsWith("/popup-ad"))
            std::printf("a pop-up reached the server: %s\n", qPrintable(path));
    return 0;
}
