// The coordinate files the program writes itself: the bytes of both files, the same points
// read back by the coordinate-file reader, and nothing written for lists that do not pair.
#include "data/PointFileWriter.h"
#include "calib/Board.h"
#include "data/Locale.h"
#include "data/Procedures.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace vrma {
namespace {

QByteArray Bytes(const QString& name) {
    QFile file(name);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

TEST(PointFiles, CoordinateFilesAsTheReaderReadsThem) {
    QTemporaryDir dir;
    const std::vector<PlanePoint> targets = {{10.5, 20.25},     {10.5, 40.0},
                                             {1.0 / 3.0, 60.0}, {30.0, 20.0},
                                             {30.0, 40.0},      {1234.56789012345678, 0.00005}};
    SetDecimalSeparator(QLatin1Char(','));
    const QString scene = dir.filePath(QStringLiteral("scene.crd"));
    const QString image = dir.filePath(QStringLiteral("image.crd"));
    WritePointFiles(scene, SceneGrid(2, 3, 20.0, 12.5), image, targets);
    // Column by column: X = i * pitch, Y = j * pitchY.
    EXPECT_EQ(Bytes(scene), QByteArray("0 ; 0\r\n0 ; 12,5\r\n0 ; 25\r\n"
                                       "20 ; 0\r\n20 ; 12,5\r\n20 ; 25\r\n"));
    EXPECT_EQ(Bytes(image), QByteArray("10,5 ; 20,25\r\n10,5 ; 40\r\n0,333333333333333 ; 60\r\n"
                                       "30 ; 20\r\n30 ; 40\r\n1234,56789012346 ; 5E-5\r\n"));
    // The reader takes them back, to the 15 digits written.
    VT_Points read(1);
    ASSERT_TRUE(ReadPointFile(image, &read));
    const std::vector<PlanePoint> back = PlanePoints(read);
    ASSERT_EQ(back.size(), targets.size());
    for (size_t k = 0; k < back.size(); ++k) {
        EXPECT_NEAR(back[k].x, targets[k].x, 1e-14 * std::fabs(targets[k].x)) << k;
        EXPECT_NEAR(back[k].y, targets[k].y, 1e-14 * std::fabs(targets[k].y)) << k;
    }
    EXPECT_EQ(PointFileLines(SceneGrid(2, 2, 0.5, 0.25)),
              (QStringList{QStringLiteral("0 ; 0"), QStringLiteral("0 ; 0,25"),
                           QStringLiteral("0,5 ; 0"), QStringLiteral("0,5 ; 0,25")}));
    SetDecimalSeparator(QLatin1Char('.'));

    // Lists that do not pair (a grid that the targets do not fill) write nothing.
    std::vector<PlanePoint> fewer = targets;
    fewer.pop_back();
    const QString other = dir.filePath(QStringLiteral("other.crd"));
    EXPECT_THROW(WritePointFiles(other, SceneGrid(2, 3, 20.0, 20.0), other, fewer),
                 std::invalid_argument);
    EXPECT_FALSE(QFile::exists(other));
}

} // namespace
} // namespace vrma
