// `cmake --install` into a fresh prefix, then the installed programs run from there: the
// layout that the Debian package is made of, the icons, the desktop entry, and the
// programs finding their examples and starting without anything of the build folder.
#include "platform/HelpWindow.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

Outcome Execute(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment, const QString& folder) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    Outcome run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << program.toStdString()
                      << " did not finish: " << process.errorString().toStdString();
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QProcessEnvironment ProgramEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // Under the sanitizers the window program's leaks at exit are Qt's, not this test's.
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       asan.isEmpty() ? QStringLiteral("detect_leaks=0")
                                      : asan + QStringLiteral(":detect_leaks=0"));
    return environment;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(prefix_->isValid());
        // The prefix is a folder name with a blank, to catch unquoted paths.
        root_ = prefix_->filePath(QStringLiteral("my prefix"));
        install_ = Execute(QStringLiteral(VRMA_CMAKE_COMMAND),
                           {QStringLiteral("--install"), QStringLiteral(VRMA_BUILD_DIR),
                            QStringLiteral("--prefix"), root_},
                           QProcessEnvironment::systemEnvironment(), prefix_->path());
    }
    static void TearDownTestSuite() { prefix_.reset(); }

    void SetUp() override {
        ASSERT_EQ(install_.code, 0) << install_.out.toStdString() << install_.err.toStdString();
    }

    static QString path(const QString& relative) { return QDir(root_).filePath(relative); }

    static std::unique_ptr<QTemporaryDir> prefix_;
    static QString root_;
    static Outcome install_;
};

std::unique_ptr<QTemporaryDir> Installed::prefix_;
QString Installed::root_;
Outcome Installed::install_;

TEST_F(Installed, LayoutOfThePackage) {
    for (const char* file :
         {"bin/vrma", "bin/vrma-calib", "share/vrma/VRMAHelp/index.html",
          "share/vrma/VRMAHelp/analysis.png", "share/applications/vrma.desktop",
          "share/metainfo/ru.vrma.vrma.metainfo.xml", "share/icons/hicolor/scalable/apps/vrma.svg",
          "share/doc/vrma/copyright"}) {
        EXPECT_TRUE(QFileInfo(path(QString::fromUtf8(file))).isFile()) << file;
    }
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("bin/vrma"))).isExecutable());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("bin/vrma-calib"))).isExecutable());
    // The examples (the pair for each decimal separator) and the guide are the source
    // tree's, byte for byte.
    for (const char* file :
         {"examples/decimal-comma/scene.crd", "examples/decimal-comma/image.crd",
          "examples/decimal-point/scene.crd", "examples/decimal-point/image.crd"}) {
        const QByteArray installed = ReadBytes(path(QStringLiteral("share/vrma/") + file));
        EXPECT_FALSE(installed.isEmpty()) << file;
        EXPECT_EQ(installed, ReadBytes(QStringLiteral(VRMA_SOURCE_DIR "/") + file)) << file;
    }
    EXPECT_EQ(ReadBytes(path(QStringLiteral("share/vrma/VRMAHelp/index.html"))),
              ReadBytes(QStringLiteral(VRMA_SOURCE_DIR "/VRMAHelp/index.html")));
    // Manual pages and the changelog are compressed (gzip's magic number).
    for (const char* file : {"share/man/ru/man1/vrma.1.gz", "share/man/ru/man1/vrma-calib.1.gz",
                             "share/doc/vrma/changelog.gz"}) {
        EXPECT_TRUE(ReadBytes(path(QString::fromUtf8(file))).startsWith("\x1f\x8b")) << file;
    }
}

TEST_F(Installed, IconInEverySizeOfTheTheme) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QImage icon(
            path(QStringLiteral("share/icons/hicolor/%1x%1/apps/vrma.png").arg(size)));
        ASSERT_FALSE(icon.isNull());
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel());
        // Transparent corners, a white plate, a black ring round the first grid node.
        EXPECT_LT(qAlpha(icon.pixel(0, 0)), 32);
        const auto at = [size](double units) { return int(units * size / 64.0); };
        EXPECT_EQ(icon.pixelColor(at(24.5), at(24.5)), QColor(Qt::white));
        if (size >= 32) {
            EXPECT_LT(icon.pixelColor(at(20.5), at(16.5)).lightness(), 60);
        }
    }
    // The 64-pixel icon is the program's own (assets/icon.png), near enough.
    const QImage drawn(path(QStringLiteral("share/icons/hicolor/64x64/apps/vrma.png")));
    const QImage asset(QStringLiteral(VRMA_SOURCE_DIR "/assets/icon.png"));
    ASSERT_EQ(asset.size(), drawn.size());
    int differing = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QColor a = asset.pixelColor(x, y), b = drawn.pixelColor(x, y);
            if (std::abs(a.alpha() - b.alpha()) > 128 ||
                (a.alpha() > 128 && std::abs(a.lightness() - b.lightness()) > 128))
                ++differing;
        }
    EXPECT_LT(differing, 64 * 64 / 50);
}

