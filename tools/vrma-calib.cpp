// vrma-calib: the scale-ratio calibration without a window, for scripts. It runs the
// calibration window's computation on two coordinate files, prints the lines that the
// window's list box would show, and can write the correction table and the camera file.
// It links the core alone: no window system is loaded. Messages go to standard error,
// the reader's through the console dialog host.
#include "calib/ExportFiles.h"
#include "calib/FieldCheck.h"
#include "data/Errors.h"
#include "data/Locale.h"
#include "data/Numbers.h"
#include "data/ProgramFiles.h"
#include "data/SeparatorCheck.h"
#include "data/TextFile.h"
#include "drawing/Calibration.h"
#include "drawing/CalibrationReport.h"
#include "drawing/ScaleRatioLines.h"
#include "tools/FieldSheetCommand.h"
#include "tools/PhotoCommand.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace vrma {
namespace {

// Exit codes, as --help lists them.
enum ExitCode {
    kDone = 0,
    kCommandLine = 1,
    kRead = 2,
    kCount = 3,
    kCalculation = 4,
    kWrite = 5,
    kGridNotFound = 6,
    kFieldCheck = 7,
};

const char kHelp[] = R"(vrma-calib — калибровка соотношения масштабов без окна, для сценариев.

Вызов:
  vrma-calib --scene СЦЕНА --image ИЗОБРАЖЕНИЕ --columns NC --rows NR
             [--width W --height H] [--table ТАБЛИЦА] [--camera КАМЕРА]
             [--decimal-separator , или .] [--report ОТЧЁТ.pdf]
             [--focal F] [--view СЦЕНА ИЗОБРАЖЕНИЕ]... [--json ФАЙЛ]
  vrma-calib --make-field ПОЛЕ.pdf --target chessboard|dots --columns NC --rows NR
             --pitch P [--pitch-y PY] [--page A4|A3] [--scene-out СЦЕНА]
  vrma-calib --photo СНИМОК --target chessboard|dots --columns NC --rows NR --pitch P
             [--pitch-y PY] --scene-out СЦЕНА --image-out ИЗОБРАЖЕНИЕ
             [остальные параметры, как в первом вызове]
  vrma-calib --example-folder
  vrma-calib --help

Программа делает то же, что команда «Калибровка масштабов» окна VRMA. Она читает
файл координат сцены и файл координат изображения (одна точка в строке, «x ; y»;
сетка перечислена по столбцам: каждые NR строк подряд — один столбец), для каждого
внутреннего узла сетки вычисляет отношение масштаба изображения по оси y к масштабу
по оси x и выводит в стандартный вывод те же строки, что окно показывает в списке:
отношения узлов по внутренним строкам сетки, каждая строка слева направо; затем
пустую строку, «Среднее значение:», коэффициент (среднее отношение), пустую строку,
«СКО:» и среднеквадратическое отклонение. Числа выводятся с четырьмя знаками после
разделителя.

Со снимком тестового поля (--photo) программа сама находит на нём мишени, записывает
оба файла координат (--scene-out и --image-out) и по ним выполняет ту же калибровку.

Параметры:
  --scene ФАЙЛ      файл координат сцены (.crd)
  --image ФАЙЛ      файл координат изображения (.crd)
  --columns NC      число столбцов сетки («Количество столбцов:» в окне)
  --rows NR         число строк сетки («Количество строк:» в окне)
  --width W         ширина изображения в пикселях, по умолчанию 720
  --height H        высота изображения в пикселях, по умолчанию 576
  --table ФАЙЛ      записать новую таблицу коррекции (.tab), как её пишет команда
                    «Сохранить»: коэффициент и строку «0 0 W H X 0.0 1.0 - Y 0.0 1.0 - ;»
                    (W и H — как заданы). Существующий файл заменяется целиком.
  --camera ФАЙЛ     записать файл внутренней геометрии камеры (.cam) ровно под этим
                    именем (буква «T» к имени не добавляется), как его пишет команда
                    «Сохранить»: центр изображения и главная точка в середине кадра,
                    полный путь таблицы коррекции, пустое фокусное расстояние, размеры
                    изображения. Требует --table; W и H должны быть целыми числами.
  --decimal-separator , или .
                    разделитель дробной части при чтении файлов и выводе чисел;
                    по умолчанию — из региональных настроек (LC_ALL, LC_NUMERIC, LANG).
                    Программа не переводит «,» в «.» и обратно: файлы с точкой
                    читаются только с разделителем «.».
  --example-folder  вывести папку примера (scene.crd и image.crd), числа в которой
                    записаны с разделителем дробной части из региональных настроек:
                    examples/decimal-comma для «,», examples/decimal-point для «.»
                    (рядом с программой или в /usr/share/vrma); задаётся один
  --report ФАЙЛ     записать отчёт о калибровке в PDF (A4): исходные данные, коэффициент,
                    отношения по узлам таблицей, график, карта узлов, статистика и
                    выбросы, геометрия поля (ошибка гомографии; с --focal — наклон и
                    исправленный коэффициент; с --view — fx, fy и fy/fx по всем
                    снимкам; вывод о смещении), записанные таблица и файл камеры.
                    Существующий файл заменяется целиком.
  --focal F         номинальное фокусное расстояние в пикселях (fx) для оценки наклона
                    поля: главная точка берётся в центре изображения (W/2, H/2)
  --view СЦЕНА ИЗОБРАЖЕНИЕ
                    ещё один снимок той же сетки (пара файлов координат); можно задать
                    несколько раз. По всем снимкам вместе находятся fx и fy и их отношение
                    со стандартной ошибкой; фокусное расстояние для этого не нужно, если
                    поле на снимках наклонено по-разному
  --json ФАЙЛ       записать результаты в объект JSON (UTF-8): coefficient, sd, n, sem,
                    homography_rms_px, tilt_vertical_deg, tilt_horizontal_deg, tilt_deg,
                    focal_px, corrected_coefficient, corrected_se, views, multiview_fx,
                    multiview_fy, multiview_ratio, multiview_ratio_se, bias, bias_se,
                    warning; неизвестное значение — null. Если поле наклонено настолько,
                    что коэффициент смещён больше чем на две стандартные ошибки, в
                    стандартный поток ошибок выводится предупреждение «Поле наклонено…»
  --photo ФАЙЛ      снимок тестового поля (JPEG, PNG, TIFF, BMP; 8 или 16 бит, серый или
                    цветной) вместо --scene и --image. Мишени перечисляются, как их
                    читает калибровка: по столбцам слева направо, в столбце сверху вниз.
                    Ширина и высота изображения по умолчанию — размеры снимка
  --target ВИД      вид мишеней: chessboard — внутренние углы шахматного поля из
                    (NC+1)×(NR+1) клеток; dots — симметричная сетка кругов, тёмных на
                    светлом или светлых на тёмном
  --pitch P         шаг сетки между столбцами в единицах поля (например, в мм)
  --pitch-y PY      шаг между строками, по умолчанию равен P
  --scene-out ФАЙЛ  записать файл координат сцены: точки X = i·P, Y = j·PY
  --image-out ФАЙЛ  записать файл координат изображения: найденные мишени в пикселях
                    (файлы пишутся, только если найдена вся сетка)
  --help, -h        эта справка

Значение можно писать и через «=»: --columns=6. Файлы читаются и пишутся в кодировке
Windows-1251, каждая строка записанного файла оканчивается CR LF. Сообщения об ошибках
выводятся в стандартный поток ошибок.

Коды завершения:
  0  расчёт выполнен, заказанные файлы записаны;
  1  ошибка в командной строке (неизвестный или неполный параметр, нет обязательного
     параметра, неверный разделитель, --camera без --table, нецелые W или H
     при --camera, --view без двух файлов, неположительное --focal; --photo вместе
     с --scene или --image, без --target, --pitch, --scene-out или --image-out,
     неизвестный вид мишеней, неположительный шаг, NC или NR не целое число или
     меньше 2); ничего не вычислено и не записано;
  2  «Ошибка чтения файла сцены!» — не удалось прочитать файл сцены или файл
     изображения (нет файла, строка не «x ; y»); если числа в строке, на которой
     чтение остановилось, записаны с другим разделителем дробной части, следующие
     строки называют файл, строку и оба разделителя; «Не удалось прочитать
     снимок…» — снимок не читается (нет файла, это не изображение, файл обрезан),
     файлы координат не записываются; --example-folder: для разделителя из
     региональных настроек примера нет или его папка не найдена;
  3  «Неверное количество столбцов или строк!» — в файле не NC·NR точек;
  4  «Ошибка вычисления. Попробуйте изменить входные данные.» — NC или NR не целое
     число, нет внутренних узлов (NC или NR меньше 3), деление на ноль (две соседние
     точки сцены с одинаковой координатой) или переполнение; отношения, вычисленные
     до ошибки, уже выведены, файлы не записываются;
  5  не удалось записать таблицу коррекции, файл камеры, отчёт или файл JSON
     (сообщение называет файл), или в тексте файла есть символ, которого нет в
     кодировке Windows-1251 (например, в пути таблицы коррекции): сообщение называет
     символ и строку, и тогда не записывается ни один из файлов;
  6  «Сетка мишеней на снимке не найдена…» — на снимке нет всей сетки NC×NR мишеней
     заданного вида; файлы координат не записываются;
  7  геометрия поля не определяется (точки на одной прямой, два снимка одного
     положения поля, снимки не определяют фокусные расстояния); строки списка уже
     выведены, таблица и файл камеры записаны, файл JSON — нет.

Пример (пример поля программы записан дважды: с разделителем «,» в папке
examples/decimal-comma и с «.» в examples/decimal-point; у программы, установленной из
пакета, это папки в /usr/share/vrma/examples; папку для региональных настроек называет
vrma-calib --example-folder):
  example=$(vrma-calib --example-folder)
  vrma-calib --scene "$example/scene.crd" --image "$example/image.crd" --columns 6 --rows 6 \
             --table cam1.tab --camera cam1.cam --report cam1.pdf
)";

