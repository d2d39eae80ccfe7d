#pragma once
// The program's fixed message texts and captions, in one place: the windows show them in
// message boxes, vrma-calib prints them on standard error. (The words of a camera's
// calibration and of the field check are data/CameraMessages.h.)
#include <QString>
#include <QStringList>

namespace vrma::messages {

QString ErrorCaption();
QString WarningCaption();
QString CameraFileCaption();

// The coordinate-file reader's message, for the scene file and the image file alike.
QString ReadFailed();
QString CountMismatch();
QString CalculationFailed();
QString InternalError();
QString WriteFailed();

// The export after a calculation that stopped while summing: the coefficient is no mean.
QString NoCoefficientToSave();

QString SaveIntoExistingTable();
QString TableSavedMakeCamera();
QString Overwrite();
QString NotSavedSave();

// Target detection in a photograph of the test field.
QString PhotoUnreadable();
QString GridNotFound();
// The grid was seen, but not as asked for or not so that it can be used: what was seen.
// A whole grid of another size (its columns and rows as the user would count them).
QString GridOfOtherSize(int seenColumns, int seenRows, int columns, int rows, bool chessboard);
QString GridPartlyOutside();
// Found, but at about 45 degrees: no axis of the board runs along image x, as the
// calibration of one photograph needs.
QString GridTurnedAslant();
// A photograph in a format that is not read; format names it ("GIF", "HDR (Radiance)").
QString PhotoFormatNotRead(const QString& format);
// A photograph larger than the largest read (its size and the limit in megapixels).
QString PhotoTooLarge(qint64 width, qint64 height, qint64 megapixels);
// A photograph that would take more memory than the computer has free (in megabytes).
QString PhotoOutOfMemory(qint64 width, qint64 height, qint64 neededMb, qint64 freeMb);

// What the export wrote, a line a file, as the reports tell it ("Таблица коррекции:
// /path/t.tab"): the window's "Сохранить" and vrma-calib alike.
QString WrittenTableLine(const QString& fileName);
QString WrittenCameraLine(const QString& fileName);

// The files of the export: a size text that is no integer, a table without a line.
QString NotAnInteger(const QString& text);
QString TableHasNoLine();

// The header line of the node analysis's CSV file.
QString NodeAnalysisCsvHeader();

// Memory ran out: what was being worked out is given up; no file is left half written.
inline QString OutOfMemory() {
    return QStringLiteral(
        "Не хватает памяти: расчёт остановлен. Ни один файл не записан наполовину.");
}

// The writer of files (data/OutputFiles); name is the file's name as given.
inline QString FileNotWritten(const QString& name) {
    return QStringLiteral("Не удаётся записать файл \"%1\"").arg(name);
}
inline QString FileNotCreated(const QString& name) {
    return QStringLiteral("Не удаётся создать файл \"%1\"").arg(name);
}
inline QString FileNotWritable(const QString& name) {
    return QStringLiteral("Файл недоступен для записи: \"%1\"").arg(name);
}
// Two names of one set of files that lead to one file.
inline QString SameFileTwice(const QString& first, const QString& second) {
    return QStringLiteral("Файлы \"%1\" и \"%2\" — один и тот же файл. Ничего не записано.")
        .arg(first, second);
}

// A photograph given again (the same bytes as the one named: "1. a.jpg").
inline QString SamePhotograph(const QString& first) {
    return QStringLiteral("тот же снимок, что %1, — учтён один раз").arg(first);
}
// The photographs added that are already in the list under another name, one line each
// ("b.jpg: тот же снимок, что a.jpg, — учтён один раз").
inline QString PhotosGivenTwice(const QStringList& lines) {
    return QStringLiteral("Эти снимки уже есть в списке под другим именем (те же байты), и "
                          "второй раз они не добавлены:\n%1")
        .arg(lines.join(QLatin1Char('\n')));
}
// How a photograph's file asks to be shown, beside how the calibration takes it: the EXIF
// orientation (2 to 8) and the pages of a TIFF file.
inline QString PhotoOrientationNote(int orientation) {
    const char* shown = orientation == 3 ? "повёрнутым на 180°"
                        : orientation == 6 ? "повёрнутым на 90° по часовой стрелке"
                        : orientation == 8 ? "повёрнутым на 90° против часовой стрелки"
                        : orientation == 2 || orientation == 4 ? "отражённым"
                                                               : "отражённым и повёрнутым на 90°";
    return QStringLiteral("по тегу EXIF снимок показывают %1, а калибровка берёт его пиксели "
                          "так, как они записаны (оси датчика)")
        .arg(QString::fromUtf8(shown));
}
inline QString PhotoPagesNote(int pages) {
    return QStringLiteral("в файле TIFF страниц: %1, прочитана первая").arg(pages);
}

// vrma-calib --photo with an image size (option: "--width"; given: as typed) that is not the
// photograph's.
inline QString SizeOtherThanPhotograph(const QString& option, const QString& given, int width,
                                       int height) {
    return QStringLiteral("%1 %2 не совпадает с размером снимка %3 × %4: размер изображения — "
                          "это размер снимка (--width и --height можно не задавать)")
        .arg(option, given)
        .arg(width)
        .arg(height);
}

// A save dialog's choice that is a file the window reads or writes besides (role: what
// that file is to the user, "снимок", "файл координат сцены").
QString SameFileChosen(const QString& file, const QString& role);

// What a search that did not find the board saw, besides a grid of another size and one
// partly outside the photograph. A piece of a grid: `seen` targets of the columns x rows
// asked for.
inline QString GridPieceSeen(int seen, int columns, int rows) {
    return QStringLiteral("Сетка мишеней на снимке найдена не целиком: видно %1 мишеней из %2 "
                          "(%3 × %4). Проверьте, что поле ничем не закрыто, не засвечено и "
                          "снято не слишком наискось.")
        .arg(seen)
        .arg(columns * rows)
        .arg(columns)
        .arg(rows);
}
// Targets too close to each other to be told apart (about `pixels` apart, at least
// `needed` wanted).
inline QString GridTooSmall(int pixels, int needed) {
    return QStringLiteral("Мишени на снимке слишком мелкие: соседние видны на расстоянии около "
                          "%1 пикс., а нужно не меньше %2 пикс. Снимите поле крупнее.")
        .arg(pixels)
        .arg(needed);
}
// A grid whose targets could not be measured for the blur: its edges blurred over about
// `sigma` pixels, the targets `spacing` pixels apart.
inline QString GridTooBlurred(int sigma, int spacing) {
    return QStringLiteral("Сетка мишеней на снимке слишком размыта: края клеток размыты "
                          "примерно на %1 пикс. при расстоянии между мишенями %2 пикс. Снимите "
                          "поле резко.")
        .arg(sigma)
        .arg(spacing);
}
// A ChArUco board: no marker of it in the photograph; fewer corners than a photograph
// needs (`found`, at least `needed`); not every corner, where the calibration of one
// photograph needs them all (`found` of the columns x rows).
inline QString CharucoNoMarkers() {
    return QStringLiteral("Маркеры доски ChArUco на снимке не найдены. Проверьте вид мишеней, "
                          "словарь маркеров и что доска снята резко и не слишком мелко.");
}
inline QString CharucoFewCorners(int found, int needed) {
    return QStringLiteral("Доска ChArUco на снимке видна слишком мало: найдено углов: %1, а "
                          "нужно не меньше %2. Снимите доску так, чтобы в кадре была большая "
                          "её часть.")
        .arg(found)
        .arg(needed);
}
inline QString CharucoCornersMissing(int found, int columns, int rows) {
    return QStringLiteral("Доска ChArUco видна на снимке не целиком: найдено углов: %1 из %2 "
                          "(%3 × %4). Для расчёта по одному снимку нужны все углы; снимки с "
                          "частью доски годятся для калибровки камеры по нескольким снимкам.")
        .arg(found)
        .arg(columns * rows)
        .arg(columns)
        .arg(rows);
}

// A search stopped by the user (the windows' "Отмена").
inline QString SearchCancelled() {
    return QStringLiteral("Поиск мишеней прерван.");
}

} // namespace vrma::messages
