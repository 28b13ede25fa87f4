#pragma once

// The value of a hexadecimal digit in either case, -1 for any other
// character. Bytes of a GBK text (char, possibly negative) and UTF-16 code
// units both come in as a code point.
constexpr int HexDigit(char32_t c)
{
    if (c >= U'0' && c <= U'9')
        return int(c - U'0');
    if (c >= U'a' && c <= U'f')
        return int(c - U'a') + 10;
    if (c >= U'A' && c <= U'F')
        return int(c - U'A') + 10;
    return -1;
}
