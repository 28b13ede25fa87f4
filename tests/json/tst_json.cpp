#include "json/json_parser.h"
#include "json/uJson.h"

#include <QRandomGenerator>
#include <QtTest>

// The JSON text of a parsed value, for comparing whole trees.
static QString treeText(const QString& json)
{
    const IJsonValue value = ParseJson(json);
    if (!value)
        return QStringLiteral("<no value>");
    if (value.kind() == JsonKind::String)
        return QLatin1Char('=') + value.text();
    return value.text();
}

class TestJson : public QObject
{
    Q_OBJECT

private slots:
    void memberTextForms_data();
    void memberTextForms();
    void relaxedGrammar_data();
    void relaxedGrammar();
    void rejectedText_data();
    void rejectedText();
    void strictDocumentsAreAccepted_data();
    void strictDocumentsAreAccepted();
    void stringScanStops_data();
    void stringScanStops();
    void buildRunsTheIntendedStringScan();

    void searchReply();
    void accessorsOnWrongKinds();
    void memberLookupIsExact();
    void duplicateNameKeepsLastValue();
    void valuesOutliveTheirTree();

    void nestingLimit_data();
    void nestingLimit();
    void deepNestingGivesNoValue();
    void textEndsAtFirstNul();
    void truncatedDocumentsGiveNoValue();
    void binaryInputIsSafe();
    void largeDocument();
};

void TestJson::memberTextForms_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("string") << "\"a.txt\""
                            << "a.txt";
    QTest::newRow("empty string") << "\"\""
                                  << "";
    QTest::newRow("escapes") << R"("q\"b\\s\/a\'c\b\f\n\r\t!")"
                             << QStringLiteral("q\"b\\s/a'c\b\f\n\r\t!");
    QTest::newRow("unicode escapes") << R"("\u4e2d\u6587")" << QStringLiteral("中文");
    QTest::newRow("surrogate pair") << R"("\ud83d\ude00")" << QStringLiteral("\U0001F600");
    QTest::newRow("hex escape") << R"("\x41\x7a\xe9")" << QStringLiteral("Az\u00e9");
    QTest::newRow("other escaped letter") << R"("\q\z")"
                                          << "qz";
    QTest::newRow("control characters")
        << QStringLiteral("\"a\tb\x01\"") << QStringLiteral("a\tb\x01");
    QTest::newRow("single quotes") << "'it\"s'"
                                   << "it\"s";
    QTest::newRow("chinese") << QStringLiteral("\"网盘搜索\"") << QStringLiteral("网盘搜索");

    QTest::newRow("integer") << "1024"
                             << "1024";
    QTest::newRow("negative integer") << "-17"
                                      << "-17";
    QTest::newRow("minus zero integer") << "-0"
                                        << "0";
    QTest::newRow("leading zeros") << "007"
                                   << "7";
    QTest::newRow("int64 max") << "9223372036854775807"
                               << "9223372036854775807";
    QTest::newRow("int64 min") << "-9223372036854775808"
                               << "-9223372036854775808";
    QTest::newRow("beyond int64 becomes double") << "9223372036854775808"
                                                 << "9.22337203685478e+18";
    QTest::newRow("huge integer") << "123456789012345678901234567890"
                                  << "1.23456789012346e+29";

    QTest::newRow("fixed 3.5") << "3.5"
                               << "3.5";
    QTest::newRow("fixed 3.25") << "3.25"
                                << "3.25";
    QTest::newRow("fixed 3.0") << "3.0"
                               << "3";
    QTest::newRow("fixed 0.0") << "0.0"
                               << "0";
    QTest::newRow("fixed -0.5") << "-0.5"
                                << "-0.5";
    QTest::newRow("fixed -0.0") << "-0.0"
                                << "0";
    QTest::newRow("fixed four decimals") << "1.2345"
                                         << "1.2345";
    QTest::newRow("fixed trailing zeros") << "12.3400"
                                          << "12.34";
    QTest::newRow("fixed no decimals") << "3."
                                       << "3";
    QTest::newRow("fixed small") << "-0.0001"
                                 << "-0.0001";
    QTest::newRow("fixed largest") << "922337203685477.5807"
                                   << "922337203685477.5807";
    QTest::newRow("fixed most negative") << "-922337203685477.5808"
                                         << "-922337203685477.5808";
    QTest::newRow("fixed beyond 64 bits") << "922337203685477.5808"
                                          << "922337203685478";

    QTest::newRow("double 2.000001") << "2.000001"
                                     << "2.000001";
    QTest::newRow("double five decimals") << "1.23450"
                                          << "1.2345";
    QTest::newRow("double 15 digits") << "0.1234567890123456789"
                                      << "0.123456789012346";
    QTest::newRow("double exponent") << "1e20"
                                     << "1e+20";
    QTest::newRow("double exponent integral") << "2.5E2"
                                              << "250";
    QTest::newRow("double negative exponent") << "-1.5e-7"
                                              << "-1.5e-07";
    QTest::newRow("double overflow") << "1e400"
                                     << "inf";
    QTest::newRow("double negative overflow") << "-1e400"
                                              << "-inf";
    QTest::newRow("double underflow") << "1e-400"
                                      << "0";
    QTest::newRow("double long mantissa overflow") << "1" + QString(400, QLatin1Char('0')) + "e-10"
                                                   << "inf";

    QTest::newRow("null") << "null"
                          << "null";
    QTest::newRow("true") << "true"
                          << "true";
    QTest::newRow("false") << "false"
                           << "false";
    QTest::newRow("word") << "hello world "
                          << "hello world ";
    QTest::newRow("capitalised word") << "True"
                                      << "True";

    QTest::newRow("array") << "[1, 'a', [true, null], {}]"
                           << "[1,\"a\",[true,null],{}]";
    QTest::newRow("object") << "{\"k\" : \"v\\n\"}"
                            << "{\"k\":\"v\\n\"}";
    QTest::newRow("array with infinity") << "[1e400, -1e400]"
                                         << "[1e999,-1e999]";
}

