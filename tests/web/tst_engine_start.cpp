// The web engine starts with the first preview, not with the program: the
// client's windows at rest hold none of the engine's libraries, the GL
// driver or helper processes. One process per run, so nothing else has
// started the engine before.
#include "tests/web/page_server.h"

#include "skin/skin_application.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"
#include "web/html_view.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <memory>
#include <optional>

namespace {

// The web engine needs time to start on a busy machine.
constexpr int kWebTimeout = 60000;
constexpr int kNetTimeout = 10000;

const QByteArray kDetailPage =
    "<html><head><title>detail</title></head>"
    "<body onload=\"window.open('/popup-ad.html?from=script')\">"
    "<a id=\"ad\" target=\"_blank\" href=\"/popup-ad.html?from=link\">ad</a>"
    "</body></html>";

// What the engine brings into the process: its module and libraries, the
// Qt Quick scene graph it draws with, and the GL driver of its shared
// context.
const QStringList kEngineLibraries = {
    "lumo-webengine.so", "libQt6WebEngineCore", "libQt6WebEngineWidgets", "libQt6Quick.so",
    "_dri.so",           "libgallium"};

QStringList MappedEngineLibraries()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {QStringLiteral("/proc/self/maps unreadable")};
    QStringList found;
    for (const QByteArray& line : maps.readAll().split('\n'))
        for (const QString& library : kEngineLibraries)
            if (line.contains(library.toUtf8()) && !found.contains(library))
                found << library;
    return found;
}

int ChildProcesses()
{
    int children = 0;
    const QString self = QString::number(getpid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!pid.front().isDigit() || !stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ...": the name may hold blanks and parens.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self.toLatin1())
            ++children;
    }
    return children;
}

// The address a view shows just after its engine has started (its engine's
// widget arrived), before the event loop delivers anything to the page.
class FirstLocation : public QObject
{
public:
    explicit FirstLocation(THtmlView* view) : m_view(view) { view->installEventFilter(this); }
    std::optional<QString> url;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ChildAdded && !m_queued) {
            m_queued = true;
            QTimer::singleShot(0, this, [this] { url = m_view->LocationURL(); });
        }
        return false;
    }

private:
    THtmlView* m_view;
    bool m_queued = false;
};

// The five windows, created as the entry point creates them.
struct Windows
{
    Windows()
        : main(QStringLiteral(LUMO_APP_DIR "/")), wb(main), skin(main), ver(main), report(main)
    {
        main.tmr1->stop();
        main.tmr2->stop();
    }

    TMainForm main;
    TWBForm wb;
    TSkinFrm skin;
    TVerFrm ver;
    TRpForm report;
};

} // namespace

class TstEngineStart : public QObject
{
    Q_OBJECT

private slots:
    void engineStartsWithTheFirstPreview();
};

void TstEngineStart::engineStartsWithTheFirstPreview()
{
    PageServer pages;
    QVERIFY(pages.Listen());
    pages.AddPage("/vexa-1", kDetailPage);
    pages.AddPage("/popup-ad.html", "<html>ad</html>");
    Windows w;
    const FirstLocation sinkStart(w.wb.WbNoAd);
    // Every address the sink refused.
    QStringList sinkRefused;
    const auto verdict = w.wb.WbNoAd->OnBeforeNavigate;
    w.wb.WbNoAd->OnBeforeNavigate = [&](const QString& url, bool& cancel) {
        verdict(url, cancel);
        if (cancel)
            sinkRefused << url;
    };
    w.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.main, kNetTimeout));
    // Well past the moments at which a start-up would have started it.
    QTest::qWait(1500);
    QCOMPARE(MappedEngineLibraries(), QStringList());
    QCOMPARE(ChildProcesses(), 0);
    QVERIFY(sinkRefused.isEmpty());
    QVERIFY(!sinkStart.url);

    // The first preview, opened as the result list opens it.
    const QString url = pages.BaseUrl() + "/vexa-1";
    w.main.view_url = url;
    w.main.sel_file_id = "1";
    w.wb.NavigatePage(url);
    w.wb.show();
    w.wb.activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::focusWindow() == w.wb.windowHandle(), kNetTimeout);
    QVERIFY(w.wb.wb_load->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(w.wb.wb1->isVisible() && !w.wb.wb_load->isVisible(), kWebTimeout);
    QCOMPARE(w.wb.wb1->LocationURL(), url);
    QVERIFY(MappedEngineLibraries().contains("libQt6WebEngineCore"));

    // The sink took its blank page with the engine's start; every pop-up of
    // the page stops there.
    QCOMPARE(sinkStart.url.value_or("no engine"), QStringLiteral("about:blank"));
    QTRY_VERIFY_WITH_TIMEOUT(sinkRefused.contains(pages.BaseUrl() + "/popup-ad.html?from=script"),
                             kWebTimeout);
    w.wb.wb1->ExecScript("document.getElementById('ad').click()");
    QTRY_VERIFY_WITH_TIMEOUT(sinkRefused.contains(pages.BaseUrl() + "/popup-ad.html?from=link"),
                             kWebTimeout);
    for (const QString& path : pages.RequestedPaths())
        QVERIFY2(!path.startsWith("/popup-ad.html"), qPrintable(path));
    QVERIFY(!w.wb.WbNoAd->isVisible());
    w.wb.WbNoAd->OnBeforeNavigate = verdict;
}

int main(int argc, char** argv)
{
    // The engine may write below the user's folders: they are temporary here.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    for (const char* name : {"HOME", "TMPDIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME",
                             "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = home.filePath(QString::fromLatin1(name));
        if (!QDir().mkdir(folder) ||
            !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return 1;
        qputenv(name, QFile::encodeName(folder));
    }
    int result = 0;
    {
        TApplication app(argc, argv);
        TstEngineStart test;
        result = QTest::qExec(&test, argc, argv);
    }
    return result;
}

#include "tst_engine_start.moc"
