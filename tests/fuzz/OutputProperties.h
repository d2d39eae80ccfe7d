#pragma once
// The properties of the writing of outputs on any bytes:
// - fuzz_output_names: a small tree of folders and symbolic links (to folders, to files, to
//   names not there yet, through "..") made from the bytes, and two outputs named in it.
//   The set of the two is written whole, each name then reading what was written to it, or
//   refused with FileError; two names that the clash check finds to be one file are never
//   written; nothing is left aside.
// - fuzz_photo_header: the header of any bytes tells a size, an EXIF turn of 1 to 8 and at
//   least one page, never crashes or hangs, and the size is the decoder's wherever the
//   decoder reads the photograph.
#include "FuzzSupport.h"
#include "calib/PhotoHeader.h"
#include "calib/Photograph.h"
#include "calib/TargetDetection.h"
#include "data/Errors.h"
#include "data/FileNames.h"
#include "data/OutputFiles.h"
#include "data/TextFile.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QString>
#include <QTemporaryDir>
#include <opencv2/core.hpp>

#include <cstdint>

#include <sys/stat.h>
#include <unistd.h>

namespace vrma::fuzz {

// Reads the input a byte at a time; zeros once it is used up.
class ByteStream {
public:
    ByteStream(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    unsigned next() { return at_ < size_ ? data_[at_++] : 0U; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A relative path of one to three parts from a few names, ".." at most once.
inline QByteArray MadePath(ByteStream& in) {
    static const char* const kParts[] = {"a", "b", "c", "d", ".", ".."};
    QByteArray path;
    bool climbed = false;
    const unsigned parts = 1 + in.next() % 3;
    for (unsigned k = 0; k < parts; ++k) {
        unsigned part = in.next() % 6;
        if (part == 5 && climbed)
            part = 0;
        climbed = climbed || part == 5;
        if (!path.isEmpty())
            path += '/';
        path += kParts[part];
    }
    return path;
}

inline void CheckOutputNames(const std::uint8_t* data, std::size_t size) {
    EnsureApp();
    // The tree lies deep in a folder of its own: a link's ".." cannot lead out of it.
    QTemporaryDir sandbox;
    if (!sandbox.isValid())
        return;
    const QString root = sandbox.path() + QStringLiteral("/1/2/3/4/5/6/7/8/root");
    QDir().mkpath(root);
    const QByteArray base = QFile::encodeName(root) + '/';
    ByteStream in(data, size);
    const unsigned steps = in.next() % 8;
    for (unsigned k = 0; k < steps; ++k) {
        const bool link = in.next() % 2 != 0;
        const QByteArray where = base + MadePath(in);
        if (link)
            ::symlink(MadePath(in).constData(), where.constData());
        else
            ::mkdir(where.constData(), 0755);
    }
    const QString first = QFile::decodeName(base + MadePath(in));
    const QString second = QFile::decodeName(base + MadePath(in));
    const bool same = IdentifyFile(first) == IdentifyFile(second);
    const OutputFile set[] = {{first, "first\r\n"}, {second, "second\r\n"}};
    bool written = false;
    try {
        WriteFileSet(set);
        written = true;
    } catch (const FileError&) {
    }
    VRMA_FUZZ_CHECK(!(same && written), first + QStringLiteral(" = ") + second);
    if (written) {
        QByteArray one;
        QByteArray two;
        try {
            one = ReadFileBytes(first);
            two = ReadFileBytes(second);
        } catch (const FileError&) {
            Fail("a file written cannot be read back", first + QStringLiteral(", ") + second);
        }
        VRMA_FUZZ_CHECK(one == "first\r\n" && two == "second\r\n",
                        first + QStringLiteral(", ") + second);
    }
    QDirIterator it(sandbox.path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        VRMA_FUZZ_CHECK(!name.endsWith(QLatin1Char('~')), name);
    }
}

inline void CheckPhotoHeader(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PhotoHeader header = ParsePhotoHeader(bytes);
    VRMA_FUZZ_CHECK(header.orientation >= 1 && header.orientation <= 8,
                    QString::number(header.orientation));
    VRMA_FUZZ_CHECK(header.pages >= 1, QString::number(header.pages));
    VRMA_FUZZ_CHECK((header.width > 0) == (header.height > 0),
                    QStringLiteral("%1 x %2").arg(header.width).arg(header.height));
    cv::Mat grey;
    try {
        grey = DecodePhotographBytes(bytes, std::int64_t{1} << 22);
    } catch (const PhotoReadError&) {
        return;
    }
    VRMA_FUZZ_CHECK(header.width == 0 || (header.width == grey.cols && header.height == grey.rows),
                    QStringLiteral("%1 x %2 against %3 x %4")
                        .arg(header.width)
                        .arg(header.height)
                        .arg(grey.cols)
                        .arg(grey.rows));
}

} // namespace vrma::fuzz
