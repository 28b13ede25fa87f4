#include "fake_skin_service.h"

#include "net/multipart_downloader.h"
#include "skin/jpeg_decoder.h"
#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "skin/skin_file.h"
#include "skin/skin_message_box.h"
#include "ui/skin_id.h"
#include "ui/uMain.h"
#include "ui/uSkin.h"
#include "util/settings_file.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray sampleSkin(const char* source)
{
    return PackSkinFile(readFile(QStringLiteral(LUMO_SKIN_SOURCES "/%1.skin").arg(source)));
}

QByteArray samplePreview(const char* source)
{
    return readFile(QStringLiteral(LUMO_SKIN_SOURCES "/%1.jpg").arg(source));
}

// The colour in the middle of what the picture area shows.
QColor pictureColour(QLabel* label)
{
    const QImage image = label->pixmap().toImage();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

QColor jpegColour(const QByteArray& jpeg)
{
    const QImage image = DecodeJpeg(jpeg, QSize(381, 255))
                             .scaled(381, 255, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor& a, const QColor& b)
{
    return a.isValid() && b.isValid() && qAbs(a.red() - b.red()) < 12 &&
           qAbs(a.green() - b.green()) < 12 && qAbs(a.blue() - b.blue()) < 12;
}

} // namespace

class TstSkinManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listPreselectsCurrentSkinWithCachedPreview();
    void zeroBytePreviewShowsLoadingPicture();
    void clickDownloadsPreview();
    void failedPreviewDownloadIsReported();
    void applyCachedSkinLoadsAtOnce();
    void applyDownloadsSkinEvenAfterClose();
    void failedSkinDownloadIsReported();
    void applyWithoutSelectionUsesEmptyId();
    void secondApplyWhileDownloadingIsRefused();
    void newDownloadClosesAbandonedTempFile();
    void deleteAsksFirst();
    void unsafeIdsTouchNoFile_data();
    void unsafeIdsTouchNoFile();
    void safeIdRules_data();
    void safeIdRules();

private:
    QString skins() const { return m_folder->path() + "/skins/"; }
    // Opens the manager (as the menu does, but without its modal loop) and
    // waits for the list.
    void open(int rows);
    void click(const QString& caption);
    QByteArray loading() const { return readFile(LUMO_LOADING_JPG); }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<FakeSkinService> m_service;
    std::unique_ptr<TMainForm> m_main;
    std::unique_ptr<TSkinFrm> m_frm;
};

void TstSkinManager::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    QVERIFY(QDir(m_folder->path()).mkpath("skins"));
    QVERIFY(QDir(m_folder->path()).mkpath("res"));
    QVERIFY(QFile::copy(LUMO_LOADING_JPG, m_folder->path() + "/res/loading.jpg"));

    m_service = std::make_unique<FakeSkinService>();
    QVERIFY(m_service->Listen());
    m_service->listReply = "Dark,Blue,Green";
    m_service->files["downskin:Dark"] = sampleSkin("dark");
    m_service->files["downskin:Green"] = sampleSkin("green");
    m_service->files["downimg:Green"] = samplePreview("green");
    m_service->files["downimg:Dark"] = samplePreview("dark");

    m_main = std::make_unique<TMainForm>(m_folder->path() + "/");
    m_main->base_url = m_service->BaseUrl();
    m_main->skin_name = "Blue";
    m_frm = std::make_unique<TSkinFrm>(*m_main);
    TSkinMessageBox::resetTestHooks();
}

void TstSkinManager::cleanup()
{
    m_frm.reset();
    m_main.reset();
    m_service.reset();
    TSkinMessageBox::resetTestHooks();
}

void TstSkinManager::open(int rows)
{
    m_frm->show();
    QTRY_COMPARE_WITH_TIMEOUT(m_frm->SLBox->count(), rows, 5000);
}

void TstSkinManager::click(const QString& caption)
{
    const QList<QListWidgetItem*> items = m_frm->SLBox->findItems(caption, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    QListWidget* box = m_frm->SLBox;
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->visualItemRect(items[0]).center());
}

