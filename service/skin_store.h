#pragma once

#include <optional>
#include <string>
#include <vector>

// The skin catalogue: a folder holding, per skin id, "<id>.skn" and its
// preview "<id>.jpg". The folder is read on every request, so skins copied
// in while the service runs are offered at once.
class SkinStore
{
public:
    enum class Item
    {
        Skin,
        Preview
    };

    explicit SkinStore(std::string folder);

    // Ids of the skins whose .skn file is present, in name order.
    std::vector<std::string> ids() const;

    // The whole file, or nothing for an unknown or invalid id.
    std::optional<std::string> read(const std::string& id, Item item) const;

    // Ids are short runs of ASCII letters, digits, "-" and "_": nothing the
    // client's list reply, settings file or file names would trip over.
    static bool isValidId(const std::string& id);

    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
};
