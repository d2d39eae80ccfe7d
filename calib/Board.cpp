#include "calib/Board.h"

#include "data/Numbers.h"

#include <cmath>

namespace vrma {

namespace {

bool InRange(double pitch) {
    return std::isfinite(pitch) && pitch >= kBoardMinPitch && pitch <= kBoardMaxPitch;
}

bool InRange(int targets) {
    return targets >= kBoardMinTargets && targets <= kBoardMaxTargets;
}

} // namespace

bool ParseTargetKind(QStringView word, TargetKind& kind) {
    if (word == u"chessboard") {
        kind = TargetKind::Chessboard;
        return true;
    }
    if (word == u"dots") {
        kind = TargetKind::Dots;
        return true;
    }
    return false;
}

BoardFault CheckBoard(const Board& board) {
    if (!InRange(board.columns) || !InRange(board.rows))
        return BoardFault::Grid;
    if (!InRange(board.pitch))
        return BoardFault::Pitch;
    if (!InRange(board.pitchY))
        return BoardFault::PitchY;
    return BoardFault::None;
}

BoardReading ReadBoard(TargetKind kind, const BoardTexts& texts) {
    BoardReading reading;
    Board& board = reading.board;
    board.kind = kind;
    // Blanks around a number are no part of it, for the grid as for the pitches.
    const std::optional<qint32> columns = ParseInteger(texts.columns.trimmed());
    const std::optional<qint32> rows = ParseInteger(texts.rows.trimmed());
    const std::optional<double> pitch = ParseRealDouble(texts.pitch.trimmed());
    const std::optional<double> pitchY =
        texts.pitchY ? ParseRealDouble(texts.pitchY->trimmed()) : pitch;
    // The faults in the order the check finds them: a text that is no number is wrong
    // where a number out of range would be.
    if (!columns || !rows) {
        reading.fault = BoardFault::Grid;
        return reading;
    }
    board.columns = *columns;
    board.rows = *rows;
    if (!InRange(board.columns) || !InRange(board.rows)) {
        reading.fault = BoardFault::Grid;
    } else if (!pitch) {
        reading.fault = BoardFault::Pitch;
    } else if (!pitchY) {
        board.pitch = *pitch;
        reading.fault =
            CheckBoard(board) == BoardFault::Pitch ? BoardFault::Pitch : BoardFault::PitchY;
    } else {
        board.pitch = *pitch;
        board.pitchY = *pitchY;
        reading.fault = CheckBoard(board);
    }
    return reading;
}

std::vector<PlanePoint> SceneGrid(int columns, int rows, double pitch, double pitchY) {
    std::vector<PlanePoint> points;
    if (columns < 1 || rows < 1)
        return points;
    points.reserve(size_t(columns) * size_t(rows));
    for (int i = 0; i < columns; ++i)
        for (int j = 0; j < rows; ++j)
            points.push_back({i * pitch, j * pitchY});
    return points;
}

} // namespace vrma
