#pragma once
// The program's fixed message texts and captions, in one place: the windows show them in
// message boxes, vrma-calib prints them on standard error.
#include <QString>

namespace vrma::messages {

inline QString ErrorCaption() {
    return QStringLiteral("Ошибка!");
}
inline QString WarningCaption() {
    return QStringLiteral("Предупреждение");
}
inline QString CameraFileCaption() {
    return QStringLiteral("Файл внутренней геометрии");
}

// The coordinate-file reader's message, for the scene file and the image file alike.
inline QString ReadFailed() {
    return QStringLiteral("Ошибка чтения файла сцены!");
}
inline QString CountMismatch() {
    return QStringLiteral("Неверное количество столбцов или строк!");
}
inline QString CalculationFailed() {
    return QStringLiteral("Ошибка вычисления. Попробуйте изменить входные данные.");
}
inline QString InternalError() {
    return QStringLiteral("Внутренняя ошибка. Обратитесь к разработчику.");
}
inline QString WriteFailed() {
    return QStringLiteral("Ошибка записи файла!");
}

// The export after a calculation that stopped while summing: the coefficient is no mean.
inline QString NoCoefficientToSave() {
    return QStringLiteral(
        "Последний расчёт был прерван: вычисленного коэффициента нет, сохранять нечего.");
}

inline QString SaveIntoExistingTable() {
    return QStringLiteral("Сохранить вычисленный коэффициент в существующий файл?");
}
inline QString TableSavedMakeCamera() {
    return QStringLiteral(
        "Файл таблицы коррекции сохранен. Создать новый файл внутренней геометрии камеры?");
}
inline QString Overwrite() {
    return QStringLiteral("Перезаписать существующий файл?");
}
inline QString NotSavedSave() {
    return QStringLiteral("Данные не сохранены. Сохранить?");
}

// Target detection in a photograph of the test field.
inline QString PhotoUnreadable() {
    return QStringLiteral("Не удалось прочитать снимок: файла нет или это не изображение.");
}
inline QString GridNotFound() {
    return QStringLiteral("Сетка мишеней на снимке не найдена. Проверьте вид мишеней, число "
                          "столбцов и строк и что всё поле целиком видно на снимке.");
}
// The grid was seen, but not as asked for or not so that it can be used: what was seen.
// A whole grid of another size (its columns and rows as the user would count them).
inline QString GridOfOtherSize(int seenColumns, int seenRows, int columns, int rows,
                               bool chessboard) {
    return QStringLiteral("Сетка мишеней на снимке не найдена: на снимке видна сетка %1 × %2 "
                          "мишеней, а задана %3 × %4. Проверьте число столбцов и строк%5.")
        .arg(seenColumns)
        .arg(seenRows)
        .arg(columns)
        .arg(rows)
        .arg(chessboard ? QStringLiteral(" (мишени шахматного поля — внутренние углы: их на "
                                         "один меньше, чем клеток)")
                        : QString());
}
inline QString GridPartlyOutside() {
    return QStringLiteral("Сетка мишеней на снимке видна не целиком: часть поля за краем "
                          "снимка. Снимите поле так, чтобы оно всё было в кадре.");
}
// Found, but at about 45 degrees: no axis of the board runs along image x, as the
// calibration of one photograph needs.
inline QString GridTurnedAslant() {
    return QStringLiteral("Сетка мишеней найдена, но на снимке она повёрнута почти на 45°: "
                          "ни столбцы, ни строки поля не идут вдоль краёв кадра, и по одному "
                          "снимку коэффициент не вычислить. Снимите поле так, чтобы его края "
                          "шли вдоль краёв кадра.");
}
// A photograph in a format that is not read; format names it ("GIF", "HDR (Radiance)").
inline QString PhotoFormatNotRead(const QString& format) {
    return QStringLiteral("Снимок в формате %1 не читается: снимки читаются в форматах JPEG, "
                          "PNG, TIFF и BMP.")
        .arg(format);
}
// A photograph larger than the largest read (its size and the limit in megapixels).
inline QString PhotoTooLarge(qint64 width, qint64 height, qint64 megapixels) {
    return QStringLiteral("Снимок слишком велик: %1 × %2 пикселей, а читаются снимки не больше "
                          "%3 мегапикселей.")
        .arg(width)
        .arg(height)
        .arg(megapixels);
}
// A photograph that would take more memory than the computer has free (in megabytes).
inline QString PhotoOutOfMemory(qint64 width, qint64 height, qint64 neededMb, qint64 freeMb) {
    return QStringLiteral("Для снимка %1 × %2 пикселей не хватает памяти: нужно %3 МБ, "
                          "свободно %4 МБ.")
        .arg(width)
        .arg(height)
        .arg(neededMb)
        .arg(freeMb);
}

// A save dialog's choice that is a file the window reads or writes besides (role: what
// that file is to the user, "снимок", "файл координат сцены").
inline QString SameFileChosen(const QString& file, const QString& role) {
    return QStringLiteral("Файл «%1» — это %2. Результат не записывается поверх него: выберите "
                          "другой файл. Ничего не записано.")
        .arg(file, role);
}

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
