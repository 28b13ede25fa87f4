#include "skin/jpeg_decoder.h"
#include "skin/skin_file.h"
#include "skin/skin_file_error.h"
#include "tests/support/jpeg_writer.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <zlib.h>

namespace {

QByteArray readFixture(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray prefix(quint32 header, quint32 length)
{
    QByteArray out(8, '\0');
    qToLittleEndian<quint32>(header, out.data());
    qToLittleEndian<quint32>(length, out.data() + 4);
    return out;
}

QByteArray zlibCompress(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()));
    out.resize(qsizetype(size));
    return out;
}

QByteArray randomBytes(int n)
{
    QByteArray out(n, Qt::Uninitialized);
    for (char& c : out)
        c = char(QRandomGenerator::global()->bounded(256));
    return out;
}

// Scans in a JPEG stream: its start-of-scan markers outside entropy data.
int scanCount(const QByteArray& jpeg)
{
    int count = 0;
    for (qsizetype i = 0; i + 1 < jpeg.size(); ++i)
        if (uchar(jpeg[i]) == 0xFF && uchar(jpeg[i + 1]) == 0xDA)
            ++count;
    return count;
}

} // namespace

class TestSkinFile : public QObject
{
    Q_OBJECT

private slots:
    void packAndUnpack_data();
    void packAndUnpack();
    void refusesBrokenFiles_data();
    void refusesBrokenFiles();
    void readSkinFileNamesThePath();

    void decodesJpeg();
    void downscalesToFitArea();
    void refusesBrokenJpeg_data();
    void refusesBrokenJpeg();
    void scansAreBounded_data();
    void scansAreBounded();
};

void TestSkinFile::packAndUnpack_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::newRow("text") << QByteArray("[palette]\nwindow=#ffffff\n");
    QTest::newRow("binary") << randomBytes(100000);
    QTest::newRow("one byte") << QByteArray("x");
}

void TestSkinFile::packAndUnpack()
{
    QFETCH(QByteArray, description);
    const QByteArray file = PackSkinFile(description);
    QVERIFY(qFromLittleEndian<quint32>(file.constData()) <= 3);
    QCOMPARE(qsizetype(qFromLittleEndian<quint32>(file.constData() + 4)), file.size() - 8);
    QCOMPARE(UnpackSkinFile(file), description);
}

void TestSkinFile::refusesBrokenFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray good = PackSkinFile(QByteArray(5000, 'a') + "end");
    const QByteArray body = good.mid(8);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("prefix cut") << good.left(6);
    QTest::newRow("header word above 3") << prefix(4, quint32(body.size())) + body;
    QTest::newRow("length larger than file") << prefix(1, quint32(body.size() + 1)) + body;
    QTest::newRow("length smaller than file") << prefix(1, quint32(body.size() - 1)) + body;
    QTest::newRow("zero length") << prefix(1, 0);
    QTest::newRow("compressed data cut short")
        << prefix(1, quint32(body.size() / 2)) + body.left(body.size() / 2);
    QTest::newRow("garbage body") << prefix(0, 64) + randomBytes(64);
    QTest::newRow("trailing bytes inside the length")
        << prefix(1, quint32(body.size() + 3)) + body + "xyz";
    // 17 MiB of zeros compress to a few KiB: the cap must stop the inflation.
    const QByteArray bomb = zlibCompress(QByteArray(17 * 1024 * 1024, '\0'));
    QTest::newRow("inflates beyond the cap") << prefix(1, quint32(bomb.size())) + bomb;
}

void TestSkinFile::refusesBrokenFiles()
{
    QFETCH(QByteArray, file);
    QVERIFY_THROWS_EXCEPTION(SkinFileError, UnpackSkinFile(file));
}

