#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the window layer: a file a window cannot
// create or read. what() is UTF-8 text meant for the user.
class WindowError : public std::runtime_error
{
public:
    explicit WindowError(const std::string& message) : std::runtime_error(message) {}
};
