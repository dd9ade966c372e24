#include "engine/output/jpeg_writer.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "platform/trace.h"

namespace {

struct FileCloser
{
    void operator()(FILE *f) const { fclose(f); }
};

struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// libjpeg's own handler ends the process; come back here instead.
[[noreturn]] void JumpBack(j_common_ptr info)
{
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    TraceA("jpeg_writer: %s\n", text);
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

// Everything that lives across setjmp is set up before it, so nothing is lost at the jump.
bool Encode(FILE *file, const uint8_t *pixels, int32_t width, int32_t height, int32_t rowBytes,
            int quality, int dotsPerInch, jpeg_compress_struct *info, JpegError *error)
{
    info->err = jpeg_std_error(&error->manager);
    error->manager.error_exit = JumpBack;
    if (setjmp(error->jump))
        return false;
    jpeg_create_compress(info);
    jpeg_stdio_dest(info, file);
    info->image_width = static_cast<JDIMENSION>(width);
    info->image_height = static_cast<JDIMENSION>(height);
    info->input_components = 3;
    info->in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    info->write_JFIF_header = TRUE;
    info->density_unit = 1; // dots per inch
    info->X_density = static_cast<UINT16>(dotsPerInch);
    info->Y_density = static_cast<UINT16>(dotsPerInch);
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(pixels + static_cast<size_t>(info->next_scanline) * rowBytes);
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

} // namespace

bool WriteBgr24Jpeg(const std::string &path, const uint8_t *pixels, int32_t width, int32_t height,
                    int32_t rowBytes, int quality, int dotsPerInch)
{
    if (!pixels || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION || rowBytes < width * 3)
        return false;
    std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "wb"));
    if (!file) {
        TraceA("jpeg_writer: cannot create %s\n", path.c_str());
        return false;
    }
    jpeg_compress_struct info{};
    JpegError error{};
    bool written =
        Encode(file.get(), pixels, width, height, rowBytes, quality, dotsPerInch, &info, &error);
    jpeg_destroy_compress(&info);
    written = fflush(file.get()) == 0 && written;
    written = fclose(file.release()) == 0 && written;
    if (!written)
        remove(path.c_str());
    return written;
}
