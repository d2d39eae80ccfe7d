// vrma-calib run as a process against what can happen to the files it writes: outputs that
// lead to one file through links as the system opens them, a file system that fills up, too
// little memory while a report is painted, a signal at any moment of the writing, two runs
// on the same files, outputs that are streams (standard output, a pipe), and the same
// photograph given twice. Every command's files are written whole or not at all.
#include "batch/CalibProcess.h"
#include "data/Messages.h"
#include "data/TextFile.h"
#include "support/BoardViews.h"
#include "support/ImageFiles.h"
#include "support/PhotoRenderer.h"
#include "support/TiltedField.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <opencv2/core/persistence.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <csignal>

#include <fcntl.h>
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

#ifdef VRMA_ASAN
constexpr bool kAsan = true;
#else
constexpr bool kAsan = false;
#endif

using Result = test::CalibResult;
// Every file under a folder (hidden ones, links and folders included) with its bytes: what
// a run must leave as it was.
using Tree = QMap<QString, QByteArray>;

QByteArray Bytes(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

QJsonObject Json(const QByteArray& bytes) {
    return QJsonDocument::fromJson(bytes).object();
}

// The camera's parameters with their standard errors, as the summary prints them.
QStringList CameraLines(const QString& out) {
    QStringList lines;
    for (const QString& line : out.split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("  ")) || line.startsWith(QStringLiteral("fy/fx")))
            lines << line;
    return lines;
}

class HostileOutput : public ::testing::Test {
protected:
    // The lens set of the camera's tests (nine 800 x 600 photographs, one without the
    // board), rendered once.
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        photos = new QStringList(test::WriteLensSet(folder->path()));
    }
    static void TearDownTestSuite() {
        delete folder;
        delete photos;
    }
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }

    QString path(const QString& name) const { return QDir(temp.path()).absoluteFilePath(name); }
    QByteArray raw(const QString& name) const { return QFile::encodeName(path(name)); }

    Tree tree() const {
        Tree files;
        QDirIterator it(temp.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString name = it.next();
            const QFileInfo info(name);
            files[name] = info.isSymLink() ? "-> " + QFile::encodeName(info.symLinkTarget())
                          : info.isDir()   ? QByteArray("(folder)")
                                           : Bytes(name);
        }
        return files;
    }

    static QStringList Camera(const QStringList& files) {
        QStringList arguments;
        for (const QString& file : files)
            arguments << QStringLiteral("--photo") << file;
        return arguments << QStringLiteral("--target") << QStringLiteral("chessboard")
                         << QStringLiteral("--columns") << QStringLiteral("9")
                         << QStringLiteral("--rows") << QStringLiteral("6")
                         << QStringLiteral("--pitch") << QStringLiteral("20");
    }

    // Every output of the camera command in the folder, the old ones written first.
    QStringList everyOutput(const QString& dir) {
        QStringList arguments;
        for (const auto& [option, name] :
             {std::pair{"--json", "c.json"}, std::pair{"--camera-yaml", "c.yml"},
              std::pair{"--table", "c.tab"}, std::pair{"--camera", "c.cam"},
              std::pair{"--report", "c.pdf"}}) {
            const QString file = QDir(dir).filePath(QLatin1String(name));
            test::WriteBytes(file, QByteArray("old ") + name);
            arguments << QLatin1String(option) << file;
        }
        return arguments;
    }

    // A photograph's two coordinate files (11 x 9 targets of a camera with fy / fx 1.0035).
    QStringList coordinates(const QString& name, const test::FieldPose& pose) const {
        const test::TiltedField field = test::MakeField({}, pose, 11, 9, 0.05, 7);
        const QStringList names = {path(name + QStringLiteral("-scene.crd")),
                                   path(name + QStringLiteral("-image.crd"))};
        const std::vector<PlanePoint>* sets[] = {&field.scene, &field.image};
        for (int f = 0; f < 2; ++f) {
            QStringList lines;
            for (const PlanePoint& p : *sets[f])
                lines << QString::number(p.x, 'g', 17) + QStringLiteral(" ; ") +
                             QString::number(p.y, 'g', 17);
            test::WriteBytes(names[f], EncodeTextLines(lines));
        }
        return names;
    }

    static inline QTemporaryDir* folder = nullptr;
    static inline QStringList* photos = nullptr;
    QTemporaryDir temp;
};

