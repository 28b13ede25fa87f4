#pragma once

#include <cstdint>
#include <string>

// A single "Range: bytes=..." request against a body of known size.
// "A-B" (B may lie past the end and is cut to the last byte), "A-" and the
// suffix form "-N" are understood; lists of ranges are not.
struct ByteRange
{
    enum class Kind
    {
        Whole,        // no Range header: the whole body
        Part,         // bytes first..last, both included
        Unsatisfiable // starts at or past the end, malformed or a list
    };

    Kind kind = Kind::Whole;
    std::uint64_t first = 0;
    std::uint64_t last = 0;

    static ByteRange parse(const std::string& header, std::uint64_t size);
};