void Print(std::FILE* stream, const QString& line) {
    std::fputs(line.toUtf8().constData(), stream);
    std::fputc('\n', stream);
}

int Fail(int code, const QString& message) {
    Print(stderr, message);
    return code;
}

int CommandLineError(const QString& message) {
    Print(stderr, message);
    Print(stderr, QStringLiteral("Справка: vrma-calib --help"));
    return kCommandLine;
}

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

// vrma-calib --example-folder: the folder of the bundled example whose numbers use the
// decimal separator of the regional settings, for run.sh and for users who look for the
// files that read.
int PrintExampleFolder(const QStringList& arguments) {
    if (arguments.size() != 2)
        return CommandLineError(
            QStringLiteral("Параметр --example-folder задаётся один, без других параметров"));
    InitDecimalSeparatorFromSystem();
    const QString relative = ExampleFolder(DecimalSeparator());
    if (relative.isEmpty())
        return Fail(kRead, QStringLiteral("Пример записан с разделителями дробной части «,» и "
                                          "«.»; для разделителя «%1» примера нет")
                               .arg(DecimalSeparator()));
    const QString folder = FindProgramFile(relative);
    if (folder.isEmpty())
        return Fail(kRead, QStringLiteral("Папка примера %1 не найдена ни рядом с программой, ни в "
                                          "../share/vrma")
                               .arg(relative));
    Print(stdout, folder);
    return kDone;
}

