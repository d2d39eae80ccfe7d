#include "app/CameraSaving.h"

#include "app/Alfa_form.h"
#include "app/CameraWindow.h"
#include "app/NodeAnalysisWindow.h"
#include "data/Numbers.h"
#include "drawing/CameraReport.h"
#include "drawing/PdfMemory.h"

#include "calib/CameraExports.h"
#include "data/CameraMessages.h"
#include "data/Dialogs.h"
#include "data/FileNames.h"
#include "data/Messages.h"
#include "data/OutputFiles.h"
#include "data/TextFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <vector>

namespace vrma {

namespace {

bool Asked(QWidget* owner, const QString& question) {
    return MessageBoxA(owner, question, messages::WarningCaption(), MB_YESNO) == IDYES;
}

void SaveLens(QWidget* owner, const CameraCalibration& fit, const QFileInfo& camera,
              QStringList* written) {
    const QString yaml = camera.dir().filePath(camera.completeBaseName() + QStringLiteral(".yml"));
    if (!Asked(owner, messages::SaveLensYamlQuestion(yaml)))
        return;
    if (QFileInfo::exists(yaml) && !Asked(owner, messages::Overwrite()))
        return;
    WriteFileAtomically(yaml, OpenCvCameraYaml(fit));
    if (written)
        *written << QStringLiteral("Камера в YAML OpenCV: %1").arg(yaml);
}

void SaveOrientations(QWidget* owner, const CameraCalibration& fit,
                      std::span<const PhotoDetection> photos, const QFileInfo& camera,
                      QStringList* written) {
    std::vector<size_t> used;
    for (size_t k = 0; k < photos.size() && k < fit.photos.size(); ++k)
        if (fit.photos[k].use == PhotoUse::Used)
            used.push_back(k);
    if (used.empty() || !Asked(owner, messages::SaveOrientationsQuestion(qsizetype(used.size()))))
        return;
    // The folder is asked, the camera file's proposed; a cancel writes nothing.
    QString folder = camera.absolutePath();
    if (!SelectFolder(owner, messages::OrientationFolderCaption(), folder))
        return;
    std::vector<OutputFile> files;
    qsizetype existing = 0;
    for (const size_t k : used) {
        const QString name = OrientationFileName(folder, photos[k].file);
        existing += QFileInfo::exists(name) ? 1 : 0;
        files.push_back({name, EncodeTextLines(OrientationFileLines(fit.photos[k].pose))});
    }
    if (existing > 0 && !Asked(owner, messages::OverwriteOrientations(existing)))
        return;
    WriteFileSet(files);
    if (written)
        *written << messages::WrittenOrientationsLine(qsizetype(files.size()), folder);
}

} // namespace

void SaveLensAndOrientations(QWidget* owner, const CameraCalibration& fit,
                             std::span<const PhotoDetection> photos, const QString& cameraFile,
                             QStringList* written) {
    const QFileInfo camera(cameraFile);
    SaveLens(owner, fit, camera, written);
    SaveOrientations(owner, fit, photos, camera, written);
}

// --- The camera window's saves ------------------------------------------------------------

bool TCameraForm::SaveButtonClick(QObject* /*sender*/) {
    if (!calibration() || searching() || fitting() || !onSave)
        return false;
    ResultsToSave results;
    results.coefficient = calibration()->ratio;
    results.widthText = FormatInteger(qint64(calibration()->camera.width));
    results.heightText = FormatInteger(qint64(calibration()->camera.height));
    results.camera = calibration()->camera;
    for (const Photo& photo : photos())
        results.inputs.push_back({QStringLiteral("снимок"), photo.file});
    results.written = &written_;
    // The camera and its photographs as fitted: the export's editor runs modally meanwhile.
    const CameraCalibration fit = *calibration();
    const std::vector<PhotoDetection> fitted = fittedPhotos();
    QString cameraFile;
    results.cameraFile = &cameraFile;
    onSave(results);
    if (!cameraFile.isEmpty())
        SaveLensAndOrientations(this, fit, fitted, cameraFile, &written_);
    return true;
}

bool TCameraForm::YamlButtonClick(QObject* /*sender*/) {
    if (!calibration() || searching() || fitting())
        return false;
    std::vector<NamedFile> inputs;
    for (const Photo& photo : photos())
        inputs.push_back({QStringLiteral("снимок"), photo.file});
    const CameraCalibration fit = *calibration();
    return SaveThroughDialog(
        this, SaveYamlDialog, [&fit] { return OpenCvCameraYaml(fit); }, inputs);
}

bool TCameraForm::ReportButtonClick(QObject* /*sender*/) {
    if (!calibration() || !board() || searching() || fitting())
        return false;
    CameraReport report;
    report.board = *board();
    report.date = QDateTime::currentDateTime();
    report.photos = fittedPhotos();
    report.calibration = *calibration();
    report.assessment = session_.assessment();
    report.written = written_;
    std::vector<NamedFile> inputs;
    for (const Photo& photo : photos())
        inputs.push_back({QStringLiteral("снимок"), photo.file});
    return SaveThroughDialog(
        this, SaveReportDialog,
        [&report] { return PaintPdf([&] { return CameraReportPdf(report); }, PdfItems(report)); },
        inputs);
}
bool TCameraForm::RosButtonClick(QObject* /*sender*/) {
    if (!calibration() || searching() || fitting())
        return false;
    std::vector<NamedFile> inputs;
    for (const Photo& photo : photos())
        inputs.push_back({QStringLiteral("снимок"), photo.file});
    const Camera camera = calibration()->camera;
    return SaveThroughDialog(
        this, SaveRosDialog,
        [&camera] { return RosCameraInfoYaml(camera, QStringLiteral("camera")); }, inputs);
}

QImage UndistortedPicture(const QImage& picture, const QSize& full, const Camera& camera) {
    if (picture.isNull() || !full.isValid() || full.width() <= 0)
        return picture;
    // The camera of the picture read reduced: pixel centres scale about the first pixel's
    // outer corner.
    const double scale = double(picture.width()) / double(full.width());
    Camera reduced = camera;
    reduced[CameraParameter::Fx] *= scale;
    reduced[CameraParameter::Fy] *= scale;
    reduced[CameraParameter::Cx] = (camera.cx() + 0.5) * scale - 0.5;
    reduced[CameraParameter::Cy] = (camera.cy() + 0.5) * scale - 0.5;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const cv::Mat in(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                     size_t(rgb.bytesPerLine()));
    const cv::Mat out = UndistortedImage(in, reduced);
    return QImage(out.data, out.cols, out.rows, int(out.step), QImage::Format_RGB888).copy();
}

} // namespace vrma
