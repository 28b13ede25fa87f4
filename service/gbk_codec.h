#pragma once

#include <functional>
#include <string>

// GBK (code page 936) <-> UTF-8 through glibc's iconv. The service keeps its
// data in UTF-8 and speaks GBK on the wire, like the client.
namespace GbkCodec {

// Decodes GBK bytes; false when they are not valid GBK.
bool toUtf8(const std::string& gbk, std::string& utf8);

// Encodes UTF-8 text; a character GBK cannot hold is replaced by what
// `unmappable` returns for its code point.
std::string fromUtf8(const std::string& utf8,
                     const std::function<std::string(char32_t)>& unmappable);

// Number of characters (code points) of a UTF-8 text.
std::size_t utf8Length(const std::string& utf8);

} // namespace GbkCodec
