#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QString>

class QAction;
class QMenu;
class TRpForm;
class TSkinLinkLabel;
class TSkinData;
class TSkinFrm;
class TSkinMessageBox;
class TVerFrm;
class TWBForm;

// The main window (search window). It is created first: it holds the skin
// holder every window draws from and the message box all windows use, and
// closing it ends the application.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // `appFolder`: the application folder, ending in "/".
    explicit TMainForm(const QString& appFolder, QWidget* parent = nullptr);
    ~TMainForm() override;

    QString AppFolder() const { return m_appFolder; }

    TSkinData* SkinData1;
    TSkinMessageBox* MsgDlg;

    QString base_url;
    QString app_version;
    QString app_build;
    QString skin_name;

    // The hit last opened; the preview window and the report dialog read it.
    QString view_url;
    QByteArray sel_share_url;
    QByteArray sel_file_id;
    QByteArray sel_value;
    QByteArray sel_views;

    // The other windows, each registered by its own constructor.
    TWBForm* WBForm = nullptr;
    TSkinFrm* SkinFrm = nullptr;
    TVerFrm* VerFrm = nullptr;
    TRpForm* RpForm = nullptr;

    // Main menu, feedback link, text window and the skin restore at start
    // (uMain_menus.cpp).
    QMenu* N5 = nullptr;
    QAction* N1 = nullptr;
    QAction* Q1 = nullptr;
    QMenu* N6 = nullptr;
    QAction* F1 = nullptr;
    QAction* N7 = nullptr;
    QAction* N2 = nullptr;
    TSkinLinkLabel* bbs_link = nullptr;
    QString bbs_url;
    void N1Click();
    void Q1Click();
    void F1Click();
    void N7Click();
    void N2Click();
    void ShowTextWindow(const QString& caption, const QString& fileName);
    void CreateMenus();
    void RestoreSkin();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();

    QString m_appFolder;
};