void TestJson::memberTextForms()
{
    QFETCH(QString, value);
    QFETCH(QString, text);
    const IJsonValue object = ParseJson("{\"v\":" + value + "}");
    QVERIFY(object);
    QCOMPARE(MemberText(object, u"v"), text);
    // The same value as an array element and as the whole text.
    const TJsonArray array = ArrayOf(ParseJson("[" + value + "]"));
    QCOMPARE(Length(array), 1);
    QCOMPARE(ItemAt(array, 0).text(), text);
}

void TestJson::relaxedGrammar_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("tree");

    QTest::newRow("empty array") << "[]"
                                 << "[]";
    QTest::newRow("blank array") << " [ \t] "
                                 << "[]";
    QTest::newRow("empty object") << "{}"
                                  << "{}";
    QTest::newRow("trailing text") << "[1,2] trailing"
                                   << "[1,2]";
    QTest::newRow("trailing text without blank") << "[1,2]]],"
                                                 << "[1,2]";
    QTest::newRow("trailing comment") << "[1] // done"
                                      << "[1]";
    QTest::newRow("trailing block comment") << "[1] /* done */ x"
                                            << "[1]";
    QTest::newRow("line comment") << "// c\n[1]"
                                  << "[1]";
    QTest::newRow("block comment") << "[1 /* c */ ,2]"
                                   << "[1,2]";
    QTest::newRow("comments everywhere") << "/**/{/*a*/\"k\"/*b*/:/*c*/1//d\n}"
                                         << "{\"k\":1}";
    QTest::newRow("form feed and backspace") << QStringLiteral("\f\b[\f1\b]") << "[1]";
    QTest::newRow("single and double quotes") << "['a', \"b\"]"
                                              << "[\"a\",\"b\"]";
    QTest::newRow("quote of the other kind") << "['\"', \"'\"]"
                                             << "[\"\\\"\",\"'\"]";
    QTest::newRow("unquoted name") << "{file_name:\"x\"}"
                                   << "{\"file_name\":\"x\"}";
    QTest::newRow("unquoted name keeps blanks") << "{ a b :1}"
                                                << "{\"a b \":1}";
    QTest::newRow("single quoted name") << "{'a':1}"
                                        << "{\"a\":1}";
    QTest::newRow("words") << "[abc, True]"
                           << "[\"abc\",\"True\"]";
    QTest::newRow("word keeps blanks") << "[abc , x y]"
                                       << "[\"abc \",\"x y\"]";
    QTest::newRow("word in object") << "{a: hello ]}"
                                    << "{\"a\":\"hello ]\"}";
    QTest::newRow("word in array") << "[x}]"
                                   << "[\"x}\"]";
    QTest::newRow("keywords") << "[true,false,null]"
                              << "[true,false,null]";
    QTest::newRow("keywords before blanks") << "[true ,null\n]"
                                            << "[true,null]";
    QTest::newRow("longer words") << "[trueish, nulls, false_, true.5, nullé]"
                                  << QStringLiteral(
                                         "[\"trueish\",\"nulls\",\"false_\",\"true.5\",\"nullé\"]");
    QTest::newRow("capital keywords are words") << "[TRUE, Null, F]"
                                                << "[\"TRUE\",\"Null\",\"F\"]";
    QTest::newRow("top-level word") << "hello, world]"
                                    << "=hello, world]";
    QTest::newRow("top-level keyword") << "true garbage"
                                       << "true";
    QTest::newRow("top-level number") << "12abc"
                                      << "12";
    QTest::newRow("plus starts a word") << "[+1]"
                                        << "[\"+1\"]";
    QTest::newRow("point starts a word") << "[.5]"
                                         << "[\".5\"]";
    QTest::newRow("point without leading digit") << "[-.5]"
                                                 << "[-0.5]";
    QTest::newRow("control characters in strings")
        << QStringLiteral("[\"\n\x7f\"]") << "[\"\\n\x7f\"]";
    QTest::newRow("nested") << "{a:[{b:{}}],c:[[]]}"
                            << "{\"a\":[{\"b\":{}}],\"c\":[[]]}";
}

