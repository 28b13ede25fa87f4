// Feeds arbitrary bytes to the JPEG decoder as a preview picture, scaled
// for the skin manager's picture area. It may refuse them (SkinFileError),
// but must never crash, exit, read out of bounds or run for long.
#include "skin/jpeg_decoder.h"
#include "skin/skin_file_error.h"

#include <QByteArray>
#include <QSize>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const QImage image = DecodeJpeg(bytes, QSize(381, 255));
        (void)image.sizeInBytes();
    } catch (const SkinFileError&) {
    }
    return 0;
}
