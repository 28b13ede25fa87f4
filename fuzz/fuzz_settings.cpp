// Feeds arbitrary bytes to the settings decoder: it may refuse them with
// UtilError, but must never crash or read out of bounds.
#include "util/uFunctions.h"
#include "util/util_error.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray encoded(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const QByteArray plain = settings_decode(encoded);
        (void)plain.size();
    } catch (const UtilError&) {
    }
    return 0;
}
