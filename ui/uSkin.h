#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QString>

class QFile;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;
class THttpCli;
class TMainForm;
class TMultipartHttpDownloader;

// The skin manager window: lists the service's skins, previews the
// selected one, downloads a skin file the first time it is used, applies
// it at once and remembers it in settings.cfg, and deletes downloaded
// skins. Previews and skin files are cached in the skin folder (skins/ of a
// portable application folder). Shown modally from the main menu; closing it only hides it, and
// downloads that complete afterwards still act.
class TSkinFrm : public QDialog
{
    Q_OBJECT

public:
    explicit TSkinFrm(TMainForm& mainForm);
    ~TSkinFrm() override;

    // Controls.
    QGroupBox* SkinGroupBox1;
    QListWidget* SLBox;
    QGroupBox* SkinGroupBox2;
    QLabel* PVImg;
    QPushButton* SKBtnApply;
    QPushButton* SKBtnDel;
    QStatusBar* SkinStatusBar1;
    QLabel* SFStatus;

    THttpCli* HttpCli1;
    TMultipartHttpDownloader* HttpDownFile;
    TMultipartHttpDownloader* HttpImg;

    QByteArray sel_skin_id;
    QByteArray list_reply;

    // Event handlers.
    void FormShow();
    void HttpCli1RequestDone(THttpCli* Sender, int RqType, quint16 ErrCode);
    void SLBoxListBoxClick();
    void SLBoxListBoxDblClick();
    void SKBtnApplyClick();
    void SKBtnDelClick();
    void HttpImgRequestDone(TMultipartHttpDownloader* Sender, int ErrorCode,
                            const QByteArray& Reason);
    void HttpDownFileRequestDone(TMultipartHttpDownloader* Sender, int ErrorCode,
                                 const QByteArray& Reason);

    // Operations.
    void RequestList();
    void FillList(const QByteArray& reply);
    void FetchPreview();
    void ShowPreview(const QByteArray& id);
    // True when the skin was loaded at once; false when its download has
    // started or the id was refused (an unsafe file name).
    bool UseSkin(const QByteArray& id);
    // Refuses anything but a regular file.
    void LoadSkin(const QByteArray& id);

    // True when the file is in use: held open by one of this window's
    // running downloads, or a regular file not open to reading and writing.
    // Files are not locked on this platform, so the window itself knows
    // which temporary files its transfers are writing.
    bool FileInUse(const QString& path) const;

    // <id><suffix> in the skin cache.
    QString SkinPath(const QByteArray& id, const char* suffix) const;

protected:
    void showEvent(QShowEvent* event) override;
    // Notes the selection a mouse press on the list starts from.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Refuses an id that would name a file outside skins/, with a status text.
    bool CheckId(const QByteArray& id);
    // Creates a temporary file for a download, new, in place of whatever
    // was there.
    QFile* CreateTempFile(const QString& path);
    // Closes and releases a stream the downloader left to us.
    static void ReleaseStream(TMultipartHttpDownloader* downloader, QPointer<QFile>& file);
    // Ends a transfer that brought nothing: its file is closed and removed.
    void DiscardStream(TMultipartHttpDownloader* downloader, QPointer<QFile>& file,
                       const QByteArray& id, const char* suffix);
    // Writes settings.cfg at the end of a download; a failure is shown in
    // the status panel.
    void RememberSkin(const QByteArray& id);
    void ShowPicture(const QString& path);
    // SFStatus tells why a request or a download failed; an empty text takes
    // such a message away once one has succeeded, and leaves any other.
    void ReportNetOutcome(const QString& failure);
    // "…不存在" when the service has no such file, else why it failed (then
    // true: the download broke for a network reason).
    bool ReportDownloadFailure(const QString& what, int errorCode, const QByteArray& url);

    TMainForm& MainForm;
    // The temporary files held by the running transfers, and the skins
    // they belong to.
    QPointer<QFile> m_imgFile;
    QByteArray m_imgId;
    QPointer<QFile> m_skinFile;
    QByteArray m_skinId;
    // Selection changes so far, and their count when the mouse was last
    // pressed on the list: a click that selected its row has acted already.
    quint64 m_selectionMoves = 0;
    quint64 m_movesAtPress = 0;
    // The failure ReportNetOutcome showed last.
    QString m_netFailure;
};
