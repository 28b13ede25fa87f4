// Feeds arbitrary bytes to the service's form-body reader: every body is
// read, none crashes it, and it never finds more fields than the "&" allow.
#include "service/form_body.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    const FormBody form = FormBody::parse(body);
    if (form.size() > static_cast<std::size_t>(std::count(body.begin(), body.end(), '&')) + 1)
        std::abort();
    for (const char* name : {"action", "word", "file_id", "score", "content", "skin_id", ""}) {
        if (auto value = form.value(name); value && value->size() > body.size())
            std::abort();
    }
    return 0;
}
