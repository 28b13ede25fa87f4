#include "ui/uSkin.h"

#include "net/http_cli.h"
#include "net/multipart_downloader.h"
#include "net/service_messages.h"
#include "net/skin_catalogue.h"
#include "skin/error_box.h"
#include "skin/guarded.h"
#include "skin/jpeg_decoder.h"
#include "skin/skin_data.h"
#include "skin/skin_message_box.h"
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
#include <QShowEvent>
#include <QStatusBar>

#include <exception>

namespace {

constexpr int kPictureWidth = 381;
constexpr int kPictureHeight = 255;

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
    SkinGroupBox1->setGeometry(4, 4, 142, bodyHeight - 8);
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
    HttpDownFile->OnRequestDone = [this](TMultipartHttpDownloader* sender, int code,
                                         const QByteArray& reason) {
        HttpDownFileRequestDone(sender, code, reason);
    };
    HttpImg = new TMultipartHttpDownloader(this);
    HttpImg->setObjectName(QStringLiteral("HttpImg"));
    HttpImg->OnRequestDone = [this](TMultipartHttpDownloader* sender, int code,
                                    const QByteArray& reason) {
        HttpImgRequestDone(sender, code, reason);
    };

    connect(SLBox, &QListWidget::itemClicked, this, guarded(this, &TSkinFrm::SLBoxListBoxClick));
    connect(SLBox, &QListWidget::itemDoubleClicked, this,
            guarded(this, &TSkinFrm::SLBoxListBoxDblClick));
    connect(SKBtnApply, &QPushButton::clicked, this, guarded(this, &TSkinFrm::SKBtnApplyClick));
    connect(SKBtnDel, &QPushButton::clicked, this, guarded(this, &TSkinFrm::SKBtnDelClick));
}

TSkinFrm::~TSkinFrm()
{
    // The downloaders go first, so that nothing writes into a file closed here.
    delete HttpDownFile;
    delete HttpImg;
    delete m_imgFile.data();
    delete m_skinFile.data();
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
    PostServiceMessage(*HttpCli1, SkinCatalogueAddress(MainForm.base_url), SkinListMessage());
}

void TSkinFrm::HttpCli1RequestDone(THttpCli* Sender, int RqType, quint16 ErrCode)
{
    Q_UNUSED(Sender);
    Q_UNUSED(RqType);
    const std::optional<QByteArray> reply = TakeServiceReply(*HttpCli1, ErrCode);
    if (!reply)
        return;
    list_reply = *reply;
    dropErrors([&] { FillList(list_reply); });
}

void TSkinFrm::FillList(const QByteArray& reply)
{
    const QVector<TSkinRes> entries = ParseSkinList(reply);
    SLBox->clear();
    for (const TSkinRes& entry : entries)
        SLBox->addItem(Gbk::toUnicode(entry.Title));

    const QString skinName = MainForm.skin_name;
    if (!skinName.isEmpty()) {
        const QString caption = skinName + QStringLiteral("皮肤");
        for (int row = 0; row < SLBox->count(); ++row) {
            if (SLBox->item(row)->text() != caption)
                continue;
            ShowPicture(MainForm.Paths().InstallationFile(QStringLiteral("res/loading.jpg")));
            sel_skin_id = Gbk::fromUnicode(skinName);
            FetchPreview();
            SLBox->setCurrentRow(row);
        }
    } else {
        ShowPicture(MainForm.Paths().InstallationFile(QStringLiteral("res/loading.jpg")));
    }
    SKBtnDel->setEnabled(false);
}

