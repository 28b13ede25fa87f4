#include "json/json_parser.h"

#include "util/hex_digit.h"

#include <QChar>
#include <QtAlgorithms>
#include <QtNumeric>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

// The string scan runs on SSE2 where the compiler offers it, otherwise on a
// plain loop; LUMO_JSON_PORTABLE_SCAN forces the loop, so that the path of
// other processors is built and tested here too.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#if !defined(LUMO_JSON_PORTABLE_SCAN)
#define LUMO_JSON_SSE2_SCAN
#include <emmintrin.h>
#endif
#endif

namespace {

// Strings, arrays and objects are counted in 32 bits and handed out as int.
constexpr std::size_t maxCount = std::size_t(std::numeric_limits<int>::max());

inline bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == 12 || c == 8;
}

inline bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

inline bool isNumberChar(char16_t c)
{
    return isDigit(c) || c == u'.' || c == u'-' || c == u'+' || c == u'e' || c == u'E';
}

// A keyword only counts when it is not the start of a longer word.
inline bool continuesWord(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'.';
    return QChar(c).isLetter();
}

inline bool startsMemberName(char16_t c)
{
    return c != u':' && c != u',' && c != u'{' && c != u'}' && c != u'[' && c != u']';
}

inline bool memberLess(const JsonMember& a, const JsonMember& b)
{
    return jsonCompareName(a, b.hash, b.length, b.name) < 0;
}

inline bool sameName(const JsonMember& a, const JsonMember& b)
{
    return jsonCompareName(a, b.hash, b.length, b.name) == 0;
}

class Reader
{
public:
    Reader(const char16_t* begin, const char16_t* end, JsonDocument* document)
        : p(begin), end(end), doc(document)
    {
    }

    bool run(TJsonValue& root);

private:
    struct Frame
    {
        bool object;
        std::size_t start; // first own entry on the value or member stack
    };

    // Skips blanks and comments; false for a "/" that does not start a
    // well-formed comment.
    bool skipSpace()
    {
        if (p != end && *p > u' ' && *p != u'/')
            return true;
        return skipSpaceSlow();
    }
    bool skipSpaceSlow();
    void scanString(char16_t quote);
    bool readString(const char16_t*& chars, quint32& length);
    bool readNumber(TJsonValue& out);
    bool readWord(TJsonValue& out);
    bool keyword(const char16_t* word, int length) const;
    bool copyText(const char16_t* from, const char16_t* to, const char16_t*& chars,
                  quint32& length);
    bool closeArray(TJsonValue& out);
    bool closeObject(TJsonValue& out);

    const char16_t* p;
    const char16_t* const end;
    JsonDocument* const doc;
    std::vector<TJsonValue> values;
    std::vector<JsonMember> members;
    Frame frames[JsonParser::maxDepth];
    int depth = 0;
};

bool Reader::skipSpaceSlow()
{
    for (;;) {
        while (p < end && isSpace(*p))
            ++p;
        if (p == end || *p != u'/')
            return true;
        if (end - p < 2)
            return false;
        if (p[1] == u'/') {
            p += 2;
            while (p < end && *p != u'\n')
                ++p;
        } else if (p[1] == u'*') {
            p += 2;
            for (;;) {
                if (end - p < 2)
                    return false;
                if (p[0] == u'*' && p[1] == u'/')
                    break;
                ++p;
            }
            p += 2;
        } else {
            return false;
        }
    }
}

bool Reader::copyText(const char16_t* from, const char16_t* to, const char16_t*& chars,
                      quint32& length)
{
    const std::size_t n = std::size_t(to - from);
    if (n > maxCount)
        return false;
    char16_t* copy = nullptr;
    if (n) {
        copy = doc->allocate<char16_t>(n);
        std::memcpy(copy, from, n * sizeof(char16_t));
    }
    chars = copy;
    length = quint32(n);
    return true;
}

// Advances to the next quote or backslash, eight code units at a time where
// SSE2 is there.
void Reader::scanString(char16_t quote)
{
#if defined(LUMO_JSON_SSE2_SCAN)
    const __m128i quotes = _mm_set1_epi16(short(quote));
    const __m128i backslashes = _mm_set1_epi16(short(u'\\'));
    while (end - p >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int mask = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi16(units, quotes), _mm_cmpeq_epi16(units, backslashes)));
        if (mask) {
            p += qCountTrailingZeroBits(quint32(mask)) / 2;
            return;
        }
        p += 8;
    }