void TestJson::relaxedGrammar()
{
    QFETCH(QString, json);
    QFETCH(QString, tree);
    QCOMPARE(treeText(json), tree);
}

void TestJson::rejectedText_data()
{
    QTest::addColumn<QString>("json");

    QTest::newRow("empty") << "";
    QTest::newRow("blanks") << " \r\n\t";
    QTest::newRow("only a comment") << "/* x */";
    QTest::newRow("unfinished array") << "[1,2";
    QTest::newRow("missing comma") << "[1 2]";
    QTest::newRow("trailing comma in array") << "[1,]";
    QTest::newRow("leading comma") << "[,1]";
    QTest::newRow("trailing comma in object") << "{\"a\":1,}";
    QTest::newRow("member without colon") << "{\"a\" 1}";
    QTest::newRow("name without colon") << "{a}";
    QTest::newRow("empty name") << "{:1}";
    QTest::newRow("missing value") << "{\"a\":}";
    QTest::newRow("bracket mismatch") << "[1}";
    QTest::newRow("unfinished object") << "{\"a\":1";
    QTest::newRow("unfinished string") << "[\"abc]";
    QTest::newRow("backslash at end") << "[\"abc\\";
    QTest::newRow("short u escape") << R"(["\u12"])";
    QTest::newRow("bad u escape") << R"(["\u12g4"])";
    QTest::newRow("bad x escape") << R"(["\x1g"])";
    QTest::newRow("bad escape in name") << R"({"\x":1})";
    QTest::newRow("lone slash") << "/";
    QTest::newRow("slash not a comment") << "/x [1]";
    QTest::newRow("slash after value") << "[1] /x";
    QTest::newRow("slash inside array") << "[1 / 2]";
    QTest::newRow("unterminated comment") << "[1] /* open";
    QTest::newRow("unterminated comment inside") << "[1 /* open ]";
    QTest::newRow("line comment to end") << "[1 // ]";
    QTest::newRow("minus alone") << "[-]";
    QTest::newRow("two points") << "[1.2.3]";
    QTest::newRow("empty exponent") << "[1e]";
    QTest::newRow("sign inside number") << "[1-2]";
    QTest::newRow("sign before digits") << "[1+e5]";
    QTest::newRow("letter after number") << "[1x]";
    QTest::newRow("word to end of text") << "[abc";
    QTest::newRow("keyword then letters in array") << "[true1]";
}

