#include "skin/jpeg_decoder.h"

#include "skin/skin_file_error.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// Larger pictures are not previews; refusing them bounds the memory a
// crafted file can make us allocate.
constexpr JDIMENSION kMaxEdge = 8192;

// Every scan of a progressive picture passes over all its blocks again, so
// the decoding time grows with pixels x scans (about 1 to 2 ns each here).
// Ordinary progressive files have about ten scans; a crafted one with
// hundreds of them holds the window for seconds. The bounds leave room for
// any real preview and for a 10-megapixel progressive photo while keeping
// the worst case to a fraction of a second; bench/jpeg measures it.
constexpr int kMaxScans = 100;
constexpr unsigned long long kMaxPixelScans = 100ull * 1000 * 1000;

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onError(j_common_ptr cinfo)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

[[noreturn]] void refuse(j_common_ptr cinfo, const char* why)
{
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::snprintf(manager->message, sizeof manager->message, "%s", why);
    std::longjmp(manager->jump, 1);
}

// Called while the scans are read, before a scan's blocks are decoded.
void onProgress(j_common_ptr common)
{
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    const unsigned long long scans = unsigned(cinfo->input_scan_number);
    const unsigned long long pixels =
        static_cast<unsigned long long>(cinfo->image_width) * cinfo->image_height;
    if (scans > kMaxScans || pixels * scans > kMaxPixelScans)
        refuse(common, "the picture has too many scans for its size");
}

void onMessage(j_common_ptr) {}

// Corrupt data libjpeg would only warn about is an error for us: a preview
// that decodes to garbage is not worth showing.
void onWarning(j_common_ptr cinfo, int level)
{
    if (level < 0)
        onError(cinfo);
}

unsigned scaleDenominator(JDIMENSION width, JDIMENSION height, QSize fitInto)
{
    if (fitInto.isEmpty())
        return 1;
    unsigned denom = 1;
    while (denom < 8 && width / (denom * 2) >= JDIMENSION(fitInto.width()) &&
           height / (denom * 2) >= JDIMENSION(fitInto.height()))
        denom *= 2;
    return denom;
}

// Everything touched after setjmp lives in this frame's caller, so a
// longjmp back leaves no C++ object half-built.
bool decode(jpeg_decompress_struct& cinfo, ErrorManager& errors, jpeg_progress_mgr& progress,
            const QByteArray& data, QSize fitInto, QImage& image)
{
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width > kMaxEdge || cinfo.image_height > kMaxEdge) {
        std::snprintf(errors.message, sizeof errors.message, "picture of %ux%u pixels is too large",
                      cinfo.image_width, cinfo.image_height);
        return false;
    }
    if (jpeg_has_multiple_scans(&cinfo)) {
        progress.progress_monitor = onProgress;
        cinfo.progress = &progress;
    }
    cinfo.out_color_space = JCS_RGB;
    cinfo.scale_num = 1;
    cinfo.scale_denom = scaleDenominator(cinfo.image_width, cinfo.image_height, fitInto);
    jpeg_start_decompress(&cinfo);
    image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    if (image.isNull()) {
        std::snprintf(errors.message, sizeof errors.message, "out of memory");
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray& data, QSize fitInto)
{
    if (data.isEmpty())
        throw SkinFileError(SkinFileError::NotPicture, "no data");
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.output_message = onMessage;
    errors.base.emit_message = onWarning;
    jpeg_progress_mgr progress{};
    QImage image;
    const bool ok = decode(cinfo, errors, progress, data, fitInto, image);
    jpeg_destroy_decompress(&cinfo);
    if (!ok)
        throw SkinFileError(SkinFileError::NotPicture, errors.message);
    return image;
}
