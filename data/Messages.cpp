#include "data/Messages.h"

namespace vrma::messages {

QString ErrorCaption() {
    return QStringLiteral("Ошибка!");
}

QString WarningCaption() {
    return QStringLiteral("Предупреждение");
}

QString CameraFileCaption() {
    return QStringLiteral("Файл внутренней геометрии");
}

QString ReadFailed() {
    return QStringLiteral("Ошибка чтения файла сцены!");
}

QString CountMismatch() {
    return QStringLiteral("Неверное количество столбцов или строк!");
}

QString CalculationFailed() {
    return QStringLiteral("Ошибка вычисления. Попробуйте изменить входные данные.");
}

QString InternalError() {
    return QStringLiteral("Внутренняя ошибка. Обратитесь к разработчику.");
}

QString WriteFailed() {
    return QStringLiteral("Ошибка записи файла!");
}

QString NoCoefficientToSave() {
    return QStringLiteral(
        "Последний расчёт был прерван: вычисленного коэффициента нет, сохранять нечего.");
}

QString SaveIntoExistingTable() {
    return QStringLiteral("Сохранить вычисленный коэффициент в существующий файл?");
}

QString TableSavedMakeCamera() {
    return QStringLiteral(
        "Файл таблицы коррекции сохранен. Создать новый файл внутренней геометрии камеры?");
}

QString Overwrite() {
    return QStringLiteral("Перезаписать существующий файл?");
}

QString NotSavedSave() {
    return QStringLiteral("Данные не сохранены. Сохранить?");
}

QString PhotoUnreadable() {
    return QStringLiteral("Не удалось прочитать снимок: файла нет или это не изображение.");
}

QString GridNotFound() {
    return QStringLiteral("Сетка мишеней на снимке не найдена. Проверьте вид мишеней, число "
                          "столбцов и строк и что всё поле целиком видно на снимке.");
}

QString GridOfOtherSize(int seenColumns, int seenRows, int columns, int rows, bool chessboard) {
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

QString GridPartlyOutside() {
    return QStringLiteral("Сетка мишеней на снимке видна не целиком: часть поля за краем "
                          "снимка. Снимите поле так, чтобы оно всё было в кадре.");
}

QString GridTurnedAslant() {
    return QStringLiteral("Сетка мишеней найдена, но на снимке она повёрнута почти на 45°: "
                          "ни столбцы, ни строки поля не идут вдоль краёв кадра, и по одному "
                          "снимку коэффициент не вычислить. Снимите поле так, чтобы его края "
                          "шли вдоль краёв кадра.");
}

QString PhotoFormatNotRead(const QString& format) {
    return QStringLiteral("Снимок в формате %1 не читается: снимки читаются в форматах JPEG, "
                          "PNG, TIFF и BMP.")
        .arg(format);
}

QString PhotoTooLarge(qint64 width, qint64 height, qint64 megapixels) {
    return QStringLiteral("Снимок слишком велик: %1 × %2 пикселей, а читаются снимки не больше "
                          "%3 мегапикселей.")
        .arg(width)
        .arg(height)
        .arg(megapixels);
}

QString PhotoOutOfMemory(qint64 width, qint64 height, qint64 neededMb, qint64 freeMb) {
    return QStringLiteral("Для снимка %1 × %2 пикселей не хватает памяти: нужно %3 МБ, "
                          "свободно %4 МБ.")
        .arg(width)
        .arg(height)
        .arg(neededMb)
        .arg(freeMb);
}

QString SameFileChosen(const QString& file, const QString& role) {
    return QStringLiteral("Файл «%1» — это %2. Результат не записывается поверх него: выберите "
                          "другой файл. Ничего не записано.")
        .arg(file, role);
}

QString WrittenTableLine(const QString& fileName) {
    return QStringLiteral("Таблица коррекции: %1").arg(fileName);
}

QString WrittenCameraLine(const QString& fileName) {
    return QStringLiteral("Файл внутренней геометрии камеры: %1").arg(fileName);
}

QString NotAnInteger(const QString& text) {
    return QStringLiteral("'%1' не является целым числом").arg(text);
}

QString TableHasNoLine() {
    return QStringLiteral("В файле таблицы коррекции нет ни одной строки");
}

QString NodeAnalysisCsvHeader() {
    return QStringLiteral("Столбец,Строка,Отношение масштабов,Отклонение в СКО,Выброс");
}

} // namespace vrma::messages