std::vector<GridPoint> GridPoints(const VT_Points& points) {
    std::vector<GridPoint> out;
    out.reserve(size_t(points.Count()));
    for (qint32 k = 0; k < points.Count(); ++k)
        out.push_back({points.Get(k)->X, points.Get(k)->Y});
    return out;
}

// The options that take a value, as --help lists them.
const char* const kValueOptions[] = {
    "scene", "image",  "columns",           "rows",   "width", "height",
    "table", "camera", "decimal-separator", "report", "focal", "json"};

std::vector<const char*> ValueOptions() {
    std::vector<const char*> names(std::begin(kValueOptions), std::end(kValueOptions));
    names.insert(names.end(), std::begin(kPhotoValueOptions), std::end(kPhotoValueOptions));
    return names;
}

// Takes every "--view SCENE IMAGE" out of the arguments (the parser knows options of one
// value only). A message for the user when a view lacks a file.
std::optional<QString> TakeViews(QStringList& arguments, QList<QStringList>& views) {
    for (qsizetype k = 1; k < arguments.size();) {
        QString bare = arguments[k];
        while (bare.startsWith(QLatin1Char('-')))
            bare.remove(0, 1);
        if (bare == QStringLiteral("view") && arguments[k].startsWith(QLatin1Char('-'))) {
            if (k + 2 >= arguments.size())
                return QStringLiteral("Для %1 нужны два файла: сцены и изображения")
                    .arg(arguments[k]);
            views.append({arguments[k + 1], arguments[k + 2]});
            arguments.remove(k, 3);
        } else {
            ++k;
        }
    }
    return std::nullopt;
}

