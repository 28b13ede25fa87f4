// Parses and shows search replies of 1,000, 10,000 and 100,000 hits in the
// main window and prints parse time, fill time (rows built and handed to
// the list), show time (the list painted), heap per row, and the cost per
// hit against the smallest reply (1.0 = linear). Then measures the time
// from process start to the main window's first complete frame
// (fill_startup_probe) beside a bare Qt Widgets program's window, empty and
// with a line of text (fill_bare_probe).
//
// Usage: QT_QPA_PLATFORM=offscreen fill_bench [start-up runs]
#include "json/uJson.h"
#include "skin/skin_application.h"
#include "ui/result_list_model.h"
#include "ui/uMain.h"
#include "ui/uWB.h"
#include "util/gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QTreeView>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray SearchReply(int hits)
{
    const QString hanzi = QStringLiteral("网盘搜索资源电影音乐软件文档教程合集高清完整版中文字幕"
                                         "数据结构算法设计程序开发入门精通实战手册");
    const char* types[] = {"rar", "zip", "txt", "pdf", "mp4", "mp3", "exe", "doc", "7z", "iso"};
    QRandomGenerator random(20130924);
    QString text;
    text.reserve(qsizetype(hits) * 240);
    text += QLatin1Char('[');
    for (int i = 0; i < hits; ++i) {
        QString name;
        const int length = int(random.bounded(6, 30));
        for (int c = 0; c < length; ++c)
            name += hanzi.at(int(random.bounded(int(hanzi.size()))));
        const char* type = types[random.bounded(10)];
        if (i)
            text += QLatin1Char(',');
        text += QStringLiteral("{\"file_id\":\"%1\",\"file_name\":\"%2.%3\",\"file_extension\":"
                               "\"%3\",\"file_size\":%4,\"file_value\":\"%5\",\"file_views\":%6,"
                               "\"file_time\":\"2013-09-%7\",\"s_url\":\"http:\\/\\/pan.example."
                               "com\\/s\\/%8\"}")
                    .arg(100000 + i)
                    .arg(name, QLatin1String(type))
                    .arg(random.bounded(Q_INT64_C(1), Q_INT64_C(8000000000)))
                    .arg(random.bounded(100) / 10.0, 0, 'f', 1)
                    .arg(random.bounded(100000))
                    .arg(10 + random.bounded(20))
                    .arg(random.generate64(), 0, 36);
    }
    text += QLatin1Char(']');
    return Gbk::fromUnicode(text);
}

size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures
{
    double parseMs, fillMs, showMs, bytesPerRow;
};

Figures Measure(TMainForm& form, const QByteArray& reply, int hits, int runs)
{
    std::vector<double> parse, fill, show;
    double bytesPerRow = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        {
            const IJsonValue root = ParseJson(Gbk::toUnicode(reply));
            if (Length(ArrayOf(root)) != hits)
                std::fprintf(stderr, "parse gave the wrong count\n");
        }
        parse.push_back(timer.nsecsElapsed() / 1e6);

        form.FillResultList("[]");
        QCoreApplication::processEvents();
        const size_t before = HeapInUse();
        timer.restart();
        form.FillResultList(reply); // parses again, then builds the rows
        fill.push_back(timer.nsecsElapsed() / 1e6 - parse.back());
        bytesPerRow = double(HeapInUse() - before) / hits;
        timer.restart();
        form.lv1->viewport()->repaint();
        show.push_back(timer.nsecsElapsed() / 1e6);
        if (form.lv1_rows->rowCount() != hits)
            std::fprintf(stderr, "fill gave %d rows\n", form.lv1_rows->rowCount());
    }
    return {Median(parse), Median(fill), Median(show), bytesPerRow};
}

// Wall time from starting the probe to its first paint of the window.
double StartupMs(const QString& probe, const QString& mode = QString())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(probe, mode.isEmpty() ? QStringList() : QStringList{mode});
    if (!process.waitForStarted(10000))
        return -1;
    QByteArray out;
    while (!out.contains("shown") && process.state() != QProcess::NotRunning &&
           timer.elapsed() < 30000) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput();
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    process.waitForFinished(10000);
    return out.contains("shown") ? ms : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int startupRuns = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    TApplication app(argc, argv);
    TMainForm form(QDir::tempPath() + QLatin1Char('/'));
    form.tmr1->stop();
    form.tmr2->stop();
    form.show();
    QCoreApplication::processEvents();

    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("%8s %10s %10s %10s %10s %12s %10s\n", "hits", "parse ms", "fill ms", "show ms",
                "total ms", "heap B/row", "per hit");
    double baseline = 0;
    for (int hits : {1000, 10000, 100000}) {
        const QByteArray reply = SearchReply(hits);
        const Figures f = Measure(form, reply, hits, hits >= 100000 ? 3 : 7);
        const double total = f.parseMs + f.fillMs + f.showMs;
        const double perHit = total / hits;
        if (baseline == 0)
            baseline = perHit;
        std::printf("%8d %10.2f %10.2f %10.2f %10.2f %12.0f %9.2fx\n", hits, f.parseMs, f.fillMs,
                    f.showMs, total, f.bytesPerRow, perHit / baseline);
    }
    std::printf("target: 10000 hits parsed and shown in under 100 ms; per hit ~1.0x\n\n");

    const QString probes = QCoreApplication::applicationDirPath();
    const QString client = probes + "/fill_startup_probe", peer = probes + "/fill_bare_probe";
    std::vector<double> bare, text, lumo;
    // Warms the file cache.
    StartupMs(peer, "bare");
    StartupMs(peer, "text");
    StartupMs(client);
    for (int run = 0; run < startupRuns; ++run) {
        bare.push_back(StartupMs(peer, "bare"));
        text.push_back(StartupMs(peer, "text"));
        lumo.push_back(StartupMs(client));
    }
    for (const auto* runs : {&bare, &text, &lumo})
        if (std::find(runs->begin(), runs->end(), -1) != runs->end()) {
            std::printf("start-up probe failed\n");
            return 1;
        }
    const double b = Median(bare), t = Median(text), l = Median(lumo);
    std::printf("start-up to the first complete frame (median of %d runs):\n"
                "  bare Qt window              %7.1f ms\n"
                "  bare Qt window with a label %7.1f ms\n"
                "  main window (five windows)  %7.1f ms\n"
                "  ratio main / bare %.2fx, main / bare with a label %.2fx (target <= 1.5x)\n",
                startupRuns, b, t, l, l / b, l / t);
    return 0;
}
