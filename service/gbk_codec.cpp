#include "service/gbk_codec.h"

#include <cerrno>
#include <iconv.h>

namespace GbkCodec {
namespace {

// One conversion descriptor per call: iconv_t is not safe to share between
// the server's worker threads.
class Converter
{
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns errno of the stop (0 when done).
    int convert(const char*& in, std::size_t& inLeft, std::string& out)
    {
        char buffer[4096];
        while (inLeft > 0) {
            char* inPtr = const_cast<char*>(in);
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            std::size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
            out.append(buffer, outPtr - buffer);
            in = inPtr;
            if (error != 0 && error != E2BIG)
                return error;
        }
        return 0;
    }

private:
    iconv_t cd_;
};

// Decodes one UTF-8 sequence at `p` (at most `left` bytes); returns its
// length, or 1 with U+FFFD for a broken sequence.
std::size_t decodeUtf8(const unsigned char* p, std::size_t left, char32_t& cp)
{
    unsigned char lead = p[0];
    std::size_t length = lead < 0x80         ? 1
                         : (lead >> 5) == 6  ? 2
                         : (lead >> 4) == 14 ? 3
                         : (lead >> 3) == 30 ? 4
                                             : 0;
    if (length == 0 || length > left) {
        cp = 0xFFFD;
        return 1;
    }
    cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            cp = 0xFFFD;
            return 1;
        }
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    return length;
}

} // namespace

bool toUtf8(const std::string& gbk, std::string& utf8)
{
    utf8.clear();
    Converter converter("UTF-8", "GBK");
    if (!converter.valid())
        return false;
    const char* in = gbk.data();
    std::size_t left = gbk.size();
    return converter.convert(in, left, utf8) == 0;
}

std::string fromUtf8(const std::string& utf8,
                     const std::function<std::string(char32_t)>& unmappable)
{
    std::string out;
    Converter converter("GBK", "UTF-8");
    if (!converter.valid())
        return out;
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    while (left > 0) {
        if (converter.convert(in, left, out) == 0)
            break;
        // Skip the character iconv stopped at and put the replacement in.
        char32_t cp = 0;
        std::size_t length = decodeUtf8(reinterpret_cast<const unsigned char*>(in), left, cp);
        out += unmappable(cp);
        in += length;
        left -= length;
    }
    return out;
}

std::size_t utf8Length(const std::string& utf8)
{
    std::size_t count = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

} // namespace GbkCodec