// The argument of the command line that names the option (for messages that quote it).
QString ArgumentNaming(const QStringList& arguments, const QString& name) {
    for (qsizetype k = 1; k < arguments.size(); ++k) {
        QString argument = arguments[k];
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        QString bare = equals > 0 ? argument.left(equals) : argument;
        while (bare.startsWith(QLatin1Char('-')))
            bare.remove(0, 1);
        if (bare == name)
            return argument;
    }
    return QStringLiteral("--") + name;
}

struct Options {
    QCommandLineParser parser;
    bool help = false;

    Options() {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const char* name : ValueOptions())
            parser.addOption(
                QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
        parser.addOption(
            QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    }
    bool has(const char* name) const { return parser.isSet(QString::fromLatin1(name)); }
    QString value(const char* name, const QString& fallback = QString()) const {
        return has(name) ? parser.value(QString::fromLatin1(name)) : fallback;
    }
};

// Reads the arguments; a message for the user when they are wrong.
std::optional<QString> ParseArguments(const QStringList& arguments, Options& options) {
    QCommandLineParser& parser = options.parser;
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return QStringLiteral("Неизвестный параметр: %1")
                .arg(ArgumentNaming(arguments, unknown.first()));
        // The parser takes the next argument as an option's value, so only the last
        // argument can lack one.
        return QStringLiteral("Не задано значение параметра %1").arg(arguments.last());
    }
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("Неизвестный параметр: %1").arg(parser.positionalArguments().first());
    for (const char* name : ValueOptions())
        if (parser.values(QString::fromLatin1(name)).size() > 1)
            return QStringLiteral("Параметр --%1 задан дважды").arg(QLatin1String(name));
    options.help = parser.isSet(QStringLiteral("help"));
    return std::nullopt;
}

