#pragma once
// A board of targets: the grid that a test field is printed with and that a photograph of
// it is searched for, a chessboard's inner corners, a grid of dots or the inner corners of
// a ChArUco board (a chessboard with a coded marker in every light square, so that each
// corner seen tells which it is), NC columns by NR rows at a pitch along x (from column to
// column) and one along y (from row to row). Its parameters are checked here, once, for
// the windows and the command line alike.
#include "data/PlanePoint.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

namespace vrma {

enum class TargetKind {
    Chessboard, // inner corners of a chessboard
    Dots,       // a symmetric grid of dots, dark on light or light on dark
    Charuco,    // inner corners of a ChArUco board, as OpenCV's aruco module makes it
};

// "chessboard" / "dots" / "charuco" (the command line's words): true and kind set; false
// for others.
bool ParseTargetKind(QStringView word, TargetKind& kind);

struct Board {
    TargetKind kind = TargetKind::Chessboard;
    int columns = 9;
    int rows = 6;
    double pitch = 20.0;  // along x, in the field's units (millimetres on a printed sheet)
    double pitchY = 20.0; // along y
    // A ChArUco board: (columns + 1) x (rows + 1) square squares of the pitch (pitchY is the
    // pitch), the top left one dark, a marker of this side (scene units) in the middle of
    // every light one, drawn from OpenCV's predefined dictionary `dictionary` (its
    // PREDEFINED_DICTIONARY_NAME), the markers numbered row by row from the top left: the
    // board that cv::aruco::CharucoBoard::create(columns + 1, rows + 1, pitch, marker,
    // dictionary) makes and draws. Unused by the other kinds.
    double marker = 15.0;
    int dictionary = 7; // DICT_5X5_1000

    bool operator==(const Board&) const = default;
};

// A ChArUco board's marker when none is given: this share of the square's side; the
// marker's side from the first to the second share of it (a smaller marker is not read,
// a larger one leaves no paper around the corners to measure them on).
inline constexpr double kMarkerShare = 0.75;
inline constexpr double kMarkerMinShare = 0.25;
inline constexpr double kMarkerMaxShare = 0.9;

// OpenCV's predefined dictionaries of markers (its PREDEFINED_DICTIONARY_NAME), by the
// names of their enumerators ("DICT_5X5_1000"): true and id set; false for others.
bool ParseDictionary(QStringView name, int& id);
// The name of a dictionary ("DICT_5X5_1000"); empty for an id that is none.
QString DictionaryName(int id);
// The number of markers a dictionary holds; 0 for an id that is none.
int DictionaryMarkers(int id);
// The number of markers a ChArUco board of columns x rows inner corners carries: one in
// every light square of (columns + 1) x (rows + 1).
int CharucoMarkers(int columns, int rows);

// The limits of a board: columns and rows each, and both pitches. A smaller pitch is not
// printed true enough; a larger grid or pitch is no sheet's.
inline constexpr int kBoardMinTargets = 2;
inline constexpr int kBoardMaxTargets = 200;
inline constexpr double kBoardMinPitch = 2.0;
inline constexpr double kBoardMaxPitch = 500.0;

// The first parameter of a board that is wrong, in the order columns and rows, pitch,
// pitch along y, then a ChArUco board's marker and dictionary.
enum class BoardFault {
    None,
    Grid,       // columns or rows: not whole numbers from kBoardMinTargets to kBoardMaxTargets
    Pitch,      // the pitch along x: not a number from kBoardMinPitch to kBoardMaxPitch
    PitchY,     // the same for the pitch along y (a ChArUco board's: the pitch itself)
    Marker,     // a ChArUco marker: not a number from kMarkerMinShare to kMarkerMaxShare
                // of the pitch
    Dictionary, // not one of OpenCV's predefined dictionaries
    Markers,    // the dictionary holds fewer markers than the board carries
};

BoardFault CheckBoard(const Board& board);

// A board's numbers as they are typed: the fields of a window, the command line's values.
struct BoardTexts {
    QString columns;
    QString rows;
    QString pitch;
    std::optional<QString> pitchY; // none: the same as along x
    // A ChArUco board's: the marker's side (none: kMarkerShare of the pitch) and the
    // dictionary's name (none: DICT_5X5_1000). A ChArUco board's squares are square: a
    // pitch along y is read as for the other kinds and must be the pitch.
    std::optional<QString> marker = std::nullopt;
    std::optional<QString> dictionary = std::nullopt;
};

// The board the texts give (numbers with the decimal separator of the moment), checked.
struct BoardReading {
    Board board;
    BoardFault fault = BoardFault::None;
    bool ok() const { return fault == BoardFault::None; }
};
BoardReading ReadBoard(TargetKind kind, const BoardTexts& texts);

// The scene grid of a board: X = i * pitch, Y = j * pitchY, column by column (point
// k = i * rows + j), the order in which the calibration reads its grid.
std::vector<PlanePoint> SceneGrid(int columns, int rows, double pitch, double pitchY);
inline std::vector<PlanePoint> SceneGrid(const Board& board) {
    return SceneGrid(board.columns, board.rows, board.pitch, board.pitchY);
}

} // namespace vrma