void TstSkinManager::listPreselectsCurrentSkinWithCachedPreview()
{
    for (const char* id : {"Dark", "Blue", "Green"})
        writeFile(skins() + id + ".skn", sampleSkin("dark"));
    writeFile(skins() + "Dark.jpg", samplePreview("dark"));
    writeFile(skins() + "Blue.jpg", samplePreview("blue"));
    writeFile(skins() + "Green.jpg", samplePreview("green"));

    open(3);
    QCOMPARE(m_frm->SLBox->item(0)->text(), QStringLiteral("Dark皮肤"));
    QCOMPARE(m_frm->SLBox->item(1)->text(), QStringLiteral("Blue皮肤"));
    QCOMPARE(m_frm->SLBox->item(2)->text(), QStringLiteral("Green皮肤"));
    QCOMPARE(m_frm->SLBox->currentRow(), 1);
    QCOMPARE(m_frm->sel_skin_id, QByteArray("Blue"));
    QCOMPARE(m_frm->list_reply, QByteArray("Dark,Blue,Green"));
    QVERIFY(near(pictureColour(m_frm->PVImg), jpegColour(samplePreview("blue"))));
    QVERIFY(!m_frm->SKBtnDel->isEnabled());

    // Only the list request went out, in the service envelope.
    QCOMPARE(m_service->requests.size(), 1);
    QCOMPARE(m_service->requests[0].method, QByteArray("POST"));
    QCOMPARE(m_service->requests[0].target, QByteArray("/plugins/getskin.php"));
    QCOMPARE(m_service->requests[0].body, QByteArray("action=list"));

    // A cached skin's row enables delete.
    click(QStringLiteral("Dark皮肤"));
    QVERIFY(m_frm->SKBtnDel->isEnabled());
    QVERIFY(near(pictureColour(m_frm->PVImg), jpegColour(samplePreview("dark"))));

    // A failed list request keeps the rows.
    m_service->listStatus = 500;
    m_frm->hide();
    m_frm->show();
    QTRY_COMPARE_WITH_TIMEOUT(m_service->requests.size(), 2, 5000);
    QTest::qWait(50);
    QCOMPARE(m_frm->SLBox->count(), 3);
    QCOMPARE(m_frm->list_reply, QByteArray("Dark,Blue,Green"));
}

void TstSkinManager::zeroBytePreviewShowsLoadingPicture()
{
    writeFile(skins() + "Blue.jpg", QByteArray());
    open(3);
    QVERIFY(near(pictureColour(m_frm->PVImg), jpegColour(loading())));
    QTest::qWait(100);
    QCOMPARE(m_service->DownloadRequestCount(), 0);
}

void TstSkinManager::clickDownloadsPreview()
{
    writeFile(skins() + "Blue.jpg", samplePreview("blue"));
    open(3);
    m_service->SetHolding(true);
    click(QStringLiteral("Green皮肤"));
    QCOMPARE(m_frm->sel_skin_id, QByteArray("Green"));
    QVERIFY(near(pictureColour(m_frm->PVImg), jpegColour(loading())));
    // A second click while the preview is on its way does not restart it.
    QTRY_COMPARE_WITH_TIMEOUT(m_service->DownloadRequestCount(), 1, 5000);
    click(QStringLiteral("Green皮肤"));
    QTest::qWait(50);
    QCOMPARE(m_service->DownloadRequestCount(), 1);
    m_service->SetHolding(false);

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(skins() + "Green.jpg"), 5000);
    QCOMPARE(readFile(skins() + "Green.jpg"), samplePreview("green"));
    QVERIFY(!QFile::exists(skins() + "Green.jpg.tmp"));
    QTRY_VERIFY_WITH_TIMEOUT(near(pictureColour(m_frm->PVImg), jpegColour(samplePreview("green"))),
                             5000);
    QCOMPARE(m_service->requests.last().target,
             QByteArray("/plugins/getskin.php?action=downimg&skin_id=Green"));
    QVERIFY(m_frm->SFStatus->text().isEmpty());
}

void TstSkinManager::failedPreviewDownloadIsReported()
{
    m_service->listReply = "Gone,Blue";
    open(2);
    click(QStringLiteral("Gone皮肤"));
    QTRY_COMPARE_WITH_TIMEOUT(m_frm->SFStatus->text(), QStringLiteral("预览图文件【Gone】不存在"),
                              5000);
    QVERIFY(near(pictureColour(m_frm->PVImg), jpegColour(loading())));
    // The empty temporary file stays; no picture appears under the final name.
    QVERIFY(QFile::exists(skins() + "Gone.jpg.tmp"));
    QVERIFY(!QFile::exists(skins() + "Gone.jpg"));
}

void TstSkinManager::applyCachedSkinLoadsAtOnce()
{
    writeFile(skins() + "Dark.skn", sampleSkin("dark"));
    writeFile(skins() + "Dark.jpg", samplePreview("dark"));
    writeFile(skins() + "Blue.jpg", samplePreview("blue"));
    open(3);
    click(QStringLiteral("Dark皮肤"));
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QCOMPARE(m_main->SkinData1->SkinName(), QStringLiteral("Dark"));
    QCOMPARE(m_service->DownloadRequestCount(), 0);
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>("Dark"));

    // A cached file that holds no skin: the look stays and the error is shown.
    writeFile(skins() + "Green.skn", "not a skin");
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    click(QStringLiteral("Green皮肤"));
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QCOMPARE(m_main->SkinData1->SkinName(), QStringLiteral("Dark"));
    const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Lumo网盘搜索"));
    // The settings file is not written when the apply fails.
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>("Dark"));
}

