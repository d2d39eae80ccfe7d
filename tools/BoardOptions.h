#pragma once
// The board of a vrma-calib command: --target, --columns, --rows, --pitch, --pitch-y, and a
// ChArUco board's --marker and --dictionary, read and checked by the check that the windows use too
// (calib/Board); the messages name the options.
#include "calib/Board.h"

#include <QString>
#include <optional>

namespace vrma {

// The options' values as the command line gives them.
struct BoardOptions {
    QString target;
    QString columns;
    QString rows;
    QString pitch;
    std::optional<QString> pitchY;     // not given: the same as along x
    std::optional<QString> marker;     // not given: three quarters of the pitch
    std::optional<QString> dictionary; // not given: DICT_5X5_1000
};

class CommandLine;

// The options' values on a command line read.
BoardOptions BoardOptionsOf(const CommandLine& options);

// The board the options give, or a message for the user when they are wrong.
std::optional<QString> ReadBoardOptions(const BoardOptions& options, Board& board);

} // namespace vrma
