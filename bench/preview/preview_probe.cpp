// Preview probe for preview_bench: starts like the client (the five windows
// in their order, the main window shown), lists two hits served at BASE_URL
// ("vexa-1", "vexa-2") and opens them one after the other as the result
// list's "结果预览" does. Prints the time from each opening to the detail
// page's completion, and for the first one also to the loading page's and
// the longest the GUI thread was held up meanwhile (the window frozen).
//
// Usage: preview_probe BASE_URL
#include "skin/skin_application.h"
#include "ui/result_list_model.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"
#include "util/gbk.h"
#include "web/html_view.h"

#include <QAction>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

const QByteArray kHits = Gbk::fromUnicode(QStringLiteral(
    "[{\"file_id\":\"1\",\"file_name\":\"数据结构教程.pdf\",\"file_extension\":\"pdf\","
    "\"file_size\":1048576,\"file_value\":\"8.8\",\"file_views\":1234,\"file_time\":"
    "\"2013-09-24\",\"s_url\":\"http://pan.example.com/s/1\"},"
    "{\"file_id\":\"2\",\"file_name\":\"算法设计.rar\",\"file_extension\":\"rar\","
    "\"file_size\":2097152,\"file_value\":\"7.5\",\"file_views\":99,\"file_time\":"
    "\"2013-09-23\",\"s_url\":\"http://pan.example.com/s/2\"}]"));

// Calls `then` once `done` holds, looking every 10 ms; gives up after 60 s.
void When(std::function<bool()> done, std::function<void()> then)
{
    auto* timer = new QTimer(qApp);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, done, then] {
        if (!done() && clock->elapsed() < 60000)
            return;
        timer->deleteLater();
        delete clock;
        if (done())
            then();
        else
            QCoreApplication::exit(1);
    });
    timer->start(10);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    const QString appFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/");
    TMainForm MainForm(appFolder);
    MainForm.tmr1->stop();
    MainForm.tmr2->stop();
    TWBForm WBForm(MainForm);
    TSkinFrm SkinFrm(MainForm);
    TVerFrm VerFrm(MainForm);
    TRpForm RpForm(MainForm);
    MainForm.base_url = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    MainForm.show();
    MainForm.FillResultList(kHits);

    QElapsedTimer clock;
    double loadingMs = -1, pageMs = -1;
    const auto loadingDone = WBForm.wb_load->OnDocumentComplete;
    WBForm.wb_load->OnDocumentComplete = [&](const QString& url) {
        if (loadingDone)
            loadingDone(url);
        if (loadingMs < 0)
            loadingMs = clock.nsecsElapsed() / 1e6;
    };
    const auto pageDone = WBForm.wb1->OnDocumentComplete;
    WBForm.wb1->OnDocumentComplete = [&](const QString& url) {
        pageDone(url);
        if (pageMs < 0 && url == MainForm.view_url)
            pageMs = clock.nsecsElapsed() / 1e6;
    };
    // Ticks every 10 ms; a longer gap is time the event loop was held up.
    QElapsedTimer tick;
    double stallMs = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        stallMs = std::max(stallMs, tick.nsecsElapsed() / 1e6);
        tick.start();
    });
    const auto open = [&](int row) {
        const QModelIndex index = MainForm.lv1_rows->index(row, 0);
        MainForm.lv1->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        pageMs = -1;
        stallMs = 0;
        clock.start();
        tick.start();
        ticker.start(10);
        MainForm.N3->trigger();
    };
    const auto mainActive = [&] {
        return QGuiApplication::focusWindow() == MainForm.windowHandle();
    };

    // Settled after start-up, as a user's first double click would be.
    QTimer::singleShot(1000, [&] {
        open(0);
        When([&] { return pageMs >= 0; },
             [&] {
                 std::printf("first %.1f\nloading %.1f\nstall %.1f\n", pageMs, loadingMs, stallMs);
                 MainForm.activateWindow();
                 When(mainActive, [&] {
                     open(1);
                     When([&] { return pageMs >= 0; },
                          [&] {
                              std::printf("second %.1f\nstall2 %.1f\n", pageMs, stallMs);
                              std::fflush(stdout);
                              QCoreApplication::quit();
                          });
                 });
             });
    });
    return TApplication::exec();
}
