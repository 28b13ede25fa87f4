#include "ui/uSkin.h"

#include "net/http_cli.h"
#include "net/multipart_downloader.h"
#include "net/service_messages.h"
#include "net/skin_catalogue.h"
#include "platform/safe_files.h"
#include "skin/error_box.h"
#include "skin/guarded.h"
#include "skin/jpeg_decoder.h"
#include "skin/skin_data.h"
#include "skin/skin_file.h"
#include "skin/skin_file_error.h"
#include "skin/skin_message_box.h"
#include "ui/service_failure_text.h"
#include "ui/skin_id.h"
#include "ui/uMain.h"
#include "ui/window_error.h"
#include "util/gbk.h"
#include "util/settings_file.h"

#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QShowEvent>
#include <QStatusBar>

#include <exception>
#include <memory>

namespace {

constexpr int kPictureWidth = 381;
constexpr int kPictureHeight = 255;
// What the loaders accept: a skin file is its description behind an 8-byte
// header (header word and length); a preview is a small JPEG.
constexpr qint64 kMaxSkinDownload = kMaxSkinDescription + 8;
constexpr qint64 kMaxPreviewDownload = 4 * 1024 * 1024;

// Completion handlers end quietly when something fails inside them: the
// rest of the handler is skipped and nothing is shown.
template <typename F> void dropErrors(F&& f)
{
    try {
        f();
    } catch (...) {
    }
}

std::string utf8(const QString& text)
{
    return text.toStdString();
}

} // namespace

TSkinFrm::TSkinFrm(TMainForm& mainForm) : QDialog(nullptr), MainForm(mainForm)
{
    MainForm.SkinFrm = this;
    setObjectName(QStringLiteral("SkinFrm"));
    setWindowTitle(QStringLiteral("更换皮肤"));
    // Fixed frame with the close button only.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(531, 342);

    constexpr int statusHeight = 21;
    const int bodyHeight = height() - statusHeight;

    SkinGroupBox1 = new QGroupBox(QStringLiteral("可用皮肤"), this);
    SkinGroupBox1->setObjectName(QStringLiteral("SkinGroupBox1"));
    SkinGroupBox1->setGeometry(0, 4, 150, bodyHeight - 8);
    SLBox = new QListWidget(SkinGroupBox1);
    SLBox->setObjectName(QStringLiteral("SLBox"));
    SLBox->setSelectionMode(QAbstractItemView::SingleSelection);
    SLBox->setSortingEnabled(false);
    SLBox->setUniformItemSizes(true);
    SLBox->setGeometry(6, 20, SkinGroupBox1->width() - 12, SkinGroupBox1->height() - 26);

    SkinGroupBox2 = new QGroupBox(QStringLiteral("皮肤预览"), this);
    SkinGroupBox2->setObjectName(QStringLiteral("SkinGroupBox2"));
    SkinGroupBox2->setGeometry(150, 4, width() - 150, bodyHeight - 8);
    PVImg = new QLabel(SkinGroupBox2);
    PVImg->setObjectName(QStringLiteral("PVImg"));
    PVImg->setAlignment(Qt::AlignCenter);
    PVImg->setGeometry(0, 18, kPictureWidth, kPictureHeight);
    SKBtnApply = new QPushButton(QStringLiteral("使用皮肤"), SkinGroupBox2);
    SKBtnApply->setObjectName(QStringLiteral("SKBtnApply"));
    SKBtnApply->setGeometry(200, 280, 75, 25);
    SKBtnDel = new QPushButton(QStringLiteral("删除皮肤"), SkinGroupBox2);
    SKBtnDel->setObjectName(QStringLiteral("SKBtnDel"));
    SKBtnDel->setGeometry(288, 280, 75, 25);
    // Both act on the selected row: off until there is one.
    SKBtnApply->setEnabled(false);
    SKBtnDel->setEnabled(false);
    // Keep the picture and the buttons inside the box whatever its frame is.
    PVImg->lower();

    SkinStatusBar1 = new QStatusBar(this);
    SkinStatusBar1->setObjectName(QStringLiteral("SkinStatusBar1"));
    SkinStatusBar1->setSizeGripEnabled(false);
    SkinStatusBar1->setGeometry(0, bodyHeight, width(), statusHeight);
    SFStatus = new QLabel(SkinStatusBar1);
    SFStatus->setObjectName(QStringLiteral("SFStatus"));
    SkinStatusBar1->addWidget(SFStatus, 1);

    HttpCli1 = new THttpCli(this);
    ConfigureServiceClient(*HttpCli1, QStringLiteral("HttpCli1"));
    HttpCli1->OnRequestDone = [this](THttpCli* sender, THttpRequest rqType, quint16 errCode) {
        HttpCli1RequestDone(sender, rqType, errCode);
    };
    HttpDownFile = new TMultipartHttpDownloader(this);
    HttpDownFile->setObjectName(QStringLiteral("HttpDownFile"));
    HttpDownFile->SetMaxLength(kMaxSkinDownload);
    HttpDownFile->OnRequestDone = [this](TMultipartHttpDownloader* sender, int code,
                                         const QByteArray& reason) {
        HttpDownFileRequestDone(sender, code, reason);
    };
    HttpImg = new TMultipartHttpDownloader(this);
    HttpImg->setObjectName(QStringLiteral("HttpImg"));
    HttpImg->SetMaxLength(kMaxPreviewDownload);
    HttpImg->OnRequestDone = [this](TMultipartHttpDownloader* sender, int code,
                                    const QByteArray& reason) {
        HttpImgRequestDone(sender, code, reason);
    };

    // The window acts on the row the user sees selected: a row selected by
    // the mouse or the keyboard counts as clicked, and so does a click on
    // the row already selected (a click that selects a row acts once).
    SLBox->viewport()->installEventFilter(this);
    connect(SLBox, &QListWidget::itemSelectionChanged, this, guarded([this] {
                ++m_selectionMoves;
                SLBoxListBoxClick();
            }));
    connect(SLBox, &QListWidget::itemClicked, this, guarded([this] {
                if (m_selectionMoves == m_movesAtPress)
                    SLBoxListBoxClick();
            }));
    connect(SLBox, &QListWidget::itemDoubleClicked, this,
            guarded(this, &TSkinFrm::SLBoxListBoxDblClick));
    connect(SKBtnApply, &QPushButton::clicked, this, guarded(this, &TSkinFrm::SKBtnApplyClick));
    connect(SKBtnDel, &QPushButton::clicked, this, guarded(this, &TSkinFrm::SKBtnDelClick));
}

