// The calibration command end to end on a large grid: two coordinate files of NC * NR
// lines, read, computed, listed and plotted through the calibration window, with the
// window shown and its pending events (list layout, painting) processed.
// Usage: vrma_bench_calibration [columns] [rows] [runs]
#include "app/Alfa_form.h"
#include "calib/ScaleRatio.h"
#include "calib/ScaleRatioLines.h"
#include "calib/ScaleRatioPlot.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/ImageControl.h"
#include "platform/Locale.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Answers every message with OK and prints it: a benchmark has no one to click.
class PrintingHost : public vrma::DialogHost {
public:
    int messages = 0;
    int messageBox(QWidget*, const QString& text, const QString&, unsigned) override {
        ++messages;
        std::printf("message: %s\n", qPrintable(text));
        return vrma::IDOK;
    }
    void showMessage(const QString& text) override { messageBox(nullptr, text, {}, 0); }
    bool execute(vrma::FileDialog&) override { return false; }
    int execModal(QWidget&) override { return 0; }
    void help(QWidget*, const QString&, unsigned, quintptr) override {}
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vrma::SetDecimalSeparator(QLatin1Char('.'));
    const int nc = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int nr = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;

    // A camera with a slightly non-square pixel and a little distortion over a grid
    // whose points wander a little: every ratio is near 1.0023 and none is the same.
    QTemporaryDir folder;
    const QString sceneFile = QDir(folder.path()).absoluteFilePath(QStringLiteral("scene.crd"));
    const QString imageFile = QDir(folder.path()).absoluteFilePath(QStringLiteral("image.crd"));
    {
        QStringList scene;
        QStringList image;
        scene.reserve(qsizetype(nc) * nr);
        image.reserve(qsizetype(nc) * nr);
        for (int i = 0; i < nc; ++i) {
            for (int j = 0; j < nr; ++j) {
                const double x = 2.0 * i + 0.01 * std::sin(0.7 * i + 1.3 * j);
                const double y = 2.0 * j + 0.01 * std::cos(1.1 * i - 0.4 * j);
                const double r2 = (x * x + y * y) * 1e-7;
                scene << QString::number(x, 'f', 4) + QStringLiteral(" ; ") +
                             QString::number(y, 'f', 4);
                image << QString::number(5.0 * x * (1 + r2), 'f', 3) + QStringLiteral(" ; ") +
                             QString::number(5.0115 * y * (1 + r2), 'f', 3);
            }
        }
        vrma::WriteTextLines(sceneFile, scene);
        vrma::WriteTextLines(imageFile, image);
    }

    PrintingHost host;
    vrma::SetDialogHost(&host);
    const std::unique_ptr<vrma::TAlfaKalibr_Form> form = vrma::CreateMainWindow();
    form->show();
    QApplication::processEvents();
    form->sceneFileName = sceneFile;
    form->imageFileName = imageFile;
    form->Edit5->setText(QString::number(nc));
    form->Edit3->setText(QString::number(nr));

    std::printf("grid %d x %d, %d runs\n", nc, nr, runs);
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        form->N4Click(nullptr);
        QApplication::processEvents();
        std::printf("end to end (read, compute, list, plot, events): %8.1f ms, %lld lines, "
                    "coefficient %s\n",
                    Milliseconds(start), static_cast<long long>(form->ListBoxLines().size()),
                    qPrintable(form->Edit8->text()));
    }

    // The parts on their own, on the points the window read last.
    auto start = Clock::now();
    const vrma::ScaleRatioRun result =
        vrma::RunScaleRatio(nc, nr, *form->scenePoints, *form->imagePoints);
    std::printf("  computation:          %8.1f ms\n", Milliseconds(start));
    {
        std::vector<vrma::GridPoint> scene(size_t(nc) * size_t(nr));
        std::vector<vrma::GridPoint> image(scene.size());
        for (int k = 0; k < int(scene.size()); ++k) {
            scene[size_t(k)] = {form->scenePoints->Get(k)->X, form->scenePoints->Get(k)->Y};
            image[size_t(k)] = {form->imagePoints->Get(k)->X, form->imagePoints->Get(k)->Y};
        }
        start = Clock::now();
        const vrma::ScaleRatioRun again = vrma::RunScaleRatio(nc, nr, scene, image);
        std::printf("    of which on tables: %8.1f ms (%s)\n", Milliseconds(start),
                    again.ratios == result.ratios ? "same ratios" : "DIFFERENT");
    }
    start = Clock::now();
    const QStringList lines = vrma::ScaleRatioListLines(result);
    std::printf("  list lines:           %8.1f ms\n", Milliseconds(start));
    start = Clock::now();
    form->SetListBoxLines(lines);
    QApplication::processEvents();
    std::printf("  list box:             %8.1f ms\n", Milliseconds(start));
    start = Clock::now();
    vrma::DrawScaleRatioPlot(form->Image1->Picture(), result);
    std::printf("  plot:                 %8.1f ms\n", Milliseconds(start));
    start = Clock::now();
    vrma::ReadPointFile(sceneFile, form->scenePoints.get());
    vrma::ReadPointFile(imageFile, form->imagePoints.get());
    std::printf("  reading both files:   %8.1f ms\n", Milliseconds(start));

    vrma::SetDialogHost(nullptr);
    return host.messages == 0 ? 0 : 1;
}
