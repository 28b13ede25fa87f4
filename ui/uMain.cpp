#include "ui/uMain.h"

#include "skin/skin_data.h"
#include "skin/skin_message_box.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>

TMainForm::TMainForm(const QString& appFolder, QWidget* parent)
    : QMainWindow(parent), m_appFolder(appFolder)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Lumo网盘文件搜索"));
    SkinData1 = new TSkinData(this);
    SkinData1->setObjectName(QStringLiteral("SkinData1"));
    MsgDlg = new TSkinMessageBox(this);

    QMenuBar* menu = menuBar();
    menu->setObjectName(QStringLiteral("SkinMainMenuBar1"));
    menu->setFixedHeight(22);
    QStatusBar* status = statusBar();
    status->setObjectName(QStringLiteral("SkinStatusBar1"));
    status->setFixedHeight(18);
    status->setSizeGripEnabled(false);
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);

    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate()
{
    base_url = QStringLiteral(LUMO_BASE_URL);
    app_version = QStringLiteral("1.5");
    app_build = QStringLiteral("20130924");
    setWindowTitle(QStringLiteral("Lumo网盘文件搜索 v1.5"));
    CreateMenus();

    // Client area 760 x 430, centred on the desktop.
    resize(760, 430);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area(QPoint(0, 0), size());
        area.moveCenter(screen->availableGeometry().center());
        move(area.topLeft());
    }
}

void TMainForm::FormShow()
{
    RestoreSkin();
}

void TMainForm::FormClose()
{
    // Ends the application even while other windows are open.
    QCoreApplication::quit();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Only a real show, not the window coming back from the task bar.
    if (!event->spontaneous())
        FormShow();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        FormClose();
}