TSkinFrm::~TSkinFrm()
{
    // The downloaders go first, so that nothing writes into a file closed here.
    delete HttpDownFile;
    HttpDownFile = nullptr;
    delete HttpImg;
    HttpImg = nullptr;
    // Transfers cut short by the exit leave no temporary file behind.
    DiscardStream(HttpImg, m_imgFile, m_imgId, ".jpg.tmp");
    DiscardStream(HttpDownFile, m_skinFile, m_skinId, ".skn.tmp");
}

bool TSkinFrm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SLBox->viewport() && event->type() == QEvent::MouseButtonPress)
        m_movesAtPress = m_selectionMoves;
    return QDialog::eventFilter(watched, event);
}

void TSkinFrm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        guarded(this, &TSkinFrm::FormShow)();
}

void TSkinFrm::FormShow()
{
    RequestList();
}

QString TSkinFrm::SkinPath(const QByteArray& id, const char* suffix) const
{
    return MainForm.Paths().SkinFile(Gbk::toUnicode(id) + QLatin1String(suffix));
}

void TSkinFrm::RequestList()
{
    PostServiceMessage(*HttpCli1, SkinCatalogueAddress(MainForm.base_url), SkinListMessage(),
                       kSkinListReplyLimit);
}

void TSkinFrm::HttpCli1RequestDone(THttpCli* Sender, int RqType, quint16 ErrCode)
{
    Q_UNUSED(Sender);
    Q_UNUSED(RqType);
    ReportNetOutcome(ServiceFailureText(ErrCode, HttpCli1->StatusCode(), HttpCli1->URL()));
    const std::optional<QByteArray> reply = TakeServiceReply(*HttpCli1, ErrCode);
    if (!reply)
        return;
    list_reply = *reply;
    dropErrors([&] { FillList(list_reply); });
}

