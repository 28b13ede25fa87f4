// The main window's menu, feedback link and text window, and the restore of
// the saved skin when the window is shown.
#include "ui/uMain.h"

#include "platform/shell_open.h"
#include "skin/error_box.h"
#include "skin/guarded.h"
#include "skin/skin_data.h"
#include "skin/skin_link_label.h"
#include "ui/skin_id.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/window_error.h"
#include "util/gbk.h"
#include "util/settings_file.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStatusBar>

#include <exception>

void TMainForm::CreateMenus()
{
    // The forum page of the service the client talks to.
    bbs_url = base_url + QStringLiteral("forum-32-1.html");

    // The bar keeps its 22 pixels; the skins pad its items so they fit.
    QMenuBar* bar = menuBar();
    N5 = bar->addMenu(QStringLiteral("选项(&O)"));
    N5->setObjectName(QStringLiteral("N5"));
    N1 = N5->addAction(QStringLiteral("更换皮肤(&C)"));
    N1->setObjectName(QStringLiteral("N1"));
    Q1 = N5->addAction(QStringLiteral("退出软件(&Q)"));
    Q1->setObjectName(QStringLiteral("Q1"));
    N6 = bar->addMenu(QStringLiteral("帮助(&H)"));
    N6->setObjectName(QStringLiteral("N6"));
    F1 = N6->addAction(QStringLiteral("交流反馈(&F)"));
    F1->setObjectName(QStringLiteral("F1"));
    N7 = N6->addAction(QStringLiteral("更新历史(U)"));
    N7->setObjectName(QStringLiteral("N7"));
    N2 = N6->addAction(QStringLiteral("关于软件(&A)"));
    N2->setObjectName(QStringLiteral("N2"));

    connect(N1, &QAction::triggered, this, guarded(this, &TMainForm::N1Click));
    connect(Q1, &QAction::triggered, this, guarded(this, &TMainForm::Q1Click));
    connect(F1, &QAction::triggered, this, guarded(this, &TMainForm::F1Click));
    connect(N7, &QAction::triggered, this, guarded(this, &TMainForm::N7Click));
    connect(N2, &QAction::triggered, this, guarded(this, &TMainForm::N2Click));

    bbs_link = new TSkinLinkLabel(statusBar());
    bbs_link->setObjectName(QStringLiteral("bbs_link"));
    bbs_link->setText(QStringLiteral("小伙伴们，来这里交流反馈"));
    bbs_link->setFixedSize(150, 18);
    bbs_link->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The label ends at the window's edge; the text keeps clear of it.
    bbs_link->setContentsMargins(0, 0, 4, 0);
    statusBar()->addPermanentWidget(bbs_link);
    connect(bbs_link, &TSkinLinkLabel::clicked, this, guarded([this] {
                if (!bbs_url.isEmpty())
                    TShell::OpenUrl(QUrl(bbs_url));
            }));
}

void TMainForm::N1Click()
{
    if (SkinFrm)
        SkinFrm->exec();
}

void TMainForm::Q1Click()
{
    close();
}

void TMainForm::F1Click()
{
    TShell::OpenUrl(QUrl(bbs_url));
}

void TMainForm::N7Click()
{
    ShowTextWindow(QStringLiteral("更新历史"), QStringLiteral("history.txt"));
}

void TMainForm::N2Click()
{
    ShowTextWindow(QStringLiteral("关于软件"), QStringLiteral("info.txt"));
}

void TMainForm::ShowTextWindow(const QString& caption, const QString& fileName)
{
    if (!VerFrm)
        return;
    const QString path = Paths().InstallationFile(fileName);
    if (QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw WindowError(
                QStringLiteral("无法读取文件“%1”：%2").arg(path, file.errorString()).toStdString());
        // A text file of the installation; anything huge is not one.
        const QString text = Gbk::toUnicode(file.read(8 * 1024 * 1024));
        static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
        QStringList lines = text.split(lineEnd);
        if (lines.size() > 1 && lines.last().isEmpty())
            lines.removeLast();
        VerFrm->VerM1->setPlainText(lines.join(QLatin1Char('\n')));
    }
    VerFrm->setWindowTitle(caption);
    VerFrm->exec();
}

void TMainForm::RestoreSkin()
{
    skin_name = QStringLiteral("Charm");
    try {
        const std::optional<QByteArray> id = read_saved_skin_id(Paths().SettingsFolder());
        // Only a file inside skins/ is ever read.
        if (!id || !IsSafeSkinId(*id))
            return;
        const QString path = Paths().SkinFile(Gbk::toUnicode(*id) + QStringLiteral(".skn"));
        // A FIFO or a device in its place is no skin: start-up never waits.
        if (!QFileInfo(path).isFile())
            return;
        // The name follows the look: a file that does not load keeps Charm.
        SkinData1->LoadFromFile(path);
        skin_name = Gbk::toUnicode(*id);
    } catch (const std::exception& error) {
        TErrorBox::Show(error);
    }
}
