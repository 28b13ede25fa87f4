#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the skin layer: a skin description that cannot
// be read. what() is UTF-8 text meant for the user.
class SkinError : public std::runtime_error
{
public:
    explicit SkinError(const std::string& message) : std::runtime_error(message) {}
};
