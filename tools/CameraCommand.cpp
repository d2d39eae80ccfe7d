// vrma-calib --photo A --photo B ...: a camera calibrated from several photographs.
#include "tools/CameraCommand.h"

#include "calib/ExportFiles.h"
#include "data/Errors.h"
#include "data/Locale.h"
#include "data/Numbers.h"
#include "data/TextFile.h"
#include "drawing/CalibrationReport.h"
#include "tools/BoardOptions.h"
#include "tools/CommandLine.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <optional>
#include <thread>

namespace vrma {

namespace {

const char kCameraHelp[] = R"(
Калибровка камеры по нескольким снимкам:
  vrma-calib --photo СНИМОК1 --photo СНИМОК2 [--photo ...] --target chessboard|dots
             --columns NC --rows NR --pitch P [--pitch-y PY]
             [--model opencv|radial|no-distortion|fixed-centre]
             [--json ФАЙЛ] [--camera-yaml ФАЙЛ.yml] [--table ТАБЛИЦА] [--camera КАМЕРА]
             [--report ОТЧЁТ.pdf]
             [--decimal-separator , или .]

  С двумя и более --photo программа калибрует камеру по всем снимкам вместе. На каждом
  снимке она находит поле из NC×NR мишеней (столбцы и строки — как поле напечатано; на
  снимке поле может быть повёрнуто как угодно и наклонено), затем подбирает фокусные
  расстояния fx и fy, главную точку (cx, cy) и дисторсию объектива (k1, k2, p1, p2, k3,
  как их определяет OpenCV) и выводит в стандартный вывод сводку: для каждого снимка —
  найдено ли поле, на сколько градусов оно повёрнуто, сколько мишеней и
  среднеквадратическая ошибка (СКО) репроекции в пикселях; затем параметры камеры со
  стандартными ошибками, fy/fx и СКО по всем точкам. Снимок, СКО которого больше трёх
  медиан СКО снимков, в калибровку не берётся (в сводке он помечен), и расчёт
  повторяется без него. Все снимки должны быть одного размера; размер изображения
  берётся с них.
  --model МОДЕЛЬ    что уточняется: opencv (по умолчанию: fx, fy, cx, cy, k1, k2, p1, p2,
                    k3 — как calibrateCamera в OpenCV), radial (без p1 и p2),
                    no-distortion (fx, fy, cx, cy, без дисторсии), fixed-centre (главная
                    точка в центре кадра, остальное — как opencv)
  --json ФАЙЛ       записать результаты в объект JSON (UTF-8): photos — снимки в заданном
                    порядке (file, found, used, turned_deg, points, rms_px), camera
                    (width, height, fx, fy, cx, cy, k1, k2, p1, p2, k3), camera_se — их
                    стандартные ошибки (null для того, что не уточнялось), ratio (fy/fx),
                    ratio_se, rms_px; неизвестное значение — null
  --camera-yaml ФАЙЛ
                    записать камеру в YAML OpenCV (cv::FileStorage): camera_matrix,
                    distortion_coefficients, image_width, image_height,
                    avg_reprojection_error; его читает OpenCV (C++ и Python)
  --table ФАЙЛ      записать новую таблицу коррекции с fy/fx (четыре знака после
                    разделителя) так же, как её пишет окно, с размером снимков
  --camera ФАЙЛ     записать файл внутренней геометрии камеры ровно под этим именем:
                    фокусное расстояние (fx) и главная точка (cx, cy) в пикселях, в тех же
                    координатах, что файл изображения (центр первого пикселя — 0 ; 0);
                    требует --table
  --report ФАЙЛ     записать отчёт о калибровке камеры в PDF (A4): снимки (имена,
                    миниатюры, найдено ли поле, поворот, мишени, СКО), fy/fx, вывод (хватает
                    ли снимков, покрыты ли углы кадра, какие снимки не взяты и почему),
                    диаграмма СКО по снимкам, покрытие кадра мишенями с невязками, параметры
                    камеры со стандартными ошибками и записанные файлы; пишется последним
  --scene, --image, --width, --height, --focal, --view, --scene-out и --image-out с
  несколькими снимками не задаются.
  Коды завершения: 0 — камера откалибрована, заказанные файлы записаны; 1 — ошибка в
  командной строке; 2 — снимок не читается (сообщение называет его); 5 — не удалось
  записать файл; 6 — поле найдено меньше чем на трёх снимках; 7 — камеру по снимкам не
  найти (снимки разного размера, меньше трёх пригодных снимков, снимки не определяют
  фокусные расстояния). При кодах 1, 2, 6 и 7 файлы не записываются.