void TestJson::rejectedText()
{
    QFETCH(QString, json);
    QCOMPARE(treeText(json), QStringLiteral("<no value>"));
}

void TestJson::strictDocumentsAreAccepted_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("tree");

    QTest::newRow("scalar number") << "42"
                                   << "42";
    QTest::newRow("scalar string") << "\"x\""
                                   << "=x";
    QTest::newRow("scalar null") << " null "
                                 << "null";
    QTest::newRow("scalar false") << "false"
                                  << "false";
    QTest::newRow("empty name") << "{\"\":0}"
                                << "{\"\":0}";
    QTest::newRow("all escapes") << R"(["\"\\\/\b\f\n\r\t\u0000\u001F\u00e9\uFFFF"])"
                                 << QStringLiteral("[\"\\\"\\\\/\\b\\f\\n\\r\\t\\u0000\\u001f\u00e9"
                                                   "\uffff\"]");
    QTest::newRow("numbers") << "[0,-0,1,-1,0.5,-0.25,1e5,1E+5,1e-5,-1.5E-3,10.0000001]"
                             << "[0,0,1,-1,0.5,-0.25,100000,100000,1e-05,-0.0015,10.0000001]";
    QTest::newRow("big numbers") << "[18446744073709551616,1e308,5e-324]"
                                 << "[1.84467440737096e+19,1e+308,4.94065645841247e-324]";
    QTest::newRow("all whitespace") << " \t\r\n[ \t\r\n1 \t\r\n, \t\r\n{ \"a\" \t\r\n: \t\r\n2 }]\n"
                                    << "[1,{\"a\":2}]";
    QTest::newRow("nested") << R"({"a":{"b":[1,[2,{"c":null}]],"d":true},"e":[]})"
                            << R"({"a":{"b":[1,[2,{"c":null}]],"d":true},"e":[]})";
    QTest::newRow("names with delimiters") << R"({"a:b":1,"c,d":2,"{}":3})"
                                           << R"({"a:b":1,"c,d":2,"{}":3})";
    QTest::newRow("non-ascii text")
        << QStringLiteral("[\"网盘\U0001F600\"]") << QStringLiteral("[\"网盘\U0001F600\"]");
}

void TestJson::strictDocumentsAreAccepted()
{
    QFETCH(QString, json);
    QFETCH(QString, tree);
    const QString text = treeText(json);
    if (text.startsWith(QLatin1Char('{'))) {
        // Member order is not text order; compare the members one by one.
        const IJsonValue object = ParseJson(json);
        const IJsonValue expected = ParseJson(tree);
        QCOMPARE(TJsonTable(object).count(), TJsonTable(expected).count());
        for (int i = 0; i < TJsonTable(expected).count(); ++i) {
            const QString name = TJsonTable(expected).nameAt(i).toString();
            QCOMPARE(MemberText(object, name), MemberText(expected, name));
        }
    } else {
        QCOMPARE(text, tree);
    }
}

// The scan looks at eight code units at a time where it can: the quote or
// backslash that ends a run may fall in any lane, in a later block or in
// the tail, and the text may end in the middle of a string.
void TestJson::stringScanStops_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("tree");

    const auto a = [](int n) { return QString(n, QLatin1Char('a')); };
    QTest::newRow("quote first") << "\"\""
                                 << "=";
    QTest::newRow("quote in the last lane") << "\"" + a(7) + "\""
                                            << "=" + a(7);
    QTest::newRow("quote in the first lane of the second block") << "\"" + a(8) + "\""
                                                                 << "=" + a(8);
    QTest::newRow("quote in the last lane of the second block") << "\"" + a(15) + "\""
                                                                << "=" + a(15);
    QTest::newRow("quote in the tail") << "\"" + a(19) + "\""
                                       << "=" + a(19);
    QTest::newRow("backslash in the first lane") << "\"\\n" + a(9) + "\""
                                                 << "=\n" + a(9);
    QTest::newRow("escape split between two blocks") << "\"" + a(6) + "\\t" + a(9) + "\""
                                                     << "=" + a(6) + "\t" + a(9);
    QTest::newRow("escapes in every lane") << "\"" + QString("\\\\").repeated(9) + "\""
                                           << "=" + QString(9, QLatin1Char('\\'));
    QTest::newRow("escaped quote at a block boundary") << "\"" + a(7) + "\\\"" + a(8) + "\""
                                                       << "=" + a(7) + "\"" + a(8);
    QTest::newRow("other quote inside, double-quoted") << "\"" + a(3) + "'" + a(12) + "\""
                                                       << "=" + a(3) + "'" + a(12);
    QTest::newRow("other quote inside, single-quoted") << "'" + a(10) + "\"" + a(3) + "'"
                                                       << "=" + a(10) + "\"" + a(3);
    QTest::newRow("unterminated, ends on a block boundary") << "\"" + a(16) << "<no value>";
    QTest::newRow("unterminated, ends in the tail") << "\"" + a(11) << "<no value>";
    QTest::newRow("ends with a backslash") << "\"" + a(15) + "\\"
                                           << "<no value>";
}