// The tricks of links among the outputs, on what the writes will really open: a folder's
// link followed before "..", a link that leads nowhere yet (alone or through another),
// each refused naming both, with nothing computed or written; names that only look alike
// are written where the system puts them.
TEST_F(HostileOutput, LinkTricksAmongOutputsAreRefusedWithNothingWritten) {
    ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("o")));
    ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("other/deep")));
    ASSERT_EQ(::symlink("../other/deep", raw(QStringLiteral("o/sublink")).constData()), 0);
    ASSERT_EQ(::symlink("../other/t.tab", raw(QStringLiteral("o/dangling")).constData()), 0);
    ASSERT_EQ(::symlink("dangling", raw(QStringLiteral("o/chain")).constData()), 0);
    const QStringList main = coordinates(QStringLiteral("other/a"), {12.0, 3.0, 1.0});
    const QStringList view = coordinates(QStringLiteral("other/b"), {-8.0, 10.0});
    const QString photo = path(QStringLiteral("field.png"));
    test::PhotoScene scene;
    scene.kind = TargetKind::Dots;
    test::WritePhoto(test::RenderPhoto(scene), photo);
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
    const QStringList dots = {QStringLiteral("--photo"),   photo,
                              QStringLiteral("--target"),  QStringLiteral("dots"),
                              QStringLiteral("--columns"), QStringLiteral("9"),
                              QStringLiteral("--rows"),    QStringLiteral("6"),
                              QStringLiteral("--pitch"),   QStringLiteral("20")};
    const QString table = path(QStringLiteral("other/t.tab"));
    struct Case {
        QStringList arguments;
        QString first; // the two options named
        QString second;
    };
    const Case cases[] = {
        {dots + QStringList{QStringLiteral("--scene-out"), path(QStringLiteral("other/s.crd")),
                            QStringLiteral("--image-out"),
                            path(QStringLiteral("o/sublink/../s.crd"))},
         QStringLiteral("--image-out"), QStringLiteral("--scene-out")},
        {grid + QStringList{QStringLiteral("--table"), table, QStringLiteral("--json"),
                            path(QStringLiteral("o/sublink/../t.tab"))},
         QStringLiteral("--table"), QStringLiteral("--json")},
        {grid + QStringList{QStringLiteral("--table"), table, QStringLiteral("--json"),
                            path(QStringLiteral("o/dangling"))},
         QStringLiteral("--table"), QStringLiteral("--json")},
        {grid + QStringList{QStringLiteral("--table"), table, QStringLiteral("--report"),
                            path(QStringLiteral("o/chain"))},
         QStringLiteral("--report"), QStringLiteral("--table")},
        {grid + QStringList{QStringLiteral("--json"),
                            path(QStringLiteral("o/sublink/../a-scene.crd"))},
         QStringLiteral("--json"), QStringLiteral("--scene")},
    };
    const Tree before = tree();
    for (const Case& c : cases) {
        const Result r = test::RunCalib(c.arguments);
        const std::string what = c.arguments.mid(c.arguments.size() - 4).join(' ').toStdString();
        EXPECT_EQ(r.code, 1) << what << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << what;
        EXPECT_TRUE(r.err.contains(c.first + QStringLiteral(" «")) &&
                    r.err.contains(c.second + QStringLiteral(" «")))
            << r.err.toStdString();
        EXPECT_EQ(tree(), before) << what;
    }
    // o/t.tab and o/sublink/../t.tab are two files: each holds what was written to it.
    const Result apart = test::RunCalib(
        grid + QStringList{QStringLiteral("--table"), path(QStringLiteral("o/t.tab")),
                           QStringLiteral("--json"), path(QStringLiteral("o/sublink/../t.tab"))});
    ASSERT_EQ(apart.code, 0) << apart.err.toStdString();
    EXPECT_EQ(ReadTextLines(path(QStringLiteral("o/t.tab"))).size(), 2);
    EXPECT_TRUE(Json(Bytes(table)).contains(QStringLiteral("coefficient")));
}