  Как снимать для калибровки камеры: 10–20 снимков поля, наклонённого на 20–40° в разные
  стороны; поле должно побывать во всех частях кадра, в том числе в углах; поворачивать
  его можно как угодно. Фокус и масштаб объектива между снимками не меняйте.
)";

// The options that take a value. Those of the other calls are known too, so that they
// are refused by name.
const char* const kValueOptions[] = {"target",
                                     "columns",
                                     "rows",
                                     "pitch",
                                     "pitch-y",
                                     "marker",
                                     "dictionary",
                                     "model",
                                     "json",
                                     "camera-yaml",
                                     "table",
                                     "camera",
                                     "decimal-separator",
                                     "report",
                                     "scene",
                                     "image",
                                     "width",
                                     "height",
                                     "focal",
                                     "scene-out",
                                     "image-out"};
const char* const kOneOnly[] = {"scene", "image",     "width",    "height",
                                "focal", "scene-out", "image-out"};

// The models --model names.
std::optional<CameraSelection> ModelSelection(const QString& word) {
    if (word == QStringLiteral("opencv"))
        return CameraSelection::OpenCvDefault();
    if (word == QStringLiteral("radial"))
        return CameraSelection::RadialOnly();
    if (word == QStringLiteral("no-distortion"))
        return CameraSelection::NoDistortion();
    if (word == QStringLiteral("fixed-centre"))
        return CameraSelection::PrincipalPointFixed();
    return std::nullopt;
}

// Takes every "--photo FILE" (or "--photo=FILE") out of the arguments.
QStringList TakePhotos(QStringList& arguments) {
    QStringList photos;
    for (qsizetype k = 1; k < arguments.size();) {
        QString bare = arguments[k];
        if (!bare.startsWith(QLatin1Char('-')) || bare == QStringLiteral("--")) {
            ++k;
            continue;
        }
        while (bare.startsWith(QLatin1Char('-')))
            bare.remove(0, 1);
        if (bare == QStringLiteral("photo") && k + 1 < arguments.size()) {
            photos << arguments[k + 1];
            arguments.remove(k, 2);
        } else if (bare.startsWith(QStringLiteral("photo="))) {
            photos << bare.mid(6);
            arguments.remove(k);
        } else {
            ++k;
        }
    }
    return photos;
}

QString FullPath(const QString& name) {
    return QDir::cleanPath(QFileInfo(name).absoluteFilePath());
}

QString UseText(PhotoUse use) {
    switch (use) {
    case PhotoUse::Used:
        return QString();
    case PhotoUse::LeftOutRms:
        return QStringLiteral(" — не взят: СКО больше трёх медиан СКО снимков");
    case PhotoUse::LeftOutNoPose:
        return QStringLiteral(" — не взят: положение поля не определяется");
    case PhotoUse::LeftOutByUser:
        return QStringLiteral(" — не взят");
    case PhotoUse::NotFound:
        return QString();
    }
    return QString();
}

// The summary on standard output.
void PrintSummary(const QStringList& files, const std::vector<PhotoDetection>& detections,
                  const CameraCalibration& fit, const QString& model) {
    const auto found = std::count_if(detections.begin(), detections.end(),
                                     [](const PhotoDetection& d) { return d.found; });
    Print(stdout, QStringLiteral("Снимков: %1, поле найдено на %2, в калибровке %3.")
                      .arg(files.size())
                      .arg(found)
                      .arg(fit.used));
    for (qsizetype k = 0; k < files.size(); ++k) {
        const PhotoDetection& d = detections[size_t(k)];
        const PhotoFit& photo = fit.photos[size_t(k)];
        QString line = QStringLiteral("%1. %2: ").arg(k + 1).arg(QFileInfo(files[k]).fileName());
        if (!d.found) {
            line += QStringLiteral("поле не найдено. ") + d.reason;
        } else {
            line += QStringLiteral("поле повёрнуто на %1°, мишеней %2")
                        .arg(d.turn->degrees)
                        .arg(d.points());
            if (photo.rmsPx)
                line += QStringLiteral(", СКО %1 пикс.").arg(FormatFixed(*photo.rmsPx, 3));
            line += UseText(photo.use);
        }
        Print(stdout, line);
    }
    Print(stdout, QStringLiteral("Камера (модель %1), снимки %2 × %3 пикс.:")
                      .arg(model)
                      .arg(fit.camera.width)
                      .arg(fit.camera.height));
    for (CameraParameter p : kCameraParameters) {
        const bool lens = p >= CameraParameter::K1;
        const QString value = FormatFixed(fit.camera[p], lens ? 6 : 3);
        Print(stdout, fit.selection.Frees(p)
                          ? QStringLiteral("  %1 = %2 ± %3")
                                .arg(QLatin1String(CameraParameterName(p)), value,
                                     FormatFixed(fit.covariance.StandardError(p), lens ? 6 : 3))
                          : QStringLiteral("  %1 = %2 (не уточнялся)")
                                .arg(QLatin1String(CameraParameterName(p)), value));
    }
    Print(stdout, QStringLiteral("fy/fx = %1 ± %2")
                      .arg(FormatFixed(fit.ratio, 5), FormatFixed(fit.ratioSe, 5)));
    Print(stdout, QStringLiteral("СКО по всем точкам: %1 пикс.").arg(FormatFixed(fit.rmsPx, 3)));
}

// The photographs searched on as many threads as the machine has processors; the first
// that cannot be read, if any.
std::vector<PhotoDetection> DetectAll(const QStringList& files, const Board& board) {
    std::vector<PhotoDetection> detections(size_t(files.size()));
    std::atomic<qsizetype> next{0};
    std::exception_ptr failure;
    std::atomic<bool> failed{false};
    const auto work = [&] {
        for (qsizetype k = next++; k < files.size() && !failed; k = next++) {
            try {
                detections[size_t(k)] = DetectBoardInPhoto(files[k], board);
            } catch (...) {
                if (!failed.exchange(true))
                    failure = std::current_exception();
            }
        }
    };
    const unsigned threads =
        std::max(1U, std::min(std::thread::hardware_concurrency(), unsigned(files.size())));
    {
        // Joined however the block is left (a thread that cannot be started throws).
        std::vector<std::jthread> pool;
        for (unsigned t = 1; t < threads; ++t)
            pool.emplace_back(work);
        work();
    }
    if (failure)
        std::rethrow_exception(failure);
    return detections;
}

struct Outputs {
    std::optional<QString> json;
    std::optional<QString> yaml;
    std::optional<QString> report;
    std::optional<QString> table;
    std::optional<QString> camera;
};

// The files ordered, table and camera file encoded before anything is written.
int WriteOutputs(const Outputs& out, const QStringList& files,
                 const std::vector<PhotoDetection>& detections, const CameraCalibration& fit) {
    const QString width = FormatInteger(qint64(fit.camera.width));
    const QString height = FormatInteger(qint64(fit.camera.height));
    QString encoding;
    try {
        QByteArray tableBytes;
        QByteArray cameraBytes;
        if (out.table) {
            encoding = *out.table;
            tableBytes = EncodeTextLines(NewCorrectionTableLines(fit.ratio, width, height));
        }
        if (out.camera) {
            encoding = *out.camera;
            cameraBytes =
                EncodeTextLines(CameraFileLines(width, height, FullPath(*out.table), fit.camera));
        }
        encoding.clear();
        if (out.table)
            WriteFileAtomically(*out.table, tableBytes);
        if (out.camera)
            WriteFileAtomically(*out.camera, cameraBytes);
        if (out.yaml)
            WriteOpenCvCameraYaml(*out.yaml, fit);
        if (out.json)
            WriteFileAtomically(*out.json, CameraCalibrationJson(files, detections, fit));
    } catch (const EncodingError& error) {
        return Fail(kWrite,
                    QStringLiteral("%1: %2").arg(encoding, QString::fromUtf8(error.what())));
    } catch (const std::exception& error) {
        if (IsOutOfMemory(error))
            throw;
        return Fail(kWrite, QString::fromUtf8(error.what()));
    }
    return kDone;
}

// The report, after the other files: it tells what was written.
int WriteReport(const Outputs& out, const Board& board,
                const std::vector<PhotoDetection>& detections, const CameraCalibration& fit) {
    if (!out.report)
        return kDone;
    return WriteReportFile(*out.report, [&] {
        CameraReport report;
        report.board = board;
        report.date = QDateTime::currentDateTime();
        report.photos = detections;
        report.calibration = fit;
        if (out.table)
            report.written << WrittenTableLine(FullPath(*out.table));
        if (out.camera)
            report.written << WrittenCameraLine(FullPath(*out.camera));
        if (out.yaml)
            report.written << WrittenYamlLine(FullPath(*out.yaml));
        WriteCameraReport(*out.report, report);
    });
}

} // namespace

