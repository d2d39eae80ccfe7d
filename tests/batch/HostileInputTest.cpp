// vrma-calib run as a process on what a careless or hostile command line gives it: an
// output that is an input or another output (by name, through symbolic and hard links),
// a pair of files of which one cannot be written, focal lengths and grids beyond what is
// possible, file names that are not UTF-8, many views of which some are of one pose, too
// little memory, and SIGINT or SIGTERM in the middle of a run.
#include "batch/CalibProcess.h"
#include "data/Messages.h"
#include "data/TextFile.h"
#include "support/ImageFiles.h"
#include "support/PhotoRenderer.h"
#include "support/TiltedField.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VRMA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRMA_ASAN 1
#endif
#endif

using namespace vrma;

namespace {

using Result = test::CalibResult;

QByteArray Bytes(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

// The k-th of many poses, none two alike: tilts within 25 degrees about both axes, rolls
// within 10, from a Halton sequence.
test::FieldPose SpreadPose(int k) {
    const auto halton = [](int index, int base) {
        double result = 0.0;
        double f = 1.0;
        for (; index > 0; index /= base) {
            f /= base;
            result += f * (index % base);
        }
        return result;
    };
    return {50.0 * halton(k + 1, 2) - 25.0, 50.0 * halton(k + 1, 3) - 25.0,
            20.0 * halton(k + 1, 5) - 10.0};
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }
    QByteArray raw(const QString& name) const { return QFile::encodeName(path(name)); }
    QStringList files() const {
        return QDir(temp.path())
            .entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot |
                           QDir::System,
                       QDir::Name);
    }

    // A photograph's two files (11 x 9 targets, fy / fx = 1.0035, 0.05 px of noise).
    QStringList write(const QString& name, const test::FieldPose& pose, unsigned seed) const {
        const test::TiltedField field = test::MakeField(camera, pose, 11, 9, 0.05, seed);
        const QStringList names = {path(name + QStringLiteral("-scene.crd")),
                                   path(name + QStringLiteral("-image.crd"))};
        const std::vector<PlanePoint>* sets[] = {&field.scene, &field.image};
        for (int f = 0; f < 2; ++f) {
            QStringList lines;
            for (const PlanePoint& p : *sets[f])
                lines << QString::number(p.x, 'g', 17) + QStringLiteral(" ; ") +
                             QString::number(p.y, 'g', 17);
            test::WriteBytes(names[f], EncodeTextLines(lines)); // no sync: many files
        }
        return names;
    }

    // The calibration of a photograph's files with every further one as a view.
    static QStringList Views(const QList<QStringList>& photos) {
        QStringList arguments = {QStringLiteral("--scene"),   photos[0][0],
                                 QStringLiteral("--image"),   photos[0][1],
                                 QStringLiteral("--columns"), QStringLiteral("11"),
                                 QStringLiteral("--rows"),    QStringLiteral("9")};
        for (qsizetype k = 1; k < photos.size(); ++k)
            arguments << QStringLiteral("--view") << photos[k][0] << photos[k][1];
        return arguments;
    }

    QList<QStringList> manyViews(int count, int repeatEvery) const {
        QList<QStringList> photos;
        for (int k = 0; k < count; ++k) {
            // Every repeatEvery-th photograph is taken again at the pose of the one before.
            const int pose = repeatEvery > 0 && k % repeatEvery == repeatEvery - 1 ? k - 1 : k;
            photos.append(write(QStringLiteral("v%1").arg(k), SpreadPose(pose), 100 + unsigned(k)));
        }
        return photos;
    }

    static QStringList Board(const QString& photo, const QString& scene, const QString& image) {
        return {QStringLiteral("--photo"),     photo,
                QStringLiteral("--target"),    QStringLiteral("dots"),
                QStringLiteral("--columns"),   QStringLiteral("9"),
                QStringLiteral("--rows"),      QStringLiteral("6"),
                QStringLiteral("--pitch"),     QStringLiteral("20"),
                QStringLiteral("--scene-out"), scene,
                QStringLiteral("--image-out"), image};
    }

    const test::PinholeCamera camera{};
    QTemporaryDir temp;
};

