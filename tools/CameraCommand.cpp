// vrma-calib --photo A --photo B ...: a camera calibrated from several photographs.
#include "tools/CameraCommand.h"

#include "calib/CameraCheck.h"
#include "calib/CameraExports.h"
#include "calib/ModelChoice.h"
#include "calib/Orientation.h"
#include "calib/PhotoHeader.h"
#include "calib/Photograph.h"
#include "calib/TargetDetection.h"
#include "data/CameraMessages.h"
#include "data/Errors.h"
#include "data/ExportFiles.h"
#include "data/FileNames.h"
#include "data/Locale.h"
#include "data/Messages.h"
#include "data/Numbers.h"
#include "data/SameContents.h"
#include "data/TextFile.h"
#include "drawing/CameraReport.h"
#include "drawing/CameraVerdict.h"
#include "drawing/PdfMemory.h"
#include "tools/BoardOptions.h"
#include "tools/CameraTrustJson.h"
#include "tools/CommandLine.h"

#include <QDateTime>
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
#include <span>
#include <thread>
#include <vector>

namespace vrma {

namespace {

const char kCameraHelp[] = R"(
Калибровка камеры по нескольким снимкам:
  vrma-calib --photo СНИМОК1 --photo СНИМОК2 [--photo ...] --target chessboard|dots
             --columns NC --rows NR --pitch P [--pitch-y PY]
             [--model auto|opencv|radial|no-distortion|fixed-centre|rational|fisheye]
             [--json ФАЙЛ] [--camera-yaml ФАЙЛ.yml] [--table ТАБЛИЦА] [--camera КАМЕРА]
             [--report ОТЧЁТ.pdf] [--orientation-folder ПАПКА] [--ros-yaml ФАЙЛ.yaml]
             [--undistort-folder ПАПКА] [--check КАМЕРА.yml]
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
  повторяется без него. Размер изображения — тот, что у большинства снимков; снимок
  другого размера в калибровку не берётся (в сводке он помечен). Снимок, заданный второй
  раз (те же байты, под тем же или другим именем), ищется и учитывается один раз; в
  сводке о нём сказано. Снимки просматриваются одновременно, сколько их помещается в
  памяти (не больше, чем процессоров); снимок, которому не хватило памяти рядом с
  другими, читается ещё раз один. Тег поворота EXIF не применяется: пиксели берутся
  так, как они записаны (оси датчика), и сводка об этом говорит; из многостраничного
  TIFF читается первая страница, о чём сводка тоже говорит.
  --model МОДЕЛЬ    что уточняется: auto (по умолчанию: самая простая из no-distortion,
                    radial, opencv и rational, которую подтверждают снимки: половины
                    снимков дают одну камеру, а лишние члены незначимы; если ни одну —
                    fisheye, когда его подтверждают; иначе та, что оставляет меньшую
                    ошибку; выбранная модель названа в выводе), opencv (fx, fy, cx, cy, k1, k2, p1, p2, k3 — как
                    calibrateCamera в OpenCV), radial (без p1 и p2), no-distortion (fx, fy,
                    cx, cy, без дисторсии), fixed-centre (главная точка в центре кадра,
                    остальное — как opencv), rational (как opencv и ещё k4, k5, k6 —
                    рациональная модель OpenCV, CALIB_RATIONAL_MODEL), fisheye («рыбий
                    глаз»: равнопромежуточная проекция с четырьмя членами k1, k2, k3, k4,
                    как у cv::fisheye; для объективов с полем зрения до 180° и шире)
  --json ФАЙЛ       записать результаты в объект JSON (UTF-8): photos — снимки в заданном
                    порядке (file, found, used, turned_deg, points, rms_px, reason —
                    почему не найден или не взят, same_as — снимок с теми же байтами,
                    заданный раньше), camera (width, height, fx, fy, cx, cy, k1, k2, p1,
                    p2, k3), camera_se — их стандартные ошибки (null для того, что не
                    уточнялось), model — модель, по которой уточнялась камера (opencv,
                    radial, no-distortion, fixed-centre, rational, fisheye; с auto —
                    выбранная), distortion_model — модель объектива, как в --camera-yaml
                    (у fisheye k1, k2, k3, k4 — члены cv::fisheye), ratio (fy/fx),
                    ratio_se, rms_px, reason; неизвестное значение — null. У каждого
                    снимка ещё pose — его положение относительно поля: rotation (вектор
                    поворота Родрига, радианы) и translation (как у OpenCV: из системы
                    поля в систему камеры), centre (центр проекции в системе поля); null
                    у снимка без положения. covariance — ковариационная матрица
                    параметров камеры: parameters (имена в порядке строк и столбцов) и
                    matrix (9×9, у rational 12×12, у fisheye 8×8; строки и столбцы
                    неуточнявшихся — нули). Пишется и тогда, когда камеру найти не
                    удалось (коды 2, 6, 7): camera — null, reason — почему
  --camera-yaml ФАЙЛ
                    записать камеру в YAML OpenCV (cv::FileStorage): camera_matrix,
                    distortion_model (plumb_bob: пять членов; rational_polynomial:
                    восемь; equidistant: четыре члена «рыбьего глаза», их читает
                    cv::fisheye), distortion_coefficients, image_width, image_height,
                    avg_reprojection_error; его читает OpenCV (C++ и Python)
  --orientation-folder ПАПКА
                    записать в существующую папку файл внешней геометрии (.ort) каждого
                    снимка, взятого в калибровку: имя снимка без расширения и «.ort»;
                    21 строка с комментариями (Windows-1251, CR LF), как их пишет
                    редактор данных. Система координат — поля: X = i·шаг, Y = j·шаг по Y,
                    Z = 0 на поле (оси сетки поля, правая тройка; камера, видящая оси поля
                    как напечатано, — при Z < 0). Строки: центр проекции (X, Y, Z), точка
                    визирования — где оптическая ось пересекает поле (X, Y), расстояние
                    до неё, два тройки углов в градусах и матрица A (axx … azz) из
                    системы поля в систему камеры: x_камеры = A·(X − центр), оси камеры —
                    x вправо по снимку, y вниз, z по оптической оси к полю.
                    Фотограмметрические углы (продольный α, поперечный ω, поворот снимка
                    κ): Aᵀ = Ry(α)·Rx(ω)·Rz(κ); все нули — камера смотрит на поле
                    отвесно, x снимка — вдоль X поля, y — вдоль Y. Углы стенда (поворот
                    вокруг вертикальной оси v, вокруг горизонтальной h, поворот
                    изображения r) — поле поворачивается перед неподвижной камерой, в
                    осях камеры: A = Ry(v)·Rx(h)·Rz(r). Rx, Ry, Rz — повороты вокруг осей
                    x, y, z против часовой стрелки, если смотреть с конца оси; средний
                    угол — от −90 до 90°
  --ros-yaml ФАЙЛ   записать камеру в YAML camera_info ROS (distortion_model plumb_bob,
                    rational_polynomial или equidistant,
                    числа через точку); его читает любой разборщик YAML
  --undistort-folder ПАПКА
                    записать в существующую папку копию каждого прочитанного снимка без
                    дисторсии (серую, PNG, того же размера, с той же матрицей камеры: fx,
                    fy, cx, cy): имя снимка без расширения и «.png»
  --table ФАЙЛ      записать новую таблицу коррекции с fy/fx (четыре знака после
                    разделителя) так же, как её пишет окно, с размером снимков
  --camera ФАЙЛ     записать файл внутренней геометрии камеры ровно под этим именем:
                    фокусное расстояние (fx) и главная точка в пикселях, в координатах
                    файла камеры: от внешнего угла первого пикселя, как и центр
                    изображения (ширина/2 ; высота/2), то есть cx + 0,5 и cy + 0,5 (у OpenCV
                    центр первого пикселя — 0 ; 0); требует --table
  --report ФАЙЛ     записать отчёт о калибровке камеры в PDF (A4): снимки (имена,
                    миниатюры, найдено ли поле, поворот, мишени, СКО), fy/fx, вывод (хватает
                    ли снимков, покрыты ли углы кадра, какие снимки не взяты и почему),
                    диаграмма СКО по снимкам, покрытие кадра мишенями с невязками, параметры
                    камеры со стандартными ошибками и записанные файлы; пишется последним
  --check КАМЕРА.yml  не калибровать, а проверить сохранённую камеру (YAML OpenCV, как
                    его пишет --camera-yaml): положение поля на каждом снимке уточняется при
                    этой камере, и СКО сравнивается с тем, что допускает ошибка измерения;
                    код 0 — камера объясняет снимки, 9 — нет; в JSON — check: ok, rms_px,
                    worst_px
  --scene, --image, --width, --height, --focal, --view, --scene-out и --image-out с
  несколькими снимками не задаются.
  Коды завершения: 0 — камера откалибрована, заказанные файлы записаны; 1 — ошибка в
  командной строке; 2 — снимок не читается (сообщение называет его); 5 — не удалось
  записать файл (ни один из файлов не записан); 6 — поле найдено меньше чем на трёх
  снимках; 7 — камеру по снимкам не найти (меньше трёх пригодных снимков, снимки не
  определяют фокусные расстояния); 8 — не хватает памяти (в том числе снимок не читается
  даже один). При кодах 1 и 8 файлы не записываются, при кодах 2, 6 и 7 — только файл
  JSON.

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
                                     "orientation-folder",
                                     "ros-yaml",
                                     "undistort-folder",
                                     "scene",
                                     "image",
                                     "width",
                                     "height",
                                     "focal",
                                     "scene-out",
                                     "image-out",
                                     "check"};
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
    if (word == QStringLiteral("rational"))
        return CameraSelection::Rational();
    if (word == QStringLiteral("fisheye"))
        return CameraSelection::Fisheye();
    return std::nullopt;
}