bool NamesSeveralPhotos(const QStringList& arguments) {
    QStringList rest = arguments;
    return TakePhotos(rest).size() > 1;
}

QByteArray CameraCalibrationJson(const QStringList& files,
                                 const std::vector<PhotoDetection>& detections,
                                 const CameraCalibration& fit) {
    const auto known = [](const std::optional<double>& v) {
        return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
    };
    QJsonArray photos;
    for (qsizetype k = 0; k < files.size(); ++k) {
        const PhotoDetection& d = detections[size_t(k)];
        const PhotoFit& photo = fit.photos[size_t(k)];
        QJsonObject entry;
        entry.insert(QStringLiteral("file"), files[k]);
        entry.insert(QStringLiteral("found"), d.found);
        entry.insert(QStringLiteral("used"), photo.use == PhotoUse::Used);
        entry.insert(QStringLiteral("turned_deg"),
                     d.turn ? QJsonValue(d.turn->degrees) : QJsonValue(QJsonValue::Null));
        entry.insert(QStringLiteral("points"), qint64(d.points()));
        entry.insert(QStringLiteral("rms_px"), known(photo.rmsPx));
        photos.append(entry);
    }
    QJsonObject camera;
    QJsonObject se;
    camera.insert(QStringLiteral("width"), int(fit.camera.width));
    camera.insert(QStringLiteral("height"), int(fit.camera.height));
    se.insert(QStringLiteral("width"), QJsonValue(QJsonValue::Null));
    se.insert(QStringLiteral("height"), QJsonValue(QJsonValue::Null));
    for (CameraParameter p : kCameraParameters) {
        const QString name = QString::fromLatin1(CameraParameterName(p));
        camera.insert(name, fit.camera[p]);
        se.insert(name, fit.selection.Frees(p) ? QJsonValue(fit.covariance.StandardError(p))
                                               : QJsonValue(QJsonValue::Null));
    }
    QJsonObject object;
    object.insert(QStringLiteral("photos"), photos);
    object.insert(QStringLiteral("camera"), camera);
    object.insert(QStringLiteral("camera_se"), se);
    object.insert(QStringLiteral("ratio"), fit.ratio);
    object.insert(QStringLiteral("ratio_se"), fit.ratioSe);
    object.insert(QStringLiteral("rms_px"), fit.rmsPx);
    QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    if (!text.endsWith('\n'))
        text += '\n';
    return text;
}