// Every output compared with every input and every other output as files: a clash is a
// command-line error naming both, and nothing is computed or written.
TEST_F(HostileInput, NoOutputIsWrittenOverAnInputOrAnotherOutput) {
    const QStringList main = write(QStringLiteral("a"), {12.0, 3.0, 1.0}, 1);
    const QStringList view = write(QStringLiteral("b"), {-8.0, 10.0}, 2);
    ASSERT_EQ(::symlink(raw(QStringLiteral("a-scene.crd")).constData(),
                        raw(QStringLiteral("link.crd")).constData()),
              0);
    ASSERT_EQ(::link(raw(QStringLiteral("b-image.crd")).constData(),
                     raw(QStringLiteral("hard.crd")).constData()),
              0);
    const QString photo = path(QStringLiteral("photo.png"));
    test::WriteBytes(photo, "not read before the names are checked");
    ASSERT_EQ(::symlink("photo.png", raw(QStringLiteral("photo-link.crd")).constData()), 0);
    ASSERT_TRUE(QDir(temp.path()).mkdir(QStringLiteral("sub")));
    const QStringList grid = {QStringLiteral("--scene"),
                              main[0],
                              QStringLiteral("--image"),
                              main[1],
                              QStringLiteral("--columns"),
                              QStringLiteral("11"),
                              QStringLiteral("--rows"),
                              QStringLiteral("9"),
                              QStringLiteral("--view"),
                              view[0],
                              view[1]};
    const QString json = QStringLiteral("--json");
    const QString pdf = path(QStringLiteral("r.pdf"));
    struct Case {
        QStringList arguments;
        QString output; // the option named first in the message
        QString other;
    };
    const Case cases[] = {
        {grid + QStringList{json, main[0]}, json, QStringLiteral("--scene")},
        {grid + QStringList{QStringLiteral("--table"), main[1]}, QStringLiteral("--table"),
         QStringLiteral("--image")},
        {grid + QStringList{json, view[0]}, json, QStringLiteral("--view")},
        {grid + QStringList{QStringLiteral("--table"), path(QStringLiteral("t.tab")),
                            QStringLiteral("--camera"), path(QStringLiteral("link.crd"))},
         QStringLiteral("--camera"), QStringLiteral("--scene")},
        {grid + QStringList{json, path(QStringLiteral("hard.crd"))}, json,
         QStringLiteral("--view")},
        {grid + QStringList{QStringLiteral("--report"), pdf, json, path(QStringLiteral("./r.pdf"))},
         json, QStringLiteral("--report")},
        {grid + QStringList{QStringLiteral("--table"), path(QStringLiteral("t.tab")),
                            QStringLiteral("--report"), path(QStringLiteral("sub/../t.tab"))},
         QStringLiteral("--report"), QStringLiteral("--table")},
        {{QStringLiteral("--make-field"), pdf, QStringLiteral("--target"), QStringLiteral("dots"),
          QStringLiteral("--columns"), QStringLiteral("6"), QStringLiteral("--rows"),
          QStringLiteral("6"), QStringLiteral("--pitch"), QStringLiteral("20"),
          QStringLiteral("--scene-out"), pdf},
         QStringLiteral("--scene-out"),
         QStringLiteral("--make-field")},
        {Board(photo, path(QStringLiteral("photo-link.crd")), path(QStringLiteral("i.crd"))),
         QStringLiteral("--scene-out"), QStringLiteral("--photo")},
        {Board(photo, path(QStringLiteral("s.crd")), path(QStringLiteral("./s.crd"))),
         QStringLiteral("--image-out"), QStringLiteral("--scene-out")},
        {Board(photo, path(QStringLiteral("s.crd")), path(QStringLiteral("i.crd")))
             << json << path(QStringLiteral("i.crd")),
         json, QStringLiteral("--image-out")},
        {Board(photo, path(QStringLiteral("s.crd")), path(QStringLiteral("i.crd")))
             << QStringLiteral("--view") << view[0] << path(QStringLiteral("s.crd")),
         QStringLiteral("--scene-out"), QStringLiteral("--view")},
    };
    const QStringList before = files();
    QMap<QString, QByteArray> contents;
    for (const QString& name : before)
        contents[name] = Bytes(path(name));
    for (const Case& c : cases) {
        const Result r = test::RunCalib(c.arguments);
        const std::string what = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.code, 1) << what << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << what;
        EXPECT_TRUE(r.err.startsWith(c.output + QStringLiteral(" «"))) << r.err.toStdString();
        EXPECT_TRUE(
            r.err.contains(QStringLiteral("тот же файл, что ") + c.other + QStringLiteral(" «")))
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Ничего не записано.")));
        EXPECT_EQ(files(), before) << what;
        for (const QString& name : before)
            EXPECT_EQ(Bytes(path(name)), contents[name]) << what << ": " << name.toStdString();
    }
    // Different files, though some are links: no clash.
    const Result fine = test::RunCalib(grid + QStringList{json, path(QStringLiteral("out.json"))});
    EXPECT_EQ(fine.code, 0) << fine.err.toStdString();
}

