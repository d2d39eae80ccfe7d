// Where the program finds its own files: beside it (a build folder) or, installed, in
// <prefix>/share/vrma for a program in <prefix>/bin; and the guide found that way.
#include "data/ProgramFiles.h"
#include "platform/HelpWindow.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vrma;

namespace {

void Touch(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<html><head><title>x</title></head></html>");
}

QString Canonical(const QString& path) {
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

TEST(ProgramFiles, BesideTheProgramFirstThenTheInstalledDataFolder) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(ProgramDataFolders(bin),
              QStringList({QDir::cleanPath(bin), QDir::cleanPath(prefix.filePath("share/vrma"))}));

    // Nothing there yet.
    EXPECT_TRUE(FindProgramFile(bin, QStringLiteral("examples/scene.crd")).isEmpty());

    // Installed: <prefix>/share/vrma/examples.
    Touch(prefix.filePath(QStringLiteral("share/vrma/examples/scene.crd")));
    const QString installed = FindProgramFile(bin, QStringLiteral("examples/scene.crd"));
    EXPECT_EQ(Canonical(installed), Canonical(prefix.filePath("share/vrma/examples/scene.crd")));
    EXPECT_TRUE(QFileInfo(installed).isAbsolute());
    EXPECT_FALSE(installed.contains(QStringLiteral(".."))) << installed.toStdString();
    // Folders are found as well as files.
    EXPECT_EQ(Canonical(FindProgramFile(bin, QStringLiteral("examples"))),
              Canonical(prefix.filePath("share/vrma/examples")));

    // A copy beside the program (a build folder) comes first.
    Touch(prefix.filePath(QStringLiteral("bin/examples/scene.crd")));
    EXPECT_EQ(Canonical(FindProgramFile(bin, QStringLiteral("examples/scene.crd"))),
              Canonical(prefix.filePath("bin/examples/scene.crd")));
}

TEST(ProgramFiles, NoFolderOrNoNameFindsNothing) {
    EXPECT_TRUE(ProgramDataFolders(QString()).isEmpty());
    EXPECT_TRUE(FindProgramFile(QString(), QStringLiteral("VRMAHelp/index.html")).isEmpty());
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    EXPECT_TRUE(FindProgramFile(prefix.path(), QString()).isEmpty());
}

TEST(ProgramFiles, TheGuideOfAnInstalledProgram) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_EQ(GuideContentsUrl(bin), QUrl(QStringLiteral("qrc:/VRMAHelp/index.html")));

    Touch(prefix.filePath(QStringLiteral("share/vrma/VRMAHelp/index.html")));
    const QUrl installed = GuideContentsUrl(bin);
    ASSERT_TRUE(installed.isLocalFile());
    EXPECT_EQ(Canonical(installed.toLocalFile()),
              Canonical(prefix.filePath("share/vrma/VRMAHelp/index.html")));

    // A folder of that name is not a page.
    QTemporaryDir other;
    ASSERT_TRUE(QDir().mkpath(other.filePath(QStringLiteral("bin/VRMAHelp/index.html"))));
    EXPECT_EQ(GuideContentsUrl(other.filePath(QStringLiteral("bin"))),
              QUrl(QStringLiteral("qrc:/VRMAHelp/index.html")));
}