// The name of a model --model names.
QString ModelName(CameraSelection selection) {
    for (const char* name :
         {"opencv", "radial", "no-distortion", "fixed-centre", "rational", "fisheye"})
        if (ModelSelection(QLatin1String(name)) == selection)
            return QLatin1String(name);
    return QStringLiteral("opencv");
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

// The last part of a file name.
QString BaseName(const QString& name) {
    return name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
}

// A photograph not taken, in the words of the window's list.
QString UseText(const PhotoDetection& photo, const PhotoFit& fit, const Camera& camera) {
    const QString why = NotTakenWhy(photo, fit, std::nullopt, camera);
    return why.isEmpty() ? QString() : QStringLiteral(" — ") + messages::NotTaken(why);
}

// The photographs as given and what became of each: a photograph given again (the same
// bytes) is searched and counted once.
struct PhotoSet {
    QStringList files;                      // as given
    std::vector<qsizetype> sameAs;          // per file: the first file of the same bytes, or -1
    std::vector<size_t> searched;           // per file: its photograph among those searched
    QStringList unique;                     // the photographs searched
    std::vector<PhotoDetection> detections; // per photograph searched

    explicit PhotoSet(const QStringList& given)
        : files(given), sameAs(FirstWithSameBytes(std::span(given.begin(), given.end()))) {
        for (qsizetype k = 0; k < files.size(); ++k) {
            const qsizetype first = sameAs[size_t(k)];
            searched.push_back(first >= 0 ? searched[size_t(first)] : size_t(unique.size()));
            if (first < 0)
                unique << files[k];
        }
    }
    bool repeated(qsizetype k) const { return sameAs[size_t(k)] >= 0; }
    const PhotoDetection& of(qsizetype k) const { return detections[searched[size_t(k)]]; }
    qsizetype found() const {
        return std::count_if(detections.begin(), detections.end(),
                             [](const PhotoDetection& d) { return d.found; });
    }
};

// What a photograph's file does not show as the calibration takes it: its EXIF turn, its
// further TIFF pages.
QString StorageNotes(const PhotoDetection& d) {
    QString notes;
    if (d.orientation != 1)
        notes += QStringLiteral("; ") + messages::PhotoOrientationNote(d.orientation);
    if (d.pages > 1)
        notes += QStringLiteral("; ") + messages::PhotoPagesNote(d.pages);
    return notes;
}

// The line of photograph k of the summary.
QString PhotoLine(const PhotoSet& set, const CameraCalibration& fit, qsizetype k) {
    QString line = QStringLiteral("%1. %2: ").arg(k + 1).arg(BaseName(set.files[k]));
    if (set.repeated(k)) {
        const qsizetype first = set.sameAs[size_t(k)];
        return line + messages::SamePhotograph(
                          QStringLiteral("%1. %2").arg(first + 1).arg(BaseName(set.files[first])));
    }
    const PhotoDetection& d = set.of(k);
    const PhotoFit& photo = fit.photos[set.searched[size_t(k)]];
    if (!d.found) {
        line += QStringLiteral("поле не найдено. ") + d.reason;
    } else {
        line += QStringLiteral("поле повёрнуто на %1°, мишеней %2")
                    .arg(d.turn->degrees)
                    .arg(d.points());
        if (photo.rmsPx)
            line += QStringLiteral(", СКО %1 пикс.").arg(FormatFixed(*photo.rmsPx, 3));
        line += UseText(d, photo, fit.camera);
    }
    return line + StorageNotes(d);
}

// The summary on standard output.
void PrintSummary(const PhotoSet& set, const CameraCalibration& fit, const QString& model) {
    Print(stdout, QStringLiteral("Снимков: %1, поле найдено на %2, в калибровке %3.")
                      .arg(set.files.size())
                      .arg(set.found())
                      .arg(fit.used));
    for (qsizetype k = 0; k < set.files.size(); ++k)
        Print(stdout, PhotoLine(set, fit, k));
    Print(stdout, QStringLiteral("Камера (модель %1), снимки %2 × %3 пикс.:")
                      .arg(model)
                      .arg(fit.camera.width)
                      .arg(fit.camera.height));
    for (CameraParameter p : ModelParameters(fit.camera, fit.selection)) {
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

// The verdict on standard output, a sentence a line.
void PrintVerdict(const PhotoSet& set, const CameraCalibration& fit,
                  const CameraAssessment& assessment) {
    for (const QString& line : CameraVerdictLines(fit, set.detections) +
                                   CameraTrustLines(assessment, fit, set.detections))
        Print(stdout, line);
}

// The photographs searched at once on as many threads as the memory holds of their
// searches (calib/PhotoHeader), at most one a processor; a photograph refused for want of
// memory while others were searched beside it is searched again alone. The first that
// throws, if any, is thrown on.
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
    const int threads =
        PhotoSearchThreads(std::span(files.begin(), files.end()), AvailableMemory());
    {
        // Joined however the block is left (a thread that cannot be started throws).
        std::vector<std::jthread> pool;
        for (int t = 1; t < threads; ++t)
            pool.emplace_back(work);
        work();
    }
    if (failure)
        std::rethrow_exception(failure);
    if (threads > 1)
        for (qsizetype k = 0; k < files.size(); ++k)
            if (detections[size_t(k)].memoryShort)
                detections[size_t(k)] = DetectBoardInPhoto(files[k], board);
    return detections;
}

struct Outputs {
    std::optional<QString> json;
    std::optional<QString> yaml;
    std::optional<QString> report;
    std::optional<QString> table;
    std::optional<QString> camera;
    std::optional<QString> orientationFolder;
    std::optional<QString> rosYaml;
    std::optional<QString> undistortFolder;
};

// The JSON's pose of a photograph: null without one.
QJsonValue PoseJson(const PhotoFit* photo) {
    if (!photo || !photo->rmsPx)
        return QJsonValue(QJsonValue::Null);
    const auto array = [](const cv::Vec3d& v) { return QJsonArray{v[0], v[1], v[2]}; };
    QJsonObject pose;
    pose.insert(QStringLiteral("rotation"), array(photo->pose.rotation));
    pose.insert(QStringLiteral("translation"), array(photo->pose.translation));
    pose.insert(QStringLiteral("centre"), array(OrientationOf(photo->pose).centre));
    return pose;
}

// The JSON's covariance of the model's parameters: their names and their matrix.
QJsonValue CovarianceJson(const CameraCalibration* fit) {
    if (!fit)
        return QJsonValue(QJsonValue::Null);
    QJsonArray names;
    QJsonArray matrix;
    const std::vector<CameraParameter> shown = ModelParameters(fit->camera, fit->selection);
    for (CameraParameter a : shown) {
        names.append(QString::fromLatin1(CameraParameterName(a)));
        QJsonArray row;
        for (CameraParameter b : shown)
            row.append(fit->covariance(a, b));
        matrix.append(row);
    }
    QJsonObject covariance;
    covariance.insert(QStringLiteral("parameters"), names);
    covariance.insert(QStringLiteral("matrix"), matrix);
    return covariance;
}

// The files a photograph gives beside the camera's, one a photograph searched.
std::vector<NamedFile> PhotoOutputs(const Outputs& out, const QStringList& photos) {
    std::vector<NamedFile> files;
    for (const QString& photo : photos) {
        if (out.orientationFolder)
            files.push_back({QStringLiteral("--orientation-folder"),
                             OrientationFileName(*out.orientationFolder, photo)});
        if (out.undistortFolder)
            files.push_back({QStringLiteral("--undistort-folder"),
                             UndistortedFileName(*out.undistortFolder, photo)});
    }
    return files;
}

// The orientation files of the photographs used and the undistorted copies of those read.
void AddPhotoFiles(const Outputs& out, const PhotoSet& set, const CameraCalibration& fit,
                   std::vector<OutputFile>& files) {
    for (size_t k = 0; k < set.detections.size(); ++k) {
        const QString& photo = set.unique[qsizetype(k)];
        if (out.orientationFolder && fit.photos[k].use == PhotoUse::Used)
            files.push_back({OrientationFileName(*out.orientationFolder, photo),
                             EncodeTextLines(OrientationFileLines(fit.photos[k].pose))});
        if (out.undistortFolder && set.detections[k].read)
            files.push_back({UndistortedFileName(*out.undistortFolder, photo),
                             UndistortedPhotoPng(photo, fit.camera)});
    }
}

// The JSON of the photographs (every one as given, in order: file, found, used, turned_deg,
// points, rms_px, reason, same_as) and of the camera, or of none (camera null and the
// reason); UTF-8, ending in a newline.
QByteArray CameraJson(const PhotoSet& set, const CameraCalibration* fit, const QString& reason,
                      const CameraAssessment* assessment = nullptr) {
    const auto known = [](const std::optional<double>& v) {
        return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
    };
    const auto text = [](const QString& t) {
        return t.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(t);
    };
    QJsonArray photos;
    for (qsizetype k = 0; k < set.files.size(); ++k) {
        const PhotoDetection& d = set.of(k);
        const PhotoFit* photo =
            fit && !set.repeated(k) ? &fit->photos[set.searched[size_t(k)]] : nullptr;
        QString why = !d.found ? d.reason
                      : photo  ? NotTakenWhy(d, *photo, std::nullopt, fit->camera)
                               : QString();
        if (set.repeated(k))
            why = messages::SamePhotograph(set.files[set.sameAs[size_t(k)]]);
        QJsonObject entry;
        entry.insert(QStringLiteral("file"), set.files[k]);
        entry.insert(QStringLiteral("found"), d.found);
        entry.insert(QStringLiteral("used"), photo && photo->use == PhotoUse::Used);
        entry.insert(QStringLiteral("turned_deg"),
                     d.turn ? QJsonValue(d.turn->degrees) : QJsonValue(QJsonValue::Null));
        entry.insert(QStringLiteral("points"), qint64(d.points()));
        entry.insert(QStringLiteral("rms_px"),
                     photo ? known(photo->rmsPx) : QJsonValue(QJsonValue::Null));
        entry.insert(QStringLiteral("reason"), text(why));
        entry.insert(QStringLiteral("same_as"), set.repeated(k)
                                                    ? QJsonValue(set.files[set.sameAs[size_t(k)]])
                                                    : QJsonValue(QJsonValue::Null));
        entry.insert(QStringLiteral("pose"), PoseJson(photo));
        photos.append(entry);
    }
    QJsonObject object;
    object.insert(QStringLiteral("photos"), photos);
    const QJsonValue none(QJsonValue::Null);
    if (fit) {
        QJsonObject camera;
        QJsonObject se;
        camera.insert(QStringLiteral("width"), int(fit->camera.width));
        camera.insert(QStringLiteral("height"), int(fit->camera.height));
        se.insert(QStringLiteral("width"), none);
        se.insert(QStringLiteral("height"), none);
        for (CameraParameter p : ModelParameters(fit->camera, fit->selection)) {
            const QString name = QString::fromLatin1(CameraParameterName(p));
            camera.insert(name, fit->camera[p]);
            se.insert(name, fit->selection.Frees(p) ? QJsonValue(fit->covariance.StandardError(p))
                                                    : none);
        }
        object.insert(QStringLiteral("camera"), camera);
        object.insert(QStringLiteral("camera_se"), se);
    } else {
        object.insert(QStringLiteral("camera"), none);
        object.insert(QStringLiteral("camera_se"), none);
    }
    object.insert(QStringLiteral("model"), fit ? QJsonValue(ModelName(fit->selection)) : none);
    object.insert(QStringLiteral("distortion_model"),
                  fit ? QJsonValue(QLatin1String(CameraModelName(fit->camera))) : none);
    object.insert(QStringLiteral("ratio"), fit ? QJsonValue(fit->ratio) : none);
    object.insert(QStringLiteral("ratio_se"), fit ? QJsonValue(fit->ratioSe) : none);
    object.insert(QStringLiteral("rms_px"), fit ? QJsonValue(fit->rmsPx) : none);
    object.insert(QStringLiteral("reason"), text(reason));
    object.insert(QStringLiteral("covariance"), CovarianceJson(fit));
    InsertCameraTrust(object, assessment, fit, set.detections, reason);
    QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    if (!bytes.endsWith('\n'))
        bytes += '\n';
    return bytes;
}

// A run that gives no camera: its message, and the JSON when it is asked for (every
// photograph's outcome, the camera null, the message as the reason). A JSON that cannot be
// written is told too; the code stays.
int EndWithoutCamera(int code, const QString& message, const Outputs& out, const PhotoSet& set) {
    Print(stderr, message);
    if (out.json) {
        const OutputFile json{*out.json, CameraJson(set, nullptr, message)};
        WriteOutputs(std::span(&json, 1));
    }
    return code;
}

// Every file ordered, made in memory (table and camera file encoded, the report painted),
// then written as one set: all of them, or none.
int WriteResults(const Outputs& out, const PhotoSet& set, const Board& board,
                 const CameraCalibration& fit, const CameraAssessment& assessment) {
    const QString width = FormatInteger(qint64(fit.camera.width));
    const QString height = FormatInteger(qint64(fit.camera.height));
    std::vector<OutputFile> files;
    QString encoding;
    try {
        if (out.table) {
            encoding = *out.table;
            files.push_back(
                {*out.table, EncodeTextLines(NewCorrectionTableLines(fit.ratio, width, height))});
        }
        if (out.camera) {
            encoding = *out.camera;
            files.push_back({*out.camera, EncodeTextLines(CameraFileLines(
                                              width, height, AbsoluteFileName(*out.table),
                                              CameraFileInterior(fit.camera)))});
        }
    } catch (const EncodingError& error) {
        return Fail(kWrite,
                    QStringLiteral("%1: %2").arg(encoding, QString::fromUtf8(error.what())));
    }
    if (out.yaml)
        files.push_back({*out.yaml, OpenCvCameraYaml(fit)});
    if (out.json)
        files.push_back({*out.json, CameraJson(set, &fit, QString(), &assessment)});
    if (out.rosYaml)
        files.push_back({*out.rosYaml, RosCameraInfoYaml(fit.camera, QStringLiteral("camera"))});
    try {
        AddPhotoFiles(out, set, fit, files);
    } catch (const EncodingError& error) {
        return Fail(kWrite, QString::fromUtf8(error.what()));
    } catch (const PhotoReadError& error) {
        return Fail(kRead, QString::fromUtf8(error.what()));
    }
    if (out.report) {
        CameraReport report;
        report.board = board;
        report.date = QDateTime::currentDateTime();
        report.photos = set.detections;
        report.calibration = fit;
        report.assessment = assessment;
        if (out.table)
            report.written << messages::WrittenTableLine(AbsoluteFileName(*out.table));
        if (out.camera)
            report.written << messages::WrittenCameraLine(AbsoluteFileName(*out.camera));
        if (out.yaml)
            report.written << WrittenYamlLine(AbsoluteFileName(*out.yaml));
        QByteArray pdf;
        if (const int code = MakeReport(
                *out.report, [&report] { return CameraReportPdf(report); }, PdfItems(report), pdf);
            code != kDone)
            return code;
        files.push_back({*out.report, pdf});
    }
    return WriteOutputs(files);
}

// --check: whether the saved camera explains the photographs (kDone) or not
// (kCameraDrifted); the JSON with the photographs and "check" {"ok", "rms_px",
// "worst_px"} when asked for.
int RunCheck(const QString& saved, const Outputs& out, const PhotoSet& set) {
    const std::optional<Camera> camera = ReadOpenCvCameraYaml(saved);
    if (!camera)
        return EndWithoutCamera(kRead, messages::CameraYamlUnreadable(saved), out, set);
    CameraCheck check;
    try {
        check = CheckCamera(BoardPhotosOf(set.detections), *camera);
    } catch (const CalcError& error) {
        return EndWithoutCamera(kFieldCheck, QString::fromUtf8(error.what()), out, set);
    }
    for (const QString& line : CameraCheckLines(check))
        Print(stdout, line);
    std::fflush(stdout);
    if (out.json) {
        QJsonObject object = QJsonDocument::fromJson(CameraJson(set, nullptr, QString())).object();
        QJsonObject result;
        result.insert(QStringLiteral("ok"), check.ok);
        result.insert(QStringLiteral("rms_px"), check.rmsPx);
        result.insert(QStringLiteral("worst_px"), check.worstPx);
        object.insert(QStringLiteral("check"), result);
        for (const char* key : {"verdict", "uncertainty", "cross_validation"})
            object.remove(QLatin1String(key));
        const OutputFile json{*out.json, QJsonDocument(object).toJson(QJsonDocument::Indented)};
        if (const int code = WriteOutputs(std::span(&json, 1)); code != kDone)
            return code;
    }
    return check.ok ? kDone : kCameraDrifted;
}

} // namespace

bool NamesSeveralPhotos(const QStringList& arguments) {
    QStringList rest = arguments;
    return TakePhotos(rest).size() > 1;
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
    QString model = options.value("model", QStringLiteral("auto"));
    const bool automatic = model == QStringLiteral("auto");
    const std::optional<CameraSelection> selection =
        automatic ? std::optional(CameraSelection::OpenCvDefault()) : ModelSelection(model);
    if (!selection)
        return CommandLineError(
            QStringLiteral("Модель камеры (--model) должна быть auto, opencv, radial, "
                           "no-distortion, fixed-centre, rational или fisheye: %1")
                .arg(model));
    const Outputs out{options.given("json"),     options.given("camera-yaml"),
                      options.given("report"),   options.given("table"),
                      options.given("camera"),   options.given("orientation-folder"),
                      options.given("ros-yaml"), options.given("undistort-folder")};
    for (const auto& folder : {out.orientationFolder, out.undistortFolder})
        if (folder && !QFileInfo(*folder).isDir())
            return CommandLineError(QStringLiteral("Нет такой папки: %1").arg(*folder));
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
          std::pair{"--report", out.report}, std::pair{"--ros-yaml", out.rosYaml}})
        if (name)
            outputs.push_back({QString::fromLatin1(option), *name});
    QStringList distinct = files;
    distinct.removeDuplicates();
    for (const NamedFile& file : PhotoOutputs(out, distinct))
        outputs.push_back(file);
    if (const auto clash = FileClashMessage(inputs, outputs))
        return CommandLineError(*clash);

    PhotoSet set(files);
    try {
        set.detections = DetectAll(set.unique, board);
    } catch (const std::exception& error) {
        if (IsOutOfMemory(error))
            return OutOfMemory();
        throw;
    }
    for (const PhotoDetection& d : set.detections) {
        // Not read even alone: the memory is too short for it.
        if (d.memoryShort) {
            Print(stderr, QStringLiteral("%1 (%2)").arg(d.reason, d.file));
            return OutOfMemory();
        }
    }
    for (const PhotoDetection& d : set.detections)
        if (!d.read)
            return EndWithoutCamera(kRead, QStringLiteral("%1 (%2)").arg(d.reason, d.file), out,
                                    set);
    if (set.found() < 3) {
        for (const PhotoDetection& d : set.detections)
            if (!d.found)
                Print(stderr, QStringLiteral("%1: %2").arg(d.file, d.reason));
        return EndWithoutCamera(kGridNotFound,
                                QStringLiteral("Поле найдено на %1 снимках из %2, а для "
                                               "калибровки камеры нужно не меньше трёх.")
                                    .arg(set.found())
                                    .arg(set.detections.size()),
                                out, set);
    }
    if (const std::optional<QString> saved = options.given("check"))
        return RunCheck(*saved, out, set);
    CameraCalibration fit;
    try {
        fit = CalibrateWithModel(set.detections, {},
                                 automatic ? std::nullopt : std::optional(*selection));
        if (automatic)
            model = QStringLiteral("auto: %1").arg(ModelName(fit.selection));
    } catch (const CalcError& error) {
        return EndWithoutCamera(kFieldCheck, QString::fromUtf8(error.what()), out, set);
    }
    PrintSummary(set, fit, model);
    CameraAssessment assessment;
    try {
        assessment = AssessCamera(set.detections, fit);
        assessment.modelChosen = automatic;
    } catch (const CalcError& error) {
        return EndWithoutCamera(kFieldCheck, QString::fromUtf8(error.what()), out, set);
    }
    PrintVerdict(set, fit, assessment);
    std::fflush(stdout);
    return WriteResults(out, set, board, fit, assessment);
}

const char* CameraCommandHelp() {
    return kCameraHelp;
}

} // namespace vrma
