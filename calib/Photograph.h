#pragma once
// Reading a photograph of the test field into the 8-bit grey image that target detection
// searches, within bounds that a file cannot talk it out of:
// - only JPEG, PNG, TIFF and BMP are read, recognised by their first bytes; a file of
//   another image format is refused by the format's name;
// - the image's size is read from its header before anything is decoded: a photograph of
//   more than kMaxPhotoPixels, or one whose decoding would take more memory than the
//   process may still take, is refused;
// - the image is decoded straight to 8-bit grey, row by row (libjpeg's grey output,
//   libpng's transforms, libtiff's rows, BMP's rows), never kept in colour or floating
//   point whole: the memory a photograph takes is its grey image and a few rows, except
//   a progressive JPEG (libjpeg keeps all of its coefficients, two bytes a sample of
//   every component) and an interlaced PNG of 16 bits (kept in 16-bit grey until its
//   darkest and lightest values are known);
// - a deeper image (16 or 32 bits, floating point) is stretched from its darkest to its
//   lightest grey value, so that 12 bits in a 16-bit file keep their contrast; it is read
//   twice, once for the two values and once for the pixels;
// - a JPEG whose decoder reports corrupt or missing data, a PNG or TIFF whose decoder
//   reports an error, or a file cut short is refused, as is a progressive JPEG of more
//   than kMaxJpegScans scans;
// - nothing is written anywhere: no temporary copies.
// An orientation tag is not applied: x and y stay the sensor's axes.
// Core only: OpenCV, libjpeg, libpng, libtiff and Qt Core.
#include <QByteArray>
#include <QString>

#include <cstdint>

namespace cv {
class Mat;
}

namespace vrma {

// The largest photograph read, in pixels (a 24-megapixel camera's photograph is a tenth).
constexpr std::int64_t kMaxPhotoPixels = 250'000'000;
// The most scans a progressive JPEG may have (a camera's or an encoder's have up to 20 or
// so; each scan is a pass over the whole image).
constexpr int kMaxJpegScans = 100;

// The photograph in the file as an 8-bit grey image (CV_8UC1). Throws PhotoReadError (see
// calib/TargetDetection.h) with the message for the user: the file cannot be read or is
// no image or is damaged; the format is not read; the photograph is larger than
// maxPixels; it needs more memory than is free.
cv::Mat DecodePhotograph(const QString& fileName, std::int64_t maxPixels = kMaxPhotoPixels);
// The same from the file's bytes in memory.
cv::Mat DecodePhotographBytes(const QByteArray& bytes, std::int64_t maxPixels = kMaxPhotoPixels);

// A picture in JPEG held in memory, in colour (CV_8UC3, R G B): the calibration window's
// splash picture. Not a photograph to measure: libjpeg's warnings pass (a picture cut short
// shows as far as it goes); a picture that cannot be decoded, or is larger than a
// photograph may be, gives an empty image. libjpeg's fatal errors never end the program.
cv::Mat DecodeJpegPicture(const QByteArray& bytes);

// The memory this process may still take, in bytes: the system's available memory, within
// the process's limits of address space and data (setrlimit).
std::int64_t AvailableMemory();

} // namespace vrma
