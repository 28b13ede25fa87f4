#include "service/byte_range.h"

namespace {

// Parses a run of decimal digits; false when empty or too long to be a size.
bool parseNumber(const std::string& text, std::size_t begin, std::size_t end, std::uint64_t& value)
{
    if (begin >= end || end - begin > 18)
        return false;
    value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    return true;
}

} // namespace

ByteRange ByteRange::parse(const std::string& header, std::uint64_t size)
{
    ByteRange range;
    if (header.empty())
        return range;
    range.kind = Kind::Unsatisfiable;

    // Spaces around the parts are allowed.
    std::string rangeSet;
    for (char c : header) {
        if (c != ' ' && c != '\t')
            rangeSet += c;
    }
    const std::string unit = "bytes=";
    if (rangeSet.compare(0, unit.size(), unit) != 0)
        return range;
    std::size_t dash = rangeSet.find('-', unit.size());
    if (dash == std::string::npos || rangeSet.find(',') != std::string::npos)
        return range;

    std::uint64_t first = 0;
    std::uint64_t last = 0;
    bool hasFirst = parseNumber(rangeSet, unit.size(), dash, first);
    bool hasLast = parseNumber(rangeSet, dash + 1, rangeSet.size(), last);
    if ((dash > unit.size() && !hasFirst) || (dash + 1 < rangeSet.size() && !hasLast))
        return range;
    if (hasFirst) {
        if (first >= size || (hasLast && last < first))
            return range;
        range.first = first;
        range.last = hasLast && last < size ? last : size - 1;
    } else {
        if (!hasLast || last == 0 || size == 0)
            return range;
        range.first = last >= size ? 0 : size - last;
        range.last = size - 1;
    }
    range.kind = Kind::Part;
    return range;
}
