// Files given twice: the same bytes under any name (a copy, a link, the name again) are one
// file; the same size with other bytes, or a file that cannot be read, are not.
#include "data/SameContents.h"
#include "data/TextFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace vrma {
namespace {

TEST(SameContents, TheSameBytesUnderAnyNameAreOneFile) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const auto path = [&](const char* name) {
        return QDir(temp.path()).filePath(QLatin1String(name));
    };
    WriteFileAtomically(path("a.png"), "photograph a");
    WriteFileAtomically(path("copy.png"), "photograph a");
    WriteFileAtomically(path("b.png"), "photograph b"); // the same size
    WriteFileAtomically(path("c.png"), "photograph c, longer");
    ASSERT_EQ(::symlink("c.png", QFile::encodeName(path("link.png")).constData()), 0);
    const QStringList files = {path("a.png"), path("b.png"),       path("copy.png"),
                               path("c.png"), path("link.png"),    path("missing.png"),
                               path("a.png"), path("missing.png"), path("b.png")};
    const std::vector<qsizetype> expected = {-1, -1, 0, -1, 3, -1, 0, -1, 1};
    EXPECT_EQ(FirstWithSameBytes(std::span(files.begin(), files.end())), expected);
}

} // namespace
} // namespace vrma
