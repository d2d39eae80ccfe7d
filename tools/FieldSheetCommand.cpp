// vrma-calib --make-field OUT.pdf: the test field to print, at true scale, and the scene
// coordinate file of its targets.
#include "tools/FieldSheetCommand.h"

#include "data/PointFileWriter.h"
#include "drawing/FieldSheet.h"
#include "drawing/PdfMemory.h"
#include "tools/BoardOptions.h"
#include "tools/CommandLine.h"

#include <QFileInfo>
#include <exception>
#include <optional>
#include <vector>

namespace vrma {

namespace {

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
  места нужно), как и PDF и файл сцены, которые оказались бы одним файлом (код 1);
  5 — не удалось записать файл: тогда PDF и файл сцены остаются прежними оба (или их
  нет, если их не было); 8 — не хватает памяти; 130, 143 — остановлена сигналом.
)";

const char* const kValueOptions[] = {"make-field", "target",    "columns",          "rows",
                                     "pitch",      "pitch-y",   "marker",           "dictionary",
                                     "page",       "scene-out", "decimal-separator"};

// The scene file beside the PDF: its name with .crd for .pdf.
QString DefaultSceneName(const QString& pdf) {
    const QFileInfo info(pdf);
    if (info.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return pdf.left(pdf.size() - 3) + QStringLiteral("crd");
    return pdf + QStringLiteral(".crd");
}

// The field the arguments order; a message for the user when they are wrong.
std::optional<QString> ReadFieldSheet(CommandLine& options, const QStringList& arguments,
                                      FieldSheet& sheet) {
    if (auto error = options.Parse(arguments))
        return error;
    if (auto error = options.Missing({"target", "columns", "rows", "pitch"}))
        return error;
    if (auto error = options.TakeDecimalSeparator())
        return error;
    if (auto error = ReadBoardOptions(BoardOptionsOf(options), sheet))
        return error;
    if (options.has("page") && !ParseSheetPage(options.value("page"), sheet.page))
        return QStringLiteral("Лист (--page) должен быть A4 или A3: %1").arg(options.value("page"));
    return std::nullopt;
}

} // namespace

const char* FieldSheetHelp() {
    return kFieldHelp;
}

int RunFieldSheetCommand(const QStringList& arguments) {
    CommandLine options(kValueOptions, false);
    FieldSheet sheet;
    if (auto error = ReadFieldSheet(options, arguments, sheet))
        return CommandLineError(*error);
    const QString pdf = options.value("make-field");
    const QString scene = options.value("scene-out", DefaultSceneName(pdf));
    const NamedFile outputs[] = {{QStringLiteral("--make-field"), pdf},
                                 {QStringLiteral("--scene-out"), scene}};
    if (auto error = FileClashMessage({}, outputs))
        return CommandLineError(*error);
    // Both made in memory before either is written (a field that does not fit writes
    // nothing), then written as one set.
    std::vector<OutputFile> files;
    try {
        files.push_back(
            {pdf, PaintPdf([&sheet] { return FieldSheetPdf(sheet); }, PdfItems(sheet))});
        files.push_back({scene, EncodePointFile(SceneGrid(sheet))});
    } catch (const FieldSheetError& error) {
        return CommandLineError(QString::fromUtf8(error.what()));
    } catch (const std::exception& error) {
        if (IsOutOfMemory(error))
            throw;
        return Fail(kWrite, QString::fromUtf8(error.what()));
    }
    return WriteOutputs(files);
}

} // namespace vrma