// The two coordinate files of a photograph, the PDF with its scene file: when the second
// cannot be written the first stays as it was.
TEST_F(HostileInput, PairsAreReplacedWholeOrNotAtAll) {
    const QString photo = path(QStringLiteral("field.png"));
    test::PhotoScene scene;
    scene.kind = TargetKind::Dots;
    test::WritePhoto(test::RenderPhoto(scene), photo);
    const QString sceneFile = path(QStringLiteral("scene.crd"));
    test::WriteBytes(sceneFile, "the old scene file\r\n");
    Result r = test::RunCalib(Board(photo, sceneFile, path(QStringLiteral("missing/image.crd"))));
    EXPECT_EQ(r.code, 5) << r.err.toStdString();
    EXPECT_EQ(Bytes(sceneFile), QByteArray("the old scene file\r\n"));
    // Both written when both can be.
    r = test::RunCalib(Board(photo, sceneFile, path(QStringLiteral("image.crd"))));
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(ReadTextLines(sceneFile).size(), 54);

    const QString pdf = path(QStringLiteral("field.pdf"));
    test::WriteBytes(pdf, "the old PDF");
    test::WriteBytes(path(QStringLiteral("field.crd")), "read only\r\n");
    ASSERT_EQ(::chmod(raw(QStringLiteral("field.crd")).constData(), 0444), 0);
    r = test::RunCalib({QStringLiteral("--make-field"), pdf, QStringLiteral("--target"),
                        QStringLiteral("chessboard"), QStringLiteral("--columns"),
                        QStringLiteral("6"), QStringLiteral("--rows"), QStringLiteral("4"),
                        QStringLiteral("--pitch"), QStringLiteral("20")});
    EXPECT_EQ(r.code, 5) << r.err.toStdString();
    EXPECT_EQ(Bytes(pdf), QByteArray("the old PDF"));
    EXPECT_FALSE(files().join(QLatin1Char(' ')).contains(QLatin1Char('~')));
}

// Every refusal in Russian with its code: focal lengths no camera of that image size can
// have, grids beyond the range of numbers, sizes the field check does not take.
TEST_F(HostileInput, ImpossibleNumbersAreCommandLineErrors) {
    const QStringList main = write(QStringLiteral("a"), {12.0, 3.0, 1.0}, 1);
    const QStringList grid = {QStringLiteral("--scene"),   main[0],
                              QStringLiteral("--image"),   main[1],
                              QStringLiteral("--columns"), QStringLiteral("11"),
                              QStringLiteral("--rows"),    QStringLiteral("9")};
    const QString json = path(QStringLiteral("out.json"));
    for (const char* focal : {"1", "50", "1e5", "1e7"}) {
        const Result r =
            test::RunCalib(grid + QStringList{QStringLiteral("--focal"), QLatin1String(focal),
                                              QStringLiteral("--json"), json});
        EXPECT_EQ(r.code, 1) << focal;
        EXPECT_TRUE(r.err.contains(QStringLiteral("невозможно для изображения 720 × 576")))
            << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(json));
    Result r = test::RunCalib(grid + QStringList{QStringLiteral("--focal"), QStringLiteral("1000"),
                                                 QStringLiteral("--json"), json});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    r = test::RunCalib(grid + QStringList{QStringLiteral("--width"), QStringLiteral("1e308"),
                                          QStringLiteral("--json"), json});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("не больше 1000000"))) << r.err.toStdString();

    for (const char* pitch : {"1e308", "1e-300", "nan"}) {
        r = test::RunCalib({QStringLiteral("--make-field"), path(QStringLiteral("f.pdf")),
                            QStringLiteral("--target"), QStringLiteral("dots"),
                            QStringLiteral("--columns"), QStringLiteral("6"),
                            QStringLiteral("--rows"), QStringLiteral("6"),
                            QStringLiteral("--pitch"), QLatin1String(pitch)});
        EXPECT_EQ(r.code, 1) << pitch;
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("Шаг сетки (--pitch) должен быть числом")))
            << r.err.toStdString();
    }
    // A photograph's focal length against its own size, before anything is written.
    const QString photo = path(QStringLiteral("field.png"));
    test::PhotoScene scene;
    scene.kind = TargetKind::Dots;
    test::WritePhoto(test::RenderPhoto(scene), photo);
    r = test::RunCalib(Board(photo, path(QStringLiteral("s.crd")), path(QStringLiteral("i.crd")))
                       << QStringLiteral("--focal") << QStringLiteral("3"));
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("невозможно для изображения")));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("s.crd"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("i.crd"))));
}