void TestJson::stringScanStops()
{
    QFETCH(QString, json);
    QFETCH(QString, tree);
    QCOMPARE(treeText(json), tree);
    // The same string after an odd number of units, so the blocks fall
    // elsewhere in memory and in the text.
    const IJsonValue object = ParseJson("{v:" + json + "}");
    QCOMPARE(MemberText(object, u"v"), tree.startsWith(QLatin1Char('=')) ? tree.mid(1) : QString());
}

void TestJson::buildRunsTheIntendedStringScan()
{
    QCOMPARE(QByteArray(JsonParser::stringScan()), QByteArray(LUMO_JSON_STRING_SCAN));
}

void TestJson::searchReply()
{
    const IJsonValue reply = ParseJson(QStringLiteral(
        "[{\"file_name\":\"a.txt\",\"file_size\":1024},\n"
        " {\"file_name\":\"中文.rar\",\"file_extension\":\"rar\",\"file_size\":\"2048\","
        "\"file_value\":3.5,\"file_views\":120,\"file_time\":\"2013-09-24\","
        "\"s_url\":\"http:\\/\\/pan.example\\/s\\/1\",\"file_id\":77}]"));
    const TJsonArray hits = ArrayOf(reply);
    QVERIFY(hits);
    QCOMPARE(Length(hits), 2);
    QCOMPARE(MemberText(ItemAt(hits, 0), u"file_size"), QStringLiteral("1024"));
    QCOMPARE(MemberText(ItemAt(hits, 0), u"file_time"), QString());
    const IJsonValue second = ItemAt(hits, 1);
    QCOMPARE(MemberText(second, u"file_name"), QStringLiteral("中文.rar"));
    QCOMPARE(MemberText(second, u"file_extension"), QStringLiteral("rar"));
    QCOMPARE(MemberText(second, u"file_size"), QStringLiteral("2048"));
    QCOMPARE(MemberText(second, u"file_value"), QStringLiteral("3.5"));
    QCOMPARE(MemberText(second, u"file_views"), QStringLiteral("120"));
    QCOMPARE(MemberText(second, u"file_time"), QStringLiteral("2013-09-24"));
    QCOMPARE(MemberText(second, u"s_url"), QStringLiteral("http://pan.example/s/1"));
    QCOMPARE(MemberText(second, u"file_id"), QStringLiteral("77"));
    QVERIFY(!ItemAt(hits, 2));
}

void TestJson::accessorsOnWrongKinds()
{
    const IJsonValue object = ParseJson(u"{\"a\":[1]}");
    QVERIFY(object);
    QVERIFY(!ArrayOf(object));
    QCOMPARE(Length(ArrayOf(object)), 0);
    QVERIFY(!ItemAt(ArrayOf(object), 0));

    const IJsonValue none = ParseJson(u"[");
    QVERIFY(!none);
    QVERIFY(!ArrayOf(none));
    QCOMPARE(MemberText(none, u"a"), QString());
    QCOMPARE(none.text(), QString());

    const TJsonArray array = ArrayOf(ParseJson(u"[{\"a\":1}, \"s\", null]"));
    QCOMPARE(Length(array), 3);
    QVERIFY(!ItemAt(array, -1));
    QVERIFY(!ItemAt(array, 3));
    QCOMPARE(MemberText(array.itemAt(0), u"a"), QStringLiteral("1"));
    QCOMPARE(MemberText(array.itemAt(1), u"a"), QString());
    // A null element is a value of its own, not the absence of one.
    QVERIFY(ItemAt(array, 2));
    QCOMPARE(ItemAt(array, 2).kind(), JsonKind::Null);
    QCOMPARE(MemberText(ParseJson(u"{\"a\":[1]}"), u"a"), QStringLiteral("[1]"));
}

