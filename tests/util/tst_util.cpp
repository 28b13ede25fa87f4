#include "tests/support/bounded_fifo.h"
#include "util/gbk.h"
#include "util/hex_digit.h"
#include "util/settings_file.h"
#include "util/uFunctions.h"
#include "util/util_error.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

class TestUtil : public QObject
{
    Q_OBJECT

private slots:
    void gbkRoundTrip();

    void scrambleFormat();
    void scrambleRoundTripsEveryByteButZeroAnd255_data();
    void scrambleRoundTripsEveryByteButZeroAnd255();
    void unscrambleFailures_data();
    void unscrambleFailures();
    void unscrambleIgnoresLoneLastCharacter();

    void base64_data();
    void base64();
    void base64DecodesWholeGroupsOnly();
    void md5Hex();

    void settingsEncodingShape();
    void settingsDecodesHandMadeEncoding_data();
    void settingsDecodesHandMadeEncoding();
    void settingsTamperingIsIgnored_data();
    void settingsTamperingIsIgnored();
    void settingsDecodeFailures_data();
    void settingsDecodeFailures();

    void hexDigit_data();
    void hexDigit();

    void splitField_data();
    void splitField();
    void splitFieldIndexOutOfRangeRaises();
    void countOccurrences_data();
    void countOccurrences();

    void writeTextLine();
    void writeTextLineFailureKeepsFileAndReports();
    void savedSkinId_data();
    void savedSkinId();
    void settingsPlace_data();
    void settingsPlace();
};

void TestUtil::gbkRoundTrip()
{
    const QString text = QStringLiteral("Lumo网盘搜索 中文");
    const QByteArray gbk = Gbk::fromUnicode(text);
    QCOMPARE(gbk, QByteArray("Lumo\xCD\xF8\xC5\xCC\xCB\xD1\xCB\xF7 \xD6\xD0\xCE\xC4"));
    QCOMPARE(Gbk::toUnicode(gbk), text);

    // Pure ASCII, control characters and NUL included, converts as the
    // code page does.
    QByteArray ascii;
    for (int c = 0; c < 128; ++c)
        ascii.append(char(c));
    QStringDecoder decoder("GBK");
    const QString viaCodePage = decoder.decode(ascii);
    QCOMPARE(Gbk::toUnicode(ascii), viaCodePage);
    QCOMPARE(Gbk::fromUnicode(viaCodePage), ascii);
}

void TestUtil::scrambleFormat()
{
    const QByteArray s = scramble_text("hello", "key");
    QCOMPARE(s.size(), 2 + 2 * 5);
    for (char c : s)
        QVERIFY2((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), s.constData());
    QCOMPARE(scramble_text("", "key").size(), 2);
}

void TestUtil::scrambleRoundTripsEveryByteButZeroAnd255_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("codec key") << QByteArray("MossLight");
    QTest::newRow("empty key uses fallback") << QByteArray();
    QTest::newRow("one-byte key") << QByteArray("x");
    QTest::newRow("key longer than text") << QByteArray(600, 'k');
}

void TestUtil::scrambleRoundTripsEveryByteButZeroAnd255()
{
    QFETCH(QByteArray, key);
    QByteArray all;
    for (int b = 1; b <= 254; ++b)
        all.append(static_cast<char>(b));
    // Several runs so that many random start values are exercised.
    for (int run = 0; run < 50; ++run)
        QCOMPARE(unscramble_text(scramble_text(all, key), key), all);
}

void TestUtil::unscrambleFailures_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one character") << QByteArray("4");
    QTest::newRow("start value only (empty text scrambled)") << QByteArray("41");
    QTest::newRow("not hexadecimal") << QByteArray("41ZZ");
    QTest::newRow("sign inside a pair") << QByteArray("41-1");
    QTest::newRow("blank inside a pair") << QByteArray("41 A");
}

void TestUtil::unscrambleFailures()
{
    QFETCH(QByteArray, text);
    QVERIFY_THROWS_EXCEPTION(UtilError, unscramble_text(text, "MossLight"));
}

void TestUtil::unscrambleIgnoresLoneLastCharacter()
{
    // "41F234FB" is "abc" scrambled with the fallback key from start value 0x41.
    QCOMPARE(unscramble_text("41F234FB", ""), QByteArray("abc"));
    QCOMPARE(unscramble_text("41F234FBx", ""), QByteArray("abc"));
    QCOMPARE(unscramble_text("41f234fb", ""), QByteArray("abc"));
    QCOMPARE(unscramble_text("41F", "").size(), 1);
}

