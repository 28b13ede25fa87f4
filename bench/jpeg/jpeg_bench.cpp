// Decoding time of preview pictures: the client's bounded decoder against
// plain libjpeg-turbo decoding the same bytes in the same run. Crafted
// pictures with many scans are refused by the client; the peer shows what
// decoding them would have cost the GUI thread.
#include "skin/jpeg_decoder.h"
#include "skin/skin_file_error.h"
#include "tests/support/jpeg_writer.h"

#include <QElapsedTimer>

#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

// Plain libjpeg-turbo, no bounds: RGB rows into one buffer.
void peerDecode(const QByteArray& data)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    std::vector<JSAMPLE> row(size_t(cinfo.output_width) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

template <typename F> double millis(F&& f)
{
    QElapsedTimer timer;
    timer.start();
    f();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main()
{
    struct Case
    {
        const char* name;
        int width, height;
        TJpegScans scans;
    };
    const Case cases[] = {
        {"baseline 381x255", 381, 255, TJpegScans::Baseline},
        {"progressive 381x255", 381, 255, TJpegScans::Progressive},
        {"progressive 2048x1536", 2048, 1536, TJpegScans::Progressive},
        {"64 scans 381x255", 381, 255, TJpegScans::PerCoefficient},
        {"64 scans 2048x2048", 2048, 2048, TJpegScans::PerCoefficient},
        {"704 scans 381x255", 381, 255, TJpegScans::Flood},
        {"704 scans 1024x1024", 1024, 1024, TJpegScans::Flood},
    };
    std::printf("%-24s %8s %12s %12s %8s\n", "picture", "bytes", "client ms", "libjpeg ms",
                "ratio");
    for (const Case& c : cases) {
        const QByteArray data = MakeJpeg(c.width, c.height, c.scans);
        bool refused = false;
        const double ours = millis([&] {
            try {
                DecodeJpeg(data, QSize(381, 255));
            } catch (const SkinFileError&) {
                refused = true;
            }
        });
        const double peer = millis([&] { peerDecode(data); });
        std::printf("%-24s %8lld %12.2f %12.2f %8.3f%s\n", c.name,
                    static_cast<long long>(data.size()), ours, peer, ours / peer,
                    refused ? "  (refused)" : "");
    }
    return 0;
}