// File names in Windows-1251 bytes, given on the command line as they are on the disk:
// read and written under those bytes (a shell passes them; QProcess could not).
TEST_F(HostileInput, FileNamesThatAreNotUtf8AreReadAndWrittenAsGiven) {
    const QStringList main = write(QStringLiteral("a"), {12.0, 3.0, 1.0}, 1);
    // "сцена.crd" and "итог.json" in Windows-1251.
    const QByteArray folder = QFile::encodeName(temp.path()) + '/';
    const QByteArray scene = folder + "\xf1\xf6\xe5\xed\xe0.crd";
    const QByteArray json = folder + "\xe8\xf2\xee\xe3.json";
    ASSERT_EQ(::rename(QFile::encodeName(main[0]).constData(), scene.constData()), 0);
    QProcess shell;
    shell.setProcessEnvironment(test::CalibEnvironment());
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("exec \"$0\" --scene \"$(printf '%1')\" --image \"$1\" "
                                "--columns 11 --rows 9 --focal 1000 --json \"$(printf '%2')\"")
                     .arg(QString::fromLatin1(QByteArray(scene)
                                                  .replace("\xf1", "\\361")
                                                  .replace("\xf6", "\\366")
                                                  .replace("\xe5", "\\345")
                                                  .replace("\xed", "\\355")
                                                  .replace("\xe0", "\\340")),
                          QString::fromLatin1(QByteArray(json)
                                                  .replace("\xe8", "\\350")
                                                  .replace("\xf2", "\\362")
                                                  .replace("\xee", "\\356")
                                                  .replace("\xe3", "\\343"))),
                 QStringLiteral(VRMA_CALIB_BINARY), main[1]});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().constData();
    struct stat st {};
    ASSERT_EQ(::stat(json.constData(), &st), 0);
    EXPECT_GT(st.st_size, 100);
    ::unlink(json.constData());
    ::unlink(scene.constData());
}

// Many photographs, every tenth of them taken again at the pose of the one before (as the
// frames of a video are): the set fixes the focal lengths, and its ratio is the camera's.
TEST_F(HostileInput, ManyViewsSomeOfOnePoseAreCalibratedTogether) {
    const QList<QStringList> photos = manyViews(300, 10);
    const QString json = path(QStringLiteral("views.json"));
    const Result r = test::RunCalib(Views(photos) << QStringLiteral("--json") << json);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QFile file(json);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject o = QJsonDocument::fromJson(file.readAll()).object();
    EXPECT_EQ(o.value(QStringLiteral("views")).toInt(), 300);
    const double ratio = o.value(QStringLiteral("multiview_ratio")).toDouble();
    const double se = o.value(QStringLiteral("multiview_ratio_se")).toDouble();
    EXPECT_GT(se, 0.0);
    EXPECT_LT(se, 1e-4);
    EXPECT_NEAR(ratio, camera.ratio(), 4.0 * se);
}

// Whether the process has its own handlers for SIGINT and SIGTERM yet, as the kernel
// tells it ("SigCgt", one bit a signal); a sanitized build takes a while to get there.
namespace {
bool CatchesBothSignals(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("SigCgt:"))
            continue;
        bool ok = false;
        const qulonglong caught = line.mid(7).trimmed().toULongLong(&ok, 16);
        const qulonglong both = (1ULL << (SIGINT - 1)) | (1ULL << (SIGTERM - 1));
        return ok && (caught & both) == both;
    }
    return false;
}
} // namespace

