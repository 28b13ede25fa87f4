#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// A decoded application/x-www-form-urlencoded body: fields split at "&",
// name and value at the first "=", "+" read as a space and "%XX" as the
// byte XX. A "%" not followed by two hex digits stays as it is. Names and
// values are raw bytes (GBK from the client).
class FormBody
{
public:
    static FormBody parse(const std::string& body);

    // The value of the first field with this name.
    std::optional<std::string> value(const std::string& name) const;

    std::size_t size() const { return fields_.size(); }

private:
    std::vector<std::pair<std::string, std::string>> fields_;
};