#endif
    while (p < end && *p != quote && *p != u'\\')
        ++p;
}

// At the opening quote; the string ends at the same quote character.
bool Reader::readString(const char16_t*& chars, quint32& length)
{
    const char16_t quote = *p++;
    const char16_t* const start = p;
    bool escaped = false;
    for (;;) {
        scanString(quote);
        if (p == end)
            return false;
        if (*p == quote)
            break;
        if (end - p < 2)
            return false;
        escaped = true;
        p += 2;
    }
    const char16_t* const stop = p++;
    if (!escaped)
        return copyText(start, stop, chars, length);

    // Escapes only shorten the text, so its raw length is room enough.
    const std::size_t room = std::size_t(stop - start);
    if (room > maxCount)
        return false;
    char16_t* const out = doc->allocate<char16_t>(room);
    char16_t* d = out;
    for (const char16_t* s = start; s < stop;) {
        char16_t c = *s++;
        if (c != u'\\') {
            *d++ = c;
            continue;
        }
        c = *s++;
        switch (c) {
        case u'b':
            *d++ = 8;
            break;
        case u'f':
            *d++ = 12;
            break;
        case u'n':
            *d++ = u'\n';
            break;
        case u'r':
            *d++ = u'\r';
            break;
        case u't':
            *d++ = u'\t';
            break;
        case u'u':
        case u'x': {
            const int digits = c == u'u' ? 4 : 2;
            if (stop - s < digits)
                return false;
            unsigned unit = 0;
            for (int i = 0; i < digits; ++i) {
                const int h = HexDigit(s[i]);
                if (h < 0)
                    return false;
                unit = unit * 16 + unsigned(h);
            }
            s += digits;
            *d++ = char16_t(unit);
            break;
        }
        default:
            *d++ = c;
            break;
        }
    }
    chars = out;
    length = quint32(d - out);
    return true;
}

bool Reader::keyword(const char16_t* word, int length) const
{
    if (end - p < length)
        return false;
    for (int i = 0; i < length; ++i) {
        if (p[i] != word[i])
            return false;
    }
    return end - p == length || !continuesWord(p[length]);
}

// A bare word runs to the next "," or the closing bracket of the enclosing
// container, at the top level to the end of the text; blanks inside belong
// to it.
bool Reader::readWord(TJsonValue& out)
{
    const char16_t* const start = p;
    if (depth == 0) {
        p = end;
    } else {
        const char16_t close = frames[depth - 1].object ? u'}' : u']';
        while (p < end && *p != u',' && *p != close)
            ++p;
    }
    if (p == start)
        return false;
    out.kind = JsonKind::String;
    return copyText(start, p, out.chars, out.count);
}