void TstSkinManager::applyDownloadsSkinEvenAfterClose()
{
    open(3);
    click(QStringLiteral("Green皮肤"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(skins() + "Green.jpg"), 5000);
    const int before = m_service->requests.size();
    // A double click applies too.
    QListWidget* box = m_frm->SLBox;
    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {},
                       box->visualItemRect(box->item(2)).center());
    // The choice is remembered at once, the download has only started.
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>("Green"));
    QCOMPARE(m_main->SkinData1->SkinName(), QStringLiteral("Charm"));
    m_frm->close();

    QTRY_COMPARE_WITH_TIMEOUT(m_main->SkinData1->SkinName(), QStringLiteral("Green"), 5000);
    QCOMPARE(readFile(skins() + "Green.skn"), sampleSkin("green"));
    QVERIFY(!QFile::exists(skins() + "Green.skn.tmp"));
    const QList<FakeSkinService::Request> sent = m_service->requests.mid(before);
    // The probe and the two ranges.
    QCOMPARE(sent.size(), 3);
    for (const FakeSkinService::Request& request : sent)
        QCOMPARE(request.target, QByteArray("/plugins/getskin.php?action=downskin&skin_id=Green"));
}

void TstSkinManager::failedSkinDownloadIsReported()
{
    m_service->listReply = "Gone,Blue";
    open(2);
    click(QStringLiteral("Gone皮肤"));
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_frm->SFStatus->text(), QStringLiteral("皮肤文件【Gone】不存在"),
                              5000);
    QCOMPARE(m_main->SkinData1->SkinName(), QStringLiteral("Charm"));
    QVERIFY(!QFile::exists(skins() + "Gone.skn"));
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>("Gone"));
}

void TstSkinManager::applyWithoutSelectionUsesEmptyId()
{
    m_main->skin_name = "Missing";
    open(3);
    QVERIFY(m_frm->sel_skin_id.isEmpty());
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_frm->SFStatus->text(), QStringLiteral("皮肤文件【】不存在"), 5000);
    QCOMPARE(m_service->requests.last().target,
             QByteArray("/plugins/getskin.php?action=downskin&skin_id="));
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>(""));
}

void TstSkinManager::secondApplyWhileDownloadingIsRefused()
{
    writeFile(skins() + "Dark.jpg", samplePreview("dark"));
    writeFile(skins() + "Blue.jpg", samplePreview("blue"));
    open(3);
    click(QStringLiteral("Dark皮肤"));
    m_service->SetHolding(true);
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->DownloadRequestCount(), 1, 5000);
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Lumo网盘搜索"));
    QVERIFY2(shown[0].text.contains("Dark.skn.tmp"), qPrintable(shown[0].text));

    // The first download goes on and applies the skin.
    m_service->SetHolding(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_main->SkinData1->SkinName(), QStringLiteral("Dark"), 5000);
    QCOMPARE(readFile(skins() + "Dark.skn"), sampleSkin("dark"));
    QCOMPARE(m_service->DownloadRequestCount(), 3);
}

void TstSkinManager::newDownloadClosesAbandonedTempFile()
{
    writeFile(skins() + "Blue.jpg", samplePreview("blue"));
    open(3);
    m_service->SetHolding(true);
    click(QStringLiteral("Dark皮肤"));
    QTRY_COMPARE_WITH_TIMEOUT(m_service->DownloadRequestCount(), 1, 5000);
    QVERIFY(m_frm->FileInUse(skins() + "Dark.jpg.tmp"));
    // Another row abandons the running preview: its file is let go.
    click(QStringLiteral("Green皮肤"));
    QVERIFY(!m_frm->FileInUse(skins() + "Dark.jpg.tmp"));
    QVERIFY(m_frm->FileInUse(skins() + "Green.jpg.tmp"));
    QVERIFY(!m_frm->FileInUse(skins() + "Missing.jpg.tmp"));
    m_service->SetHolding(false);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(skins() + "Green.jpg"), 5000);
    QVERIFY(!QFile::exists(skins() + "Dark.jpg"));
    QVERIFY(!m_frm->FileInUse(skins() + "Green.jpg"));
}

