#pragma once
// The printable test field: a chessboard, a grid of dots or a ChArUco board drawn at true
// scale on one A4 or A3 sheet, as a vector PDF, with the line that states its pitch and a ruler bar
// for checking the print; and the scene coordinate file of its targets, in millimetres. Core only:
// the PDF is painted with Qt Gui.
#include "calib/Board.h"
#include "data/Errors.h"

#include <QByteArray>
#include <QString>

namespace vrma {

enum class SheetPage { A4, A3 };

// "A4" / "A3" (the command line's words, any case): true and page set; false for others.
bool ParseSheetPage(QStringView word, SheetPage& page);

// A field as it is ordered: a board in millimetres on a sheet. For a chessboard the
// targets are the inner corners of (columns + 1) x (rows + 1) squares of pitch x pitchY;
// for dots they are dark dots of diameter min(pitch, pitchY) / 2; a ChArUco board is the
// chessboard with its markers (calib/CharucoBoard), the one OpenCV draws.
struct FieldSheet : Board {
    SheetPage page = SheetPage::A4;
};

// A field that cannot be drawn: a board that does not pass its check (CheckBoard), or a
// field that does not fit the sheet. what() is the Russian message for the user, UTF-8.
class FieldSheetError : public Exception {
public:
    using Exception::Exception;
};

// What the user is told of a board that does not pass its check (the windows' message,
// and the sheet's); empty for BoardFault::None.
QString BoardFaultMessage(BoardFault fault);

// The kind of targets in words, as the windows and the report name it ("шахматная доска",
// "точки", "доска ChArUco").
QString TargetKindName(TargetKind kind);

// Where the parts of a sheet lie, in millimetres from the top left corner of the paper.
struct FieldSheetLayout {
    bool landscape = false;
    double pageWidth = 0.0; // of the paper as it lies
    double pageHeight = 0.0;
    double patternLeft = 0.0; // the pattern's box: the squares, or the dots' outer edges
    double patternTop = 0.0;
    double patternWidth = 0.0;
    double patternHeight = 0.0;
    double firstTargetX = 0.0; // the target of column 0, row 0
    double firstTargetY = 0.0;
    double textTop = 0.0; // the pitch line, then the ruler bar below it
    double rulerLeft = 0.0;
    double rulerTop = 0.0;
    double rulerLength = 0.0;
};

// Checks the field and places it on its sheet: portrait or landscape, whichever holds it
// (landscape when both do and the field is wider than high). Throws FieldSheetError.
FieldSheetLayout LayOutFieldSheet(const FieldSheet& sheet);

// The line that states the pitch, as printed ("Шаг сетки: 20 мм (9 столбцов × 6 строк…").
QString FieldSheetPitchLine(const FieldSheet& sheet);
// The ruler bar's caption, as printed.
QString FieldSheetRulerLine(double lengthMm);

// The sheet as a one-page PDF. Throws FieldSheetError.
QByteArray FieldSheetPdf(const FieldSheet& sheet);

// Both files of a field: the PDF and its scene file (the board's SceneGrid in millimetres,
// data/PointFileWriter), made in memory before either is written (a field that does not
// fit writes nothing), and written as a pair: both replaced or neither (WriteFilePair).
// Throws FieldSheetError, FileError.
void WriteFieldSheet(const QString& pdfFile, const QString& sceneFile, const FieldSheet& sheet);

} // namespace vrma
