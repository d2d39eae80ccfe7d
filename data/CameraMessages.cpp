#include "data/CameraMessages.h"

#include "data/Numbers.h"

namespace vrma::messages {

namespace {

// "двух", "трёх", or the number: "не меньше %1 снимков".
QString AtLeast(int needed) {
    return needed == 2   ? QStringLiteral("двух")
           : needed == 3 ? QStringLiteral("трёх")
                         : QString::number(needed);
}

// " снимка 2", or nothing for the calibration's photograph alone.
QString OfPhoto(int photo) {
    return photo > 0 ? QStringLiteral(" снимка %1").arg(photo) : QString();
}

} // namespace

QString CameraFitNotConverged() {
    return QStringLiteral("Калибровка камеры не сошлась: ни одна камера не согласуется со "
                          "снимками.");
}

QString FocalsUndetermined() {
    return QStringLiteral("Снимки не определяют фокусные расстояния: поле на них повёрнуто "
                          "одинаково или почти не наклонено. Нужны снимки с разным наклоном "
                          "поля.");
}

QString TooFewPhotosOfField(int needed) {
    return QStringLiteral("Для калибровки камеры нужно не меньше %1 снимков поля.")
        .arg(AtLeast(needed));
}

QString TooFewUsablePhotos(int needed, int usable, qsizetype total) {
    return QStringLiteral("Для калибровки камеры нужно не меньше %1 пригодных снимков поля, "
                          "а пригодных %2 из %3.")
        .arg(AtLeast(needed))
        .arg(usable)
        .arg(qulonglong(total));
}

QString PhotoSizeNotPositive() {
    return QStringLiteral("Размер снимка должен быть положительным.");
}

QString TooFewPointsForCamera() {
    return QStringLiteral("Слишком мало точек для калибровки камеры.");
}

QString PhotoInCalibration() {
    return QStringLiteral("в калибровке");
}

QString PhotoFieldNotFound() {
    return QStringLiteral("поле не найдено");
}

QString PhotoNotRead() {
    return QStringLiteral("снимок не читается");
}

QString PhotoLeftOutByYou() {
    return QStringLiteral("исключён вами");
}

QString NotTaken(const QString& reason) {
    return QStringLiteral("не взят: ") + reason;
}

QString RmsOverLimit() {
    return QStringLiteral("СКО больше трёх медиан СКО снимков");
}

QString RmsOverLimit(const QString& rms, const QString& limit) {
    return QStringLiteral("СКО %1 пикс. больше трёх медиан СКО снимков (%2 пикс.)").arg(rms, limit);
}

QString NoPoseInPhoto() {
    return QStringLiteral("положение поля не определяется");
}

QString OtherPhotoSize(int width, int height, int setWidth, int setHeight) {
    return QStringLiteral("снимок %1 × %2 пикселей, а снимки калибровки %3 × %4")
        .arg(width)
        .arg(height)
        .arg(setWidth)
        .arg(setHeight);
}

QString FieldOutOfRange() {
    return QStringLiteral("Вычисление геометрии поля вышло за пределы чисел.");
}

QString PointsOnALine(bool image, int photo) {
    return QStringLiteral("Точки %1%2 лежат на одной прямой: положение поля по ним не "
                          "определить.")
        .arg(image ? QStringLiteral("изображения") : QStringLiteral("сцены"), OfPhoto(photo));
}

QString PointCountsDiffer(int photo) {
    return QStringLiteral("В файлах%1 разное число точек сцены и изображения.").arg(OfPhoto(photo));
}

QString TooFewPointsForHomography(int photo) {
    return QStringLiteral("Для проективного преобразования%1 нужно не меньше четырёх точек.")
        .arg(OfPhoto(photo));
}

QString HomographyUndetermined(int photo) {
    return QStringLiteral("Проективное преобразование поля%1 не определяется по точкам.")
        .arg(OfPhoto(photo));
}

QString PointAtInfinity() {
    return QStringLiteral("Точка поля проецируется на бесконечность.");
}

QString HomographyDegenerate() {
    return QStringLiteral("Проективное преобразование поля вырождено.");
}

QString TooFewPointsForGeometry() {
    return QStringLiteral("Слишком мало точек для оценки геометрии поля.");
}

QString PoseUndetermined(int photo) {
    return photo > 0
               ? QStringLiteral("Положение поля не определяется по точкам снимка %1.").arg(photo)
               : QStringLiteral("Положение поля не определяется по точкам.");
}

QString CameraOfOtherSize(double cameraWidth, double cameraHeight, double width, double height) {
    return QStringLiteral("Камера откалибрована по снимкам %1 × %2 пикселей, а размер "
                          "изображения %3 × %4: к нему она не подходит.")
        .arg(cameraWidth)
        .arg(cameraHeight)
        .arg(width)
        .arg(height);
}

QString FocalNotPositive() {
    return QStringLiteral("Фокусное расстояние должно быть положительным числом.");
}

QString NoPointsForHomography() {
    return QStringLiteral("Нет точек для оценки проективного преобразования.");
}

QString ImageSizeOutOfRange(double largestSide) {
    return QStringLiteral("Размеры изображения должны быть положительными числами не больше "
                          "%1 пикселей.")
        .arg(largestSide, 0, 'f', 0);
}

QString FocalImplausible(double focal, double width, double height, double low, double high) {
    return QStringLiteral("Фокусное расстояние %1 пикс. невозможно для изображения %2 × %3: "
                          "у камеры с таким кадром оно от %4 до %5 пикс. (от десятой доли "
                          "до 100 диагоналей кадра).")
        .arg(FormatGeneral15(focal), FormatGeneral15(width), FormatGeneral15(height),
             FormatGeneral15(low), FormatGeneral15(high));
}

QString FieldGeometryUndetermined() {
    return QStringLiteral("Геометрия поля по этим точкам не определяется.");
}

QString SaveLensYamlQuestion(const QString& fileName) {
    return QStringLiteral("Записать камеру с дисторсией объектива в YAML OpenCV (%1)?")
        .arg(fileName);
}

QString SaveOrientationsQuestion(qsizetype count) {
    return QStringLiteral("Записать файлы внешней геометрии (.ort) снимков, взятых в "
                          "калибровку (%1)? Папка для них будет запрошена.")
        .arg(count);
}

QString OrientationFolderCaption() {
    return QStringLiteral("Папка файлов внешней геометрии снимков (.ort)");
}

QString OverwriteOrientations(qsizetype count) {
    return QStringLiteral("Файлы внешней геометрии с такими именами уже есть (%1). "
                          "Перезаписать их?")
        .arg(count);
}

QString WrittenOrientationsLine(qsizetype count, const QString& folder) {
    return QStringLiteral("Файлы внешней геометрии снимков (%1): %2").arg(count).arg(folder);
}

} // namespace vrma::messages
