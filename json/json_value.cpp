#include "json/json_value.h"

#include "json/json_array.h"
#include "json/json_table.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <cmath>
#include <cstring>

namespace {

void appendFixed(QString& out, qint64 tenThousandths)
{
    // Magnitude in unsigned arithmetic, so the most negative value is safe.
    const bool negative = tenThousandths < 0;
    const quint64 magnitude = negative ? 0 - quint64(tenThousandths) : quint64(tenThousandths);
    quint64 fraction = magnitude % 10000;
    if (negative && magnitude != 0)
        out += QLatin1Char('-');
    out += QString::number(magnitude / 10000);
    if (fraction == 0)
        return;
    char digits[5] = {char('0' + fraction / 1000), char('0' + fraction / 100 % 10),
                      char('0' + fraction / 10 % 10), char('0' + fraction % 10), 0};
    int used = 4;
    while (digits[used - 1] == '0')
        --used;
    out += QLatin1Char('.');
    out += QLatin1String(digits, used);
}

void appendDouble(QString& out, double value)
{
    // Fifteen significant digits, shortest of fixed and exponent notation,
    // independent of the locale (the same as printf's "%.15g").
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    out += QLatin1String(buffer, int(result.ptr - buffer));
}

void appendQuoted(QString& out, QStringView text)
{
    out += QLatin1Char('"');
    for (QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\b':
            out += QLatin1String("\\b");
            break;
        case u'\f':
            out += QLatin1String("\\f");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        default:
            if (u < 0x20) {
                const char hex[] = "0123456789abcdef";
                const char escape[] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 15]};
                out += QLatin1String(escape, 6);
            } else {
                out += c;
            }
        }
    }
    out += QLatin1Char('"');
}

// Nesting is bounded by the parser, so the recursion is shallow.
void appendText(QString& out, const TJsonValue& value, bool quoteStrings)
{
    switch (value.kind) {
    case JsonKind::Null:
        out += QLatin1String("null");
        break;
    case JsonKind::Boolean:
        out += QLatin1String(value.boolean ? "true" : "false");
        break;
    case JsonKind::Integer:
        out += QString::number(value.integer);
        break;
    case JsonKind::Fixed:
        appendFixed(out, value.integer);
        break;
    case JsonKind::Double:
        // JSON has no infinity; inside JSON text write a number that reads
        // back as one.
        if (quoteStrings && std::isinf(value.real))
            out += QLatin1String(value.real < 0 ? "-1e999" : "1e999");
        else
            appendDouble(out, value.real);
        break;
    case JsonKind::String:
        if (quoteStrings)
            appendQuoted(out, value.string());
        else
            out += value.string();
        break;
    case JsonKind::Array:
        out += QLatin1Char('[');
        for (quint32 i = 0; i < value.count; ++i) {
            if (i)
                out += QLatin1Char(',');
            appendText(out, value.items[i], true);
        }
        out += QLatin1Char(']');
        break;
    case JsonKind::Object:
        out += QLatin1Char('{');
        for (quint32 i = 0; i < value.count; ++i) {
            if (i)
                out += QLatin1Char(',');
            appendQuoted(out, value.members[i].nameView());
            out += QLatin1Char(':');
            appendText(out, value.members[i].value, true);
        }
        out += QLatin1Char('}');
        break;
    }
}

} // namespace

quint32 jsonNameHash(QStringView name)
{
    // Length plus the first and the last four code units: constant time for
    // any name. Names that share these are told apart by comparing them.
    const auto* units = name.utf16();
    const auto size = std::size_t(name.size());
    quint64 head = 0;
    quint64 tail = 0;
    if (size >= 4) {
        std::memcpy(&head, units, 8);
        std::memcpy(&tail, units + size - 4, 8);
    } else {
        for (std::size_t i = 0; i < size; ++i)
            head |= quint64(units[i]) << (16 * i);
    }
    quint64 hash = (size * 0x9e3779b97f4a7c15ull) ^ head;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= (hash >> 32) ^ tail;
    hash *= 0xc4ceb9fe1a85ec53ull;
    return quint32(hash >> 32);
}

QString IJsonValue::text() const
{
    if (!m_value)
        return {};
    if (m_value->kind == JsonKind::String)
        return m_value->string().toString();
    QString out;
    appendText(out, *m_value, false);
    return out;
}

TJsonArray IJsonValue::array() const
{
    return TJsonArray(*this);
}

TJsonTable IJsonValue::table() const
{
    return TJsonTable(*this);
}