void TestUtil::base64_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("f") << QByteArray("f") << QByteArray("Zg==");
    QTest::newRow("fo") << QByteArray("fo") << QByteArray("Zm8=");
    QTest::newRow("foo") << QByteArray("foo") << QByteArray("Zm9v");
    QTest::newRow("foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy");
    QTest::newRow("high bytes") << QByteArray("\xFF\xFE\xFD\x00", 4) << QByteArray("//79AA==");
}

void TestUtil::base64()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, encoded);
    QCOMPARE(base64_encode(bytes), encoded);
    QCOMPARE(base64_decode(encoded), bytes);
}

void TestUtil::base64DecodesWholeGroupsOnly()
{
    QCOMPARE(base64_decode("Zm9vYm"), QByteArray("foo"));
    QCOMPARE(base64_decode("Zm9"), QByteArray());
    QCOMPARE(base64_decode("Zg==Zm8="), QByteArray("ffo"));
    QVERIFY_THROWS_EXCEPTION(UtilError, base64_decode("Zm9\n"));
}

void TestUtil::md5Hex()
{
    QCOMPARE(md5_hex(""), QByteArray("D41D8CD98F00B204E9800998ECF8427E"));
    QCOMPARE(md5_hex("abc"), QByteArray("900150983CD24FB0D6963F7D28E17F72"));
}

void TestUtil::settingsEncodingShape()
{
    const QByteArray plain = "x|user";
    const QByteArray a = settings_encode(plain);
    const QByteArray b = settings_encode(plain);
    QCOMPARE(a.size(), 86);
    QVERIFY(a.startsWith('A') && a.endsWith('Z'));
    QVERIFY(a != b); // fresh random start values
    QCOMPARE(settings_decode(a), plain);
    QCOMPARE(settings_decode(b), plain);
    QCOMPARE(settings_decode(a + "\r\n"), plain);
    for (char c : a.mid(a.size() - 29, 28))
        QVERIFY((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
}

void TestUtil::settingsDecodesHandMadeEncoding_data()
{
    // Encodings computed independently from the algorithm, with fixed start values.
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("Charm") << QByteArray(
                                  "ARkYwMDJCMUZFNTc0QTE4MURFNThEMTUyQkE3OUYxNTZFQzU3RTg3QjlBOUI4"
                                  "MzlDN0RBQzY5QzZCNzY4Q0E3QkY0A0E20B7100453F09F03DE5EF4509Z")
                           << QByteArray("Charm|user");
    QTest::newRow("GBK id") << QByteArray(
                                   "AMDMxRjBDM0VDNjU0RUQ1M0YwNEFDMzc5Q0Q2Q0FBODZEMDRCRUI3NDgx"
                                   "QkQ3MDg2QTI4OEE0ODFGMw==25FD72E786CC45C890CE18995E6AZ")
                            << QByteArray("\xC0\xB6\xC9\xAB|user");
}

void TestUtil::settingsDecodesHandMadeEncoding()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QByteArray, plain);
    QCOMPARE(settings_decode(encoded), plain);
    QCOMPARE(settings_decode(encoded + "\r\n"), plain);
}

void TestUtil::settingsTamperingIsIgnored_data()
{
    QTest::addColumn<int>("position"); // negative: from the end
    QTest::newRow("frame letter A") << 0;
    QTest::newRow("frame letter Z") << -1;
    QTest::newRow("first check digit") << -29;
    QTest::newRow("middle check digit") << -15;
    QTest::newRow("last check digit") << -2;
}

void TestUtil::settingsTamperingIsIgnored()
{
    QFETCH(int, position);
    QByteArray encoded = settings_encode("Dark|user");
    const int at = position < 0 ? encoded.size() + position : position;
    encoded[at] = encoded[at] == 'Q' ? 'R' : 'Q';
    QCOMPARE(settings_decode(encoded), QByteArray("Dark|user"));
}

void TestUtil::settingsDecodeFailures_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("30 characters") << QByteArray(30, 'A');
    QTest::newRow("frame and check only") << QByteArray("A" + QByteArray(28, '0') + "Z");
    QTest::newRow("foreign text") << QByteArray("hello, this is not a settings file at all!");
    QTest::newRow("shortened") << settings_encode("Blue|user").left(40);
}

void TestUtil::settingsDecodeFailures()
{
    QFETCH(QByteArray, encoded);
    QVERIFY_THROWS_EXCEPTION(UtilError, settings_decode(encoded));
}

