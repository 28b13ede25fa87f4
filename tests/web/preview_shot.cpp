// Docs helper: shows the main window and the preview window on one detail
// page, the way opening a hit from the result list does, for a screenshot.
// Usage: preview_shot DETAIL_URL [SECONDS]
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uWB.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString url = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? QByteArray(argv[2]).toInt() : 20;

    TMainForm main(QCoreApplication::applicationDirPath() + "/../bin/");
    TWBForm wb(main);
    TRpForm report(main);
    main.show();

    main.view_url = url;
    main.sel_file_id = url.section('-', -1).toLatin1();
    main.sel_value = "87";
    main.sel_views = "1520";
    main.sel_share_url = "http://pan.example.com/s/1abc";
    wb.setWindowTitle(QStringLiteral("示例文件.rar- [http://pan.example.com/s/1abc] - "
                                     "Lumo网盘搜索结果预览"));
    wb.NavigatePage(url);
    wb.move(main.pos() + QPoint(200, 100));
    wb.show();
    wb.raise();
    wb.activateWindow();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
