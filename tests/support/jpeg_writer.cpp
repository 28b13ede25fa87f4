#include "tests/support/jpeg_writer.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

// One component, one scan per DC/AC coefficient, each refined bit by bit
// from `al` down: 64 x (al + 1) scans, all of them valid.
std::vector<jpeg_scan_info> coefficientScript(int al)
{
    std::vector<jpeg_scan_info> script;
    const auto add = [&](int ss, int ah, int low) {
        jpeg_scan_info scan{};
        scan.comps_in_scan = 1;
        scan.component_index[0] = 0;
        scan.Ss = ss;
        scan.Se = ss;
        scan.Ah = ah;
        scan.Al = low;
        script.push_back(scan);
    };
    for (int k = 0; k < 64; ++k) {
        add(k, 0, al);
        for (int bit = al; bit > 0; --bit)
            add(k, bit, bit - 1);
    }
    return script;
}

} // namespace

QByteArray MakeJpeg(int width, int height, TJpegScans scans)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    std::vector<jpeg_scan_info> script;
    if (scans == TJpegScans::Progressive) {
        jpeg_simple_progression(&cinfo);
    } else if (scans != TJpegScans::Baseline) {
        // 10 is the largest shift the encoder accepts for 8-bit samples.
        script = coefficientScript(scans == TJpegScans::Flood ? 10 : 0);
        cinfo.scan_info = script.data();
        cinfo.num_scans = int(script.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x)
            row[size_t(x)] = JSAMPLE((x * 7 + y * 3 + (x * y) % 13) & 0xFF);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray out(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return out;
}
