#include "tools/BoardOptions.h"

#include "data/Numbers.h"
#include "tools/CommandLine.h"

namespace vrma {

BoardOptions BoardOptionsOf(const CommandLine& options) {
    return {options.value("target"),    options.value("columns"), options.value("rows"),
            options.value("pitch"),     options.given("pitch-y"), options.given("marker"),
            options.given("dictionary")};
}

std::optional<QString> ReadBoardOptions(const BoardOptions& options, Board& board) {
    TargetKind kind = TargetKind::Chessboard;
    if (!ParseTargetKind(options.target, kind))
        return QStringLiteral("Вид мишеней (--target) должен быть chessboard, dots или charuco: %1")
            .arg(options.target);
    if (kind != TargetKind::Charuco && (options.marker || options.dictionary))
        return QStringLiteral("Маркер и словарь (--marker, --dictionary) задаются только для "
                              "доски ChArUco (--target charuco)");
    if (kind == TargetKind::Charuco && options.pitchY)
        return QStringLiteral("У доски ChArUco клетки квадратные: --pitch-y не задаётся");
    const BoardReading reading =
        ReadBoard(kind, {options.columns, options.rows, options.pitch, options.pitchY,
                         options.marker, options.dictionary});
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
    case BoardFault::Marker:
        return QStringLiteral("Сторона маркера (--marker) должна быть числом от %1 до %2 шага "
                              "сетки: %3")
            .arg(FormatGeneral15(kMarkerMinShare), FormatGeneral15(kMarkerMaxShare),
                 options.marker.value_or(QString()));
    case BoardFault::Dictionary:
        return QStringLiteral("Словарь маркеров (--dictionary) должен быть одним из словарей "
                              "OpenCV (DICT_4X4_50 … DICT_7X7_1000, DICT_ARUCO_ORIGINAL, "
                              "DICT_APRILTAG_16h5 … DICT_APRILTAG_36h11): %1")
            .arg(options.dictionary.value_or(QString()));
    case BoardFault::Markers:
        return QStringLiteral("В словаре %1 %2 маркеров, а доске %3 × %4 клеток их нужно %5: "
                              "выберите словарь побольше (--dictionary)")
            .arg(DictionaryName(reading.board.dictionary))
            .arg(DictionaryMarkers(reading.board.dictionary))
            .arg(reading.board.columns + 1)
            .arg(reading.board.rows + 1)
            .arg(CharucoMarkers(reading.board.columns, reading.board.rows));
    }
    board = reading.board;
    return std::nullopt;
}

} // namespace vrma
