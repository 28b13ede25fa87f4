// lumo-shots: renders the sample skin previews and the documentation
// screenshots from real windows. Not part of the client.
//
//   lumo-shots previews SKINDIR SAMPLEDIR OUTDIR
//       offscreen: writes <source>.jpg (381 x 255) for every sample skin
//   lumo-shots scene SKINDIR SAMPLEDIR APPDIR SKIN manager|main|menu|minimum OUT.png
//       under X (xvfb-run): shows the windows and captures the screen

#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "ui/uMain.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "util/gbk.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace {

struct Sample
{
    const char* id;
    const char* source;
};
const Sample kSamples[] = {
    {"Charm", "charm"}, {"Dark", "dark"}, {"Blue", "blue"}, {"Green", "green"}};

// An application folder with the sample skins cached, as after downloads.
void fillFolder(const QString& folder, const QString& appDir, const QString& sampleDir)
{
    QDir().mkpath(folder + "skins");
    QDir().mkpath(folder + "res");
    QFile::copy(appDir + "/res/loading.jpg", folder + "res/loading.jpg");
    QFile::copy(appDir + "/info.txt", folder + "info.txt");
    for (const Sample& s : kSamples) {
        QFile::copy(sampleDir + "/" + s.id + ".skn", folder + "skins/" + s.id + ".skn");
        QFile::copy(sampleDir + "/" + s.id + ".jpg", folder + "skins/" + s.id + ".jpg");
    }
}

// A reply as the service sends it for "教程", and the hot words beside it.
void fillSortedList(TMainForm& main)
{
    const struct
    {
        const char* name;
        const char* ext;
        qint64 size;
        const char* value;
        const char* views;
        const char* time;
    } hits[] = {
        {"Python编程入门教程.pdf", "pdf", 5347737, "8.6", "1532", "2013-09-12"},
        {"摄影后期调色教程合集.rar", "rar", 1288490188, "9.1", "2890", "2013-08-30"},
        {"吉他自学教程(视频).mp4", "mp4", 734003200, "7.4", "966", "2013-09-18"},
        {"C语言程序设计教程.chm", "chm", 2411724, "8.0", "4120", "2013-07-02"},
        {"PS抠图教程.zip", "zip", 48234496, "6.9", "712", "2013-09-20"},
        {"Excel函数教程.xls", "xls", 389120, "7.8", "2305", "2013-06-15"},
        {"日语五十音教程.mp3", "mp3", 15938355, "8.3", "1108", "2013-09-01"},
        {"素描基础教程.pdf", "pdf", 27787264, "7.1", "845", "2013-08-11"},
    };
    QString reply = QStringLiteral("[");
    int id = 31870;
    for (const auto& h : hits) {
        if (reply.size() > 1)
            reply += QLatin1Char(',');
        reply += QStringLiteral("{\"file_name\":\"%1\",\"file_extension\":\"%2\","
                                "\"file_size\":%3,\"file_value\":\"%4\",\"file_views\":\"%5\","
                                "\"file_time\":\"%6\",\"s_url\":\"http://pan.example/s/%7\","
                                "\"file_id\":\"%7\"}")
                     .arg(QString::fromUtf8(h.name), QString::fromUtf8(h.ext))
                     .arg(h.size)
                     .arg(QString::fromUtf8(h.value), QString::fromUtf8(h.views),
                          QString::fromUtf8(h.time))
                     .arg(id++);
    }
    main.FillResultList(Gbk::fromUnicode(reply + QLatin1Char(']')));
    main.FillHotWords(Gbk::fromUnicode(QStringLiteral(
        "[{\"word\":\"美剧\"},{\"word\":\"小说\"},{\"word\":\"电影\"},{\"word\":\"教程\"}]")));
    main.ed_word->setText(QStringLiteral("教程"));
    // Sorted by size, largest first.
    main.lv1->header()->setSortIndicator(2, Qt::DescendingOrder);
}

void prepareManager(TSkinFrm& frm, TMainForm& main, const QByteArray& id)
{
    main.skin_name = Gbk::toUnicode(id);
    frm.FillList("Charm,Dark,Blue,Green");
}

int previews(const QString& skinDir, const QString& appDir, const QString& outDir)
{
    for (const Sample& s : kSamples) {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        fillFolder(folder, appDir, QString());
        TMainForm main(folder);
        TSkinFrm frm(main);
        QFile source(skinDir + "/" + s.source + ".skin");
        if (!source.open(QIODevice::ReadOnly))
            return 1;
        main.SkinData1->LoadFromText(QString::fromUtf8(source.readAll()));
        main.skin_name = s.id;
        frm.FillList(QByteArray("Charm,Dark,Blue,Green"));
        frm.SLBox->setCurrentRow(int(&s - kSamples));
        // The picture area shows the about window in the same skin.
        TVerFrm ver(main);
        QFile info(appDir + "/info.txt");
        info.open(QIODevice::ReadOnly);
        ver.VerM1->setPlainText(Gbk::toUnicode(info.readAll()));
        ver.show();
        QCoreApplication::processEvents();
        frm.PVImg->setPixmap(QPixmap::fromImage(
            ver.grab().toImage().scaled(381, 255, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        ver.hide();
        frm.show();
        QCoreApplication::processEvents();
        // The skin manager itself in that skin, cut to the picture area.
        const QImage shot = frm.grab().toImage();
        const QImage scaled =
            shot.scaled(381, 255, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        const QImage preview =
            scaled.copy((scaled.width() - 381) / 2, (scaled.height() - 255) / 2, 381, 255);
        if (!preview.save(outDir + "/" + s.source + ".jpg", "JPEG", 88))
            return 1;
    }
    return 0;
}

int scene(const QString& skinDir, const QString& sampleDir, const QString& appDir,
          const QString& skin, const QString& what, const QString& out)
{
    Q_UNUSED(skinDir);
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    fillFolder(folder, appDir, sampleDir);
    TMainForm main(folder);
    main.base_url = QStringLiteral("http://127.0.0.1:9/");
    TSkinFrm frm(main);
    TVerFrm ver(main);
    if (skin != "Charm")
        main.SkinData1->LoadFromFile(folder + "skins/" + skin + ".skn");
    main.move(40, 30);
    main.show();
    QTimer::singleShot(300, [&] {
        if (what == "manager") {
            prepareManager(frm, main, skin.toLatin1());
            frm.move(150, 90);
            frm.show();
        } else if (what == "minimum") {
            main.resize(main.minimumSize());
            fillSortedList(main);
        } else if (what == "menu") {
            // The help menu dropped down from the menu bar.
            main.menuBar()->setActiveAction(main.N6->menuAction());
        } else {
            QFile info(folder + "info.txt");
            info.open(QIODevice::ReadOnly);
            ver.VerM1->setPlainText(Gbk::toUnicode(info.readAll()));
            ver.setWindowTitle(QStringLiteral("关于软件"));
            ver.move(170, 80);
            ver.show();
        }
    });
    QTimer::singleShot(1500, [&] {
        const QRect area = main.frameGeometry();
        const QString crop = QStringLiteral("%1x%2+%3+%4")
                                 .arg(area.width())
                                 .arg(area.height())
                                 .arg(area.x())
                                 .arg(area.y());
        QProcess::execute("import", {"-window", "root", "-crop", crop, out});
        QCoreApplication::quit();
    });
    return TApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == "previews")
        return previews(args[2], args[3], args[4]);
    if (args.size() == 8 && args[1] == "scene")
        return scene(args[2], args[3], args[4], args[5], args[6], args[7]);
    std::fprintf(stderr, "usage: see docs/tools/shots.cpp\n");
    return 2;
}
