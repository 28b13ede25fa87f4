#pragma once

#include <stdexcept>
#include <string>

// A skin file or preview picture that cannot be read. what() is UTF-8 text
// meant for the user.
class SkinFileError : public std::runtime_error
{
public:
    explicit SkinFileError(const std::string& message) : std::runtime_error(message) {}
};