void TSkinFrm::FillList(const QByteArray& reply)
{
    const QVector<TSkinRes> entries = ParseSkinList(reply);
    {
        // Rows placed by the window are no click of the user.
        const QSignalBlocker quiet(SLBox);
        SLBox->clear();
        for (const TSkinRes& entry : entries)
            SLBox->addItem(Gbk::toUnicode(entry.Title));
    }
    SKBtnApply->setEnabled(false);
    SKBtnDel->setEnabled(false);

    const QString skinName = MainForm.skin_name;
    if (!skinName.isEmpty()) {
        const QString caption = skinName + QStringLiteral("皮肤");
        for (int row = 0; row < SLBox->count(); ++row) {
            if (SLBox->item(row)->text() != caption)
                continue;
            // Selected first, so that what is shown is what the buttons act
            // on even when the preview fails.
            {
                const QSignalBlocker quiet(SLBox);
                SLBox->setCurrentRow(row);
            }
            SKBtnApply->setEnabled(true);
            sel_skin_id = Gbk::fromUnicode(skinName);
            ShowPicture(MainForm.Paths().InstallationFile(QStringLiteral("res/loading.jpg")));
            FetchPreview();
        }
    } else {
        ShowPicture(MainForm.Paths().InstallationFile(QStringLiteral("res/loading.jpg")));
    }
}

void TSkinFrm::SLBoxListBoxClick()
{
    const QList<QListWidgetItem*> selected = SLBox->selectedItems();
    SKBtnApply->setEnabled(!selected.isEmpty());
    SKBtnDel->setEnabled(false);
    ShowPicture(MainForm.Paths().InstallationFile(QStringLiteral("res/loading.jpg")));
    if (selected.isEmpty())
        return;
    const QVector<TSkinRes> entries = ParseSkinList(list_reply);
    const QByteArray caption = Gbk::fromUnicode(selected.first()->text());
    for (const TSkinRes& entry : entries) {
        if (entry.Title != caption)
            continue;
        sel_skin_id = entry.Id;
        SKBtnDel->setEnabled(IsSafeSkinId(entry.Id) &&
                             QFileInfo::exists(SkinPath(entry.Id, ".skn")));
        FetchPreview();
    }
}

void TSkinFrm::SLBoxListBoxDblClick()
{
    SKBtnApplyClick();
}

bool TSkinFrm::CheckId(const QByteArray& id)
{
    if (IsSafeSkinId(id))
        return true;
    SFStatus->setText(QStringLiteral("皮肤编号【%1】不能作为文件名，已拒绝")
                          .arg(Gbk::toUnicode(PrintableSkinId(id))));
    return false;
}

void TSkinFrm::FetchPreview()
{
    const QByteArray id = sel_skin_id;
    if (!CheckId(id))
        return;
    if (QFileInfo::exists(SkinPath(id, ".jpg"))) {
        ShowPreview(id);
        return;
    }
    HttpImg->SetURL(PreviewDownloadUrl(MainForm.base_url, id));
    HttpImg->SetPartCount(2);
    const QString tmp = SkinPath(id, ".jpg.tmp");
    // A transfer that is still running writes that file.
    if (FileInUse(tmp))
        return;
    QFile* file = CreateTempFile(tmp);
    // A running transfer of another preview is abandoned: its file goes.
    DiscardStream(HttpImg, m_imgFile, m_imgId, ".jpg.tmp");
    m_imgFile = file;
    m_imgId = id;
    HttpImg->SetFileStream(file);
    try {
        HttpImg->Start();
    } catch (const std::exception&) {
        DiscardStream(HttpImg, m_imgFile, m_imgId, ".jpg.tmp");
    }
}

void TSkinFrm::ShowPreview(const QByteArray& id)
{
    const QFileInfo info(SkinPath(id, ".jpg"));
    if (IsSafeSkinId(id) && info.exists() && info.size() > 0)
        ShowPicture(info.filePath());
    else
        ShowPicture(MainForm.Paths().InstallationFile(QStringLiteral("res/loading.jpg")));
}

