// Docs helper: shows the main window and the preview window on one detail
// page, the way opening a hit from the result list does, for a screenshot.
// Usage: preview_shot DETAIL_URL SECONDS VALUE VIEWS FILE_NAME SHARE_URL
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uWB.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 7)
        return 2;
    const QString url = QString::fromLocal8Bit(argv[1]);
    const int seconds = QByteArray(argv[2]).toInt();

    TMainForm main(QCoreApplication::applicationDirPath() + "/../bin/");
    TWBForm wb(main);
    TRpForm report(main);
    main.show();

    main.view_url = url;
    main.sel_file_id = url.section('-', -1).toLatin1();
    main.sel_value = argv[3];
    main.sel_views = argv[4];
    main.sel_share_url = argv[6];
    wb.setWindowTitle(QString::fromLocal8Bit(argv[5]) + "- [" + QString::fromLocal8Bit(argv[6]) +
                      "] - Lumo网盘搜索结果预览");
    wb.NavigatePage(url);
    wb.move(main.pos() + QPoint(200, 100));
    wb.show();
    wb.raise();
    wb.activateWindow();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