int Run(QStringList arguments) {
    QList<QStringList> views;
    if (const auto error = TakeViews(arguments, views))
        return CommandLineError(*error);
    Options options;
    if (const auto error = ParseArguments(arguments, options))
        return CommandLineError(*error);
    if (options.help) {
        std::fputs(kHelp, stdout);
        std::fputs(FieldSheetHelp(), stdout);
        return kDone;
    }
    const bool photo = options.has("photo");
    if (photo && (options.has("scene") || options.has("image")))
        return CommandLineError(
            QStringLiteral("Со снимком (--photo) файлы --scene и --image не задаются"));
    const std::vector<const char*> required =
        photo ? std::vector<const char*>{"target", "columns",   "rows",
                                         "pitch",  "scene-out", "image-out"}
              : std::vector<const char*>{"scene", "image", "columns", "rows"};
    for (const char* name : required)
        if (!options.has(name))
            return CommandLineError(
                QStringLiteral("Не задан обязательный параметр --%1").arg(QLatin1String(name)));

    InitDecimalSeparatorFromSystem();
    if (options.has("decimal-separator")) {
        const QString separator = options.value("decimal-separator");
        if (separator != QStringLiteral(",") && separator != QStringLiteral("."))
            return CommandLineError(
                QStringLiteral("Разделитель дробной части должен быть «,» или «.»: %1")
                    .arg(separator));
        SetDecimalSeparator(separator.at(0));
    }
    // With a photograph its size stands in for a width or height not given (it passes every
    // check below as the defaults do).
    QString width = options.value("width", QStringLiteral("720"));
    QString height = options.value("height", QStringLiteral("576"));
    const PhotoRequest photoRequest{options.value("photo"),     options.value("target"),
                                    options.value("columns"),   options.value("rows"),
                                    options.value("pitch"),     options.value("pitch-y"),
                                    options.value("scene-out"), options.value("image-out")};
    if (photo)
        if (const auto error = CheckPhotoRequest(photoRequest))
            return CommandLineError(*error);
    const bool table = options.has("table");
    const bool camera = options.has("camera");
    if (camera && !table)
        return CommandLineError(
            QStringLiteral("Для файла камеры нужна и таблица коррекции (--table)"));
    if (camera && (!ParseInteger(width) || !ParseInteger(height)))
        return CommandLineError(
            QStringLiteral("Для файла камеры ширина и высота изображения должны быть целыми "
                           "числами"));

    const bool fieldCheck = options.has("focal") || options.has("json") || !views.isEmpty();
    std::optional<double> focal;
    if (options.has("focal")) {
        focal = ParseRealDouble(options.value("focal"));
        if (!focal || !(*focal > 0.0))
            return CommandLineError(
                QStringLiteral("Фокусное расстояние (--focal) должно быть положительным числом: %1")
                    .arg(options.value("focal")));
    }
    std::optional<double> widthPx = ParseRealDouble(width);
    std::optional<double> heightPx = ParseRealDouble(height);
    if (fieldCheck && (!widthPx || !heightPx || !(*widthPx > 0.0) || !(*heightPx > 0.0)))
        return CommandLineError(
            QStringLiteral("Для оценки наклона поля ширина и высота изображения должны быть "
                           "положительными числами"));

    // The photograph's targets into the two files, which the calibration then reads.
    QString sceneFile = options.value("scene");
    QString imageFile = options.value("image");
    if (photo) {
        const PhotoResult found = RunPhotoDetection(photoRequest);
        switch (found.status) {
        case PhotoStatus::Unreadable:
            return Fail(kRead, found.message);
        case PhotoStatus::GridNotFound:
            return Fail(kGridNotFound, found.message);
        case PhotoStatus::WriteFailed:
            return Fail(kWrite, found.message);
        case PhotoStatus::Done:
            break;
        }
        sceneFile = photoRequest.sceneOut;
        imageFile = photoRequest.imageOut;
        if (!options.has("width"))
            width = FormatInteger(found.width);
        if (!options.has("height"))
            height = FormatInteger(found.height);
        widthPx = ParseRealDouble(width);
        heightPx = ParseRealDouble(height);
    }

    // The calibration window's command, step for step; the reader prints its own message.
    VT_Points scene(1);
    VT_Points image(1);
    const Calibration calibration = RunCalibration(options.value("columns"), options.value("rows"),
                                                   sceneFile, imageFile, scene, image);
    switch (calibration.status) {
    case CalibrationStatus::BadGridSize:
        return Fail(kCalculation, CalibrationMessage(calibration.status));
    case CalibrationStatus::ReadFailed:
        ExplainReadFailure(sceneFile, imageFile);
        return kRead;
    case CalibrationStatus::CountMismatch:
        return Fail(kCount, CalibrationMessage(calibration.status));
    case CalibrationStatus::CalculationFailed:
    case CalibrationStatus::Done:
        break;
    }
    for (const QString& line : ScaleRatioListLines(calibration.run))
        Print(stdout, line);
    std::fflush(stdout);
    if (!calibration.done())
        return Fail(kCalculation, CalibrationMessage(calibration.status));

    // The export's files: always a new table, and the camera file at the name given.
    // The camera file names the table by its full path, as the save dialog gives it.
    const auto full = [](const QString& name) {
        return QDir::cleanPath(QFileInfo(name).absoluteFilePath());
    };
    QStringList written;
    if (table) {
        // Both texts are encoded before either file is written: one that the code page
        // cannot hold leaves both files as they were.
        const QString tableName = options.value("table");
        const QString cameraName = options.value("camera");
        QString encoding = tableName;
        try {
            const QByteArray tableBytes = EncodeTextLines(
                NewCorrectionTableLines(calibration.run.coefficient, width, height));
            QByteArray cameraBytes;
            if (camera) {
                encoding = cameraName;
                cameraBytes = EncodeTextLines(CameraFileLines(width, height, full(tableName)));
            }
            WriteFileAtomically(tableName, tableBytes);
            written << WrittenTableLine(full(tableName));
            if (camera) {
                WriteFileAtomically(cameraName, cameraBytes);
                written << WrittenCameraLine(full(cameraName));
            }
        } catch (const EncodingError& error) {
            return Fail(kWrite,
                        QStringLiteral("%1: %2").arg(encoding, QString::fromUtf8(error.what())));
        } catch (const std::exception& error) {
            return Fail(kWrite, QString::fromUtf8(error.what()));
        }
    }

    // The geometry of the field: the run's photograph and the further ones. It is checked
    // when asked for, and for the report when the image size allows it.
    std::vector<GridPoint> scenePoints = GridPoints(scene);
    std::vector<GridPoint> imagePoints = GridPoints(image);
    const bool sizeKnown = widthPx && heightPx && *widthPx > 0.0 && *heightPx > 0.0;
    std::optional<FieldCheck> check;
    QString checkFailure;
    if (fieldCheck || (options.has("report") && sizeKnown)) {
        FieldCheckInput input;
        input.scene = scenePoints;
        input.image = imagePoints;
        input.width = *widthPx;
        input.height = *heightPx;
        input.focal = focal;
        input.coefficient = calibration.run.coefficient;
        input.sd = calibration.run.sd;
        input.n = qint64(calibration.run.ratios.size());
        for (const QStringList& view : views) {
            VT_Points viewScene(1);
            VT_Points viewImage(1);
            if (!ReadCalibrationFiles(view[0], view[1], viewScene, viewImage)) {
                ExplainReadFailure(view[0], view[1]);
                return kRead;
            }
            input.views.push_back(FieldView{GridPoints(viewScene), GridPoints(viewImage)});
        }
        try {
            check = CheckField(input);
        } catch (const CalcError& error) {
            checkFailure = QString::fromUtf8(error.what());
        }
    }

    // The report, after the export: it tells what the export wrote.
    if (options.has("report")) {
        try {
            CalibrationReport report = MakeCalibrationReport(
                full(sceneFile), full(imageFile), calibration.columns, calibration.rows, width,
                height, calibration.run, QDateTime::currentDateTime());
            report.written = written;
            if (check)
                report.sections.push_back(FieldCheckSection(*check));
            else if (!checkFailure.isEmpty())
                report.sections.push_back(FieldCheckFailedSection(checkFailure));
            WriteCalibrationReport(options.value("report"), report);
        } catch (const FileError& error) {
            return Fail(kWrite, QString::fromUtf8(error.what()));
        } catch (const std::exception& error) {
            return Fail(kWrite, QStringLiteral("Не удаётся записать отчёт %1: %2")
                                    .arg(options.value("report"), QString::fromUtf8(error.what())));
        }
    }
    if (!fieldCheck)
        return kDone;
    if (!check)
        return Fail(kFieldCheck, checkFailure);
    if (check->warning)
        Print(stderr, FieldCheckWarning(*check));
    if (options.has("json")) {
        try {
            WriteFileAtomically(options.value("json"), FieldCheckJson(*check));
        } catch (const std::exception& error) {
            return Fail(kWrite, QString::fromUtf8(error.what()));
        }
    }
    return kDone;
}

} // namespace
} // namespace vrma

