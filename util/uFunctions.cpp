#include "util/uFunctions.h"

#include "platform/safe_files.h"
#include "util/hex_digit.h"
#include "util/util_error.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <vector>

namespace {

const QByteArray kCodecKey = "MossLight";
const QByteArray kFallbackKey = "PaleRiverSong";
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

const QByteArray& effectiveKey(const QByteArray& key)
{
    return key.isEmpty() ? kFallbackKey : key;
}

void appendHexByte(QByteArray& out, int value)
{
    static const char digits[] = "0123456789ABCDEF";
    out.append(digits[(value >> 4) & 0xF]);
    out.append(digits[value & 0xF]);
}

// Reads one or two hex digits; anything else (including nothing) fails.
int parseHex(const QByteArray& digits)
{
    if (digits.isEmpty())
        throw UtilError(UtilError::BadText, "'' is not a valid hexadecimal value");
    int value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0)
            throw UtilError(UtilError::BadText,
                            "'" + digits.toStdString() + "' is not a valid hexadecimal value");
        value = value * 16 + d;
    }
    return value;
}

// The key is used cyclically from its first byte: position 1..length.
int nextKeyPosition(int k, int keyLength)
{
    return k < keyLength ? k + 1 : 1;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

constexpr int kFillMark = 64;

bool isBlankOrControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

// Splits like a delimited text list: blanks and control characters also
// separate fields, a quoted field runs to its closing quote with doubled
// quotes standing for one, and a delimiter at the very end adds an empty
// field. A NUL byte ends the text.
std::vector<QByteArray> splitFields(char delimiter, const QByteArray& text)
{
    std::vector<QByteArray> fields;
    const char* p = text.constData();
    const char* const end = p + qstrnlen(p, text.size());
    auto skipBlanks = [&] {
        while (p < end && isBlankOrControl(*p))
            ++p;
    };
    skipBlanks();
    while (p < end) {
        QByteArray field;
        if (*p == '"') {
            ++p;
            while (p < end) {
                if (*p == '"') {
                    if (p + 1 < end && p[1] == '"') {
                        field.append('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                field.append(*p++);
            }
        } else {
            const char* start = p;
            while (p<end&& static_cast<unsigned char>(*p)> ' ' && *p != delimiter)
                ++p;
            field = QByteArray(start, p - start);
        }
        fields.push_back(field);
        skipBlanks();
        if (p < end && *p == delimiter) {
            if (p + 1 == end)
                fields.emplace_back();
            do {
                ++p;
            } while (p < end && isBlankOrControl(*p));
        }
    }
    return fields;
}

QByteArray doubleScramble(const QByteArray& plain)
{
    return base64_encode(scramble_text(base64_encode(scramble_text(plain, kCodecKey)), kCodecKey));
}

} // namespace

QByteArray scramble_text(const QByteArray& text, const QByteArray& key)
{
    const QByteArray& k = effectiveKey(key);
    int v = static_cast<int>(QRandomGenerator::global()->bounded(256));
    QByteArray out;
    out.reserve(2 + 2 * text.size());
    appendHexByte(out, v);
    int pos = 0;
    for (char c : text) {
        v = (v + static_cast<unsigned char>(c)) % 255;
        pos = nextKeyPosition(pos, k.size());
        v ^= static_cast<unsigned char>(k.at(pos - 1));
        appendHexByte(out, v);
    }
    return out;
}

QByteArray unscramble_text(const QByteArray& scrambled, const QByteArray& key)
{
    const QByteArray& k = effectiveKey(key);
    int prev = parseHex(scrambled.mid(0, 2));
    QByteArray out;
    out.reserve(scrambled.size() / 2);
    int pos = 0;
    qsizetype read = 2; // 0-based read position: character 3
    do {
        const int cur = parseHex(scrambled.mid(read, 2));
        pos = nextKeyPosition(pos, k.size());
        const int x = cur ^ static_cast<unsigned char>(k.at(pos - 1));
        out.append(static_cast<char>(x > prev ? x - prev : x - prev + 255));
        prev = cur;
        read += 2;
    } while (scrambled.size() > read + 1);
    return out;
}

QByteArray base64_encode(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(4 * ((bytes.size() + 2) / 3));
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; i += 3) {
        const unsigned b0 = data[i];
        const unsigned b1 = i + 1 < n ? data[i + 1] : 0;
        const unsigned b2 = i + 2 < n ? data[i + 2] : 0;
        out.append(kBase64Alphabet[b0 >> 2]);
        out.append(kBase64Alphabet[((b0 & 3) << 4) | (b1 >> 4)]);
        out.append(i + 1 < n ? kBase64Alphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=');
        out.append(i + 2 < n ? kBase64Alphabet[b2 & 63] : '=');
    }
    return out;
}

QByteArray base64_decode(const QByteArray& text)
{
    QByteArray out;
    const qsizetype groups = text.size() / 4;
    out.reserve(3 * groups);
    for (qsizetype g = 0; g < groups; ++g) {
        int s[4];
        for (int j = 0; j < 4; ++j) {
            const char c = text.at(4 * g + j);
            s[j] = c == '=' ? kFillMark : base64Value(c);
            if (s[j] < 0)
                throw UtilError(UtilError::BadText,
                                "'" + std::string(1, c) + "' is not a base64 character");
        }
        // A fill mark in the first two places carries no data bits.
        const int s0 = s[0] & 63, s1 = s[1] & 63;
        out.append(static_cast<char>((s0 * 4 + s1 / 16) & 0xFF));
        if (s[2] != kFillMark)
            out.append(static_cast<char>((s1 * 16 + s[2] / 4) & 0xFF));
        if (s[2] != kFillMark && s[3] != kFillMark)
            out.append(static_cast<char>((s[2] * 64 + s[3]) & 0xFF));
    }
    return out;
}

QByteArray md5_hex(const QByteArray& text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex().toUpper();
}

QByteArray settings_encode(const QByteArray& plain)
{
    const QByteArray slice = doubleScramble(plain).mid(1, 10);
    const QByteArray payload = doubleScramble(plain);
    return "A" + payload + md5_hex(slice).left(28) + "Z";
}

QByteArray settings_decode(const QByteArray& encoded)
{
    const QByteArray payload =
        encoded.size() > 30 ? encoded.mid(1, encoded.size() - 30) : QByteArray();
    return unscramble_text(base64_decode(unscramble_text(base64_decode(payload), kCodecKey)),
                           kCodecKey);
}

QByteArray split_field(char delimiter, const QByteArray& text, int index)
{
    if (text.isEmpty())
        return {};
    const std::vector<QByteArray> fields = splitFields(delimiter, text);
    if (fields.size() < 2)
        return text;
    if (index < 0 || static_cast<size_t>(index) >= fields.size())
        throw UtilError(UtilError::BadText, "field index " + std::to_string(index) +
                                                " out of bounds (" + std::to_string(fields.size()) +
                                                " fields)");
    return fields[index];
}

int count_occurrences(const QByteArray& text, const QByteArray& pattern)
{
    if (pattern.isEmpty())
        return 0;
    int removed = 0;
    for (qsizetype at = text.indexOf(pattern); at >= 0;
         at = text.indexOf(pattern, at + pattern.size()))
        removed += static_cast<int>(pattern.size());
    return removed;
}

void write_text_line(const QString& path, const QByteArray& text, bool replace)
{
    const QByteArray line = text + "\r\n";
    auto fail = [&](const QString& reason) {
        throw UtilError(UtilError::CannotWrite, reason.toStdString(), path);
    };
    if (replace) {
        // A new file renamed into place: a link there is replaced, never
        // written through, and a failed write keeps the old content.
        QString reason;
        if (!TSafeFiles::Replace(path, line, &reason))
            fail(reason);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        fail(file.errorString());
    if (file.write(line) != line.size() || !file.flush())
        fail(file.errorString());
}
