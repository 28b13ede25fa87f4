#pragma once

#include "net/http_cli.h"
#include "ui/window_memory.h"
#include "util/app_paths.h"

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QString>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class QStringListModel;
class QTimer;
class QTreeView;
class TResultListModel;
struct TResultRow;
class TRpForm;
class TSkinLinkLabel;
class TSkinData;
class TSkinFrm;
class TSkinMessageBox;
class TSkinSpeedButton;
class TSystemImageList;
class TVerFrm;
class TWBForm;

// The main window (search window). It is created first: it holds the skin
// holder every window draws from and the message box all windows use, and
// closing it ends the application.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // `paths`: where the client's files are; a folder ending in "/" is a
    // portable application folder.
    explicit TMainForm(const TAppPaths& paths, QWidget* parent = nullptr);
    ~TMainForm() override;

    const TAppPaths& Paths() const { return m_paths; }

    // A short message in the status bar, left of the feedback link; an
    // empty text clears it.
    void ShowStatusText(const QString& text);
    // Tells in the status bar why an exchange with the service failed (a
    // text of ServiceFailureText); an empty text takes such a message away
    // again once an exchange has succeeded, and leaves any other alone.
    void ReportServiceOutcome(const QString& failure);

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

    // The other windows, each registered by its own constructor; a window
    // destroyed before this one leaves a null link, never a dangling one.
    QPointer<TWBForm> WBForm;
    QPointer<TSkinFrm> SkinFrm;
    QPointer<TVerFrm> VerFrm;
    QPointer<TRpForm> RpForm;

    // Controls.
    QWidget* pn_top;
    QLineEdit* ed_word;
    QPushButton* btn_search;
    QWidget* pn5;
    QWidget* SkinPanel8;
    QLabel* SkinStdLabel1;
    QWidget* pn4;
    QWidget* SkinPanel7;
    TSkinSpeedButton* SkinSpeedButton1;
    QTreeView* lv1;
    QScrollBar* lv1_bar;
    TResultListModel* lv1_rows;
    QMenu* pm1;
    QAction* N3;
    QAction* N4;
    QAction* N8;
    // The keyword box's own menu ends with N9, which forgets the keywords.
    QAction* N9;
    THttpCli* HttpCli1;
    THttpCli* HttpCliCmd;
    QTimer* tmr1;
    QTimer* tmr2;
    QTimer* tmr3;

    // Operations.
    void StartSearch();
    // False when the reply was no JSON array.
    bool FillResultList(const QByteArray& reply);
    void OpenSelectedHit(bool preview);
    // Hands sel_share_url to the browser when it is a web address; anything
    // else is refused with a message.
    void OpenSharePage();
    void SearchTimeout();
    void RefreshHotWords();
    // False when the reply was no JSON array.
    bool FillHotWords(const QByteArray& reply);
    static QString FormatFileSize(qint64 size);
    void CopySelectedAddress();
    void ClearKeywords();

    // Handlers.
    void btn_searchClick();
    void ed_wordKeyPress();
    void HttpCli1RequestDone(THttpCli* Sender, THttpRequest RqType, quint16 ErrCode);
    void HttpCliCmdRequestDone(THttpCli* Sender, THttpRequest RqType, quint16 ErrCode);
    void lv1DblClick();
    void lv1KeyPress();
    void lv1ContextPopup(const QPoint& pos);
    void N3Click();
    void N4Click();
    void N8Click();
    void ed_wordContextPopup(const QPoint& pos);
    void N9Click();
    void tmr1Timer();
    void tmr2Timer();
    void tmr3Timer();
    void SkinSpeedButton1Click();
    void HotWordClick(TSkinSpeedButton* Sender);

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

    // What is remembered between runs; the preview window takes its place
    // from it when it is created.
    const TWindowMemory& Memory() const { return m_memory; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormCreate();
    void FormShow();
    void FormClose();
    void LayOutTopBar();
    void PlacePreviewWindow();
    void RestoreWindowMemory();
    void SaveWindowMemory();
    void RememberKeyword(const QString& keyword);
    // The selected row that can be opened, or null.
    const TResultRow* SelectedHit() const;

    TAppPaths m_paths;
    // The failure ReportServiceOutcome showed last.
    QString m_serviceFailure;
    TWindowMemory m_memory;
    QStringListModel* m_keywords = nullptr;
    TSystemImageList* m_smallIcons = nullptr;
    TSystemImageList* m_largeIcons = nullptr;
};
