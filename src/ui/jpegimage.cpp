#include "ui/jpegimage.h"

#include "core/logging.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

namespace zeph {
namespace {

// libjpeg's default error handler calls exit(). This one jumps back to the
// decoder instead, so damaged input only fails the decode.
struct ErrorManager {
    jpeg_error_mgr pub; // first member: libjpeg sees a jpeg_error_mgr*
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, text);
    qCDebug(lcUi) << "JPEG error:" << text;
    std::longjmp(err->jump, 1);
}

// Warnings mean corrupt or truncated data; count them (the decode is then
// refused) but keep libjpeg from printing to stderr. Trace messages are dropped.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) {
        ++cinfo->err->num_warnings;
        char text[JMSG_LENGTH_MAX];
        cinfo->err->format_message(cinfo, text);
        qCDebug(lcUi) << "JPEG warning:" << text;
    }
}

// Every libjpeg call lives here. Its locals are plain C structs and scalars, so
// the longjmp from onError skips no C++ destructor; the image is reached only
// through `out`, whose object lives in the caller.
bool decodeInto(const unsigned char* data, unsigned long size, QImage* out)
{
    jpeg_decompress_struct cinfo{}; // zeroed: destroying it is safe before create finishes
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;

    if (setjmp(err.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK ||
        qint64(cinfo.image_width) * cinfo.image_height > kMaxJpegPixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    *out = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    if (out->isNull()) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    const bool clean = cinfo.err->num_warnings == 0;
    jpeg_destroy_decompress(&cinfo);
    return clean;
}

} // namespace

QImage decodeJpeg(QByteArrayView bytes)
{
    QImage image;
    if (!decodeInto(reinterpret_cast<const unsigned char*>(bytes.data()),
                    static_cast<unsigned long>(bytes.size()), &image))
        return {};
    return image;
}

} // namespace zeph