void TstSkinManager::deleteAsksFirst()
{
    writeFile(skins() + "Dark.skn", sampleSkin("dark"));
    writeFile(skins() + "Dark.jpg", samplePreview("dark"));
    open(3);
    click(QStringLiteral("Dark皮肤"));
    QVERIFY(m_frm->SKBtnDel->isEnabled());

    TSkinMessageBox::setNextAnswer(TSkinMessageBox::Answer::Cancel);
    QTest::mouseClick(m_frm->SKBtnDel, Qt::LeftButton);
    QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("提示信息"));
    QCOMPARE(shown[0].text, QStringLiteral("确认删除此皮肤？"));
    QCOMPARE(shown[0].buttons, QStringList({QStringLiteral("确定"), QStringLiteral("取消")}));
    QVERIFY(QFile::exists(skins() + "Dark.skn"));

    TSkinMessageBox::setNextAnswer(TSkinMessageBox::Answer::Ok);
    QTest::mouseClick(m_frm->SKBtnDel, Qt::LeftButton);
    QVERIFY(!QFile::exists(skins() + "Dark.skn"));
    QVERIFY(QFile::exists(skins() + "Dark.jpg"));
    QVERIFY(m_frm->SKBtnDel->isEnabled());
    // Asked again, nothing left to delete.
    TSkinMessageBox::setNextAnswer(TSkinMessageBox::Answer::Ok);
    QTest::mouseClick(m_frm->SKBtnDel, Qt::LeftButton);
    QCOMPARE(TSkinMessageBox::takeShownMessages().size(), 2);
}

void TstSkinManager::unsafeIdsTouchNoFile_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::newRow("parent") << QByteArray("..");
    QTest::newRow("parent path") << QByteArray("../evil");
    QTest::newRow("slash") << QByteArray("a/b");
    QTest::newRow("backslash") << QByteArray("..\\evil");
    QTest::newRow("drive") << QByteArray("C:evil");
    QTest::newRow("device") << QByteArray("NUL");
}

void TstSkinManager::unsafeIdsTouchNoFile()
{
    QFETCH(QByteArray, id);
    // A file the id would reach, so that a read or delete would show.
    writeFile(m_folder->path() + "/evil.skn", sampleSkin("dark"));
    m_service->listReply = "Blue," + id;
    m_main->skin_name = QString::fromLatin1(id);
    open(2);
    const QStringList before =
        QDir(m_folder->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot) +
        QDir(skins()).entryList(QDir::Files);
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    click(QString::fromLatin1(id) + QStringLiteral("皮肤"));
    QCOMPARE(m_frm->sel_skin_id, id);
    QVERIFY(!m_frm->SKBtnDel->isEnabled());
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QTest::mouseClick(m_frm->SKBtnDel, Qt::LeftButton);
    QTest::qWait(50);

    QVERIFY2(m_frm->SFStatus->text().contains(QString::fromLatin1(id)),
             qPrintable(m_frm->SFStatus->text()));
    QCOMPARE(m_service->DownloadRequestCount(), 0);
    QVERIFY(TSkinMessageBox::takeShownMessages().isEmpty());
    const QStringList after =
        QDir(m_folder->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot) +
        QDir(skins()).entryList(QDir::Files);
    QCOMPARE(after, before);
    QCOMPARE(m_main->SkinData1->SkinName(), QStringLiteral("Charm"));
}

void TstSkinManager::safeIdRules_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << QByteArray("Dark") << true;
    QTest::newRow("dashes") << QByteArray("my_skin-2") << true;
    QTest::newRow("gbk") << QByteArray("\xc0\xb6\xc9\xab") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("dot inside") << QByteArray("v1.5") << true;
    QTest::newRow("dot dot") << QByteArray("a..b") << false;
    QTest::newRow("control") << QByteArray("a\x01"
                                           "b")
                             << false;
    QTest::newRow("delete char") << QByteArray("a\x7f") << false;
    QTest::newRow("colon") << QByteArray("c:") << false;
    QTest::newRow("device lower") << QByteArray("con") << false;
    QTest::newRow("device ext") << QByteArray("aux.skin") << false;
    QTest::newRow("com port") << QByteArray("COM3") << false;
    QTest::newRow("lpt port") << QByteArray("lpt1") << false;
    QTest::newRow("comx is a name") << QByteArray("COMX") << true;
    QTest::newRow("wildcard") << QByteArray("a*") << false;
}

void TstSkinManager::safeIdRules()
{
    QFETCH(QByteArray, id);
    QFETCH(bool, safe);
    QCOMPARE(IsSafeSkinId(id), safe);
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstSkinManager test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_skinmanager.moc"