// Bytes of GBK text and UTF-16 code units both go through the one helper.
void TestUtil::hexDigit_data()
{
    QTest::addColumn<char32_t>("c");
    QTest::addColumn<int>("value");

    QTest::newRow("0") << char32_t('0') << 0;
    QTest::newRow("9") << char32_t('9') << 9;
    QTest::newRow("a") << char32_t('a') << 10;
    QTest::newRow("f") << char32_t('f') << 15;
    QTest::newRow("A") << char32_t('A') << 10;
    QTest::newRow("F") << char32_t('F') << 15;
    QTest::newRow("before 0") << char32_t('/') << -1;
    QTest::newRow("after 9") << char32_t(':') << -1;
    QTest::newRow("after f") << char32_t('g') << -1;
    QTest::newRow("after F") << char32_t('G') << -1;
    QTest::newRow("before a") << char32_t('`') << -1;
    QTest::newRow("before A") << char32_t('@') << -1;
    QTest::newRow("GBK lead byte as char") << char32_t(char('\xB0')) << -1;
    QTest::newRow("fullwidth digit") << char32_t(u'\uFF11') << -1;
    QTest::newRow("code unit with a digit's low byte") << char32_t(u'\u0131') << -1;
}

void TestUtil::hexDigit()
{
    QFETCH(char32_t, c);
    QFETCH(int, value);
    QCOMPARE(HexDigit(c), value);
}

void TestUtil::splitField_data()
{
    QTest::addColumn<char>("delimiter");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("skin id of a plain line")
        << '|' << QByteArray("Dark|user") << 0 << QByteArray("Dark");
    QTest::newRow("second field") << '|' << QByteArray("Dark|user") << 1 << QByteArray("user");
    QTest::newRow("no delimiter: whole text")
        << '|' << QByteArray("Dark") << 0 << QByteArray("Dark");
    QTest::newRow("single field keeps blanks")
        << ',' << QByteArray("Dark\r\n") << 0 << QByteArray("Dark\r\n");
    QTest::newRow("empty text") << '|' << QByteArray() << 0 << QByteArray();
    QTest::newRow("blank cuts an id") << '|' << QByteArray("my skin|user") << 0 << QByteArray("my");
    QTest::newRow("blank makes a field")
        << '|' << QByteArray("my skin|user") << 1 << QByteArray("skin");
    QTest::newRow("trailing line break") << ',' << QByteArray("a,b,c\r\n") << 2 << QByteArray("c");
    QTest::newRow("blanks around delimiters")
        << ',' << QByteArray("  a , b ") << 1 << QByteArray("b");
    QTest::newRow("empty field between commas") << ',' << QByteArray("a,,b") << 1 << QByteArray();
    QTest::newRow("delimiter at the end") << ',' << QByteArray("a,b,") << 2 << QByteArray();
    QTest::newRow("quoted field") << ',' << QByteArray("\"x,y\",z") << 0 << QByteArray("x,y");
    QTest::newRow("doubled quote") << ',' << QByteArray("\"a\"\"b\",z") << 0 << QByteArray("a\"b");
    QTest::newRow("unclosed quote") << ',' << QByteArray("z,\"abc") << 1 << QByteArray("abc");
    QTest::newRow("GBK bytes stay")
        << ',' << QByteArray("\xC0\xB6,\xC2\xCC") << 1 << QByteArray("\xC2\xCC");
}

void TestUtil::splitField()
{
    QFETCH(char, delimiter);
    QFETCH(QByteArray, text);
    QFETCH(int, index);
    QFETCH(QByteArray, field);
    QCOMPARE(split_field(delimiter, text, index), field);
}

void TestUtil::splitFieldIndexOutOfRangeRaises()
{
    QVERIFY_THROWS_EXCEPTION(UtilError, split_field(',', "a,b", 2));
    QVERIFY_THROWS_EXCEPTION(UtilError, split_field(',', "a,b", -1));
}

void TestUtil::countOccurrences_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<int>("count");
    QTest::newRow("two commas") << QByteArray("a,b,c") << QByteArray(",") << 2;
    QTest::newRow("two-character pattern twice") << QByteArray("abXYcdXY") << QByteArray("XY") << 4;
    QTest::newRow("no overlap") << QByteArray("aaa") << QByteArray("aa") << 2;
    QTest::newRow("case-sensitive") << QByteArray("Aa") << QByteArray("a") << 1;
    QTest::newRow("empty pattern") << QByteArray("abc") << QByteArray() << 0;
    QTest::newRow("empty text") << QByteArray() << QByteArray(",") << 0;
}

void TestUtil::countOccurrences()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, pattern);
    QFETCH(int, count);
    QCOMPARE(count_occurrences(text, pattern), count);
}

static QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void TestUtil::writeTextLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    write_text_line(path, "first", false);
    write_text_line(path, "second", false);
    QCOMPARE(readAll(path), QByteArray("first\r\nsecond\r\n"));
    write_text_line(path, "only", true);
    QCOMPARE(readAll(path), QByteArray("only\r\n"));
}