void TSkinFrm::ShowPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw WindowError(
            utf8(QStringLiteral("无法读取图片“%1”：%2").arg(path, file.errorString())));
    QImage image;
    try {
        image = DecodeJpeg(file.readAll(), QSize(kPictureWidth, kPictureHeight));
    } catch (const SkinFileError& e) {
        throw e.InFile(path);
    }
    // Scaled to the picture area; the picture keeps its proportions.
    PVImg->setPixmap(QPixmap::fromImage(image.scaled(
        kPictureWidth, kPictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TSkinFrm::HttpImgRequestDone(TMultipartHttpDownloader* Sender, int ErrorCode,
                                  const QByteArray& Reason)
{
    Q_UNUSED(Sender);
    Q_UNUSED(Reason);
    // The completion acts on the preview that was downloaded, which need not
    // be the one selected now.
    const QByteArray id = m_imgId;
    ReleaseStream(HttpImg, m_imgFile);
    dropErrors([&] {
        if (!IsSafeSkinId(id))
            return;
        const QString tmp = SkinPath(id, ".jpg.tmp");
        if (HttpImg->ReceivedCount() > 0) {
            ReportNetOutcome(QString());
            // A picture that cannot take its place is not kept either.
            if (!TSafeFiles::RenameOverRegular(tmp, SkinPath(id, ".jpg"), nullptr))
                TSafeFiles::Remove(tmp, nullptr);
            if (id == sel_skin_id)
                ShowPreview(id);
            return;
        }
        TSafeFiles::Remove(tmp, nullptr);
        const bool broke = ReportDownloadFailure(QStringLiteral("预览图文件【") +
                                                     Gbk::toUnicode(id) + QStringLiteral("】"),
                                                 ErrorCode, HttpImg->URL());
        // The loading picture would promise a preview that is not coming.
        if (broke && id == sel_skin_id) {
            PVImg->clear();
            PVImg->setText(QStringLiteral("暂无预览图"));
        }
    });
}

void TSkinFrm::SKBtnApplyClick()
{
    // settings.cfg names a skin only once it has loaded: a skin still to be
    // downloaded is remembered when its download has loaded it, so a failed
    // download keeps the last working skin for the next start.
    if (UseSkin(sel_skin_id))
        write_saved_skin_id(MainForm.Paths().SettingsFolder(), sel_skin_id);
}

bool TSkinFrm::UseSkin(const QByteArray& id)
{
    if (!CheckId(id))
        return false;
    if (QFileInfo::exists(SkinPath(id, ".skn"))) {
        LoadSkin(id);
        return true;
    }
    HttpDownFile->SetURL(SkinDownloadUrl(MainForm.base_url, id));
    HttpDownFile->SetPartCount(2);
    const QString tmp = SkinPath(id, ".skn.tmp");
    // Files are not locked here, so a temporary file that a running download
    // writes is refused explicitly; that download goes on undisturbed.
    if (FileInUse(tmp))
        throw WindowError(
            utf8(QStringLiteral("无法创建文件“%1”：该文件正被另一下载占用。").arg(tmp)));
    QFile* file = CreateTempFile(tmp);
    DiscardStream(HttpDownFile, m_skinFile, m_skinId, ".skn.tmp");
    m_skinFile = file;
    m_skinId = id;
    HttpDownFile->SetFileStream(file);
    sel_skin_id = id;
    try {
        HttpDownFile->Start();
    } catch (const std::exception&) {
        DiscardStream(HttpDownFile, m_skinFile, m_skinId, ".skn.tmp");
    }
    return false;
}

void TSkinFrm::LoadSkin(const QByteArray& id)
{
    if (!CheckId(id))
        return;
    const QString path = SkinPath(id, ".skn");
    // A FIFO or a device there would hold the window up for ever.
    if (!QFileInfo(path).isFile())
        throw WindowError(
            utf8(QStringLiteral("无法读取皮肤文件“%1”：该位置上不是普通文件").arg(path)));
    MainForm.SkinData1->LoadFromFile(path);
}

void TSkinFrm::HttpDownFileRequestDone(TMultipartHttpDownloader* Sender, int ErrorCode,
                                       const QByteArray& Reason)
{
    Q_UNUSED(Sender);
    Q_UNUSED(Reason);
    // The skin that was downloaded is the one the user applied.
    const QByteArray id = m_skinId;
    ReleaseStream(HttpDownFile, m_skinFile);
    dropErrors([&] {
        if (!IsSafeSkinId(id))
            return;
        const QString tmp = SkinPath(id, ".skn.tmp");
        if (HttpDownFile->ReceivedCount() > 0) {
            ReportNetOutcome(QString());
            if (!TSafeFiles::RenameOverRegular(tmp, SkinPath(id, ".skn"), nullptr))
                TSafeFiles::Remove(tmp, nullptr);
            LoadSkin(id);
            RememberSkin(id);
            return;
        }
        TSafeFiles::Remove(tmp, nullptr);
        ReportDownloadFailure(QStringLiteral("皮肤文件【") + Gbk::toUnicode(id) +
                                  QStringLiteral("】"),
                              ErrorCode, HttpDownFile->URL());
    });
}

void TSkinFrm::ReportNetOutcome(const QString& failure)
{
    if (!failure.isEmpty()) {
        m_netFailure = failure;
        SFStatus->setText(failure);
    } else if (!m_netFailure.isEmpty() && SFStatus->text() == m_netFailure) {
        m_netFailure.clear();
        SFStatus->clear();
    }
}

bool TSkinFrm::ReportDownloadFailure(const QString& what, int errorCode, const QByteArray& url)
{
    // The service answered that it has no such file, or gave no length.
    if (errorCode == 404 || errorCode == THttpCli::httperrAborted) {
        SFStatus->setText(what + QStringLiteral("不存在"));
        return false;
    }
    ReportNetOutcome(what + QStringLiteral("下载失败：") + DownloadFailureText(errorCode, url));
    return true;
}

void TSkinFrm::SKBtnDelClick()
{
    const QByteArray id = sel_skin_id;
    if (!CheckId(id))
        return;
    if (MainForm.MsgDlg->AskOkCancel(QStringLiteral("确认删除此皮肤？")) !=
        TSkinMessageBox::Answer::Ok)
        return;
    const QString path = SkinPath(id, ".skn");
    if (!QFileInfo::exists(path))
        return;
    QFile file(path);
    if (!file.remove())
        throw WindowError(
            utf8(QStringLiteral("无法删除文件“%1”：%2").arg(path, file.errorString())));
}

void TSkinFrm::RememberSkin(const QByteArray& id)
{
    // Runs at the end of a download, where nothing else would tell the user
    // that the next start will not find the skin.
    try {
        write_saved_skin_id(MainForm.Paths().SettingsFolder(), id);
    } catch (const std::exception& error) {
        SFStatus->setText(QStringLiteral("皮肤已使用，但无法记住它：") +
                          QString::fromUtf8(error.what()));
    }
}

bool TSkinFrm::FileInUse(const QString& path) const
{
    const QFileInfo target(path);
    const auto heldBy = [&](const QPointer<QFile>& file, const TMultipartHttpDownloader* owner,
                            const QByteArray& id, const char* suffix) {
        return file && owner->FileStream() == file.data() &&
               QFileInfo(SkinPath(id, suffix)) == target;
    };
    if (heldBy(m_imgFile, HttpImg, m_imgId, ".jpg.tmp") ||
        heldBy(m_skinFile, HttpDownFile, m_skinId, ".skn.tmp"))
        return true;
    // Only a regular file can be someone's; anything else in its place is
    // replaced when the temporary file is created.
    if (TSafeFiles::KindAt(path) != TSafeFiles::TKind::Regular)
        return false;
    return !target.isReadable() || !target.isWritable();
}

QFile* TSkinFrm::CreateTempFile(const QString& path)
{
    // Made anew, never through a link: whatever is in its place (a file
    // left by an earlier run, a link, a FIFO) is removed first; a folder
    // there is refused.
    QString reason;
    std::unique_ptr<QFile> file;
    if (TSafeFiles::Remove(path, &reason))
        file = TSafeFiles::CreateNew(path, &reason);
    if (!file)
        throw WindowError(utf8(QStringLiteral("无法创建文件“%1”：%2").arg(path, reason)));
    return file.release();
}

void TSkinFrm::DiscardStream(TMultipartHttpDownloader* downloader, QPointer<QFile>& file,
                             const QByteArray& id, const char* suffix)
{
    if (!file)
        return;
    ReleaseStream(downloader, file);
    if (IsSafeSkinId(id))
        TSafeFiles::Remove(SkinPath(id, suffix), nullptr);
}

void TSkinFrm::ReleaseStream(TMultipartHttpDownloader* downloader, QPointer<QFile>& file)
{
    if (downloader && downloader->FileStream() && downloader->FileStream() == file.data())
        downloader->SetFileStream(nullptr);
    if (QFile* open = file.data()) {
        file.clear();
        open->close();
        delete open;
    }
}
