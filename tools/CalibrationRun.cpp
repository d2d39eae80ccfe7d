#include "tools/CalibrationRun.h"

#include "calib/FieldCheck.h"
#include "calib/FieldViews.h"
#include "data/Errors.h"
#include "data/ExportFiles.h"
#include "data/FileNames.h"
#include "data/Locale.h"
#include "data/Messages.h"
#include "data/PlanePoint.h"
#include "data/PointScanner.h"
#include "data/SeparatorCheck.h"
#include "data/TextFile.h"
#include "drawing/FieldCheckVerdict.h"
#include "drawing/PdfMemory.h"
#include "drawing/ScaleRatioCommand.h"
#include "drawing/ScaleRatioLines.h"
#include "drawing/ScaleRatioPlot.h"
#include "drawing/ScaleRatioReport.h"
#include "tools/CommandLine.h"
#include "tools/FieldCheckJson.h"

#include <QDateTime>
#include <cstdio>
#include <vector>

namespace vrma {

// After the reader's message: when the file that failed (the scene file, else the image
// file) stopped at a line whose numbers are written with the other decimal separator, the
// user is told so, since the message itself names neither the file nor the reason.
void ExplainReadFailure(const QString& sceneFile, const QString& imageFile) {
    for (const QString& file : {sceneFile, imageFile}) {
        const SeparatorCheck check = CheckDecimalSeparator(file);
        if (check.reads)
            continue;
        if (check.otherSeparator.isNull())
            return;
        const QString other(check.otherSeparator);
        const QString inUse(DecimalSeparator());
        Print(stderr, QStringLiteral("Файл «%1», строка %2: числа записаны с разделителем дробной "
                                     "части «%3», а программа читает их с «%4».")
                          .arg(file)
                          .arg(check.failedLine)
                          .arg(other, inUse));
        Print(stderr, QStringLiteral("Программа не переводит «%1» в «%2»: задайте "
                                     "--decimal-separator %1 или возьмите файлы, записанные с "
                                     "«%2».")
                          .arg(other, inUse));
        return;
    }
}

namespace {

// The points of a coordinate file's bytes, read as the reader reads the file.
void ReadPointBytes(QByteArray bytes, VT_Points* points) {
    const ByteSyntax syntax = SyntaxFor(DecimalSeparator());
    Translate(bytes.data(), std::size_t(bytes.size()), syntax);
    ReadPointLines(bytes.constData(), bytes.constData() + bytes.size(), syntax, points);
}

// The calibration's steps on a measured photograph's points (RunScaleRatioCommand's, but for the
// reading of the files).
ScaleRatioOutcome CalibrateMeasured(const CalibrationRequest& request,
                                    const MeasuredFiles& measured, VT_Points& scene,
                                    VT_Points& image) {
    ScaleRatioOutcome result;
    const std::optional<qint32> nc = ParseInteger(request.columns);
    const std::optional<qint32> nr = ParseInteger(request.rows);
    if (!nc || !nr)
        return result;
    result.columns = *nc;
    result.rows = *nr;
    ReadPointBytes(measured.scene, &scene);
    ReadPointBytes(measured.image, &image);
    const qint64 expected = GridPointCount(*nc, *nr);
    if (scene.Count() != expected || image.Count() != expected) {
        result.status = ScaleRatioStatus::CountMismatch;
        return result;
    }
    PlottedScaleRatio plotted = RunPlottedScaleRatio(*nc, *nr, scene, image);
    result.run = std::move(plotted.run);
    result.plot = std::move(plotted.plot);
    result.status =
        result.run.complete() ? ScaleRatioStatus::Done : ScaleRatioStatus::CalculationFailed;
    return result;
}

// The export's files: always a new table, and the camera file at the name given, which
// names the table by its full path. Both texts are encoded before anything is written: one
// that the code page cannot hold writes no file. Adds the lines that tell what is written.
int AddExport(const CalibrationRequest& request, double coefficient, std::vector<OutputFile>& files,
              QStringList& written) {
    if (!request.table)
        return kDone;
    QString encoding = *request.table;
    try {
        files.push_back({*request.table, EncodeTextLines(NewCorrectionTableLines(
                                             coefficient, request.width, request.height))});
        written << messages::WrittenTableLine(AbsoluteFileName(*request.table));
        if (request.camera) {
            encoding = *request.camera;
            files.push_back({*request.camera,
                             EncodeTextLines(CameraFileLines(request.width, request.height,
                                                             AbsoluteFileName(*request.table)))});
            written << messages::WrittenCameraLine(AbsoluteFileName(*request.camera));
        }
    } catch (const EncodingError& error) {
        return Fail(kWrite,
                    QStringLiteral("%1: %2").arg(encoding, QString::fromUtf8(error.what())));
    }
    return kDone;
}

// What the geometry of the field came to: the check, or why there is none.
struct FieldCheckOutcome {
    std::optional<FieldCheck> check;
    QString failure;
};

// The geometry of the field: the run's photograph and the further ones. It is checked
// when asked for, and for the report when the image size allows it. kRead when a view
// cannot be read (its reader has told why).
int CheckFieldGeometry(const CalibrationRequest& request, const ScaleRatioOutcome& calibration,
                       const VT_Points& scene, const VT_Points& image, FieldCheckOutcome& out) {
    if (!request.fieldCheck && !(request.report && request.sizeKnown()))
        return kDone;
    const std::vector<PlanePoint> scenePoints = PlanePoints(scene);
    const std::vector<PlanePoint> imagePoints = PlanePoints(image);
    FieldCheckInput input;
    input.scene = scenePoints;
    input.image = imagePoints;
    input.width = *request.widthPx();
    input.height = *request.heightPx();
    input.focal = request.focal;
    input.coefficient = calibration.run.coefficient;
    input.sd = calibration.run.sd;
    input.n = qint64(calibration.run.ratios.size());
    std::vector<FieldViewFiles> files;
    for (const QStringList& view : request.views)
        files.push_back({view[0], view[1]});
    FieldViewsRead read = ReadFieldViews(files);
    if (read.failed) {
        ExplainReadFailure(files[*read.failed].scene, files[*read.failed].image);
        return kRead;
    }
    input.views = std::move(read.views);
    try {
        out.check = CheckField(input);
    } catch (const CalcError& error) {
        out.failure = QString::fromUtf8(error.what());
    }
    return kDone;
}

// The report, painted after the export's files are made: it tells what they are.
int AddReport(const CalibrationRequest& request, const ScaleRatioOutcome& calibration,
              const QStringList& written, const FieldCheckOutcome& field,
              std::vector<OutputFile>& files) {
    if (!request.report)
        return kDone;
    ScaleRatioReport report = MakeScaleRatioReport(
        AbsoluteFileName(request.sceneFile), AbsoluteFileName(request.imageFile),
        calibration.columns, calibration.rows, request.width, request.height, calibration.run,
        QDateTime::currentDateTime());
    report.written = written;
    if (field.check)
        report.sections.push_back(FieldCheckSection(*field.check));
    else if (!field.failure.isEmpty())
        report.sections.push_back(FieldCheckFailedSection(field.failure));
    QByteArray pdf;
    if (const int code = MakeReport(
            *request.report, [&report] { return ScaleRatioReportPdf(report); }, PdfItems(report),
            pdf);
        code != kDone)
        return code;
    files.push_back({*request.report, pdf});
    return kDone;
}

// The field check asked for: its failure (kFieldCheck: the JSON is not written), its
// warning, and its JSON among the files.
int FinishFieldCheck(const CalibrationRequest& request, const FieldCheckOutcome& field,
                     std::vector<OutputFile>& files) {
    if (!request.fieldCheck)
        return kDone;
    if (!field.check)
        return Fail(kFieldCheck, field.failure);
    if (field.check->warning || field.check->referenceDoubtful)
        Print(stderr, FieldCheckWarning(*field.check));
    if (request.json)
        files.push_back({*request.json, FieldCheckJson(*field.check)});
    return kDone;
}

} // namespace

// The calibration window's command, step for step (the reader prints its own message),
// then the figures, and every file ordered written at the end as one set: the measured
// photograph's coordinate files, the table and the camera file, the report, the JSON.
int Calibrate(const CalibrationRequest& request, const MeasuredFiles* measured) {
    VT_Points scene(1);
    VT_Points image(1);
    const ScaleRatioOutcome calibration =
        measured ? CalibrateMeasured(request, *measured, scene, image)
                 : RunScaleRatioCommand(request.columns, request.rows, request.sceneFile,
                                        request.imageFile, scene, image);
    switch (calibration.status) {
    case ScaleRatioStatus::BadGridSize:
        return Fail(kCalculation, ScaleRatioMessage(calibration.status));
    case ScaleRatioStatus::ReadFailed:
        ExplainReadFailure(request.sceneFile, request.imageFile);
        return kRead;
    case ScaleRatioStatus::CountMismatch:
        return Fail(kCount, ScaleRatioMessage(calibration.status));
    case ScaleRatioStatus::CalculationFailed:
    case ScaleRatioStatus::Done:
        break;
    }
    for (const QString& line : ScaleRatioListLines(calibration.run))
        Print(stdout, line);
    std::fflush(stdout);
    if (!calibration.done())
        return Fail(kCalculation, ScaleRatioMessage(calibration.status));
    FieldCheckOutcome field;
    if (const int code = CheckFieldGeometry(request, calibration, scene, image, field);
        code != kDone)
        return code;
    std::vector<OutputFile> files;
    if (measured) {
        files.push_back({measured->sceneOut, measured->scene});
        files.push_back({measured->imageOut, measured->image});
    }
    QStringList written;
    int code = AddExport(request, calibration.run.coefficient, files, written);
    if (code == kDone)
        code = AddReport(request, calibration, written, field, files);
    if (code != kDone)
        return code;
    const int checked = FinishFieldCheck(request, field, files);
    code = WriteOutputs(files);
    return code != kDone ? code : checked;
}

} // namespace vrma