void TestUtil::writeTextLineFailureKeepsFileAndReports()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("no-such-folder/settings.cfg");
    try {
        write_text_line(missing, "x", true);
        QFAIL("no error raised");
    } catch (const UtilError& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(missing), e.what());
    }
    QVERIFY_THROWS_EXCEPTION(UtilError, write_text_line(missing, "x", false));

    // A folder in the file's place cannot be replaced; it stays as it was.
    const QString blocked = dir.filePath("blocked");
    QVERIFY(QDir(dir.path()).mkpath("blocked/inside"));
    QVERIFY_THROWS_EXCEPTION(UtilError, write_text_line(blocked, "x", true));
    QVERIFY(QFileInfo(blocked + "/inside").isDir());
}

void TestUtil::savedSkinId_data()
{
    QTest::addColumn<QByteArray>("content"); // "<write>" means: written by write_saved_skin_id
    QTest::addColumn<bool>("fails");
    QTest::addColumn<QByteArray>("id");
    QTest::newRow("written by the client") << QByteArray("<write>") << false << QByteArray("Dark");
    QTest::newRow("LF line ending") << settings_encode("Dark|user") + "\n"
                                    << false << QByteArray("Dark");
    QTest::newRow("no line ending") << settings_encode("Dark|user") << false << QByteArray("Dark");
    QTest::newRow("empty file") << QByteArray() << true << QByteArray();
    QTest::newRow("edited") << QByteArray("A###################################Z\r\n") << true
                            << QByteArray();
    QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF", 4) << true << QByteArray();
}

void TestUtil::savedSkinId()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, fails);
    QFETCH(QByteArray, id);
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    QCOMPARE(read_saved_skin_id(folder), std::optional<QByteArray>());
    if (content == "<write>") {
        write_saved_skin_id(folder, id);
        QCOMPARE(readAll(folder + "settings.cfg").right(2), QByteArray("\r\n"));
    } else {
        QFile f(folder + "settings.cfg");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    if (fails) {
        QVERIFY_THROWS_EXCEPTION(UtilError, read_saved_skin_id(folder));
        QCOMPARE(readAll(folder + "settings.cfg"), content); // left untouched
    } else {
        QCOMPARE(read_saved_skin_id(folder), std::optional<QByteArray>(id));
    }
}

void TestUtil::settingsPlace_data()
{
    // What is at the place of settings.cfg: reading finds `read` there
    // (empty: no saved skin) and never blocks; writing replaces it with a
    // regular file and writes nothing elsewhere, or fails and leaves it.
    QTest::addColumn<QString>("place");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<bool>("written");
    QTest::newRow("link to a settings file") << "link" << QByteArray("Dark") << true;
    QTest::newRow("link to nowhere") << "dangling" << QByteArray() << true;
    QTest::newRow("link to a device") << "device" << QByteArray() << true;
    QTest::newRow("fifo") << "fifo" << QByteArray() << true;
    QTest::newRow("folder") << "folder" << QByteArray() << false;
}

void TestUtil::settingsPlace()
{
    QFETCH(QString, place);
    QFETCH(QByteArray, read);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    const QString settings = folder + "settings.cfg";
    const QString target = dir.filePath("elsewhere.cfg");
    const QByteArray targetContent = settings_encode("Dark|user") + "\r\n";
    std::unique_ptr<BoundedFifo> fifo;
    if (place == "link" || place == "dangling") {
        if (place == "link") {
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(targetContent);
        }
        QVERIFY(QFile::link(target, settings));
    } else if (place == "device") {
        QVERIFY(QFile::link("/dev/zero", settings));
    } else if (place == "fifo") {
        fifo = std::make_unique<BoundedFifo>(settings);
        QVERIFY(fifo->Made());
    } else {
        QVERIFY(QDir(folder).mkpath("settings.cfg/inside"));
    }

    QCOMPARE(read_saved_skin_id(folder), read.isEmpty() ? std::optional<QByteArray>() : read);
    if (written) {
        write_saved_skin_id(folder, "Blue");
        QVERIFY(QFileInfo(settings).isFile() && !QFileInfo(settings).isSymLink());
        QCOMPARE(read_saved_skin_id(folder), std::optional<QByteArray>("Blue"));
    } else {
        try {
            write_saved_skin_id(folder, "Blue");
            QFAIL("no error raised");
        } catch (const UtilError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(settings), e.what());
        }
        QVERIFY(QFileInfo(settings + "/inside").isDir());
    }
    // The link's target is never written, nor created.
    if (place == "link")
        QCOMPARE(readAll(target), targetContent);
    if (place == "dangling")
        QVERIFY(!QFileInfo::exists(target));
    if (fifo)
        QVERIFY(!fifo->Released());
    // Only the file itself is there: no temporary file is left behind.
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
             place == "link" ? QStringList({"elsewhere.cfg", "settings.cfg"})
                             : QStringList({"settings.cfg"}));
}

QTEST_GUILESS_MAIN(TestUtil)
#include "tst_util.moc"