int RunCameraCommand(const QStringList& given) {
    QStringList arguments = given;
    const QStringList files = TakePhotos(arguments);
    CommandLine options(kValueOptions, true);
    if (const auto error = options.Parse(arguments))
        return CommandLineError(*error);
    if (options.help()) {
        std::fputs(kCameraHelp, stdout);
        return kDone;
    }
    for (const char* name : kOneOnly)
        if (options.has(name))
            return CommandLineError(
                QStringLiteral("Параметр --%1 с несколькими снимками (--photo) не задаётся")
                    .arg(QLatin1String(name)));
    if (const auto error = options.Missing({"target", "columns", "rows", "pitch"}))
        return CommandLineError(*error);
    if (const auto error = options.TakeDecimalSeparator())
        return CommandLineError(*error);
    Board board;
    if (const auto error = ReadBoardOptions(BoardOptionsOf(options), board))
        return CommandLineError(*error);
    const QString model = options.value("model", QStringLiteral("opencv"));
    const std::optional<CameraSelection> selection = ModelSelection(model);
    if (!selection)
        return CommandLineError(
            QStringLiteral("Модель камеры (--model) должна быть opencv, radial, no-distortion "
                           "или fixed-centre: %1")
                .arg(model));
    const Outputs out{options.given("json"), options.given("camera-yaml"), options.given("report"),
                      options.given("table"), options.given("camera")};
    if (out.camera && !out.table)
        return CommandLineError(
            QStringLiteral("Для файла камеры нужна и таблица коррекции (--table)"));
    // No file written over another, nor over a photograph (compared as files).
    std::vector<NamedFile> inputs;
    for (const QString& photo : files)
        inputs.push_back({QStringLiteral("--photo"), photo});
    std::vector<NamedFile> outputs;
    for (const auto& [option, name] :
         {std::pair{"--json", out.json}, std::pair{"--camera-yaml", out.yaml},
          std::pair{"--table", out.table}, std::pair{"--camera", out.camera},
          std::pair{"--report", out.report}})
        if (name)
            outputs.push_back({QString::fromLatin1(option), *name});
    if (const auto clash = FileClashMessage(inputs, outputs))
        return CommandLineError(*clash);

    std::vector<PhotoDetection> detections;
    try {
        detections = DetectAll(files, board);
    } catch (const std::exception& error) {
        if (IsOutOfMemory(error))
            return OutOfMemory();
        throw;
    }
    for (qsizetype k = 0; k < files.size(); ++k)
        if (!detections[size_t(k)].read)
            return Fail(kRead,
                        QStringLiteral("%1 (%2)").arg(detections[size_t(k)].reason, files[k]));
    const auto found = std::count_if(detections.begin(), detections.end(),
                                     [](const PhotoDetection& d) { return d.found; });
    if (found < 3) {
        for (qsizetype k = 0; k < files.size(); ++k)
            if (!detections[size_t(k)].found)
                Print(stderr, QStringLiteral("%1: %2").arg(files[k], detections[size_t(k)].reason));
        return Fail(kGridNotFound,
                    QStringLiteral("Поле найдено на %1 снимках из %2, а для калибровки камеры "
                                   "нужно не меньше трёх.")
                        .arg(found)
                        .arg(files.size()));
    }
    CameraCalibration fit;
    try {
        fit = CalibrateFromPhotos(detections, {}, *selection);
    } catch (const CalcError& error) {
        return Fail(kFieldCheck, QString::fromUtf8(error.what()));
    }
    PrintSummary(files, detections, fit, model);
    std::fflush(stdout);
    if (const int code = WriteOutputs(out, files, detections, fit); code != kDone)
        return code;
    return WriteReport(out, board, detections, fit);
}

const char* CameraCommandHelp() {
    return kCameraHelp;
}

} // namespace vrma
