#include "skin/jpeg_decoder.h"
#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "skin/skin_description.h"
#include "skin/skin_file.h"

#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <zlib.h>

#include <exception>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString source(const QString& name)
{
    return QStringLiteral(LUMO_SKIN_SOURCES "/") + name;
}

// Runs the skin compiler; its exit code.
int compile(const QString& input, const QString& output)
{
    QProcess tool;
    tool.start(QStringLiteral(LUMO_SKINC), {input, output});
    if (!tool.waitForFinished(30000))
        return -1;
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

QByteArray container(quint32 header, const QByteArray& compressed)
{
    QByteArray out(8, '\0');
    qToLittleEndian<quint32>(header, out.data());
    qToLittleEndian<quint32>(quint32(compressed.size()), out.data() + 4);
    return out + compressed;
}

QByteArray deflate(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    compress(reinterpret_cast<Bytef*>(out.data()), &size,
             reinterpret_cast<const Bytef*>(data.constData()), uLong(data.size()));
    out.resize(qsizetype(size));
    return out;
}

} // namespace

class TstSkinTool : public QObject
{
    Q_OBJECT

private slots:
    void compiledSkinLoadsAsItsSource_data();
    void compiledSkinLoadsAsItsSource();
    void refusesSourceWithoutSkin();
    void brokenFileKeepsLook_data();
    void brokenFileKeepsLook();
    void samplePreviewsFitPictureArea_data();
    void samplePreviewsFitPictureArea();

private:
    QTemporaryDir m_dir;
};

void TstSkinTool::compiledSkinLoadsAsItsSource_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("name");
    QTest::newRow("charm") << "charm.skin"
                           << "Charm";
    QTest::newRow("dark") << "dark.skin"
                          << "Dark";
    QTest::newRow("blue") << "blue.skin"
                          << "Blue";
    QTest::newRow("green") << "green.skin"
                           << "Green";
}

void TstSkinTool::compiledSkinLoadsAsItsSource()
{
    QFETCH(QString, file);
    QFETCH(QString, name);
    const QString output = m_dir.filePath(name + ".skn");
    QCOMPARE(compile(source(file), output), 0);

    TSkinData holder;
    holder.LoadFromFile(output);
    QCOMPARE(holder.SkinName(), name);
    QVERIFY(holder.Current() ==
            TSkinDescription::FromText(QString::fromUtf8(readFile(source(file)))));
    // The look reaches the application: its window colour is the skin's.
    QCOMPARE(QApplication::palette().color(QPalette::Window), holder.Current().Color("window"));
    if (name == "Charm")
        QVERIFY(holder.Current() == TSkinDescription::Charm());
}

void TstSkinTool::refusesSourceWithoutSkin()
{
    const QString input = m_dir.filePath("broken.skin");
    QFile file(input);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is no skin\n[colors]\nwindow=not-a-colour\n");
    file.close();
    const QString output = m_dir.filePath("broken.skn");
    QCOMPARE(compile(input, output), 1);
    QVERIFY(!QFile::exists(output));
    QCOMPARE(compile(m_dir.filePath("missing.skin"), output), 1);
    QVERIFY(!QFile::exists(output));
}

void TstSkinTool::brokenFileKeepsLook_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = PackSkinFile(readFile(source("green.skin")));
    QTest::newRow("truncated") << good.left(good.size() / 2);
    QTest::newRow("wrong header") << container(7, good.mid(8));
    QTest::newRow("oversized") << container(1, deflate(QByteArray(kMaxSkinDescription + 1, ' ')));
    QTest::newRow("garbage") << QByteArray("GIF89a\x01\x00\x01\x00 garbage garbage garbage");
    QTest::newRow("no skin inside") << PackSkinFile("[colors]\nwindow=#123\n[unknown]\n");
    QTest::newRow("empty file") << QByteArray();
}

void TstSkinTool::brokenFileKeepsLook()
{
    QFETCH(QByteArray, bytes);
    TSkinData holder;
    holder.LoadFromText(QString::fromUtf8(readFile(source("dark.skin"))));
    const QColor dark = QApplication::palette().color(QPalette::Window);
    const QString path = m_dir.filePath("bad.skn");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();

    QSignalSpy changed(&holder, &TSkinData::skinChanged);
    bool refused = false;
    try {
        holder.LoadFromFile(path);
    } catch (const std::exception& error) {
        refused = true;
        QVERIFY(QByteArray(error.what()).size() > 0);
    }
    QVERIFY(refused);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(holder.SkinName(), QStringLiteral("Dark"));
    QCOMPARE(QApplication::palette().color(QPalette::Window), dark);
}

void TstSkinTool::samplePreviewsFitPictureArea_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("dark") << "dark.jpg";
    QTest::newRow("blue") << "blue.jpg";
    QTest::newRow("green") << "green.jpg";
}

void TstSkinTool::samplePreviewsFitPictureArea()
{
    QFETCH(QString, file);
    const QImage image = DecodeJpeg(readFile(source(file)), QSize(381, 255));
    QCOMPARE(image.size(), QSize(381, 255));
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TstSkinTool test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_skintool.moc"