TEST_F(Installed, DesktopEntryInRussian) {
    const QString entry =
        QString::fromUtf8(ReadBytes(path(QStringLiteral("share/applications/vrma.desktop"))));
    const QStringList lines = entry.split(QLatin1Char('\n'));
    EXPECT_EQ(lines.first(), QStringLiteral("[Desktop Entry]"));
    for (const char* line : {"Type=Application", "Exec=vrma", "Icon=vrma", "Terminal=false"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(line))) << line;
    EXPECT_TRUE(lines.contains(QStringLiteral("Comment[ru]=Коэффициент соотношения масштабов по "
                                              "осям изображения по снимку плоского тестового "
                                              "поля")));
    bool science = false;
    for (const QString& line : lines)
        if (line.startsWith(QStringLiteral("Categories=")))
            science = line.mid(11).split(QLatin1Char(';')).contains(QStringLiteral("Science"));
    EXPECT_TRUE(science);
    // The metainfo names this entry.
    const QString meta = QString::fromUtf8(
        ReadBytes(path(QStringLiteral("share/metainfo/ru.vrma.vrma.metainfo.xml"))));
    EXPECT_TRUE(meta.contains(QStringLiteral("<id>ru.vrma.vrma</id>")));
    EXPECT_TRUE(
        meta.contains(QStringLiteral("<launchable type=\"desktop-id\">vrma.desktop</launchable>")));
}

// As the README and the manual pages tell a user of the installed program: vrma-calib
// names the example's folder for the locale, and the files there read in that locale.
TEST_F(Installed, CalibrationOfTheInstalledExampleInEachLocale) {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const struct {
        const char* locale;
        const char* folder;
        const char* mean;
        const char* sd;
    } cases[] = {{"ru_RU.UTF-8", "share/vrma/examples/decimal-comma", "1,0023", "0,0007"},
                 {"C.UTF-8", "share/vrma/examples/decimal-point", "1.0023", "0.0007"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        QProcessEnvironment environment = ProgramEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QString::fromLatin1(c.locale));
        const Outcome folder =
            Execute(path(QStringLiteral("bin/vrma-calib")), {QStringLiteral("--example-folder")},
                    environment, work.path());
        EXPECT_EQ(folder.code, 0) << folder.err.toStdString();
        const QString example = folder.out.trimmed();
        EXPECT_EQ(QFileInfo(example).canonicalFilePath(),
                  QFileInfo(path(QString::fromLatin1(c.folder))).canonicalFilePath())
            << example.toStdString();

        const Outcome run =
            Execute(path(QStringLiteral("bin/vrma-calib")),
                    {QStringLiteral("--scene"), QDir(example).filePath(QStringLiteral("scene.crd")),
                     QStringLiteral("--image"), QDir(example).filePath(QStringLiteral("image.crd")),
                     QStringLiteral("--columns"), QStringLiteral("6"), QStringLiteral("--rows"),
                     QStringLiteral("6")},
                    environment, work.path());
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_EQ(run.err, QString()) << run.err.toStdString();
        const QStringList lines = run.out.split(QLatin1Char('\n'));
        ASSERT_EQ(lines.size(), 16 + 6 + 1);
        EXPECT_EQ(lines[17], QStringLiteral("Среднее значение:"));
        EXPECT_EQ(lines[18], QString::fromLatin1(c.mean));
        EXPECT_EQ(lines[21], QString::fromLatin1(c.sd));
    }
}

TEST_F(Installed, ProgramStartsToItsWindowAndFindsItsGuide) {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    QProcessEnvironment environment = ProgramEnvironment();
    environment.insert(QStringLiteral("VRMA_QUIT_AFTER_START"), QStringLiteral("1"));
    const Outcome run = Execute(path(QStringLiteral("bin/vrma")), {}, environment, work.path());
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
              QStringLiteral("VRMA: окно «Построение таблицы коррекции» открыто, выход\n"));

    // The guide of the installed program is the installed copy.
    const QUrl guide = vrma::GuideContentsUrl(path(QStringLiteral("bin")));
    ASSERT_TRUE(guide.isLocalFile());
    EXPECT_EQ(
        QFileInfo(guide.toLocalFile()).canonicalFilePath(),
        QFileInfo(path(QStringLiteral("share/vrma/VRMAHelp/index.html"))).canonicalFilePath());
}

} // namespace