// Digits, ".", "+", "-", "e" and "E" form the number. Plain digits are an
// integer, a point with up to four decimals a fixed-point value, anything
// else a double. Integers and fixed-point values beyond 64 bits become
// doubles, so every number of standard JSON is read.
bool Reader::readNumber(TJsonValue& out)
{
    const char16_t* const start = p;
    const bool negative = *p == u'-';
    const char16_t* q = negative ? p + 1 : p;
    const char16_t* const intStart = q;
    quint64 intPart = 0;
    bool intOverflow = false;
    while (q < end && isDigit(*q)) {
        intOverflow |= qMulOverflow(intPart, quint64(10), &intPart);
        intOverflow |= qAddOverflow(intPart, quint64(*q - u'0'), &intPart);
        ++q;
    }
    const char16_t* const intEnd = q;
    const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;

    if (q == end || !isNumberChar(*q)) {
        // The common case: a plain integer.
        if (intEnd == intStart)
            return false;
        p = q;
        if (!intOverflow && intPart <= limit) {
            out.kind = JsonKind::Integer;
            out.count = 0;
            out.integer = negative ? qint64(0 - intPart) : qint64(intPart);
            return true;
        }
    } else {
        const char16_t* runEnd = q;
        while (runEnd < end && isNumberChar(*runEnd))
            ++runEnd;
        bool hasPoint = false;
        const char16_t* fracStart = q;
        if (*q == u'.') {
            hasPoint = true;
            fracStart = ++q;
            while (q < runEnd && isDigit(*q))
                ++q;
        }
        const char16_t* const fracEnd = q;
        if (intEnd == intStart && fracEnd == fracStart)
            return false;
        bool hasExponent = false;
        if (q < runEnd && (*q == u'e' || *q == u'E')) {
            hasExponent = true;
            ++q;
            if (q < runEnd && (*q == u'+' || *q == u'-'))
                ++q;
            const char16_t* const expStart = q;
            while (q < runEnd && isDigit(*q))
                ++q;
            if (q == expStart)
                return false;
        }
        if (q != runEnd)
            return false;
        p = runEnd;
        const auto fracDigits = int(fracEnd - fracStart);
        if (hasPoint && !hasExponent && fracDigits <= 4 && !intOverflow) {
            quint64 fraction = 0;
            for (const char16_t* f = fracStart; f < fracEnd; ++f)
                fraction = fraction * 10 + quint64(*f - u'0');
            for (int i = fracDigits; i < 4; ++i)
                fraction *= 10;
            quint64 magnitude;
            if (!qMulOverflow(intPart, quint64(10000), &magnitude) &&
                !qAddOverflow(magnitude, fraction, &magnitude) && magnitude <= limit) {
                out.kind = JsonKind::Fixed;
                out.count = 0;
                out.integer = negative ? qint64(0 - magnitude) : qint64(magnitude);
                return true;
            }
        }
    }

    // Double: convert the run (now known to be well formed) as ASCII.
    std::string ascii(std::size_t(p - start), '\0');
    for (std::size_t i = 0; i < ascii.size(); ++i)
        ascii[i] = char(start[i]);
    double value = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond the range of a double: infinity or zero, by the magnitude
        // of the leading digit and the exponent.
        long long magnitude = 0;
        const char16_t* d = intStart;
        while (d < intEnd && *d == u'0')
            ++d;
        if (d < intEnd) {
            magnitude = intEnd - d;
        } else {
            const char16_t* f = intEnd < p && *intEnd == u'.' ? intEnd + 1 : intEnd;
            while (f < p && *f == u'0')
                ++f;
            magnitude = -(f - intEnd);
        }
        const std::size_t e = ascii.find_first_of("eE");
        long long exponent = 0;
        if (e != std::string::npos) {
            std::size_t i = e + 1;
            const bool expNegative = ascii[i] == '-';
            if (ascii[i] == '-' || ascii[i] == '+')
                ++i;
            for (; i < ascii.size() && exponent < 1000000000; ++i)
                exponent = exponent * 10 + (ascii[i] - '0');
            if (expNegative)
                exponent = -exponent;
        }
        value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        if (negative)
            value = -value;
    } else if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size()) {
        return false;
    }
    out.kind = JsonKind::Double;
    out.count = 0;
    out.real = value;
    return true;
}

bool Reader::closeArray(TJsonValue& out)
{
    const std::size_t start = frames[--depth].start;
    const std::size_t n = values.size() - start;
    if (n > maxCount)
        return false;
    TJsonValue* items = nullptr;
    if (n) {
        items = doc->allocate<TJsonValue>(n);
        std::memcpy(static_cast<void*>(items), values.data() + start, n * sizeof(TJsonValue));
        values.resize(start);
    }
    out.kind = JsonKind::Array;
    out.count = quint32(n);
    out.items = items;
    return true;
}

bool Reader::closeObject(TJsonValue& out)
{
    const std::size_t start = frames[--depth].start;
    std::size_t n = members.size() - start;
    if (n > maxCount)
        return false;
    JsonMember* table = nullptr;
    if (n) {
        JsonMember* const first = members.data() + start;
        JsonMember* const last = first + n;
        // Stable order by (hash, name); of members with the same name the
        // one written last wins.
        if (n <= 16) {
            for (JsonMember* i = first + 1; i < last; ++i) {
                const JsonMember m = *i;
                JsonMember* j = i;
                while (j > first && memberLess(m, j[-1])) {
                    *j = j[-1];
                    --j;
                }
                *j = m;
            }
        } else {
            std::stable_sort(first, last, memberLess);
        }
        JsonMember* kept = first;
        for (JsonMember* i = first + 1; i < last; ++i) {
            if (sameName(*kept, *i))
                *kept = *i;
            else
                *++kept = *i;
        }
        n = std::size_t(kept - first) + 1;
        table = doc->allocate<JsonMember>(n);
        std::memcpy(static_cast<void*>(table), first, n * sizeof(JsonMember));
        members.resize(start);
    }
    out.kind = JsonKind::Object;
    out.count = quint32(n);
    out.members = table;
    return true;
}