// A file system that fills up (a small one of its own, in a mount namespace of its own)
// at every stage of the writing: every old output as it was and nothing left beside it, or
// every output new. Needs the right to mount; a file-size limit stands in otherwise
// (FileSizeLimitLeavesEveryOldOutput).
TEST_F(HostileOutput, AFullFileSystemLeavesEveryOldOutput) {
    if (QProcess::execute(QStringLiteral("unshare"),
                          {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                           QStringLiteral("mount -t tmpfs -o size=64k tmpfs \"$0\""),
                           temp.path()}) != 0)
        GTEST_SKIP() << "no right to mount a file system here";
    const QString old = path(QStringLiteral("old"));
    const QString disk = path(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(old) && QDir().mkpath(disk));
    const QStringList outputs = everyOutput(disk);
    for (const QString& name : QDir(disk).entryList(QDir::Files))
        ASSERT_TRUE(QFile::rename(QDir(disk).filePath(name), QDir(old).filePath(name)));
    // The new files take some 10 KB and the report some hundreds: free room from none to
    // more than all of them.
    QList<int> codes;
    for (const int room : {0, 4, 12, 24, 48, 96, 192, 384, 768, 2048}) {
        const QString after = path(QStringLiteral("after%1").arg(room));
        ASSERT_TRUE(QDir().mkpath(after));
        // The script: the small file system mounted over the folder, the old outputs put in
        // it, all but `room` KB of it filled, the run, and what it left copied out.
        const QStringList arguments = Camera(*photos) + outputs;
        QString call = QStringLiteral("\"$VRMA\"");
        for (const QString& argument : arguments)
            call += QStringLiteral(" '") + argument + QLatin1Char('\'');
        const QString full =
            QStringLiteral("mount -t tmpfs -o size=4m tmpfs \"$DISK\" || exit 90; cp -a \"$OLD\"/. "
                           "\"$DISK\"/; set -- $(stat -f -c '%a %S' \"$DISK\"); "
                           "head -c $(( $1 * $2 - $ROOM * 1024 )) /dev/zero > \"$DISK/.filler\" "
                           "2>/dev/null; %1 > /dev/null 2>&1; code=$?; rm -f \"$DISK/.filler\"; "
                           "cp -a \"$DISK\"/. \"$AFTER\"/; exit $code")
                .arg(call);
        QProcessEnvironment environment = test::CalibEnvironment();
        environment.insert(QStringLiteral("DISK"), disk);
        environment.insert(QStringLiteral("OLD"), old);
        environment.insert(QStringLiteral("AFTER"), after);
        environment.insert(QStringLiteral("ROOM"), QString::number(room));
        environment.insert(QStringLiteral("VRMA"), QStringLiteral(VRMA_CALIB_BINARY));
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral("unshare"),
                  {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), full});
        ASSERT_TRUE(run.waitForFinished(120000));
        const int code = run.exitCode();
        codes << code;
        ASSERT_TRUE(code == 0 || code == 5) << room << " KB free: " << code;
        const QStringList left =
            QDir(after).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        EXPECT_EQ(left.size(), 5) << left.join(' ').toStdString();
        for (const QString& name : QDir(old).entryList(QDir::Files)) {
            const QByteArray now = Bytes(QDir(after).filePath(name));
            if (code == 5)
                EXPECT_EQ(now, Bytes(QDir(old).filePath(name)))
                    << room << " KB: " << name.toStdString();
            else
                EXPECT_NE(now, Bytes(QDir(old).filePath(name)))
                    << room << " KB: " << name.toStdString();
        }
    }
    EXPECT_TRUE(codes.contains(5) && codes.contains(0));
}

// A file-size limit (RLIMIT_FSIZE: a write beyond it fails as on a full disk) from none to
// more than the report: the report, which is the largest, cannot be made ready, and every
// old output stays as it was, nothing beside it; with room for all, all are new.
TEST_F(HostileOutput, AFileSizeLimitLeavesEveryOldOutput) {
    const QStringList outputs = everyOutput(temp.path());
    const Tree before = tree();
    for (const rlim_t limit : {rlim_t(0), rlim_t(100), rlim_t(4000), rlim_t(60000)}) {
        const Result r = test::RunCalibLimited(RLIMIT_FSIZE, limit, Camera(*photos) + outputs);
        EXPECT_EQ(r.code, 5) << limit;
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("Не удаётся записать файл")));
        EXPECT_EQ(tree(), before) << limit;
    }
    const Result all = test::RunCalib(Camera(*photos) + outputs);
    ASSERT_EQ(all.code, 0) << all.err.toStdString();
    for (const auto& [name, bytes] : before.toStdMap())
        EXPECT_NE(Bytes(name), bytes) << name.toStdString();
}

