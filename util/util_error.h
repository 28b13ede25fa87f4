#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the utility layer: a failed conversion or a
// file that cannot be written. what() is UTF-8 text meant for the user.
class UtilError : public std::runtime_error
{
public:
    explicit UtilError(const std::string& message) : std::runtime_error(message) {}
};
