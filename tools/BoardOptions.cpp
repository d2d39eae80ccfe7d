#include "tools/BoardOptions.h"

namespace vrma {

std::optional<QString> ReadBoardOptions(const BoardOptions& options, Board& board) {
    TargetKind kind = TargetKind::Chessboard;
    if (!ParseTargetKind(options.target, kind))
        return QStringLiteral("Вид мишеней (--target) должен быть chessboard или dots: %1")
            .arg(options.target);
    const BoardReading reading =
        ReadBoard(kind, {options.columns, options.rows, options.pitch, options.pitchY});
    const QString limits = QStringLiteral("от %1 до %2");
    switch (reading.fault) {
    case BoardFault::None:
        break;
    case BoardFault::Grid:
        return QStringLiteral("Число столбцов и строк (--columns, --rows) должно быть целым, %1")
            .arg(limits.arg(kBoardMinTargets).arg(kBoardMaxTargets));
    case BoardFault::Pitch:
        return QStringLiteral("Шаг сетки (--pitch) должен быть числом %1: %2")
            .arg(limits.arg(kBoardMinPitch).arg(kBoardMaxPitch), options.pitch);
    case BoardFault::PitchY:
        return QStringLiteral("Шаг сетки по y (--pitch-y) должен быть числом %1: %2")
            .arg(limits.arg(kBoardMinPitch).arg(kBoardMaxPitch),
                 options.pitchY.value_or(QString()));
    }
    board = reading.board;
    return std::nullopt;
}

} // namespace vrma
