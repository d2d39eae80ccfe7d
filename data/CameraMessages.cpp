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

QString ParameterInseparable(const QString& name) {
    return QStringLiteral("Снимки не отделяют параметр %1 от остальных: поле на них снято почти "
                          "с одного ракурса. Нужны снимки с разным наклоном и поворотом поля.")
        .arg(name);
}

QString LensTermsHeld(const QString& names) {
    return QStringLiteral("Снимки не определяют дисторсию: коэффициенты %1 не уточнялись. Нужны "
                          "снимки с разным наклоном поля, заполняющие кадр.")
        .arg(names);
}

QString PhotosMoveCamera(const QString& names, const QString& shift) {
    return QStringLiteral("Без снимков %1 камера сдвинулась бы больше чем на %2 стандартные "
                          "ошибки: калибровка держится на них. Добавьте снимки с похожим "
                          "наклоном поля или проверьте эти снимки.")
        .arg(names, shift);
}

QString UncertaintyFigures(const QString& distance, const QString& seen, const QString& frame) {
    return QStringLiteral("Неопределённость проекции на расстоянии %1: до %2 пикс. там, где было "
                          "поле, до %3 пикс. по всему кадру.")
        .arg(distance, seen, frame);
}

QString CrossValidationFigures(const QString& median, const QString& worst) {
    return QStringLiteral("Две половины снимков дают камеры, расходящиеся в медиане на %1 пикс., "
                          "не больше %2 пикс. там, где было поле.")
        .arg(median, worst);
}

QString ModelErrorFound() {
    return QStringLiteral(
        "Расхождение половин больше, чем объясняет неопределённость: модель "
        "камеры не описывает объектив или уточняет больше, чем определяют снимки.");
}

QString ModelAutomatic() {
    return QStringLiteral("авто");
}

QString ModelNoDistortion() {
    return QStringLiteral("без дисторсии");
}

QString ModelRadial() {
    return QStringLiteral("радиальная дисторсия (k1, k2, k3)");
}

QString ModelOpenCv() {
    return QStringLiteral("как в OpenCV (k1, k2, p1, p2, k3)");
}

QString ModelFixedCentre() {
    return QStringLiteral("главная точка в центре кадра");
}

QString ModelRational() {
    return QStringLiteral("рациональная (k1–k6, p1, p2)");
}

QString ModelFisheye() {
    return QStringLiteral("«рыбий глаз» (k1, k2, k3, k4)");
}

QString ModelChosen(const QString& model) {
    return QStringLiteral("Модель камеры выбрана по снимкам: %1.").arg(model);
}

QString CornerUncertaintyHigh(const QString& limit) {
    return QStringLiteral("В углах кадра проекция неопределённа больше чем на %1 пикс.: добавьте "
                          "снимки, на которых поле заходит в углы.")
        .arg(limit);
}

QString CameraTrusted() {
    return QStringLiteral("Итог: камере можно доверять.");
}

QString CameraNotTrusted() {
    return QStringLiteral("Итог: камере доверять нельзя, пока не устранено сказанное выше.");
}

QString CameraCheckFigures(const QString& held, const QString& fitted, const QString& worst,
                           const QString& bound) {
    return QStringLiteral("Проверка камеры: СКО с сохранённой камерой %1 пикс. (ошибка измерения "
                          "допускает до %4 пикс.), с камерой, уточнённой по этим снимкам, %2 "
                          "пикс.; худший снимок %3 пикс.")
        .arg(held, fitted, worst, bound);
}

QString CameraCheckCaption() {
    return QStringLiteral("Проверка камеры");
}

QString CameraExplainsPhotos(bool explains) {
    return explains ? QStringLiteral("Камера объясняет снимки: она не изменилась.")
                    : QStringLiteral("Камера не объясняет снимки: невязки больше, чем допускает "
                                     "ошибка измерения. Камеру нужно откалибровать заново.");
}

QString CameraYamlUnreadable(const QString& fileName) {
    return QStringLiteral("Файл камеры не читается или в нём нет camera_matrix, "
                          "distortion_coefficients, image_width, image_height: %1")
        .arg(fileName);
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

QString FisheyeCameraRefused() {
    return QStringLiteral("Камера «рыбий глаз» (equidistant) не подходит для проверки поля: "
                          "проверка ведётся по центральной проекции. Откалибруйте камеру "
                          "моделью opencv или rational.");
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
