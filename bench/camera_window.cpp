// The window "Калибровка камеры по снимкам" (app/CameraWindow) on photographs of a camera's
// size, driven on the offscreen platform as a user drives it: the photographs added at
// once, searched on worker threads, the camera fitted; how long until the camera is on
// screen, and the longest stall of the event loop meanwhile.
//   vrma_bench_camera_window write DIR [PHOTOS [WIDTH HEIGHT]]
//       renders PHOTOS (20) photographs of a 9 x 6 chessboard, WIDTH x HEIGHT (6000 x 4000,
//       24 megapixels) JPEG, through a barrel lens with the principal point off the centre,
//       the board turned 0, 90, 180, 270, ... degrees besides its tilt, into DIR/NN.jpg,
//       with DIR/truth.txt ("fx fy cx cy k1 k2 p1 p2 k3");
//   vrma_bench_camera_window measure DIR NC NR [PATTERN]
//       opens the window, adds every photograph of DIR (or those matching PATTERN) at once
//       with a board of NC x NR inner corners, and waits for the camera; prints one JSON
//       object: photos, found, ratio, rms_px, seconds (from the adding to the camera on
//       screen), stall_ms (the longest time the event loop did not come round: the gap
//       between two ticks of a 1 ms timer, less 1 ms), stalls_over_50ms and cpu_s (the
//       process's CPU time, all threads, meanwhile);
//   vrma_bench_camera_window stages DIR NC NR [PATTERN]
//       the window as measure does, then the refit after the first photograph's check box
//       is cleared; prints search_s (the searches' end), camera_s (the camera with its
//       uncertainty map and cross-validation on screen), refit_s, and the stages of both
//       fits run again one after the other without the window (fit, covariance, trust,
//       map, cross-validation);
//   vrma_bench_camera_window serial DIR NC NR [PATTERN]
//       the same search and fit without the window, one photograph after the other;
//   vrma_bench_camera_window tilt SCENE IMAGE NC NR WIDTH HEIGHT FX
//       the calibration window with a camera of that size and focal length known, on the
//       coordinate files ("." separator): the time of "Счет", the time until the field
//       check behind the red warning has ended on its thread, and the longest stall meanwhile;
//   vrma_bench_camera_window shot DIR NC NR OUT.png [SELECT [PATTERN [WIDTH]]]
//       the window on DIR's photographs (those matching PATTERN), as a picture: on a
//       display (xvfb-run) as the screen shows it, otherwise as the window paints itself;
//       photograph SELECT (1-based; 0: none) selected and shown; scaled to WIDTH pixels in
//       256 colours when given (the guide's pictures); a negative SELECT shows photograph
//       -SELECT undistorted ("Без дисторсии"). With VRMA_SHOT_SAVE=1 the whole screen
//       instead, while the question of "Сохранить…" about the orientation files is asked.
// The Google Benchmark case CameraWindow/small: four 800 x 600 renders through the window.
#include "app/Alfa_form.h"
#include "app/BoardForm.h"
#include "app/CameraSaving.h"
#include "app/CameraWindow.h"
#include "calib/CameraAssessment.h"
#include "calib/PhotoCalibration.h"
#include "platform/Application.h"
#include "support/BenchSupport.h"
#include "support/BoardViews.h"
#include "support/PhotoRenderer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTableWidget>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

using namespace vrma;
using vrma::test::PhotoScene;

PhotoScene Camera24(int width, int height) {
    PhotoScene scene;
    scene.width = width;
    scene.height = height;
    // A 24-megapixel camera with a 24 mm lens on APS-C: fx about 1.27 times the width.
    scene.fx = 1.27 * width;
    scene.fy = scene.fx * 1.0035;
    scene.k1 = -0.12;
    scene.k2 = 0.05;
    scene.k3 = -0.01;
    scene.p1 = 0.0004;
    scene.p2 = -0.0003;
    scene.cx = 0.5 * (width - 1) + 0.005 * width;
    scene.cy = 0.5 * (height - 1) - 0.004 * height;
    // As a camera writes it: some blur and sensor noise, JPEG of high quality.
    scene.blur = 1.2;
    scene.noise = 2.0;
    scene.jpegQuality = 92;
    return scene;
}

