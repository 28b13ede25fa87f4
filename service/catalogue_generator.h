#pragma once

#include "service/file_record.h"

#include <cstdint>
#include <string>
#include <vector>

// Makes up a plausible catalogue of shared files. Every record depends only
// on the seed and its id, so a catalogue is the same on every machine.
class CatalogueGenerator
{
public:
    explicit CatalogueGenerator(std::uint64_t seed = 20130924);

    FileRecord record(std::int64_t id) const;

    // Words people search for, used to seed the search log.
    static const std::vector<std::string>& popularWords();

private:
    std::uint64_t seed_;
};