void TestJson::memberLookupIsExact()
{
    QString json = QStringLiteral("{");
    const int count = 2000;
    for (int i = 0; i < count; ++i)
        json += QStringLiteral("\"m%1\":%1,").arg(i);
    json += QStringLiteral("\"A\":\"upper\",\"a\":\"lower\",\"a \":\"blank\",\"ab\":\"two\"}");
    const IJsonValue object = ParseJson(json);
    QVERIFY(object);
    QCOMPARE(TJsonTable(object).count(), count + 4);
    for (int i = 0; i < count; ++i)
        QCOMPARE(MemberText(object, QStringLiteral("m%1").arg(i)), QString::number(i));
    QCOMPARE(MemberText(object, u"A"), QStringLiteral("upper"));
    QCOMPARE(MemberText(object, u"a"), QStringLiteral("lower"));
    QCOMPARE(MemberText(object, u"a "), QStringLiteral("blank"));
    QCOMPARE(MemberText(object, u"ab"), QStringLiteral("two"));
    QCOMPARE(MemberText(object, u"m"), QString());
    // Names alike at both ends and in length differ only in the middle.
    const IJsonValue alike =
        ParseJson(u"{\"abcd1wxyz\":1,\"abcd2wxyz\":2,\"abcd\":3,\"abc\":4,\"abce\":5}");
    QCOMPARE(MemberText(alike, u"abcd1wxyz"), QStringLiteral("1"));
    QCOMPARE(MemberText(alike, u"abcd2wxyz"), QStringLiteral("2"));
    QCOMPARE(MemberText(alike, u"abcd3wxyz"), QString());
    QCOMPARE(MemberText(alike, u"abcd"), QStringLiteral("3"));
    QCOMPARE(MemberText(alike, u"abc"), QStringLiteral("4"));
    QCOMPARE(MemberText(alike, u"abce"), QStringLiteral("5"));
    QCOMPARE(MemberText(object, u"m2000"), QString());
    QCOMPARE(MemberText(object, u""), QString());
}

void TestJson::duplicateNameKeepsLastValue()
{
    QCOMPARE(MemberText(ParseJson(u"{\"a\":1,\"b\":2,\"a\":3}"), u"a"), QStringLiteral("3"));
    QCOMPARE(TJsonTable(ParseJson(u"{\"a\":1,\"b\":2,\"a\":3}")).count(), 2);
    QString many = QStringLiteral("{");
    for (int i = 0; i < 100; ++i)
        many += QStringLiteral("x:%1,y%1:0,").arg(i);
    many += QStringLiteral("x:last}");
    QCOMPARE(MemberText(ParseJson(many), u"x"), QStringLiteral("last"));
    QCOMPARE(TJsonTable(ParseJson(many)).count(), 101);
}

void TestJson::valuesOutliveTheirTree()
{
    IJsonValue hit;
    TJsonArray inner;
    {
        QString text = QStringLiteral("[{\"file_name\":\"kept.txt\"}, [7, 8]]");
        const IJsonValue root = ParseJson(text);
        hit = ItemAt(ArrayOf(root), 0);
        inner = ArrayOf(ItemAt(ArrayOf(root), 1));
        text.fill(QLatin1Char('x')); // the reader keeps no reference to the text either
    }
    QCOMPARE(MemberText(hit, u"file_name"), QStringLiteral("kept.txt"));
    QCOMPARE(Length(inner), 2);
    QCOMPARE(ItemAt(inner, 1).text(), QStringLiteral("8"));
}