void TSkinFrm::SLBoxListBoxClick()
{
    ShowPicture(MainForm.Paths().InstallationFile(QStringLiteral("res/loading.jpg")));
    const QVector<TSkinRes> entries = ParseSkinList(list_reply);
    const QList<QListWidgetItem*> selected = SLBox->selectedItems();
    if (selected.isEmpty())
        return;
    const QByteArray caption = Gbk::fromUnicode(selected.first()->text());
    for (const TSkinRes& entry : entries) {
        if (entry.Title != caption)
            continue;
        sel_skin_id = entry.Id;
        FetchPreview();
        SKBtnDel->setEnabled(IsSafeSkinId(entry.Id) &&
                             QFileInfo::exists(SkinPath(entry.Id, ".skn")));
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
    // A running transfer of another preview is abandoned: its file is closed.
    ReleaseStream(HttpImg, m_imgFile);
    m_imgFile = file;
    m_imgId = id;
    HttpImg->SetFileStream(file);
    try {
        HttpImg->Start();
    } catch (const std::exception&) {
        ReleaseStream(HttpImg, m_imgFile);
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
    const QImage image = DecodeJpeg(file.readAll(), QSize(kPictureWidth, kPictureHeight));
    // Scaled to the picture area; the picture keeps its proportions.
    PVImg->setPixmap(QPixmap::fromImage(image.scaled(
        kPictureWidth, kPictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TSkinFrm::HttpImgRequestDone(TMultipartHttpDownloader* Sender, int ErrorCode,
                                  const QByteArray& Reason)
{
    Q_UNUSED(Sender);
    Q_UNUSED(ErrorCode);
    Q_UNUSED(Reason);
    // The completion acts on the preview that was downloaded, which need not
    // be the one selected now.
    const QByteArray id = m_imgId;
    ReleaseStream(HttpImg, m_imgFile);
    dropErrors([&] {
        if (!IsSafeSkinId(id))
            return;
        if (HttpImg->ReceivedCount() > 0) {
            QFile::rename(SkinPath(id, ".jpg.tmp"), SkinPath(id, ".jpg"));
            if (id == sel_skin_id)
                ShowPreview(id);
        } else {
            SFStatus->setText(QStringLiteral("预览图文件【") + Gbk::toUnicode(id) +
                              QStringLiteral("】不存在"));
        }
    });
}

void TSkinFrm::SKBtnApplyClick()
{
    if (!UseSkin(sel_skin_id))
        return;
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
    ReleaseStream(HttpDownFile, m_skinFile);
    m_skinFile = file;
    m_skinId = id;
    HttpDownFile->SetFileStream(file);
    sel_skin_id = id;
    try {
        HttpDownFile->Start();
    } catch (const std::exception&) {
        ReleaseStream(HttpDownFile, m_skinFile);
    }
    return true;
}

void TSkinFrm::LoadSkin(const QByteArray& id)
{
    if (!CheckId(id))
        return;
    MainForm.SkinData1->LoadFromFile(SkinPath(id, ".skn"));
}

void TSkinFrm::HttpDownFileRequestDone(TMultipartHttpDownloader* Sender, int ErrorCode,
                                       const QByteArray& Reason)
{
    Q_UNUSED(Sender);
    Q_UNUSED(ErrorCode);
    Q_UNUSED(Reason);
    // The skin that was downloaded is the one the user applied.
    const QByteArray id = m_skinId;
    ReleaseStream(HttpDownFile, m_skinFile);
    dropErrors([&] {
        if (!IsSafeSkinId(id))
            return;
        if (HttpDownFile->ReceivedCount() > 0) {
            QFile::rename(SkinPath(id, ".skn.tmp"), SkinPath(id, ".skn"));
            LoadSkin(id);
        } else {
            SFStatus->setText(QStringLiteral("皮肤文件【") + Gbk::toUnicode(id) +
                              QStringLiteral("】不存在"));
        }
    });
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

bool TSkinFrm::FileInUse(const QString& path) const
{
    if (!QFileInfo::exists(path))
        return false;
    const auto heldBy = [&](const QPointer<QFile>& file, const TMultipartHttpDownloader* owner) {
        return file && owner->FileStream() == file.data() &&
               QFileInfo(file->fileName()) == QFileInfo(path);
    };
    if (heldBy(m_imgFile, HttpImg) || heldBy(m_skinFile, HttpDownFile))
        return true;
    QFile probe(path);
    if (!probe.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return true;
    probe.close();
    return false;
}

QFile* TSkinFrm::CreateTempFile(const QString& path)
{
    auto* file = new QFile(path);
    if (!file->open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        const QString reason = file->errorString();
        delete file;
        throw WindowError(utf8(QStringLiteral("无法创建文件“%1”：%2").arg(path, reason)));
    }
    return file;
}

void TSkinFrm::ReleaseStream(TMultipartHttpDownloader* downloader, QPointer<QFile>& file)
{
    if (downloader->FileStream() && downloader->FileStream() == file.data())
        downloader->SetFileStream(nullptr);
    if (QFile* open = file.data()) {
        file.clear();
        open->close();
        delete open;
    }
}