// Too little memory (an address-space limit raised step by step) while the camera's report
// is painted, and while a test field is: the run ends with 8 and its message, or succeeds;
// never an abort, never a file written on 8.
TEST_F(HostileOutput, OutOfMemoryWhilePaintingAPdfEndsWithItsCode) {
    if (kAsan)
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limits leave";
    const QString pdf = path(QStringLiteral("r.pdf"));
    const QString json = path(QStringLiteral("r.json"));
    const QStringList report = Camera(*photos) << QStringLiteral("--report") << pdf
                                               << QStringLiteral("--json") << json;
    const QStringList field = {QStringLiteral("--make-field"), pdf,
                               QStringLiteral("--target"),     QStringLiteral("chessboard"),
                               QStringLiteral("--columns"),    QStringLiteral("120"),
                               QStringLiteral("--rows"),       QStringLiteral("80"),
                               QStringLiteral("--pitch"),      QStringLiteral("3"),
                               QStringLiteral("--page"),       QStringLiteral("A3")};
    for (const QStringList& arguments : {report, field}) {
        QList<int> codes;
        for (int limitMb = 96; limitMb <= 1024 && !codes.contains(0); limitMb += 6) {
            const Result r = test::RunCalibLimited(RLIMIT_AS, rlim_t(limitMb) << 20, arguments);
            // Below what the program needs to be loaded at all, the loader fails.
            if (codes.isEmpty() && (r.crashed || r.code == 127))
                continue;
            ASSERT_FALSE(r.crashed) << limitMb << " MB: killed by a signal";
            const int code = r.code;
            const QString& err = r.err;
            codes << code;
            ASSERT_TRUE(code == 0 || code == 8)
                << limitMb << " MB: " << code << " " << err.toStdString();
            if (code == 8) {
                EXPECT_TRUE(err.endsWith(messages::OutOfMemory() + QLatin1Char('\n')))
                    << err.toStdString();
                EXPECT_FALSE(QFile::exists(pdf));
                EXPECT_FALSE(QFile::exists(json));
            }
        }
        EXPECT_TRUE(codes.contains(8) && codes.contains(0)) << arguments[0].toStdString();
        QFile::remove(pdf);
        QFile::remove(json);
    }
}

// The same photographs given twice, under the same names and under others (copies), give
// the camera and the standard errors of once; each repeat is said, in the summary and the
// JSON.
TEST_F(HostileOutput, ThePhotographsGivenTwiceGiveTheStandardErrorsOfOnce) {
    const Result once = test::RunCalib(Camera(*photos));
    ASSERT_EQ(once.code, 0) << once.err.toStdString();
    QStringList twice = *photos;
    for (qsizetype k = 0; k < photos->size(); ++k) {
        const QString copy = path(QStringLiteral("copy%1.png").arg(k));
        ASSERT_TRUE(QFile::copy(photos->at(k), copy));
        twice << (k % 2 == 0 ? copy : photos->at(k));
    }
    const QString json = path(QStringLiteral("twice.json"));
    const Result again = test::RunCalib(Camera(twice) << QStringLiteral("--json") << json);
    ASSERT_EQ(again.code, 0) << again.err.toStdString();
    EXPECT_EQ(again.err, once.err);
    EXPECT_EQ(CameraLines(again.out), CameraLines(once.out));
    const QJsonArray listed = Json(Bytes(json))[QStringLiteral("photos")].toArray();
    ASSERT_EQ(listed.size(), twice.size());
    for (qsizetype k = 0; k < twice.size(); ++k) {
        const QJsonObject photo = listed[k].toObject();
        const bool repeat = k >= photos->size();
        EXPECT_EQ(photo[QStringLiteral("same_as")].toString(),
                  repeat ? photos->at(k - photos->size()) : QString());
        if (repeat) {
            EXPECT_FALSE(photo[QStringLiteral("used")].toBool(true));
            EXPECT_TRUE(again.out.contains(
                QStringLiteral("%1. %2: ").arg(k + 1).arg(QFileInfo(twice[k]).fileName()) +
                messages::SamePhotograph(
                    QStringLiteral("%1. %2")
                        .arg(k - photos->size() + 1)
                        .arg(QFileInfo(photos->at(k - photos->size())).fileName()))));
        }
    }
}