void TestJson::nestingLimit_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<bool>("accepted");

    const auto nest = [](const QString& open, const QString& inner, const QString& close, int n) {
        return open.repeated(n) + inner + close.repeated(n);
    };
    QTest::newRow("arrays 31") << nest("[", "1", "]", 31) << true;
    QTest::newRow("arrays 32") << nest("[", "1", "]", 32) << false;
    QTest::newRow("empty arrays 32") << nest("[", "", "]", 32) << false;
    QTest::newRow("objects 31") << nest("{a:", "1", "}", 31) << true;
    QTest::newRow("objects 32") << nest("{a:", "1", "}", 32) << false;
    QTest::newRow("mixed 31") << nest("[{a:", "[1]", "}]", 15) << true;
    QTest::newRow("mixed 32") << nest("[{a:", "1", "}]", 16) << false;
    QTest::newRow("siblings 31") << "[" + nest("[", "1", "]", 30) + "," + nest("[", "2", "]", 30) +
                                        "]"
                                 << true;
}

void TestJson::nestingLimit()
{
    QFETCH(QString, json);
    QFETCH(bool, accepted);
    QCOMPARE(bool(ParseJson(json)), accepted);
}

void TestJson::deepNestingGivesNoValue()
{
    for (const QString& open :
         {QStringLiteral("["), QStringLiteral("{a:"), QStringLiteral("[{'a':")}) {
        const QString json = open.repeated(100000);
        QVERIFY(!ParseJson(json));
        QVERIFY(!ParseJson(json + QStringLiteral("1") + json));
    }
}

void TestJson::textEndsAtFirstNul()
{
    QString text = QStringLiteral("[1]");
    text += QChar(0);
    text += QStringLiteral(" /x");
    QCOMPARE(treeText(text), QStringLiteral("[1]"));
    QString cut = QStringLiteral("[1");
    cut += QChar(0);
    cut += QStringLiteral("]");
    QVERIFY(!ParseJson(cut));
    QString word = QStringLiteral("hello");
    word += QChar(0);
    word += QStringLiteral("world");
    QCOMPARE(ParseJson(word).text(), QStringLiteral("hello"));
}

void TestJson::truncatedDocumentsGiveNoValue()
{
    const QString json = QStringLiteral(
        "[{\"file_name\":\"中文 \\u4e2d.txt\", s_url: 'http://x/\\x41', file_size:1024, "
        "v:3.25, w:2.000001e3, t:true, n:null, word:abc /* c */, a:[[],{}]}]");
    QVERIFY(ParseJson(json));
    for (int length = 0; length < json.size(); ++length)
        QVERIFY2(!ParseJson(QStringView(json).left(length)), qPrintable(json.left(length)));
}

void TestJson::binaryInputIsSafe()
{
    // Random code units, and random mixes of the characters that matter to
    // the grammar: any outcome but a crash or a hang is fine.
    QRandomGenerator random(20130924);
    const char16_t alphabet[] = u"[]{}:,\"'\\/*\n -.0123456789eEtruefalsnxu\x01\xd800\x4e2d";
    for (int round = 0; round < 2000; ++round) {
        QString text(int(random.bounded(1, 200)), Qt::Uninitialized);
        const bool grammar = round % 2;
        for (QChar& c : text) {
            c = grammar ? QChar(alphabet[random.bounded(int(std::size(alphabet) - 1))])
                        : QChar(char16_t(random.bounded(0x10000)));
        }
        const IJsonValue value = ParseJson(text);
        if (value)
            (void)value.text();
    }
}

void TestJson::largeDocument()
{
    // Many elements and long texts: counts and contents survive intact.
    QString json = QStringLiteral("[");
    const int count = 100000;
    for (int i = 0; i < count; ++i)
        json += QStringLiteral("{\"i\":%1,\"s\":\"v%1\"},").arg(i);
    json += QLatin1Char('"') + QString(1 << 20, QLatin1Char('z')) + QStringLiteral("\"]");
    const TJsonArray array = ArrayOf(ParseJson(json));
    QCOMPARE(Length(array), count + 1);
    QCOMPARE(MemberText(ItemAt(array, 12345), u"s"), QStringLiteral("v12345"));
    QCOMPARE(MemberText(ItemAt(array, count - 1), u"i"), QString::number(count - 1));
    QCOMPARE(ItemAt(array, count).text().size(), 1 << 20);
}

QTEST_APPLESS_MAIN(TestJson)
#include "tst_json.moc"
