#pragma once

#include <cstdint>
#include <string>

// One shared file of the catalogue, as the search reply and the detail
// page show it. Texts are UTF-8.
struct FileRecord
{
    std::int64_t id = 0;
    std::string folder; // the share folder holding it, "分享/电影/华语电影"
    std::string name;
    std::string extension;
    std::int64_t size = 0; // bytes; may exceed 2^31
    int value = 0;         // value index, 1..100
    std::int64_t views = 0;
    std::string indexed; // "YYYY-MM-DD"
    std::string shareUrl;
};
