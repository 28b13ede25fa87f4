#pragma once

#include <stdexcept>
#include <string>

// The service's one exception type: a failure with the HTTP status it is
// answered with. what() is a short UTF-8 text that goes into the reply body.
class ServiceError : public std::runtime_error
{
public:
    ServiceError(int status, const std::string& message)
        : std::runtime_error(message), status_(status)
    {
    }

    int status() const { return status_; }

private:
    int status_;
};
