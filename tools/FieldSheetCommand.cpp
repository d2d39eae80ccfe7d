// vrma-calib --make-field OUT.pdf: the test field to print, at true scale, and the scene
// coordinate file of its targets.
#include "tools/FieldSheetCommand.h"

#include "data/Locale.h"
#include "data/Numbers.h"
#include "drawing/FieldSheet.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>

namespace vrma {

namespace {

constexpr int kDone = 0;
constexpr int kCommandLine = 1;
constexpr int kWrite = 5;

const char kFieldHelp[] = R"(
Тест-поле для печати:
  vrma-calib --make-field ПОЛЕ.pdf --target chessboard|dots --columns NC --rows NR
             --pitch P [--pitch-y PY] [--page A4|A3] [--scene-out СЦЕНА]
             [--decimal-separator , или .]

  Записывает в PDF тест-поле в натуральную величину (печатайте в масштабе 100 %) и
  файл координат сцены его мишеней в миллиметрах, в порядке, в котором их читает
  калибровка (по столбцам).
  --make-field ФАЙЛ  PDF с полем: один лист, книжный или альбомный — какой вмещает
                    поле; под полем строка «Шаг сетки: …» и отрезок 100 мм для проверки
                    печати линейкой
  --target ВИД      chessboard — шахматная доска из (NC+1)×(NR+1) клеток со стороной P,
                    мишени — её внутренние углы; dots — NC×NR тёмных точек диаметром P/2
  --columns NC      число столбцов мишеней (от 2 до 200)
  --rows NR         число строк мишеней (от 2 до 200)
  --pitch P         шаг сетки по x в миллиметрах (от 2 до 500)
  --pitch-y PY      шаг по y, по умолчанию равен P
  --page A4|A3      лист, по умолчанию A4
  --scene-out ФАЙЛ  файл координат сцены; по умолчанию — имя PDF с расширением .crd
  Вокруг поля остаётся белая рамка шириной в клетку (шаг), у краёв листа — ещё по 10 мм.
  Поле, которое не помещается на лист, не записывается (код 1, сообщение говорит, сколько
  места нужно); 5 — не удалось записать файл.
)";

const char* const kValueOptions[] = {"make-field", "target",    "columns",
                                     "rows",       "pitch",     "pitch-y",
                                     "page",       "scene-out", "decimal-separator"};

void Print(const QString& line) {
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

int CommandLineError(const QString& message) {
    Print(message);
    Print(QStringLiteral("Справка: vrma-calib --help"));
    return kCommandLine;
}

// The scene file beside the PDF: its name with .crd for .pdf.
QString DefaultSceneName(const QString& pdf) {
    const QFileInfo info(pdf);
    if (info.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return pdf.left(pdf.size() - 3) + QStringLiteral("crd");
    return pdf + QStringLiteral(".crd");
}

} // namespace

bool WantsFieldSheet(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        const char* name = argv[k];
        while (*name == '-')
            ++name;
        if (name != argv[k] &&
            (std::strcmp(name, "make-field") == 0 || std::strncmp(name, "make-field=", 11) == 0))
            return true;
    }
    return false;
}

const char* FieldSheetHelp() {
    return kFieldHelp;
}

int RunFieldSheetCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name : kValueOptions)
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    if (!parser.parse(arguments)) {
        if (!parser.unknownOptionNames().isEmpty())
            return CommandLineError(QStringLiteral("Неизвестный параметр: --%1")
                                        .arg(parser.unknownOptionNames().first()));
        return CommandLineError(
            QStringLiteral("Не задано значение параметра %1").arg(arguments.last()));
    }
    if (!parser.positionalArguments().isEmpty())
        return CommandLineError(
            QStringLiteral("Неизвестный параметр: %1").arg(parser.positionalArguments().first()));
    const auto has = [&parser](const char* name) {
        return parser.isSet(QString::fromLatin1(name));
    };
    const auto value = [&parser](const char* name) {
        return parser.value(QString::fromLatin1(name));
    };
    for (const char* name : kValueOptions)
        if (parser.values(QString::fromLatin1(name)).size() > 1)
            return CommandLineError(
                QStringLiteral("Параметр --%1 задан дважды").arg(QLatin1String(name)));
    for (const char* required : {"target", "columns", "rows", "pitch"})
        if (!has(required))
            return CommandLineError(
                QStringLiteral("Не задан обязательный параметр --%1").arg(QLatin1String(required)));

    InitDecimalSeparatorFromSystem();
    if (has("decimal-separator")) {
        const QString separator = value("decimal-separator");
        if (separator != QStringLiteral(",") && separator != QStringLiteral("."))
            return CommandLineError(
                QStringLiteral("Разделитель дробной части должен быть «,» или «.»: %1")
                    .arg(separator));
        SetDecimalSeparator(separator.at(0));
    }

    FieldSheet sheet;
    if (!ParseTargetKind(value("target"), sheet.kind))
        return CommandLineError(
            QStringLiteral("Вид мишеней (--target) должен быть chessboard или dots: %1")
                .arg(value("target")));
    const std::optional<qint32> columns = ParseInteger(value("columns"));
    const std::optional<qint32> rows = ParseInteger(value("rows"));
    if (!columns || !rows)
        return CommandLineError(
            QStringLiteral("Число столбцов и строк (--columns, --rows) должно быть целым"));
    sheet.columns = *columns;
    sheet.rows = *rows;
    const std::optional<double> pitch = ParseRealDouble(value("pitch"));
    if (!pitch)
        return CommandLineError(
            QStringLiteral("Шаг сетки (--pitch) должен быть числом: %1").arg(value("pitch")));
    sheet.pitch = *pitch;
    sheet.pitchY = *pitch;
    if (has("pitch-y")) {
        const std::optional<double> pitchY = ParseRealDouble(value("pitch-y"));
        if (!pitchY)
            return CommandLineError(QStringLiteral("Шаг сетки по y (--pitch-y) должен быть "
                                                   "числом: %1")
                                        .arg(value("pitch-y")));
        sheet.pitchY = *pitchY;
    }
    if (has("page") && !ParseSheetPage(value("page"), sheet.page))
        return CommandLineError(
            QStringLiteral("Лист (--page) должен быть A4 или A3: %1").arg(value("page")));

    const QString pdf = value("make-field");
    const QString scene = has("scene-out") ? value("scene-out") : DefaultSceneName(pdf);
    try {
        WriteFieldSheet(pdf, scene, sheet);
    } catch (const FieldSheetError& error) {
        return CommandLineError(QString::fromUtf8(error.what()));
    } catch (const std::exception& error) {
        Print(QString::fromUtf8(error.what()));
        return kWrite;
    }
    return kDone;
}

} // namespace vrma