int Write(const QString& dir, int count, int width, int height) {
    QDir().mkpath(dir);
    const PhotoScene camera = Camera24(width, height);
    test::Variation variation;
    variation.quarterTurns = true;
    variation.room = 1.0;
    int k = 0;
    for (const PhotoScene& scene : test::VariedScenes(camera, count, 24, variation)) {
        const QString name = QStringLiteral("%1.jpg").arg(++k, 2, 10, QLatin1Char('0'));
        QElapsedTimer clock;
        clock.start();
        test::WritePhoto(test::RenderPhoto(scene), QDir(dir).filePath(name));
        std::printf("%s %.1f s\n", qPrintable(name), clock.elapsed() / 1000.0);
        std::fflush(stdout);
    }
    QFile truth(QDir(dir).filePath(QStringLiteral("truth.txt")));
    if (!truth.open(QIODevice::WriteOnly | QIODevice::Text))
        return 1;
    QTextStream out(&truth);
    out.setRealNumberPrecision(12);
    const Camera known = test::TrueTargets(camera).camera;
    for (CameraParameter p : kPinholeParameters)
        out << known[p] << (p == CameraParameter::K3 ? '\n' : ' ');
    return 0;
}

// The longest time the event loop did not come round: a timer asks every millisecond, and
// the longest gap between two of its ticks, less the millisecond, is the stall.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            const double gap = (now - last_) / 1e6 - 1.0;
            longest_ = std::max(longest_, gap);
            if (gap > 50.0) {
                ++over50_;
                if (qEnvironmentVariableIsSet("VRMA_STALLS"))
                    std::fprintf(stderr, "stall %.1f ms ending at %.3f s\n", gap, now / 1e9);
            }
            last_ = now;
        });
    }
    void Start() {
        clock_.start();
        last_ = 0;
        longest_ = 0.0;
        over50_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double LongestMs() const { return longest_; }
    int Over50() const { return over50_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    double longest_ = 0.0;
    int over50_ = 0;
};

// The CPU time of the whole process so far (all its threads), user and system.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

QStringList Photographs(const QString& dir, const QString& pattern) {
    QStringList files;
    for (const QString& name : QDir(dir).entryList(
             {pattern.isEmpty() ? QStringLiteral("*") : pattern}, QDir::Files, QDir::Name)) {
        const QString lower = name.toLower();
        for (const char* ending : {".jpg", ".jpeg", ".png", ".tif", ".tiff", ".bmp"})
            if (lower.endsWith(QLatin1String(ending)))
                files << QDir(dir).absoluteFilePath(name);
    }
    return files;
}

void SetBoard(TCameraForm& window, int columns, int rows) {
    window.BoardForm->KindBox->setCurrentIndex(0);
    window.BoardForm->ColumnsEdit->setText(QString::number(columns));
    window.BoardForm->RowsEdit->setText(QString::number(rows));
    window.BoardForm->PitchEdit->setText(QStringLiteral("20"));
    window.BoardForm->PitchYEdit->clear();
}

// Adds the photographs at once and waits for the camera (or the fit's failure) on screen.
double AddAndWait(TCameraForm& window, const QStringList& files) {
    QEventLoop loop;
    const QMetaObject::Connection done = QObject::connect(&window, &TCameraForm::fitFinished, [&] {
        if (!window.searching() && !window.fitting())
            loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    window.AddPhotos(files);
    if (window.searching() || window.fitting())
        loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    QObject::disconnect(done);
    return seconds;
}

int Measure(const QString& dir, int columns, int rows, const QString& pattern) {
    const QStringList files = Photographs(dir, pattern);
    TCameraForm window;
    SetBoard(window, columns, rows);
    window.show();
    QCoreApplication::processEvents();
    StallMeter stalls;
    stalls.Start();
    const double cpuBefore = ProcessCpuSeconds();
    const double seconds = AddAndWait(window, files);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    stalls.Stop();
    const auto& photos = window.photos();
    const auto found = std::count_if(photos.begin(), photos.end(),
                                     [](const auto& photo) { return photo.detection.found; });
    std::printf("{\"photos\": %lld, \"found\": %lld", qlonglong(files.size()), qlonglong(found));
    if (const auto& fit = window.calibration()) {
        for (CameraParameter p : kPinholeParameters)
            std::printf(", \"%s\": %.10g", CameraParameterName(p), fit->camera[p]);
        std::printf(", \"ratio\": %.10g, \"ratio_se\": %.4g, \"rms_px\": %.6g, \"used\": %d",
                    fit->ratio, fit->ratioSe, fit->rmsPx, fit->used);
    } else {
        std::printf(", \"error\": \"%s\"", qPrintable(window.fitFailure()));
    }
    std::printf(", \"seconds\": %.3f, \"cpu_s\": %.3f, \"stall_ms\": %.1f, "
                "\"stalls_over_50ms\": %d}\n",
                seconds, cpu, stalls.LongestMs(), stalls.Over50());
    return 0;
}

// The same search and fit one photograph after the other, without the window.
int Serial(const QString& dir, int columns, int rows, const QString& pattern) {
    const QStringList files = Photographs(dir, pattern);
    Board board;
    board.columns = columns;
    board.rows = rows;
    QElapsedTimer clock;
    clock.start();
    std::vector<PhotoDetection> detections;
    for (const QString& file : files)
        detections.push_back(DetectBoardInPhoto(file, board));
    const double searchSeconds = clock.nsecsElapsed() / 1e9;
    try {
        CalibrateFromPhotos(detections);
    } catch (const std::exception&) {
    }
    std::printf("{\"photos\": %lld, \"search_s\": %.3f, \"seconds\": %.3f}\n",
                qlonglong(files.size()), searchSeconds, clock.nsecsElapsed() / 1e9);
    return 0;
}

int Shot(const QString& dir, int columns, int rows, const QString& out, int select,
         const QString& pattern, int width) {
    TCameraForm window;
    SetBoard(window, columns, rows);
    window.show();
    QCoreApplication::processEvents();
    AddAndWait(window, Photographs(dir, pattern));
    const bool undistorted = select < 0;
    select = std::abs(select);
    if (select > 0 && select <= int(window.photos().size())) {
        QEventLoop loop;
        QObject::connect(&window, &TCameraForm::photoShown, &loop, &QEventLoop::quit);
        window.PhotoList->setCurrentCell(select - 1, TCameraForm::NameColumn);
        if (window.loadingPhoto())
            loop.exec();
        window.UndistortBox->setChecked(undistorted);
    }
    if (!qEnvironmentVariableIsEmpty("VRMA_SHOT_SAVE") && window.calibration()) {
        // Each question on screen: the screen grabbed (OUT, then OUT with "-2"), then the
        // question closed unanswered.
        bool saved = true;
        int asked = 0;
        QTimer ask;
        QObject::connect(&ask, &QTimer::timeout, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box)
                return;
            const QString name = asked++ == 0 ? out
                                              : QString(out).replace(QStringLiteral(".png"),
                                                                     QStringLiteral("-2.png"));
            saved = QGuiApplication::primaryScreen()->grabWindow(0).toImage().save(name) && saved;
            box->close();
        });
        ask.start(1500);
        const QString folder = QFileInfo(dir + QStringLiteral("/camera.cam")).absoluteFilePath();
        SaveLensAndOrientations(&window, *window.calibration(), window.fittedPhotos(), folder,
                                nullptr);
        return saved ? 0 : 1;
    }
    // Let the window paint what it shows.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // On a display, its pixels as the screen shows them; offscreen, as the window paints.
    QImage picture = QGuiApplication::platformName() == QStringLiteral("xcb")
                         ? window.screen()->grabWindow(window.winId()).toImage()
                         : window.grab().toImage();
    if (width > 0) {
        // For the guide: smaller, in a palette of 256 colours.
        picture = picture.scaledToWidth(width, Qt::SmoothTransformation)
                      .convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    }
    return picture.save(out) ? 0 : 1;
}

// The calibration window with a camera known: the calibration of a grid of the given files,
// then the field check behind the red warning on its thread.
int Tilt(const QStringList& a) {
    TAlfaKalibr_Form form;
    form.show();
    QCoreApplication::processEvents();
    form.sceneFileName = a[0];
    form.imageFileName = a[1];
    form.Edit5->setText(a[2]);
    form.Edit3->setText(a[3]);
    form.Edit6->setText(a[4]);
    form.Edit7->setText(a[5]);
    const double fx = a[6].toDouble();
    form.TakeCalibratedCamera(Camera::Centred(a[4].toDouble(), a[5].toDouble(), fx, fx));
    StallMeter stalls;
    stalls.Start();
    QElapsedTimer clock;
    clock.start();
    form.N4->trigger();
    const double command = clock.nsecsElapsed() / 1e9;
    QEventLoop loop;
    QObject::connect(&form, &TAlfaKalibr_Form::tiltChecked, &loop, &QEventLoop::quit);
    if (form.tiltChecking())
        loop.exec();
    const double warned = clock.nsecsElapsed() / 1e9;
    stalls.Stop();
    std::printf("{\"command_s\": %.3f, \"warning_s\": %.3f, \"warning\": %s, \"stall_ms\": %.1f}\n",
                command, warned, form.TiltWarning->isHidden() ? "false" : "true",
                stalls.LongestMs());
    return 0;
}

// Four small renders through the window, as ctest's quick check.
void Small(benchmark::State& state) {
    const QString dir = bench::WorkFolder() + QStringLiteral("/camera-window-small");
    if (!QFileInfo::exists(dir + QStringLiteral("/04.jpg")))
        Write(dir, 4, 800, 600);
    const QStringList files = Photographs(dir, QString());
    for (auto _ : state) {
        TCameraForm window;
        SetBoard(window, 9, 6);
        const double seconds = AddAndWait(window, files);
        state.SetIterationTime(seconds);
        if (!window.calibration())
            state.SkipWithError("no camera");
    }
}
BENCHMARK(Small)->Name("CameraWindow/small")->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

// --- Where the time of the window's camera goes ------------------------------------------

double Since(const QElapsedTimer& clock) {
    return clock.nsecsElapsed() / 1e9;
}

// The stages of one fit as the window's fit thread runs them, one after the other on this
// thread: the fit, the photographs' information (the covariance), the trust judged from it,
// the uncertainty map, the cross-validation; printed as JSON members after `name`.
void PrintFitStages(const char* name, const std::vector<PhotoDetection>& photos,
                    const std::vector<bool>& leftOut) {
    QElapsedTimer clock;
    clock.start();
    const CameraCalibration fit = CalibrateFromPhotos(photos, leftOut);
    const double fitS = Since(clock);
    const std::vector<BoardPhoto> input = BoardPhotosOf(photos, leftOut);
    clock.restart();
    const CameraInformation information = InformationOf(input, fit);
    const double covarianceS = Since(clock);
    clock.restart();
    JudgeTrust(information);
    const double trustS = Since(clock);
    clock.restart();
    const ProjectionUncertainty map = UncertaintyOf(input, fit, information);
    const double mapS = Since(clock);
    clock.restart();
    CameraCalibrationOptions options;
    options.selection = fit.selection;
    CrossValidate(input, fit, map, options);
    const double crossS = Since(clock);
    // The whole assessment as the fit thread runs it, for what the stages leave out.
    clock.restart();
    AssessCamera(photos, fit, leftOut);
    const double assessS = Since(clock);
    std::printf(", \"%s\": {\"fit_s\": %.3f, \"covariance_s\": %.3f, \"trust_s\": %.3f, "
                "\"map_s\": %.3f, \"cross_validation_s\": %.3f, \"assessment_s\": %.3f}",
                name, fitS, covarianceS, trustS, mapS, crossS, assessS);
}

// The window on the photographs of DIR: from the adding to the camera with its map and
// cross-validation on screen (the searches' end between), then a refit after the first
// photograph's check box is cleared as a user clears it; then the stages of both fits
// again without the window.
int Stages(const QString& dir, int columns, int rows, const QString& pattern) {
    const QStringList files = Photographs(dir, pattern);
    TCameraForm window;
    SetBoard(window, columns, rows);
    window.show();
    QCoreApplication::processEvents();
    QElapsedTimer clock;
    double searched = 0.0;
    QObject::connect(&window, &TCameraForm::searchFinished,
                     [&] { searched = clock.nsecsElapsed() / 1e9; });
    clock.start();
    const double total = AddAndWait(window, files);
    if (!window.calibration() || !window.session().assessment()) {
        std::printf("{\"error\": \"%s\"}\n", qPrintable(window.fitFailure()));
        return 1;
    }
    // The refit: the first photograph's check box cleared.
    QEventLoop loop;
    QObject::connect(&window, &TCameraForm::fitFinished, &loop, [&] {
        if (!window.fitting())
            loop.quit();
    });
    clock.restart();
    window.PhotoList->item(0, TCameraForm::NameColumn)->setCheckState(Qt::Unchecked);
    if (window.fitting())
        loop.exec();
    const double refit = Since(clock);
    const bool refitted = window.calibration().has_value() && window.photos()[0].leftOut;

    std::vector<PhotoDetection> photos;
    for (const auto& photo : window.photos())
        photos.push_back(photo.detection);
    std::printf("{\"photos\": %lld, \"used\": %d, \"search_s\": %.3f, \"camera_s\": %.3f, "
                "\"refit_s\": %.3f, \"refitted\": %s",
                qlonglong(files.size()), window.calibration()->used, searched, total, refit,
                refitted ? "true" : "false");
    PrintFitStages("all", photos, {});
    std::vector<bool> leftOut(photos.size(), false);
    leftOut[0] = true;
    PrintFitStages("one_left_out", photos, leftOut);
    std::printf("}\n");
    return 0;
}

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "write") == 0)
        return Write(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::atoi(argv[3]) : 20,
                     argc > 5 ? std::atoi(argv[4]) : 6000, argc > 5 ? std::atoi(argv[5]) : 4000);
    if (argc > 4 && std::strcmp(argv[1], "serial") == 0)
        return Serial(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                      argc > 5 ? QString::fromLocal8Bit(argv[5]) : QString());
    if (argc > 8 && std::strcmp(argv[1], "tilt") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        VrmaApplication app(argc, argv);
        QStringList rest;
        for (int k = 2; k < 9; ++k)
            rest << QString::fromLocal8Bit(argv[k]);
        return Tilt(rest);
    }
    if (argc > 4 && std::strcmp(argv[1], "stages") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        VrmaApplication app(argc, argv);
        InitApplication(app);
        return Stages(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                      argc > 5 ? QString::fromLocal8Bit(argv[5]) : QString());
    }
    if (argc > 4 && (std::strcmp(argv[1], "measure") == 0 || std::strcmp(argv[1], "shot") == 0)) {
        // The pictures are taken on a display when there is one (xvfb-run).
        const bool display =
            std::strcmp(argv[1], "shot") == 0 && !qEnvironmentVariableIsEmpty("DISPLAY");
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !display)
            qputenv("QT_QPA_PLATFORM", "offscreen");
        VrmaApplication app(argc, argv);
        InitApplication(app); // the title, Qt's texts in Russian, the decimal separator
        if (std::strcmp(argv[1], "measure") == 0)
            return Measure(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                           argc > 5 ? QString::fromLocal8Bit(argv[5]) : QString());
        if (argc > 5)
            return Shot(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                        QString::fromLocal8Bit(argv[5]), argc > 6 ? std::atoi(argv[6]) : 0,
                        argc > 7 ? QString::fromLocal8Bit(argv[7]) : QString(),
                        argc > 8 ? std::atoi(argv[8]) : 0);
    }
    return vrma::bench::RunBenchmarks(argc, argv, "CameraWindow/small");
}
