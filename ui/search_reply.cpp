#include "ui/search_reply.h"

#include "json/uJson.h"
#include "util/gbk.h"

#include <QLocale>

#include <algorithm>

namespace {

// A decimal integer with an optional sign, nothing else.
bool ParseFileSize(const QString& text, qint64& size)
{
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && (c == u'-' || c == u'+')))
            return false;
    }
    bool ok = false;
    size = text.toLongLong(&ok, 10);
    return ok;
}

} // namespace

TSearchReply ReadSearchReply(const QByteArray& reply)
{
    const IJsonValue root = ParseJson(Gbk::toUnicode(reply));
    const TJsonArray hits = ArrayOf(root);
    const int count = Length(hits);

    TSearchReply result;
    result.Length = root.kind() == JsonKind::Array ? count : -1;
    result.Rows.reserve(std::min(count, kMaxResultRows));
    const QByteArray typeSuffix = Gbk::fromUnicode(QStringLiteral("文件"));
    for (int i = 0; i < count && result.Rows.size() < kMaxResultRows; ++i) {
        const IJsonValue hit = ItemAt(hits, i);
        // Only objects describe hits.
        if (hit.kind() != JsonKind::Object)
            continue;
        TResultRow row;
        row.Caption = Gbk::fromUnicode(MemberText(hit, u"file_name"));
        row.ImageIndex = TResultRow::kIconOfCaption;
        row.SubItems[0] = Gbk::fromUnicode(MemberText(hit, u"file_extension")) + typeSuffix;
        // A size that is no integer leaves its column empty; the hit and
        // those after it are still shown.
        qint64 size = 0;
        if (ParseFileSize(MemberText(hit, u"file_size"), size)) {
            row.SubItems[1] = Gbk::fromUnicode(FileSizeText(size));
            row.Bytes = size;
        }
        row.SubItems[2] = Gbk::fromUnicode(MemberText(hit, u"file_value"));
        row.SubItems[3] = Gbk::fromUnicode(MemberText(hit, u"file_views"));
        row.SubItems[4] = Gbk::fromUnicode(MemberText(hit, u"file_time"));
        row.SubItems[5] = Gbk::fromUnicode(MemberText(hit, u"s_url"));
        row.SubItems[6] = Gbk::fromUnicode(MemberText(hit, u"file_id"));
        result.Rows.append(std::move(row));
    }
    return result;
}

QString FileSizeText(qint64 size)
{
    const auto withTwoDecimals = [](double value, const char* unit) {
        QString text = QString::number(value, 'f', 2);
        const QString point = QLocale().decimalPoint();
        if (point != QLatin1String("."))
            text.replace(QLatin1Char('.'), point);
        return text + QLatin1String(unit);
    };
    if (size / 1073741824 > 0)
        return withTwoDecimals(double(size) / 1073741824.0, "GB");
    if (size / 1048576 > 0)
        return withTwoDecimals(double(size) / 1048576.0, "MB");
    if (size / 1024 > 0)
        return withTwoDecimals(double(size) / 1024.0, "KB");
    return QString::number(size) + QLatin1Char('B');
}
