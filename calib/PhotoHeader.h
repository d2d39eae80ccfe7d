#pragma once
// What a photograph's file tells before its pixels are decoded, read from its header alone:
// its size, the turn its EXIF orientation tag asks a viewer to show it in, and the pages of
// a TIFF file. The photograph is read as stored whatever the tag says (x and y stay the
// sensor's axes) and from the first page of a TIFF file; the users are told so.
//
// From the size, the memory a photograph's search takes, and so how many photographs may
// be searched at once: the windows and vrma-calib search a set on that many threads.
// Core only: Qt Core.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>

namespace vrma {

struct PhotoHeader {
    int width = 0; // pixels; 0 when the header does not tell
    int height = 0;
    // EXIF orientation (TIFF tag 274): 1 as stored; 3 turned by 180°; 6 and 8 turned by a
    // quarter, clockwise and counter-clockwise, for viewing; 2, 4, 5 and 7 mirrored too.
    int orientation = 1;
    int pages = 1; // TIFF: the full-size images in the file
    // What the decoder keeps a pixel at its peak beside the grey image, bytes: 0 for a file
    // read row by row; a progressive JPEG keeps all its coefficients (2 bytes a sample of
    // every component), an interlaced PNG of 16 bits its whole image in 16-bit grey.
    int decodeBytesPerPixel = 0;
};

// JPEG (its EXIF block and frame header), PNG (IHDR and eXIf), TIFF and BigTIFF (every
// directory), BMP. Never throws: what cannot be read keeps its default.
PhotoHeader ReadPhotoHeader(const QString& fileName);
// The same on a file's bytes in memory.
PhotoHeader ParsePhotoHeader(QByteArrayView bytes);

// The memory the search of a photograph may take at its peak, bytes: its grey image, what
// its decoding keeps besides, and the search's working images; 0 when the size is not
// known.
std::int64_t PhotoSearchMemory(const PhotoHeader& header);

// How many of the photographs may be searched at once: one a processor the process may run
// on, no more than there are photographs, and no more than `available` memory holds of the
// largest one's search (at least one).
int PhotoSearchThreads(std::span<const QString> files, std::int64_t available);

} // namespace vrma
