#pragma once

// Reading back the JPEG files the viewer writes, with libjpeg itself: size, JFIF density,
// quantisation tables and the pixels.
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

using JpegQuantTable = std::array<uint16_t, DCTSIZE2>; // natural (row-major) order

struct DecodedJpeg
{
    bool ok = false;
    int width = 0, height = 0;
    bool jfif = false;
    int densityUnit = 0, xDensity = 0, yDensity = 0;
    std::vector<JpegQuantTable> quantTables; // the tables the file defines, by slot
    std::vector<uint8_t> rgb;                // red, green, blue; rows top first
};

namespace jpeg_file_detail {

struct ErrorJump
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] inline void JumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorJump *>(info->err)->jump, 1);
}

struct FileCloser
{
    void operator()(FILE *f) const { std::fclose(f); }
};

inline JpegQuantTable TableValues(const JQUANT_TBL *table)
{
    JpegQuantTable values{};
    for (int i = 0; i < DCTSIZE2; ++i)
        values[i] = table->quantval[i];
    return values;
}

// Everything living across setjmp is made before it.
inline bool Decode(FILE *file, jpeg_decompress_struct *info, ErrorJump *error, DecodedJpeg *d)
{
    if (setjmp(error->jump))
        return false;
    jpeg_stdio_src(info, file);
    jpeg_read_header(info, TRUE);
    for (const JQUANT_TBL *table : info->quant_tbl_ptrs)
        if (table)
            d->quantTables.push_back(TableValues(table));
    info->out_color_space = JCS_RGB;
    jpeg_start_decompress(info);
    d->width = static_cast<int>(info->output_width);
    d->height = static_cast<int>(info->output_height);
    d->jfif = info->saw_JFIF_marker;
    d->densityUnit = info->density_unit;
    d->xDensity = info->X_density;
    d->yDensity = info->Y_density;
    d->rgb.resize(static_cast<size_t>(d->width) * d->height * 3);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = &d->rgb[static_cast<size_t>(info->output_scanline) * d->width * 3];
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

} // namespace jpeg_file_detail

// ok is false when the file is missing or not a JPEG libjpeg can read.
inline DecodedJpeg DecodeJpegFile(const std::string &path)
{
    using namespace jpeg_file_detail;
    DecodedJpeg d;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return d;
    jpeg_decompress_struct info{};
    ErrorJump error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JumpBack;
    jpeg_create_decompress(&info);
    d.ok = Decode(file.get(), &info, &error, &d);
    jpeg_destroy_decompress(&info);
    return d;
}

// The luminance and chrominance tables libjpeg itself makes for a colour picture at a quality.
inline std::vector<JpegQuantTable> LibjpegQualityTables(int quality)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    std::vector<JpegQuantTable> tables;
    for (const JQUANT_TBL *table : info.quant_tbl_ptrs)
        if (table)
            tables.push_back(jpeg_file_detail::TableValues(table));
    jpeg_destroy_compress(&info);
    return tables;
}