bool Reader::run(TJsonValue& root)
{
    TJsonValue v;
value:
    if (!skipSpace() || p == end)
        return false;
    switch (*p) {
    case u'{':
    case u'[': {
        if (depth == JsonParser::maxDepth)
            return false;
        const bool object = *p++ == u'{';
        frames[depth++] = Frame{object, object ? members.size() : values.size()};
        if (!skipSpace())
            return false;
        if (p < end && *p == (object ? u'}' : u']')) {
            ++p;
            if (!(object ? closeObject(v) : closeArray(v)))
                return false;
            goto done;
        }
        if (object)
            goto name;
        goto value;
    }
    case u'"':
    case u'\'':
        v.kind = JsonKind::String;
        if (!readString(v.chars, v.count))
            return false;
        goto done;
    case u'-':
    case u'0':
    case u'1':
    case u'2':
    case u'3':
    case u'4':
    case u'5':
    case u'6':
    case u'7':
    case u'8':
    case u'9':
        if (!readNumber(v))
            return false;
        goto done;
    case u't':
        if (keyword(u"true", 4)) {
            p += 4;
            v.kind = JsonKind::Boolean;
            v.count = 0;
            v.integer = 0;
            v.boolean = true;
            goto done;
        }
        break;
    case u'f':
        if (keyword(u"false", 5)) {
            p += 5;
            v.kind = JsonKind::Boolean;
            v.count = 0;
            v.integer = 0;
            v.boolean = false;
            goto done;
        }
        break;
    case u'n':
        if (keyword(u"null", 4)) {
            p += 4;
            v.kind = JsonKind::Null;
            v.count = 0;
            v.integer = 0;
            goto done;
        }
        break;
    default:
        break;
    }
    if (!readWord(v))
        return false;

done:
    if (depth == 0) {
        root = v;
        // What follows the value is ignored, but a "/" there must start a
        // well-formed comment.
        return skipSpace();
    }
    if (!skipSpace() || p == end)
        return false;
    if (frames[depth - 1].object) {
        members.back().value = v;
        if (*p == u',') {
            ++p;
            goto name;
        }
        if (*p != u'}')
            return false;
        ++p;
        if (!closeObject(v))
            return false;
        goto done;
    }
    values.push_back(v);
    if (*p == u',') {
        ++p;
        goto value;
    }
    if (*p != u']')
        return false;
    ++p;
    if (!closeArray(v))
        return false;
    goto done;

name:
    if (!skipSpace() || p == end)
        return false;
    {
        JsonMember& m = members.emplace_back();
        if (*p == u'"' || *p == u'\'') {
            if (!readString(m.name, m.length) || !skipSpace() || p == end || *p != u':')
                return false;
        } else {
            // Unquoted: everything up to the ":", blanks included.
            if (!startsMemberName(*p))
                return false;
            const char16_t* const start = p;
            while (p < end && *p != u':')
                ++p;
            if (p == end || !copyText(start, p, m.name, m.length))
                return false;
        }
        ++p;
        m.hash = jsonNameHash(m.nameView());
    }
    goto value;
}

} // namespace

IJsonValue JsonParser::parse(QStringView text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    try {
        QExplicitlySharedDataPointer<JsonDocument> document(new JsonDocument);
        const char16_t* const begin = text.utf16();
        Reader reader(begin, begin + text.size(), document.data());
        TJsonValue root;
        if (!reader.run(root))
            return {};
        TJsonValue* stored = document->allocate<TJsonValue>(1);
        *stored = root;
        return IJsonValue(document.data(), stored);
    } catch (...) {
        // Out of memory on enormous input: no value, like any other failure.
        return {};
    }
}

const char* JsonParser::stringScan()
{
#if defined(LUMO_JSON_SSE2_SCAN)
    return "SSE2";
#else
    return "portable";
#endif
}