void TestSkinFile::readSkinFileNamesThePath()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Dark.skn");
    QVERIFY_THROWS_EXCEPTION(SkinFileError, ReadSkinFile(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a skin");
    f.close();
    try {
        ReadSkinFile(path);
        QFAIL("no error");
    } catch (const SkinFileError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(path), e.what());
    }
}

void TestSkinFile::decodesJpeg()
{
    const QImage image = DecodeJpeg(readFixture(LUMO_LOADING_JPG));
    QCOMPARE(image.size(), QSize(381, 255));
    // The fixture is light grey-blue at the corners.
    QVERIFY(qGray(image.pixel(2, 2)) > 200);
}

void TestSkinFile::downscalesToFitArea()
{
    const QByteArray data = readFixture(LUMO_LOADING_JPG);
    QCOMPARE(DecodeJpeg(data, QSize(190, 127)).size(), QSize(191, 128));
    QCOMPARE(DecodeJpeg(data, QSize(381, 255)).size(), QSize(381, 255));
    QCOMPARE(DecodeJpeg(data, QSize(40, 30)).size(), QSize(48, 32));
}

void TestSkinFile::refusesBrokenJpeg_data()
{
    QTest::addColumn<QByteArray>("data");
    const QByteArray good = readFixture(LUMO_LOADING_JPG);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated") << good.left(good.size() / 2);
    QTest::newRow("header only") << good.left(200);
    QTest::newRow("garbage") << randomBytes(4096);
    QTest::newRow("not a jpeg") << QByteArray("GIF89a....");
    QByteArray huge = good;
    const qsizetype sof = huge.indexOf("\xFF\xC0");
    QVERIFY(sof > 0);
    qToBigEndian<quint16>(60000, huge.data() + sof + 5); // height
    qToBigEndian<quint16>(60000, huge.data() + sof + 7); // width
    QTest::newRow("absurd dimensions") << huge;
}

void TestSkinFile::refusesBrokenJpeg()
{
    QFETCH(QByteArray, data);
    try {
        DecodeJpeg(data, QSize(381, 255));
        QFAIL("decoded");
    } catch (const SkinFileError& e) {
        QCOMPARE(e.What(), SkinFileError::NotPicture);
        QVERIFY(!e.Detail().empty());
    }
}

// A crafted picture with hundreds of scans must be refused before it takes
// seconds to decode; ordinary baseline and progressive pictures still show.
void TestSkinFile::scansAreBounded_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("scans");
    QTest::addColumn<bool>("decodes");
    const auto row = [](const char* name, int width, int height, TJpegScans kind, int scans,
                        bool decodes) {
        QTest::newRow(name) << MakeJpeg(width, height, kind) << scans << decodes;
    };
    row("baseline preview", 381, 255, TJpegScans::Baseline, 1, true);
    row("progressive preview", 381, 255, TJpegScans::Progressive, 6, true);
    row("progressive photo", 2048, 1536, TJpegScans::Progressive, 6, true);
    row("one scan per coefficient, preview size", 381, 255, TJpegScans::PerCoefficient, 64, true);
    row("scan flood", 381, 255, TJpegScans::Flood, 704, false);
    row("one scan per coefficient, large picture", 2048, 2048, TJpegScans::PerCoefficient, 64,
        false);
}

void TestSkinFile::scansAreBounded()
{
    QFETCH(QByteArray, data);
    QFETCH(int, scans);
    QFETCH(bool, decodes);
    QCOMPARE(scanCount(data), scans); // the fixture is what it claims
    if (decodes) {
        QVERIFY(!DecodeJpeg(data, QSize(381, 255)).isNull());
        return;
    }
    try {
        DecodeJpeg(data, QSize(381, 255));
        QFAIL("decoded");
    } catch (const SkinFileError& e) {
        QCOMPARE(e.What(), SkinFileError::NotPicture);
        QVERIFY2(QByteArray::fromStdString(e.Detail()).contains("scans"), e.what());
    }
}

QTEST_MAIN(TestSkinFile)
#include "tst_skinfile.moc"
