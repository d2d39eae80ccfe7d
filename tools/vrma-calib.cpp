// vrma-calib: the scale-ratio calibration without a window, for scripts. It runs the
// calibration window's computation on two coordinate files, prints the lines that the
// window's list box would show, and can write the correction table and the camera file.
// It links the core alone: no window system is loaded. Messages go to standard error,
// the reader's through the console dialog host. One function a command: calibrate
// coordinate files, measure a photograph (then calibrate what it found), make a field
// (tools/FieldSheetCommand).
#include "calib/FieldCheck.h"
#include "calib/OpenCvProcess.h"
#include "data/CleanExit.h"
#include "data/Errors.h"
#include "data/Locale.h"
#include "data/Messages.h"
#include "data/Numbers.h"
#include "data/PointFileReader.h"
#include "data/ProgramFiles.h"
#include "data/TextFile.h"
#include "tools/CalibrationRun.h"
#include "tools/CameraCommand.h"
#include "tools/CommandLine.h"
#include "tools/FieldSheetCommand.h"
#include "tools/PhotoCommand.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

namespace vrma {
namespace {

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
  vrma-calib --photo СНИМОК1 --photo СНИМОК2 [--photo ...] --target chessboard|dots
             --columns NC --rows NR --pitch P [...]   (калибровка камеры, см. ниже)
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

Все файлы одного вызова пишутся вместе: каждый сначала готовится рядом с прежним, потом
все ставятся на место; если хоть один не записан (нет места на диске, нет прав, сигнал,
не хватает памяти), ни один прежний файл не заменён и временных файлов не остаётся.
Два запуска с одними и теми же файлами одновременно оставляют целым набор одного из
них. Файл, который не является обычным файлом (/dev/stdout, канал FIFO, устройство),
пишется напрямую, как есть, раньше остальных: --json /dev/stdout > f добавляет JSON в f
после сводки; канал, который никто не читает, — ошибка записи (код 5).

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
                    поля: главная точка берётся в центре изображения (W/2, H/2); от
                    десятой доли до 100 диагоналей кадра
  --view СЦЕНА ИЗОБРАЖЕНИЕ
                    ещё один снимок той же сетки (пара файлов координат); можно задать
                    несколько раз (хоть тысячу). По всем снимкам вместе находятся fx и fy и
                    их отношение со стандартной ошибкой; фокусное расстояние для этого не
                    нужно, если поле на снимках наклонено по-разному; снимки почти одного
                    положения поля среди других не мешают
  --json ФАЙЛ       записать результаты в объект JSON (UTF-8): coefficient, sd, n, sem,
                    homography_rms_px, tilt_vertical_deg, tilt_horizontal_deg, tilt_deg,
                    focal_px, corrected_coefficient, corrected_se, views, multiview_fx,
                    multiview_fy, multiview_ratio, multiview_ratio_se, bias, bias_se,
                    reference_doubtful, warning; неизвестное значение — null. Если поле
                    наклонено настолько, что коэффициент смещён больше чем на две
                    стандартные ошибки (и смещение видно в четырёх знаках), в стандартный
                    поток ошибок выводится предупреждение «Поле наклонено…»; если
                    исправленное значение ненадёжно (камера с этим фокусным расстоянием не
                    согласуется с точками), выводится «Исправленное значение … ненадёжно»
                    и reference_doubtful = true
  --photo ФАЙЛ      снимок тестового поля (JPEG, PNG, TIFF, BMP; 8 или 16 бит, серый или
                    цветной) вместо --scene и --image. Мишени перечисляются, как их
                    читает калибровка: по столбцам слева направо, в столбце сверху вниз.
                    Ширина и высота изображения — размеры снимка: --width и --height,
                    если заданы, должны с ними совпадать. Тег поворота EXIF не
                    применяется: пиксели берутся так, как они записаны (оси датчика);
                    из многостраничного TIFF читается первая страница; о том и другом
                    говорится в стандартном потоке ошибок
  --target ВИД      вид мишеней: chessboard — внутренние углы шахматного поля из
                    (NC+1)×(NR+1) клеток; dots — симметричная сетка кругов, тёмных на
                    светлом или светлых на тёмном
  --pitch P         шаг сетки между столбцами в единицах поля (например, в мм), от 2 до 500
  --pitch-y PY      шаг между строками, по умолчанию равен P
  --scene-out ФАЙЛ  записать файл координат сцены: точки X = i·P, Y = j·PY
  --image-out ФАЙЛ  записать файл координат изображения: найденные мишени в пикселях
                    (файлы пишутся, только если найдена вся сетка)
  --help, -h        эта справка

Значение можно писать и через «=»: --columns=6. Пробелы вокруг чисел --columns, --rows,
--pitch и --pitch-y не учитываются. Файлы читаются и пишутся в кодировке
Windows-1251, каждая строка записанного файла оканчивается CR LF. Сообщения об ошибках
выводятся в стандартный поток ошибок; управляющий символ в имени файла (перевод строки,
табуляция) выводится как \n, \t или \xHH, так что одно имя остаётся одной строкой.

Коды завершения:
  0  расчёт выполнен, заказанные файлы записаны;
  1  ошибка в командной строке (неизвестный или неполный параметр, нет обязательного
     параметра, неверный разделитель, --camera без --table, нецелые W или H
     при --camera, --view без двух файлов или с числом точек, отличным от NC·NR
     (сообщение называет снимок), неположительное --focal или такое, какого
     у камеры с кадром W×H не бывает: меньше десятой доли диагонали кадра или больше
     100 диагоналей; W или H больше 1000000 при оценке наклона поля; --photo вместе
     с --scene или --image, без --target, --pitch, --scene-out или --image-out,
     неизвестный вид мишеней, шаг не от 2 до 500, NC или NR не целое число
     от 2 до 200; --width или --height со снимком не равны его размеру;
     выходной файл — это входной файл или другой выходной файл, в том числе под
     другим именем, через символическую или жёсткую ссылку, через ссылку на папку и «..»
     (сравнивается то, что откроет система: «папка-ссылка/../f» — это f рядом с
     целью ссылки), через ссылку, которая пока никуда не ведёт (она ведёт к файлу,
     который запись создаст): сообщение называет оба); ничего не вычислено и не
     записано;
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
  5  не удалось записать таблицу коррекции, файл камеры, отчёт, файл JSON или файлы
     координат снимка (сообщение называет файл), или в тексте файла есть символ,
     которого нет в кодировке Windows-1251 (например, в пути таблицы коррекции):
     сообщение называет символ и строку; ни один из файлов не записан, прежние
     остались как были;
  6  «Сетка мишеней на снимке не найдена…» — на снимке нет всей сетки NC×NR мишеней
     заданного вида; файлы координат не записываются;
  7  геометрия поля не определяется (точки на одной прямой, снимки вместе не
     определяют фокусные расстояния); строки списка уже выведены, таблица, файл
     камеры, отчёт и файлы координат снимка записаны, файл JSON — нет;
  8  не хватает памяти (в том числе для отчёта в PDF или для снимка, который не
     читается даже один): расчёт остановлен, ни один файл не записан;
  130, 143
     программа остановлена сигналом SIGINT (Ctrl+C) или SIGTERM: пока файлы только
     готовятся, ни один не заменён; если они уже ставятся на место, это доводится
     до конца, так что заменены все заказанные файлы или ни один, ни один не
     записан наполовину, временных файлов не осталось.

Имена файлов передаются системе теми же байтами, что в командной строке, даже если
это не UTF-8 (например, имена в кодировке Windows-1251).

Пример (пример поля программы записан дважды: с разделителем «,» в папке
examples/decimal-comma и с «.» в examples/decimal-point; у программы, установленной из
пакета, это папки в /usr/share/vrma/examples; папку для региональных настроек называет
vrma-calib --example-folder):
  example=$(vrma-calib --example-folder)
  vrma-calib --scene "$example/scene.crd" --image "$example/image.crd" --columns 6 --rows 6 \
             --table cam1.tab --camera cam1.cam --report cam1.pdf
)";

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

// The options that take a value, as --help lists them (those of a photograph too).
const char* const kValueOptions[] = {
    "scene",   "image",  "columns",    "rows",      "width",
    "height",  "table",  "camera",     "json",      "decimal-separator",
    "report",  "focal",  "photo",      "target",    "pitch",
    "pitch-y", "marker", "dictionary", "scene-out", "image-out"};

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

// Every --view is a photograph of the main grid: both its files hold NC x NR points. A
// message naming the first view that does not; a file that does not read is left to the
// calibration, which tells why.
std::optional<QString> CheckViewCounts(const QList<QStringList>& views, const QString& columns,
                                       const QString& rows) {
    const std::optional<qint32> nc = ParseInteger(columns);
    const std::optional<qint32> nr = ParseInteger(rows);
    if (!nc || !nr)
        return std::nullopt;
    const qint64 expected = qint64(*nc) * qint64(*nr);
    for (qsizetype k = 0; k < views.size(); ++k) {
        for (const QString& file : views[k]) {
            VT_Points points(1);
            try {
                LoadPointFile(file, &points);
            } catch (const std::exception&) {
                continue;
            }
            if (points.Count() != expected)
                return QStringLiteral("Снимок --view %1 (%2): в файле %3 точек, а в основной "
                                      "сетке %4 (%5 × %6) — это снимок другой сетки")
                    .arg(k + 1)
                    .arg(file)
                    .arg(points.Count())
                    .arg(expected)
                    .arg(*nc)
                    .arg(*nr);
        }
    }
    return std::nullopt;
}

// The image size the field check needs: positive numbers within what it takes.
std::optional<QString> CheckImageSize(const CalibrationRequest& request) {
    if (request.fieldCheck && (!request.sizeKnown() || *request.widthPx() > kLargestImageSidePx ||
                               *request.heightPx() > kLargestImageSidePx))
        return QStringLiteral("Для оценки наклона поля ширина и высота изображения должны быть "
                              "положительными числами не больше %1")
            .arg(FormatGeneral15(kLargestImageSidePx));
    return std::nullopt;
}

// The focal length against the image size: what a camera of that size can have
// (calib/FieldCheck). A message for the user when it is not.
std::optional<QString> CheckFocalAgainstSize(const CalibrationRequest& request) {
    if (!request.focal || !request.sizeKnown())
        return std::nullopt;
    const double width = *request.widthPx();
    const double height = *request.heightPx();
    const FocalRange range = PlausibleFocalLengths(width, height);
    if (range.contains(*request.focal))
        return std::nullopt;
    return QStringLiteral("Фокусное расстояние (--focal) %1 пикс. невозможно для изображения "
                          "%2 × %3: у камеры с таким кадром оно от %4 до %5 пикс. (от десятой "
                          "доли до 100 диагоналей кадра)")
        .arg(FormatGeneral15(*request.focal), request.width.trimmed(), request.height.trimmed(),
             FormatGeneral15(std::ceil(range.low)), FormatGeneral15(std::floor(range.high)));
}

// The files a calibration reads and writes, with the command's own (a photograph and
// the coordinate files measured in it, say), before anything is written: no output may be
// an input or another output (tools/CommandLine: FileClashMessage).
std::optional<QString> CheckRequestFiles(const CalibrationRequest& request,
                                         std::vector<NamedFile> inputs,
                                         std::vector<NamedFile> outputs) {
    const QString scene = QStringLiteral("--scene");
    const QString image = QStringLiteral("--image");
    if (!request.sceneFile.isEmpty())
        inputs.push_back({scene, request.sceneFile});
    if (!request.imageFile.isEmpty())
        inputs.push_back({image, request.imageFile});
    for (const QStringList& view : request.views)
        for (const QString& file : view)
            inputs.push_back({QStringLiteral("--view"), file});
    const std::pair<const char*, const std::optional<QString>*> written[] = {
        {"--table", &request.table},
        {"--camera", &request.camera},
        {"--report", &request.report},
        {"--json", &request.json}};
    for (const auto& [option, file] : written)
        if (*file)
            outputs.push_back({QString::fromLatin1(option), **file});
    return FileClashMessage(inputs, outputs);
}

// The checks of the calibration's own options, after the files and the separator, and of
// every file the command reads and writes (its own inputs and outputs given here, the
// calibration's added): a message for the user when they are wrong.
std::optional<QString> ReadCalibrationRequest(const CommandLine& options,
                                              CalibrationRequest& request,
                                              std::vector<NamedFile> commandInputs,
                                              std::vector<NamedFile> commandOutputs) {
    request.columns = options.value("columns");
    request.rows = options.value("rows");
    request.width = options.value("width", QStringLiteral("720"));
    request.height = options.value("height", QStringLiteral("576"));
    request.table = options.given("table");
    request.camera = options.given("camera");
    request.report = options.given("report");
    request.json = options.given("json");
    if (request.camera && !request.table)
        return QStringLiteral("Для файла камеры нужна и таблица коррекции (--table)");
    if (request.camera && (!ParseInteger(request.width) || !ParseInteger(request.height)))
        return QStringLiteral("Для файла камеры ширина и высота изображения должны быть целыми "
                              "числами");
    request.fieldCheck = options.has("focal") || request.json || !request.views.isEmpty();
    if (options.has("focal")) {
        request.focal = ParseRealDouble(options.value("focal"));
        if (!request.focal || !(*request.focal > 0.0))
            return QStringLiteral(
                       "Фокусное расстояние (--focal) должно быть положительным числом: %1")
                .arg(options.value("focal"));
    }
    if (auto error = CheckImageSize(request))
        return error;
    // A photograph's size is known once it is read: its focal length is checked then.
    if (!request.sizeFromPhoto)
        if (auto error = CheckFocalAgainstSize(request))
            return error;
    return CheckRequestFiles(request, std::move(commandInputs), std::move(commandOutputs));
}

// The command: calibrate two coordinate files.
int CalibrateFiles(const CommandLine& options, const QList<QStringList>& views) {
    CalibrationRequest request;
    request.sceneFile = options.value("scene");
    request.imageFile = options.value("image");
    request.views = views;
    if (auto error = options.Missing({"scene", "image", "columns", "rows"}))
        return CommandLineError(*error);
    if (auto error = options.TakeDecimalSeparator())
        return CommandLineError(*error);
    if (auto error = ReadCalibrationRequest(options, request, {}, {}))
        return CommandLineError(*error);
    if (const auto error = CheckViewCounts(views, request.columns, request.rows))
        return CommandLineError(*error);
    return Calibrate(request, nullptr);
}

// A --width or --height given with a photograph that is not its size: a message.
std::optional<QString> CheckSizeAgainstPhoto(const CommandLine& options, int width, int height) {
    const std::pair<const char*, int> sides[] = {{"width", width}, {"height", height}};
    for (const auto& [option, side] : sides) {
        if (!options.has(option))
            continue;
        const std::optional<double> given = ParseRealDouble(options.value(option));
        if (!given || *given != double(side))
            return messages::SizeOtherThanPhotograph(QStringLiteral("--") + QLatin1String(option),
                                                     options.value(option), width, height);
    }
    return std::nullopt;
}

// The command: measure a photograph, and calibrate what it found; its two coordinate files
// are written with the calibration's files (the photograph's size is the image size).
int MeasurePhotograph(const CommandLine& options, const QList<QStringList>& views) {
    if (options.has("scene") || options.has("image"))
        return CommandLineError(
            QStringLiteral("Со снимком (--photo) файлы --scene и --image не задаются"));
    if (const auto error =
            options.Missing({"target", "columns", "rows", "pitch", "scene-out", "image-out"}))
        return CommandLineError(*error);
    if (auto error = options.TakeDecimalSeparator())
        return CommandLineError(*error);
    PhotoRequest photo{options.value("photo"),
                       BoardOptionsOf(options),
                       options.value("scene-out"),
                       options.value("image-out"),
                       {}};
    if (auto error = CheckPhotoRequest(photo))
        return CommandLineError(*error);
    CalibrationRequest request;
    request.views = views;
    request.sizeFromPhoto = !(options.has("width") && options.has("height"));
    if (const auto error =
            ReadCalibrationRequest(options, request, {{QStringLiteral("--photo"), photo.photo}},
                                   {{QStringLiteral("--scene-out"), photo.sceneOut},
                                    {QStringLiteral("--image-out"), photo.imageOut}}))
        return CommandLineError(*error);
    if (const auto error = CheckViewCounts(views, request.columns, request.rows))
        return CommandLineError(*error);
    // The size the calibration takes, and the focal length checked against it, before
    // anything is searched.
    photo.acceptSize = [&](int width, int height) {
        if (auto error = CheckSizeAgainstPhoto(options, width, height))
            return error;
        request.width = options.value("width", FormatInteger(width));
        request.height = options.value("height", FormatInteger(height));
        if (auto error = CheckImageSize(request))
            return error;
        return CheckFocalAgainstSize(request);
    };

    const PhotoResult found = RunPhotoDetection(photo);
    switch (found.status) {
    case PhotoStatus::Refused:
        return CommandLineError(found.message);
    case PhotoStatus::Unreadable:
        return Fail(kRead, found.message);
    case PhotoStatus::GridNotFound:
        return Fail(kGridNotFound, found.message);
    case PhotoStatus::Done:
        break;
    }
    for (const QString& note : found.notes)
        Print(stderr, QStringLiteral("%1: %2.").arg(photo.photo, note));
    request.sceneFile = photo.sceneOut;
    request.imageFile = photo.imageOut;
    // A board seen turned by a quarter: its rows are the calibration's columns.
    request.columns = FormatInteger(found.columns);
    request.rows = FormatInteger(found.rows);
    const MeasuredFiles measured{photo.sceneOut, photo.imageOut, found.scene, found.image};
    return Calibrate(request, &measured);
}

int Run(QStringList arguments) {
    // Several photographs: the calibration of a camera (tools/CameraCommand).
    if (NamesSeveralPhotos(arguments))
        return RunCameraCommand(arguments);
    QList<QStringList> views;
    if (auto error = TakeViews(arguments, views))
        return CommandLineError(*error);
    CommandLine options(kValueOptions, true);
    if (auto error = options.Parse(arguments))
        return CommandLineError(*error);
    if (options.help()) {
        std::fputs(kHelp, stdout);
        std::fputs(FieldSheetHelp(), stdout);
        std::fputs(CameraCommandHelp(), stdout);
        return kDone;
    }
    return options.has("photo") ? MeasurePhotograph(options, views)
                                : CalibrateFiles(options, views);
}

} // namespace
} // namespace vrma

