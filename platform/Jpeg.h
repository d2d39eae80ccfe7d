#pragma once
// JPEG decoding with libjpeg.
#include <QByteArray>
#include <QImage>

namespace vrma {

// Decodes a JPEG image held in memory. A damaged or unsupported image gives a null
// QImage; libjpeg's fatal errors are trapped and never end the program.
QImage DecodeJpeg(const QByteArray& data);

} // namespace vrma
