#pragma once
// The camera (interior geometry, .cam, 8 lines) and orientation (exterior geometry,
// .ort, 21 lines) files: one value a line, followed by a comment that names it.
#include <QString>
#include <QStringList>
#include <optional>

namespace vrma {

enum class GeometryFormat { Camera, Orientation };

constexpr int kCameraLineCount = 8;
constexpr int kOrientationLineCount = 21;
// The line of a camera file that holds the correction table's name (0-based).
constexpr int kCameraTableLine = 2;
// The line of a camera file that holds the focal length, in pixels (0-based).
constexpr int kCameraFocalLine = 3;

int GeometryLineCount(GeometryFormat format);

// The comments written after each value, in line order; each begins with " ; ".
const QStringList& GeometryComments(GeometryFormat format);

// The value texts of the first `count` lines, exactly as they stand before the first
// semicolon (a line without one gives the empty text). Extra lines are ignored.
// Throws FormatError when there are fewer lines than `count`.
QStringList GeometryValuesFromLines(const QStringList& lines, int count);
// The same, read from a file (FileError when it cannot be read).
QStringList ReadGeometryValues(const QString& fileName, int count);

// The focal length (pixels) of a camera file: its value on kCameraFocalLine, when it
// reads as a positive number; empty otherwise (no file, an empty value). Never throws.
std::optional<double> CameraFileFocal(const QString& fileName);

// The text to write for a numeric value: the empty text or one blank give the empty
// text (absent); otherwise the text is read by the real syntax at full precision and
// written in the 15-digit general format. nullopt when it is not a number.
std::optional<QString> NormaliseGeometryValue(const QString& text);

// Each value followed directly by its comment. `values` must hold one text per line.
QStringList GeometryLines(GeometryFormat format, const QStringList& values);

// Index of the first value that does not normalise, or -1 when all do; on success
// `out` receives the lines to write. Camera line 3 (the correction table) is free text,
// taken as it stands except that trailing blanks are dropped.
int BuildGeometryFile(GeometryFormat format, const QStringList& values, QStringList* out);

} // namespace vrma