namespace {

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

namespace vrma {
namespace {

// The command the arguments name. The application object is made first (it may take
// Qt's own options out of argv); the arguments keep the bytes of file names.
int RunCommand(int& argc, char** argv, std::unique_ptr<QCoreApplication>& app) {
    if (NamesOption(argc, argv, "make-field")) {
        // The test field is painted with fonts too.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        return RunFieldSheetCommand(ProgramArguments(argc, argv));
    }
    // The report is painted with fonts, which need the GUI application object; the batch
    // run never shows a window, so it takes the offscreen platform and needs no display.
    if (NamesOption(argc, argv, "report")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    if (NamesOption(argc, argv, "example-folder", false))
        return PrintExampleFolder(ProgramArguments(argc, argv));
    return Run(ProgramArguments(argc, argv));
}

} // namespace
} // namespace vrma

int main(int argc, char** argv) {
    vrma::KeepOpenCvOnProcessor();
    qInstallMessageHandler(QtMessage);
    // A write beyond the file-size limit fails as a write (its exit code), not by a signal.
    vrma::IgnoreFileSizeSignal();
    // SIGINT and SIGTERM end the program at once, or after the write under way, with 130
    // or 143: no file is left half written, no pair half replaced.
    vrma::EndCleanlyOnSignals();
    // Out of memory where no exception can pass ends with its code, not an abort.
    vrma::EndWithCodeOnOutOfMemory();
    std::unique_ptr<QCoreApplication> app;
    try {
        return vrma::RunCommand(argc, argv, app);
    } catch (const std::exception& error) {
        if (vrma::IsOutOfMemory(error))
            return vrma::OutOfMemory();
        return vrma::Fail(vrma::kCalculation, vrma::messages::CalculationFailed());
    } catch (...) {
        return vrma::Fail(vrma::kCalculation, vrma::messages::CalculationFailed());
    }
}