// Outputs that are streams: standard output redirected to a file (--json /dev/stdout > f)
// gets the summary and then the JSON, in the file the shell opened; a pipe that is read
// gets the JSON; a pipe nobody reads is a file that cannot be written, and no other file
// of the run is written.
TEST_F(HostileOutput, StreamsAreWrittenAsTheyStand) {
    const QString out = path(QStringLiteral("out.txt"));
    QProcess process;
    process.setProcessEnvironment(test::CalibEnvironment());
    process.setStandardOutputFile(out);
    process.start(QStringLiteral(VRMA_CALIB_BINARY),
                  Camera(*photos) << QStringLiteral("--json") << QStringLiteral("/dev/stdout"));
    ASSERT_TRUE(process.waitForFinished(120000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QByteArray text = Bytes(out);
    EXPECT_TRUE(text.startsWith("Снимков: 9, поле найдено на 8"));
    const qsizetype brace = text.indexOf('{');
    ASSERT_GT(brace, 0);
    EXPECT_TRUE(text.left(brace).contains("СКО по всем точкам"));
    EXPECT_EQ(Json(text.mid(brace))[QStringLiteral("photos")].toArray().size(), 9);

    const QString fifo = path(QStringLiteral("pipe"));
    const QString table = path(QStringLiteral("t.tab"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QStringList toPipe = Camera(*photos) << QStringLiteral("--table") << table
                                               << QStringLiteral("--json") << fifo;
    const Result unread = test::RunCalib(toPipe);
    EXPECT_EQ(unread.code, 5);
    EXPECT_TRUE(unread.err.contains(fifo)) << unread.err.toStdString();
    EXPECT_FALSE(QFile::exists(table));
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const Result read = test::RunCalib(toPipe);
    EXPECT_EQ(read.code, 0) << read.err.toStdString();
    QByteArray received(1 << 16, '\0');
    const ssize_t n = ::read(reader, received.data(), size_t(received.size()));
    ::close(reader);
    received.truncate(qsizetype(std::max<ssize_t>(n, 0)));
    EXPECT_EQ(Json(received)[QStringLiteral("photos")].toArray().size(), 9);
    EXPECT_TRUE(QFile::exists(table));
}

// SIGTERM at moments from the end of the summary on, while the files are made and
// written: the run ends with 143 or finishes, and the outputs are all the old ones or all
// new, nothing beside them.
TEST_F(HostileOutput, ASignalWhileTheFilesAreWrittenLeavesOneWholeSet) {
    const QStringList outputs = everyOutput(temp.path());
    const Tree before = tree();
    QList<int> codes;
    for (const int delayMs : {0, 1, 3, 10, 30, 100}) {
        for (const auto& [name, bytes] : before.toStdMap())
            test::WriteBytes(name, bytes);
        QProcess process;
        process.setProcessEnvironment(test::CalibEnvironment());
        process.start(QStringLiteral(VRMA_CALIB_BINARY), Camera(*photos) + outputs);
        QByteArray out;
        while (!out.contains("СКО по всем точкам") && process.waitForReadyRead(60000))
            out += process.readAllStandardOutput();
        ASSERT_TRUE(out.contains("СКО по всем точкам"));
        QThread::msleep(delayMs);
        ::kill(pid_t(process.processId()), SIGTERM);
        ASSERT_TRUE(process.waitForFinished(60000));
        const int code = process.exitCode();
        codes << code;
        ASSERT_TRUE(code == 143 || code == 0) << delayMs << " ms: " << code;
        const Tree after = tree();
        ASSERT_EQ(after.keys(), before.keys()) << delayMs << " ms";
        int changed = 0;
        for (const auto& [name, bytes] : before.toStdMap())
            changed += after[name] != bytes;
        EXPECT_TRUE(changed == 0 || changed == int(before.size()))
            << delayMs << " ms: " << changed << " of " << before.size() << " new";
    }
    EXPECT_TRUE(codes.contains(143));
}

// Two runs at once on the same outputs, one fitting the lens and one not: the files left
// are those of one run, whole (the JSON's fx is the YAML's).
TEST_F(HostileOutput, TwoRunsOnTheSameOutputsLeaveOneWholeSet) {
    const QString json = path(QStringLiteral("c.json"));
    const QString yaml = path(QStringLiteral("c.yml"));
    const QStringList outputs = {QStringLiteral("--json"), json, QStringLiteral("--camera-yaml"),
                                 yaml};
    for (int round = 0; round < 3; ++round) {
        QProcess lens;
        QProcess plain;
        for (QProcess* process : {&lens, &plain})
            process->setProcessEnvironment(test::CalibEnvironment());
        lens.start(QStringLiteral(VRMA_CALIB_BINARY), Camera(*photos) + outputs);
        plain.start(QStringLiteral(VRMA_CALIB_BINARY), Camera(*photos) + outputs
                                                           << QStringLiteral("--model")
                                                           << QStringLiteral("no-distortion"));
        ASSERT_TRUE(lens.waitForFinished(120000) && plain.waitForFinished(120000));
        ASSERT_EQ(lens.exitCode(), 0);
        ASSERT_EQ(plain.exitCode(), 0);
        const double fx =
            Json(Bytes(json))[QStringLiteral("camera")].toObject()[QStringLiteral("fx")].toDouble();
        cv::FileStorage storage(yaml.toStdString(), cv::FileStorage::READ);
        cv::Mat matrix;
        storage["camera_matrix"] >> matrix;
        ASSERT_FALSE(matrix.empty());
        EXPECT_DOUBLE_EQ(matrix.at<double>(0, 0), fx) << round;
        EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
}

// Photographs that need more memory to be read than two at once leave: read one after the
// other, never refused as unreadable (2); 8 only when not even one can be read.
TEST_F(HostileOutput, PhotographsAreReadOneAtATimeWhenMemoryIsShort) {
    if (kAsan)
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limits leave";
    // Progressive JPEGs of full colour: libjpeg keeps 6 bytes a pixel while it reads one.
    const test::ImageShape shape{3000, 2000, 3, CV_8U};
    test::JpegOptions options;
    options.progressive = true;
    options.fullChroma = true;
    const QByteArray jpeg = test::JpegFile(shape, test::Bands(shape), options);
    QStringList files;
    for (int k = 0; k < 2; ++k) {
        files << path(QStringLiteral("large%1.jpg").arg(k));
        // The same pixels, other bytes: two photographs.
        test::WriteBytes(files.back(), jpeg + QByteArray(k, '\0'));
    }
    QList<int> codes;
    for (int limitMb = 96; limitMb <= 1024 && !codes.contains(6); limitMb += 12) {
        const Result r = test::RunCalibLimited(RLIMIT_AS, rlim_t(limitMb) << 20, Camera(files));
        if (codes.isEmpty() && (r.crashed || r.code == 127))
            continue; // below what the program needs to be loaded
        codes << r.code;
        // No board on the bands: 6 once they are read.
        EXPECT_TRUE(r.code == 6 || r.code == 8)
            << limitMb << " MB: " << r.code << " " << r.err.toStdString();
    }
    EXPECT_TRUE(codes.contains(6));
}

// The small faults of the command line, each with its sound behaviour: a relative output
// named in bytes that are no UTF-8 where the camera file needs its full path; --width that
// is not the photograph's; blanks around the board's numbers; a line break in a file
// name; a photograph whose EXIF tag turns it, and a TIFF file of several pages.
TEST_F(HostileOutput, SmallFaultsOfTheCommandLineHaveTheirSoundBehaviour) {
    // "таблица.tab" and "камера.cam" in Windows-1251, relative to the current folder.
    const QByteArray table("\xf2\xe0\xe1\xeb\xe8\xf6\xe0.tab");
    const QByteArray camera("\xea\xe0\xec\xe5\xf0\xe0.cam");
    QProcess shell;
    shell.setProcessEnvironment(test::CalibEnvironment());
    shell.setWorkingDirectory(temp.path());
    QStringList call = {QStringLiteral("-c"),
                        QStringLiteral("exec \"$0\" \"$@\" --table \"$(printf '\\362\\340\\341\\353"
                                       "\\350\\366\\340.tab')\" --camera \"$(printf "
                                       "'\\352\\340\\354\\345\\360\\340.cam')\""),
                        QStringLiteral(VRMA_CALIB_BINARY)};
    shell.start(QStringLiteral("/bin/sh"), call + Camera(*photos));
    ASSERT_TRUE(shell.waitForFinished(120000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    // Read and removed under their bytes (Qt names no such file).
    const QByteArray folderBytes = QFile::encodeName(temp.path()) + '/';
    QByteArray cameraFile(4096, '\0');
    const int fd = ::open((folderBytes + camera).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    cameraFile.truncate(qsizetype(std::max<ssize_t>(::read(fd, cameraFile.data(), 4096), 0)));
    ::close(fd);
    EXPECT_TRUE(cameraFile.contains("\r\n" + folderBytes + table + " ; "))
        << cameraFile.toStdString();
    ::unlink((folderBytes + camera).constData());
    ::unlink((folderBytes + table).constData());

    // The photograph's size, and another.
    const QString dots = path(QStringLiteral("dots.png"));
    test::PhotoScene scene;
    scene.kind = TargetKind::Dots;
    test::WritePhoto(test::RenderPhoto(scene), dots);
    const QStringList single = {QStringLiteral("--photo"),     dots,
                                QStringLiteral("--target"),    QStringLiteral("dots"),
                                QStringLiteral("--columns"),   QStringLiteral("9"),
                                QStringLiteral("--rows"),      QStringLiteral("6"),
                                QStringLiteral("--pitch"),     QStringLiteral("20"),
                                QStringLiteral("--scene-out"), path(QStringLiteral("s.crd")),
                                QStringLiteral("--image-out"), path(QStringLiteral("i.crd"))};
    const Result other =
        test::RunCalib(single + QStringList{QStringLiteral("--width"), QStringLiteral("720")});
    EXPECT_EQ(other.code, 1);
    EXPECT_TRUE(other.err.startsWith(QStringLiteral("--width 720 не совпадает с размером снимка")))
        << other.err.toStdString();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("s.crd"))));

    // Blanks around every number of the board, as scripts leave them: the same field.
    const auto field = [&](const QString& name, const QString& columns, const QString& pitch) {
        return test::RunCalib({QStringLiteral("--make-field"), path(name + QStringLiteral(".pdf")),
                               QStringLiteral("--target"), QStringLiteral("dots"),
                               QStringLiteral("--columns"), columns, QStringLiteral("--rows"),
                               QStringLiteral(" 5\t"), QStringLiteral("--pitch"), pitch})
            .code;
    };
    EXPECT_EQ(field(QStringLiteral("plain"), QStringLiteral("6"), QStringLiteral("25")), 0);
    EXPECT_EQ(field(QStringLiteral("blanks"), QStringLiteral("6 "), QStringLiteral(" 25")), 0);
    EXPECT_EQ(Bytes(path(QStringLiteral("blanks.crd"))), Bytes(path(QStringLiteral("plain.crd"))));

    // A line break in a name, an EXIF turn, three pages of TIFF: one line a photograph,
    // each said.
    QStringList set = photos->mid(0, 5);
    const cv::Mat first = cv::imread(photos->at(0).toStdString(), cv::IMREAD_GRAYSCALE);
    const QString broken = path(QStringLiteral("line\nbreak.png"));
    ASSERT_TRUE(QFile::copy(photos->at(5), broken));
    test::JpegOptions turned;
    turned.orientation = 6;
    const QString exif = path(QStringLiteral("turned.jpg"));
    test::WriteBytes(exif, test::JpegFile({first.cols, first.rows, 1, CV_8U},
                                          test::RowsOf(cv::imread(photos->at(6).toStdString(),
                                                                  cv::IMREAD_GRAYSCALE)),
                                          turned));
    const QString pages = path(QStringLiteral("pages.tif"));
    const cv::Mat page = cv::imread(photos->at(7).toStdString(), cv::IMREAD_GRAYSCALE);
    ASSERT_TRUE(cv::imwritemulti(pages.toStdString(), std::vector<cv::Mat>{page, first, first}));
    set << broken << exif << pages;
    const Result notes = test::RunCalib(Camera(set));
    ASSERT_EQ(notes.code, 0) << notes.err.toStdString();
    const QStringList lines = notes.out.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines[6].startsWith(QStringLiteral("6. line\\nbreak.png: поле повёрнуто на ")))
        << lines[6].toStdString();
    EXPECT_TRUE(lines[7].startsWith(QStringLiteral("7. turned.jpg: поле")));
    EXPECT_TRUE(lines[7].endsWith(QStringLiteral("; ") + messages::PhotoOrientationNote(6)))
        << lines[7].toStdString();
    EXPECT_TRUE(lines[8].endsWith(QStringLiteral("; ") + messages::PhotoPagesNote(3)))
        << lines[8].toStdString();
    EXPECT_TRUE(lines[9].startsWith(QStringLiteral("Камера")));
}

} // namespace
