#include "service/form_body.h"

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string decode(const std::string& text, std::size_t begin, std::size_t end)
{
    std::string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < end && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

FormBody FormBody::parse(const std::string& body)
{
    FormBody form;
    std::size_t begin = 0;
    while (begin <= body.size()) {
        std::size_t end = body.find('&', begin);
        if (end == std::string::npos)
            end = body.size();
        if (end > begin) {
            std::size_t equals = body.find('=', begin);
            if (equals == std::string::npos || equals > end)
                equals = end;
            form.fields_.emplace_back(decode(body, begin, equals),
                                      equals < end ? decode(body, equals + 1, end) : std::string());
        }
        begin = end + 1;
    }
    return form;
}

std::optional<std::string> FormBody::value(const std::string& name) const
{
    for (const auto& field : fields_) {
        if (field.first == name)
            return field.second;
    }
    return std::nullopt;
}
