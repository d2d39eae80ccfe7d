#pragma once
// A board of targets: the grid that a test field is printed with and that a photograph of
// it is searched for, a chessboard's inner corners or a grid of dots, NC columns by NR
// rows at a pitch along x (from column to column) and one along y (from row to row).
// Its parameters are checked here, once, for the windows and the command line alike.
#include "data/PlanePoint.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

namespace vrma {

enum class TargetKind {
    Chessboard, // inner corners of a chessboard
    Dots,       // a symmetric grid of dots, dark on light or light on dark
};

// "chessboard" / "dots" (the command line's words): true and kind set; false for others.
bool ParseTargetKind(QStringView word, TargetKind& kind);

struct Board {
    TargetKind kind = TargetKind::Chessboard;
    int columns = 9;
    int rows = 6;
    double pitch = 20.0;  // along x, in the field's units (millimetres on a printed sheet)
    double pitchY = 20.0; // along y
};

// The limits of a board: columns and rows each, and both pitches. A smaller pitch is not
// printed true enough; a larger grid or pitch is no sheet's.
inline constexpr int kBoardMinTargets = 2;
inline constexpr int kBoardMaxTargets = 200;
inline constexpr double kBoardMinPitch = 2.0;
inline constexpr double kBoardMaxPitch = 500.0;

// The first parameter of a board that is wrong, in the order columns and rows, pitch,
// pitch along y.
enum class BoardFault {
    None,
    Grid,   // columns or rows: not whole numbers from kBoardMinTargets to kBoardMaxTargets
    Pitch,  // the pitch along x: not a number from kBoardMinPitch to kBoardMaxPitch
    PitchY, // the same for the pitch along y
};

BoardFault CheckBoard(const Board& board);

// A board's numbers as they are typed: the fields of a window, the command line's values.
struct BoardTexts {
    QString columns;
    QString rows;
    QString pitch;
    std::optional<QString> pitchY; // none: the same as along x
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
