#include "platform/safe_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Puts `kind` at `path`: "regular", "link" (to `target`), "fifo" or "folder".
bool make(const QString& kind, const QString& path, const QString& target)
{
    if (kind == "regular")
        return writeFile(path, "old");
    if (kind == "link")
        return QFile::link(target, path);
    if (kind == "fifo")
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == "folder")
        return QDir().mkpath(path);
    return kind == "missing";
}

} // namespace

class TstSafeFiles : public QObject
{
    Q_OBJECT

private slots:
    void renameOnlyOverRegularFiles_data();
    void renameOnlyOverRegularFiles();
};

void TstSafeFiles::renameOnlyOverRegularFiles_data()
{
    // A finished download is renamed to its final name only when that name
    // holds a regular file or nothing; whatever else is there stays.
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("renamed");
    QTest::newRow("over nothing") << "regular"
                                  << "missing" << true;
    QTest::newRow("over a regular file") << "regular"
                                         << "regular" << true;
    QTest::newRow("over a link") << "regular"
                                 << "link" << false;
    QTest::newRow("over a fifo") << "regular"
                                 << "fifo" << false;
    QTest::newRow("over a folder") << "regular"
                                   << "folder" << false;
    QTest::newRow("a link itself") << "link"
                                   << "missing" << false;
}

void TstSafeFiles::renameOnlyOverRegularFiles()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(bool, renamed);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath("target");
    QVERIFY(writeFile(target, "target"));
    const QString from = dir.filePath("X.skn.tmp");
    const QString to = dir.filePath("X.skn");
    if (source == "regular")
        QVERIFY(writeFile(from, "new"));
    else
        QVERIFY(make(source, from, target));
    QVERIFY(make(destination, to, target));
    const TSafeFiles::TKind before = TSafeFiles::KindAt(to);

    QString error;
    QCOMPARE(TSafeFiles::RenameOverRegular(from, to, &error), renamed);
    QCOMPARE(error.isEmpty(), renamed);
    if (renamed) {
        QCOMPARE(readFile(to), QByteArray("new"));
        QCOMPARE(TSafeFiles::KindAt(from), TSafeFiles::TKind::Missing);
    } else {
        QCOMPARE(TSafeFiles::KindAt(to), before);
        QVERIFY(TSafeFiles::KindAt(from) != TSafeFiles::TKind::Missing);
    }
    QCOMPARE(readFile(target), QByteArray("target"));
}

QTEST_GUILESS_MAIN(TstSafeFiles)
#include "tst_safe_files.moc"
