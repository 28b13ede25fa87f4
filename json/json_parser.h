#pragma once

#include "json/json_value.h"

#include <QStringView>

// Reads one value from UTF-16 text in the relaxed grammar of the service's
// replies: JSON plus comments, single-quoted strings, unquoted names and
// words, \x escapes. One pass, no recursion, nesting limited to 31.
class JsonParser
{
public:
    static constexpr int maxDepth = 31;

    // The value at the start of `text` (up to its first NUL), or no value
    // when the text is not acceptable. Never throws.
    static IJsonValue parse(QStringView text);
    // The string scan this build runs: "SSE2" or "portable".
    static const char* stringScan();
};
