#pragma once
// JPEG decoding through libjpeg, independent of Qt's image plug-ins.

#include <QByteArrayView>
#include <QImage>

namespace zeph {

// Decodes a complete JPEG (baseline or progressive; grey, RGB or YCbCr) into a
// QImage::Format_RGB888 image. Any error or sign of damage (truncated data,
// corrupt entropy data, unsupported colour space, absurd dimensions) gives a null
// image; it never prints, aborts or exits.
QImage decodeJpeg(QByteArrayView bytes);

// The largest image decodeJpeg accepts, in pixels; bigger headers are refused
// before any pixel memory is allocated.
inline constexpr qint64 kMaxJpegPixels = qint64(8192) * 8192;

} // namespace zeph