// SIGTERM and SIGINT in the middle of a long run end it at once with 143 and 130: nothing
// is written, nothing is left aside.
TEST_F(HostileInput, SignalsEndTheRunCleanly) {
    const QList<QStringList> photos = manyViews(1000, 0);
    const QString json = path(QStringLiteral("views.json"));
    const QStringList before = files();
    for (const auto& [signal, code] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
        QProcess process;
        process.setProcessEnvironment(test::CalibEnvironment());
        process.start(QStringLiteral(VRMA_CALIB_BINARY), Views(photos)
                                                             << QStringLiteral("--json") << json);
        ASSERT_TRUE(process.waitForStarted());
        for (int waited = 0; waited < 30000 && !CatchesBothSignals(process.processId());
             waited += 10)
            QThread::msleep(10);
        ASSERT_TRUE(CatchesBothSignals(process.processId())) << "no handlers after 30 s";
        QThread::msleep(100);
        ASSERT_EQ(process.state(), QProcess::Running) << "the run ended before the signal";
        ASSERT_EQ(::kill(pid_t(process.processId()), signal), 0);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), code);
        EXPECT_EQ(files(), before);
    }
}

#ifdef VRMA_ASAN
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif

// Too little memory (an address-space limit raised step by step): the photograph is
// refused when its decoding would not fit (2), the search runs out of memory (8, its own
// message), or the search ends (6); never another code, a crash or a file written.
TEST_F(HostileInput, OutOfMemoryHasItsOwnCode) {
    if (kAsan)
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limits leave";
    const test::ImageShape shape{8000, 8000, 1, CV_8U};
    const QString photo = path(QStringLiteral("large.png"));
    test::WriteBytes(photo, test::PngFile(shape, test::Bands(shape)));
    QList<int> codes;
    for (int limitMb = 96; limitMb <= 1024 && !codes.contains(6); limitMb += 4) {
        const Result r = test::RunCalibLimited(
            RLIMIT_AS, rlim_t(limitMb) << 20,
            Board(photo, path(QStringLiteral("s.crd")), path(QStringLiteral("i.crd"))));
        // Below what the program needs to be loaded at all, the loader fails: nothing of
        // the program has run yet.
        if (codes.isEmpty() && (r.crashed || (r.code != 2 && r.code != 8)))
            continue;
        ASSERT_FALSE(r.crashed) << limitMb << " MB";
        const int code = r.code;
        codes << code;
        EXPECT_TRUE(code == 2 || code == 6 || code == 8)
            << limitMb << " MB: " << code << " " << r.err.toStdString();
        if (code == 8) {
            EXPECT_EQ(r.err.trimmed(), QStringLiteral("Не хватает памяти: расчёт остановлен. Ни "
                                                      "один файл не записан наполовину."));
        }
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("s.crd"))));
    }
    EXPECT_TRUE(codes.contains(8)) << QStringList([&] {
                                          QStringList texts;
                                          for (int c : codes)
                                              texts << QString::number(c);
                                          return texts;
                                      }())
                                          .join(QLatin1Char(' '))
                                          .toStdString();
    EXPECT_TRUE(codes.contains(6));
}

} // namespace

namespace {

// The codes of out of memory and of the signals are listed in --help and the manual page.
TEST(HostileInputHelp, ListsTheCodesOfMemoryAndSignals) {
    const Result help = test::RunCalib({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("  8  не хватает памяти")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("  130, 143\n")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("SIGINT (Ctrl+C) или SIGTERM")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("выходной файл — это входной файл")));
    // The files of a call written together, the streams as they stand, the pixels as stored.
    EXPECT_TRUE(help.out.contains(QStringLiteral("Все файлы одного вызова пишутся вместе")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("--json /dev/stdout > f")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("Тег поворота EXIF не")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("читается первая")));
    QFile manual(QStringLiteral(VRMA_SOURCE_DIR "/packaging/man/vrma-calib.1"));
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(manual.readAll());
    EXPECT_TRUE(page.contains(QStringLiteral(".B 8\nне хватает памяти")));
    EXPECT_TRUE(page.contains(QStringLiteral(".BR 130 \", \" 143")));
}

} // namespace
