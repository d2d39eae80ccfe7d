#pragma once
// The words of a camera's calibration from photographs and of the field check: why no
// camera or no geometry could be found, and what became of each photograph. The estimation
// (calib/) reports codes and numbers; the windows, the reports and vrma-calib word them here.
#include <QString>

namespace vrma::messages {

// --- The calibration of a camera from several photographs -----------------------------

QString CameraFitNotConverged();
// The photographs do not fix the focal lengths (the field check's views alike).
QString FocalsUndetermined();
// Fewer than `needed` photographs of the field at all.
QString TooFewPhotosOfField(int needed);
// Fewer than `needed` photographs usable: `usable` of `total`.
QString TooFewUsablePhotos(int needed, int usable, qsizetype total);
QString PhotoSizeNotPositive();
QString TooFewPointsForCamera();
// The photographs do not tell the parameter `name` ("fx", "k3") from the others.
QString ParameterInseparable(const QString& name);
// The lens terms `names` ("k1, k2, p1") held: the photographs did not found them.
QString LensTermsHeld(const QString& names);

// --- Whether a calibrated camera can be trusted ---------------------------------------
// `names`: photographs as the verdict names them; figures as shown (pixels).

QString PhotosMoveCamera(const QString& names, const QString& shift);
QString UncertaintyFigures(const QString& distance, const QString& seen, const QString& frame);
QString CrossValidationFigures(const QString& median, const QString& worst);
QString ModelErrorFound();
// The camera's models as the window offers them: the automatic choice, no lens, radial
// terms, OpenCV's five, the principal point at the centre.
QString ModelAutomatic();
QString ModelNoDistortion();
QString ModelRadial();
QString ModelOpenCv();
QString ModelFixedCentre();
QString ModelRational();
QString ModelFisheye();
// The model chosen from the photographs (`model` as the window names it).
QString ModelChosen(const QString& model);
QString CornerUncertaintyHigh(const QString& limit);
QString CameraTrusted();
// The check of a saved camera against photographs: the RMS with it held and with the camera
// fitted to them, the worst photograph's, the RMS held the measuring error allows, and
// whether it explains them.
QString CameraCheckFigures(const QString& held, const QString& fitted, const QString& worst,
                           const QString& bound);
QString CameraExplainsPhotos(bool explains);
QString CameraYamlUnreadable(const QString& fileName);
// The caption of the check's outcome in the camera window.
QString CameraCheckCaption();
QString CameraNotTrusted();

// --- What became of each photograph of a camera's calibration ----------------------------
// The list's words for a photograph and the reasons the verdict and vrma-calib give for one
// left out ("не взят: " and the reason).

QString PhotoInCalibration(); // "в калибровке"
QString PhotoFieldNotFound(); // "поле не найдено"
QString PhotoNotRead();       // "снимок не читается"
QString PhotoLeftOutByYou();  // "исключён вами"
QString NotTaken(const QString& reason);
// Its RMS over the limit of the rule: without the numbers, and with the RMS and the limit
// as shown (pixels).
QString RmsOverLimit();
QString RmsOverLimit(const QString& rms, const QString& limit);
QString NoPoseInPhoto();
// Of another size than the set's.
QString OtherPhotoSize(int width, int height, int setWidth, int setHeight);

// --- The field check --------------------------------------------------------------------
// `photo` names a photograph among several ("снимка 2"; 1 is the calibration's own); 0 for
// the calibration's photograph alone, which is not named.

QString FieldOutOfRange();
QString PointsOnALine(bool image, int photo);
QString PointCountsDiffer(int photo);
QString TooFewPointsForHomography(int photo);
QString HomographyUndetermined(int photo);
QString PointAtInfinity();
QString HomographyDegenerate();
QString TooFewPointsForGeometry();
QString PoseUndetermined(int photo);
// A camera calibrated from photographs of another size than the image's.
QString CameraOfOtherSize(double cameraWidth, double cameraHeight, double width, double height);
QString FocalNotPositive();
// A fisheye camera given to the field check, which takes only central projections.
QString FisheyeCameraRefused();
QString NoPointsForHomography();
QString ImageSizeOutOfRange(double largestSide);
// A focal length no camera of that image size can have: it lies from `low` to `high`.
QString FocalImplausible(double focal, double width, double height, double low, double high);
QString FieldGeometryUndetermined();

// --- What the camera window keeps besides the table and the camera file -----------------

// Whether to write the camera with its lens as OpenCV's YAML under `fileName`.
QString SaveLensYamlQuestion(const QString& fileName);
// Whether to write the orientation files of `count` photographs (their folder is asked next).
QString SaveOrientationsQuestion(qsizetype count);
// The caption of the question for the orientation files' folder.
QString OrientationFolderCaption();
// Whether to write over `count` orientation files there already.
QString OverwriteOrientations(qsizetype count);
// The report's line of the orientation files written into `folder`.
QString WrittenOrientationsLine(qsizetype count, const QString& folder);

} // namespace vrma::messages