namespace {

// The report is painted with fonts, which need the GUI application object; the batch run
// never shows a window, so it takes the offscreen platform and needs no display.
bool WantsReport(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--") == 0)
            break;
        const char* name = argv[k];
        while (*name == '-')
            ++name;
        if (name != argv[k] &&
            (std::strcmp(name, "report") == 0 || std::strncmp(name, "report=", 7) == 0))
            return true;
    }
    return false;
}

bool WantsExampleFolder(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        const char* name = argv[k];
        while (*name == '-')
            ++name;
        if (name != argv[k] && std::strcmp(name, "example-folder") == 0)
            return true;
    }
    return false;
}

// Standard error carries the program's own messages alone: Qt's diagnostics (QStandardPaths
// on XDG_RUNTIME_DIR when fonts are set up for a PDF, say) are dropped. A fatal one, which
// ends the process, is still printed.
void QtMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs(message.toUtf8().constData(), stderr);
        std::fputc('\n', stderr);
    }
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QtMessage);
    // A write beyond the file-size limit fails as a write (its exit code), not by a signal.
    vrma::IgnoreFileSizeSignal();
    std::unique_ptr<QCoreApplication> app;
    if (vrma::WantsFieldSheet(argc, argv)) {
        // The test field is painted with fonts too.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        return vrma::RunFieldSheetCommand(QCoreApplication::arguments());
    }
    if (WantsReport(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    if (WantsExampleFolder(argc, argv))
        return vrma::PrintExampleFolder(QCoreApplication::arguments());
    try {
        return vrma::Run(QCoreApplication::arguments());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return vrma::kCalculation;
    }
}
