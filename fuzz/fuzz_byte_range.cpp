// Feeds arbitrary Range headers to the service's range parser. The first
// eight bytes are the body size (little-endian), the rest the header; a
// part it grants always lies inside the body.
#include "service/byte_range.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    std::uint64_t bodySize = 0;
    for (int i = 7; i >= 0; --i)
        bodySize = bodySize << 8 | data[i];
    const std::string header(reinterpret_cast<const char*>(data + 8), size - 8);
    const ByteRange range = ByteRange::parse(header, bodySize);
    switch (range.kind) {
    case ByteRange::Kind::Whole:
        if (!header.empty())
            std::abort();
        break;
    case ByteRange::Kind::Part:
        if (range.first > range.last || range.last >= bodySize)
            std::abort();
        break;
    case ByteRange::Kind::Unsatisfiable:
        break;
    }
    return 0;
}
