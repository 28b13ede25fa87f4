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
#include "tests/support/bounded_fifo.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
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
    void buttonsNeedASelectedRow();
    void keyboardSelectionActsAsClick_data();
    void keyboardSelectionActsAsClick();
    void temporaryFilePlace_data();
    void temporaryFilePlace();
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
    // Nothing is left behind, under the temporary name or the final one.
    QVERIFY(!QFile::exists(skins() + "Gone.jpg.tmp"));
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
    // The download has only started: the choice is remembered once it loads.
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>());
    QCOMPARE(m_main->SkinData1->SkinName(), QStringLiteral("Charm"));
    m_frm->close();

    QTRY_COMPARE_WITH_TIMEOUT(m_main->SkinData1->SkinName(), QStringLiteral("Green"), 5000);
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>("Green"));
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
    writeFile(skins() + "Dark.skn", sampleSkin("dark"));
    writeFile(skins() + "Dark.jpg", samplePreview("dark"));
    m_service->listReply = "Gone,Dark";
    open(2);
    click(QStringLiteral("Dark皮肤"));
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>("Dark"));

    click(QStringLiteral("Gone皮肤"));
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_frm->SFStatus->text(), QStringLiteral("皮肤文件【Gone】不存在"),
                              5000);
    QCOMPARE(m_main->SkinData1->SkinName(), QStringLiteral("Dark"));
    QVERIFY(!QFile::exists(skins() + "Gone.skn"));
    QVERIFY(!QFile::exists(skins() + "Gone.skn.tmp"));
    // The next start still finds the last skin that worked.
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>("Dark"));
}

void TstSkinManager::buttonsNeedASelectedRow()
{
    QVERIFY(!m_frm->SKBtnApply->isEnabled());
    QVERIFY(!m_frm->SKBtnDel->isEnabled());
    // The current skin is not listed: nothing is selected.
    m_main->skin_name = "Missing";
    m_service->listReply = "Dark,Blue,";
    open(3);
    QCOMPARE(m_frm->SkinGroupBox1->width(), 150);
    QVERIFY(m_frm->SLBox->selectedItems().isEmpty());
    QVERIFY(!m_frm->SKBtnApply->isEnabled());
    QVERIFY(!m_frm->SKBtnDel->isEnabled());

    // A ctrl-click takes the selection away again.
    click(QStringLiteral("Dark皮肤"));
    QVERIFY(m_frm->SKBtnApply->isEnabled());
    QListWidget* box = m_frm->SLBox;
    QTest::mouseClick(box->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      box->visualItemRect(box->item(0)).center());
    QVERIFY(box->selectedItems().isEmpty());
    QVERIFY(!m_frm->SKBtnApply->isEnabled());
    QVERIFY(!m_frm->SKBtnDel->isEnabled());

    // The row of an empty id is a row like any other: its download asks
    // for the empty id, and a failure is not remembered.
    click(QStringLiteral("皮肤"));
    QVERIFY(m_frm->sel_skin_id.isEmpty());
    QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_frm->SFStatus->text(), QStringLiteral("皮肤文件【】不存在"), 5000);
    QCOMPARE(m_service->requests.last().target,
             QByteArray("/plugins/getskin.php?action=downskin&skin_id="));
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>());
}

void TstSkinManager::keyboardSelectionActsAsClick_data()
{
    // A row clicked first, keys that move the selection, then an action on
    // the row now selected.
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("selected");
    QTest::newRow("down, Enter") << "Dark皮肤" << QList<int>{Qt::Key_Down} << "enter"
                                 << QByteArray("Blue");
    QTest::newRow("down twice, Enter")
        << "Dark皮肤" << QList<int>{Qt::Key_Down, Qt::Key_Down} << "enter" << QByteArray("Green");
    QTest::newRow("up, apply button")
        << "Green皮肤" << QList<int>{Qt::Key_Up} << "apply" << QByteArray("Blue");
    QTest::newRow("end, delete button")
        << "Dark皮肤" << QList<int>{Qt::Key_End} << "delete" << QByteArray("Green");
    QTest::newRow("home, delete button")
        << "Green皮肤" << QList<int>{Qt::Key_Home} << "delete" << QByteArray("Dark");
}

