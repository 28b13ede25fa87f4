#include "ui/result_order.h"

#include "util/gbk.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

namespace {

enum class KeyKind
{
    Text,
    Number,
    Date
};

KeyKind KindOf(int column)
{
    switch (column) {
    case 2: // 文件大小
    case 3: // 价值指数
    case 4: // 人气指数
    case 7: // 文件ID
        return KeyKind::Number;
    case 5: // 收录时间
        return KeyKind::Date;
    default:
        return KeyKind::Text;
    }
}

std::optional<double> NumberOf(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Days and milliseconds of the wall-clock time the service wrote; no time
// zone is involved, so the order is the same everywhere.
std::optional<double> DateOf(const QString& text)
{
    const QString trimmed = text.trimmed();
    static const char* const kFormats[] = {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm",
                                           "yyyy-MM-dd'T'HH:mm:ss", "yyyy/M/d H:mm:ss",
                                           "yyyy/M/d H:mm"};
    for (const char* format : kFormats) {
        const QDateTime moment = QDateTime::fromString(trimmed, QLatin1String(format));
        if (moment.isValid())
            return double(moment.date().toJulianDay()) * 86400000.0 +
                   moment.time().msecsSinceStartOfDay();
    }
    for (const char* format : {"yyyy-MM-dd", "yyyy/M/d"}) {
        const QDate day = QDate::fromString(trimmed, QLatin1String(format));
        if (day.isValid())
            return double(day.toJulianDay()) * 86400000.0;
    }
    return std::nullopt;
}

} // namespace

QVector<int> SortedRowOrder(const QVector<TResultRow>& rows, int column, Qt::SortOrder order)
{
    QVector<int> positions(rows.size());
    std::iota(positions.begin(), positions.end(), 0);
    const auto byService = [&](int a, int b) { return rows.at(a).Order < rows.at(b).Order; };
    if (column < 0 || column >= TResultListModel::kColumnCount) {
        std::stable_sort(positions.begin(), positions.end(), byService);
        return positions;
    }
    // Ties fall back on the service's order, whatever the current one is.
    std::sort(positions.begin(), positions.end(), byService);

    const bool descending = order == Qt::DescendingOrder;
    const KeyKind kind = KindOf(column);
    if (kind == KeyKind::Text) {
        QCollator collator{QLocale()};
        std::vector<std::optional<QCollatorSortKey>> keys;
        keys.reserve(size_t(rows.size()));
        for (const TResultRow& row : rows) {
            const QString text = Gbk::toUnicode(row.Column(column));
            keys.push_back(text.isEmpty() ? std::nullopt : std::optional(collator.sortKey(text)));
        }
        std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) {
            const auto& ka = keys[size_t(a)];
            const auto& kb = keys[size_t(b)];
            if (!ka || !kb)
                return ka.has_value() && !kb.has_value();
            return descending ? kb->compare(*ka) < 0 : ka->compare(*kb) < 0;
        });
        return positions;
    }

    std::vector<std::optional<double>> keys;
    keys.reserve(size_t(rows.size()));
    for (const TResultRow& row : rows) {
        if (column == 2)
            keys.push_back(row.Bytes ? std::optional<double>(double(*row.Bytes)) : std::nullopt);
        else if (kind == KeyKind::Date)
            keys.push_back(DateOf(Gbk::toUnicode(row.Column(column))));
        else
            keys.push_back(NumberOf(Gbk::toUnicode(row.Column(column))));
    }
    std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) {
        const auto& ka = keys[size_t(a)];
        const auto& kb = keys[size_t(b)];
        if (!ka || !kb)
            return ka.has_value() && !kb.has_value();
        return descending ? *kb < *ka : *ka < *kb;
    });
    return positions;
}
