#include "platform/file_icons.h"

#include <QtTest>

class TestFileIcons : public QObject
{
    Q_OBJECT

private slots:
    void sameTypeSameIndex_data();
    void sameTypeSameIndex();
    void typesAreToldApart();
    void emptyRowIconIsStable();
    void listsShareIndices();
};

void TestFileIcons::sameTypeSameIndex_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("same extension") << QByteArray("a.rar") << QByteArray("other.rar");
    QTest::newRow("extension case") << QByteArray("A.RAR") << QByteArray("b.rar");
    QTest::newRow("GBK name") << QByteArray("\xD6\xD0\xCE\xC4.txt") << QByteArray("readme.txt");
    QTest::newRow("aliases of one type") << QByteArray("a.jpg") << QByteArray("b.jpeg");
}

void TestFileIcons::sameTypeSameIndex()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QCOMPARE(GetSystemIconIndexA(first.constData(), 0), GetSystemIconIndexA(second.constData(), 0));
}

void TestFileIcons::typesAreToldApart()
{
    const QList<QByteArray> names = {"a.rar", "a.mp4", "a.pdf", "a.txt", "a.exe", "a.mp3"};
    QSet<int> indices;
    for (const QByteArray& name : names) {
        const int index = GetSystemIconIndexA(name.constData(), 0);
        QVERIFY2(!GetSystemImageListHandle(1)->Icon(index).isNull(), name.constData());
        indices.insert(index);
    }
    QCOMPARE(indices.size(), names.size());
    // Names without a known type share the icon of unknown files.
    QCOMPARE(GetSystemIconIndexA("noextension", 0), GetSystemIconIndexA("x.zzzunknown", 0));
}

void TestFileIcons::emptyRowIconIsStable()
{
    const int index = GetSystemIconIndexA(nullptr, 0);
    GetSystemIconIndexA("later.docx", 0);
    QCOMPARE(GetSystemIconIndexA(nullptr, 0), index);
    QVERIFY(!GetSystemImageListHandle(0)->Icon(index).isNull());
}

void TestFileIcons::listsShareIndices()
{
    TSystemImageList* small = GetSystemImageListHandle(1);
    TSystemImageList* large = GetSystemImageListHandle(0);
    QVERIFY(small != large);
    QCOMPARE(small->IconSize(), QSize(16, 16));
    QCOMPARE(large->IconSize(), QSize(32, 32));
    const int index = GetSystemIconIndexA("movie.mkv", 0);
    QCOMPARE(small->Count(), large->Count());
    QVERIFY(index < small->Count());
    QVERIFY(small->Icon(small->Count()).isNull());
    QVERIFY(small->Icon(-1).isNull());
}

QTEST_MAIN(TestFileIcons)
#include "tst_file_icons.moc"
