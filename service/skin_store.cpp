#include "service/skin_store.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Skins and previews are small; anything bigger is not served.
constexpr std::uintmax_t maxFileSize = 64 * 1024 * 1024;

} // namespace

SkinStore::SkinStore(std::string folder) : folder_(std::move(folder)) {}

std::vector<std::string> SkinStore::ids() const
{
    std::vector<std::string> ids;
    std::error_code error;
    for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        std::error_code ignored;
        if (path.extension() == ".skn" && it->is_regular_file(ignored) &&
            isValidId(path.stem().string()))
            ids.push_back(path.stem().string());
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::optional<std::string> SkinStore::read(const std::string& id, Item item) const
{
    if (!isValidId(id))
        return std::nullopt;
    fs::path path = fs::path(folder_) / (id + (item == Item::Skin ? ".skn" : ".jpg"));
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return std::nullopt;
    std::uintmax_t size = fs::file_size(path, error);
    if (error || size > maxFileSize)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string data(static_cast<std::size_t>(size), '\0');
    if (!in.read(data.data(), static_cast<std::streamsize>(data.size())))
        return std::nullopt;
    return data;
}

bool SkinStore::isValidId(const std::string& id)
{
    if (id.empty() || id.size() > 64)
        return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}
