#pragma once

#include <stdexcept>
#include <string>

// Raised by the HTTP client's start operations and by RequestVer. what() is
// UTF-8 text; Code() is one of the httperr... numbers of THttpCli.
class EHttpException : public std::runtime_error
{
public:
    EHttpException(const std::string& message, int code) : std::runtime_error(message), m_code(code)
    {
    }
    int Code() const { return m_code; }

private:
    int m_code;
};
