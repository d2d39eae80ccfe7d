#pragma once
// The board of targets as a window asks for it: the kind of targets, the columns and rows,
// the pitch and the pitch along y (empty: as along x), and for a ChArUco board its
// marker's side (empty: three quarters of the pitch) and its dictionary of markers (the
// pitch along y is then the pitch, its field disabled; the marker's fields are enabled for
// a ChArUco board only). The field-sheet dialog lays it out
// in rows, the measuring window in one line; the fields, their defaults and widths, and
// the check of what is typed (calib/Board) are the same in both. The board last made or
// measured in this run (TLastBoard) is where a window starts from.
#include "calib/Board.h"

#include <QWidget>
#include <optional>

class QComboBox;
class QFormLayout;
class QLineEdit;

namespace vrma {

// The board last made (a field written) or measured (targets found) in this run.
class TLastBoard {
public:
    const std::optional<Board>& board() const { return board_; }
    // Counts the boards kept, so that a window tells a newer one from the one it shows.
    quint64 version() const { return version_; }
    void Keep(const Board& board) {
        board_ = board;
        ++version_;
    }

private:
    std::optional<Board> board_;
    quint64 version_ = 0;
};

class TBoardForm : public QWidget {
    Q_OBJECT
public:
    enum class Arrangement {
        Rows, // a form of labelled rows, for a dialog
        Line, // one line of short labels, for a tool row above a picture
    };
    explicit TBoardForm(Arrangement arrangement, QWidget* parent = nullptr);

    QComboBox* KindBox = nullptr; // шахматная доска / точки / доска ChArUco
    QLineEdit* ColumnsEdit = nullptr;
    QLineEdit* RowsEdit = nullptr;
    QLineEdit* PitchEdit = nullptr;     // along x, mm
    QLineEdit* PitchYEdit = nullptr;    // along y, mm; empty: the same as along x
    QLineEdit* MarkerEdit = nullptr;    // a ChArUco marker's side, mm; empty: 3/4 of the pitch
    QComboBox* DictionaryBox = nullptr; // OpenCV's dictionaries, by name

    // The rows' layout (Rows only; nullptr otherwise), for the dialog's further rows.
    QFormLayout* rows() const { return rows_; }

    // Shows the board in the fields.
    void ShowBoard(const Board& board);
    // The board the fields give, checked.
    BoardReading ReadBoard() const;
    // The board the fields give; when it does not pass its check, an error box (owned by
    // `owner`) with what is wrong, and nothing.
    std::optional<Board> CheckedBoard(QWidget* owner) const;

    // The window's link to the board last made or measured: TakeLastBoard shows it when it
    // is newer than what the form last took or kept; KeepAsLast keeps a board as the last.
    void Follow(TLastBoard* last) { last_ = last; }
    bool TakeLastBoard();
    void KeepAsLast(const Board& board);

private:
    // The fields that the kind chosen uses enabled.
    void KindChanged();

    QFormLayout* rows_ = nullptr;
    TLastBoard* last_ = nullptr;
    quint64 taken_ = 0; // the version of the last board taken or kept
};

} // namespace vrma