void TstSkinManager::keyboardSelectionActsAsClick()
{
    QFETCH(QString, clicked);
    QFETCH(QList<int>, keys);
    QFETCH(QString, action);
    QFETCH(QByteArray, selected);
    const QList<QByteArray> ids = {"Dark", "Blue", "Green"};
    for (const QByteArray& id : ids) {
        writeFile(skins() + id + ".skn", sampleSkin(id.toLower().constData()));
        writeFile(skins() + id + ".jpg", samplePreview(id.toLower().constData()));
    }
    m_main->skin_name = "Charm";
    open(3);
    click(clicked);
    for (int key : keys)
        QTest::keyClick(m_frm->SLBox, Qt::Key(key));

    // What is selected is what the window shows and acts on.
    QCOMPARE(m_frm->SLBox->selectedItems().value(0)->text(),
             QString::fromLatin1(selected) + QStringLiteral("皮肤"));
    QCOMPARE(m_frm->sel_skin_id, selected);
    QVERIFY(near(pictureColour(m_frm->PVImg),
                 jpegColour(samplePreview(selected.toLower().constData()))));
    QVERIFY(m_frm->SKBtnApply->isEnabled());
    QVERIFY(m_frm->SKBtnDel->isEnabled());

    if (action == "delete") {
        TSkinMessageBox::setNextAnswer(TSkinMessageBox::Answer::Ok);
        QTest::mouseClick(m_frm->SKBtnDel, Qt::LeftButton);
        for (const QByteArray& id : ids)
            QCOMPARE(QFile::exists(skins() + id + ".skn"), id != selected);
        return;
    }
    if (action == "enter")
        QTest::keyClick(m_frm->SLBox, Qt::Key_Return);
    else
        QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    QCOMPARE(m_main->SkinData1->SkinName(), QString::fromLatin1(selected));
    QCOMPARE(read_saved_skin_id(m_folder->path() + "/"), std::optional<QByteArray>(selected));
    QCOMPARE(m_service->DownloadRequestCount(), 0);
}

void TstSkinManager::temporaryFilePlace_data()
{
    // What is found at the place of a download's temporary file: a link is
    // replaced, never written through; a FIFO is replaced; a folder is
    // refused with a message naming the file.
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("place");
    for (const char* suffix : {".skn", ".jpg"}) {
        for (const char* place : {"link", "dangling", "fifo", "folder"})
            QTest::addRow("%s.tmp: %s", suffix, place) << suffix << place;
    }
}

void TstSkinManager::temporaryFilePlace()
{
    QFETCH(QString, suffix);
    QFETCH(QString, place);
    const bool skin = suffix == ".skn";
    // The other file of the skin is cached, so that only one download runs.
    writeFile(skins() + (skin ? "Dark.jpg" : "Dark.skn"),
              skin ? samplePreview("dark") : sampleSkin("dark"));
    const QString tmp = skins() + "Dark" + suffix + ".tmp";
    const QString target = m_folder->path() + "/precious";
    std::unique_ptr<BoundedFifo> fifo;
    if (place == "link") {
        writeFile(target, "precious");
        QVERIFY(QFile::link(target, tmp));
    } else if (place == "dangling") {
        QVERIFY(QFile::link(target, tmp));
    } else if (place == "fifo") {
        fifo = std::make_unique<BoundedFifo>(tmp);
        QVERIFY(fifo->Made());
    } else {
        QVERIFY(QDir().mkpath(tmp + "/inside"));
    }

    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    m_main->skin_name = "Charm";
    open(3);
    click(QStringLiteral("Dark皮肤"));
    if (skin)
        QTest::mouseClick(m_frm->SKBtnApply, Qt::LeftButton);
    const QString finalPath = skins() + "Dark" + suffix;
    if (place == "folder") {
        const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(tmp), qPrintable(shown[0].text));
        QVERIFY(QFileInfo(tmp + "/inside").isDir());
        QCOMPARE(m_service->DownloadRequestCount(), 0);
        QVERIFY(!QFile::exists(finalPath));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(finalPath).isFile(), 5000);
    QVERIFY(!QFileInfo(finalPath).isSymLink());
    QCOMPARE(readFile(finalPath), skin ? sampleSkin("dark") : samplePreview("dark"));
    QVERIFY(!QFileInfo::exists(tmp) && !QFileInfo(tmp).isSymLink());
    if (place == "link")
        QCOMPARE(readFile(target), QByteArray("precious"));
    else
        QVERIFY(!QFileInfo::exists(target));
    if (fifo)
        QVERIFY(!fifo->Released());
    QVERIFY(TSkinMessageBox::takeShownMessages().isEmpty());
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
