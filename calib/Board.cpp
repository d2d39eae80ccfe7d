#include "calib/Board.h"

#include "data/Numbers.h"

#include <array>
#include <cmath>

namespace vrma {

namespace {

// OpenCV's predefined dictionaries, in the order of their ids, and the markers each holds.
struct Dictionary {
    const char16_t* name;
    int markers;
};
constexpr std::array<Dictionary, 21> kDictionaries{{
    {u"DICT_4X4_50", 50},        {u"DICT_4X4_100", 100},         {u"DICT_4X4_250", 250},
    {u"DICT_4X4_1000", 1000},    {u"DICT_5X5_50", 50},           {u"DICT_5X5_100", 100},
    {u"DICT_5X5_250", 250},      {u"DICT_5X5_1000", 1000},       {u"DICT_6X6_50", 50},
    {u"DICT_6X6_100", 100},      {u"DICT_6X6_250", 250},         {u"DICT_6X6_1000", 1000},
    {u"DICT_7X7_50", 50},        {u"DICT_7X7_100", 100},         {u"DICT_7X7_250", 250},
    {u"DICT_7X7_1000", 1000},    {u"DICT_ARUCO_ORIGINAL", 1024}, {u"DICT_APRILTAG_16h5", 30},
    {u"DICT_APRILTAG_25h9", 35}, {u"DICT_APRILTAG_36h10", 2320}, {u"DICT_APRILTAG_36h11", 587},
}};

bool IsDictionary(int id) {
    return id >= 0 && size_t(id) < kDictionaries.size();
}

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
    if (word == u"charuco") {
        kind = TargetKind::Charuco;
        return true;
    }
    return false;
}

bool ParseDictionary(QStringView name, int& id) {
    for (size_t k = 0; k < kDictionaries.size(); ++k) {
        if (name == QStringView(kDictionaries[k].name)) {
            id = int(k);
            return true;
        }
    }
    return false;
}

QString DictionaryName(int id) {
    return IsDictionary(id) ? QString::fromUtf16(kDictionaries[size_t(id)].name) : QString();
}

int DictionaryMarkers(int id) {
    return IsDictionary(id) ? kDictionaries[size_t(id)].markers : 0;
}

int CharucoMarkers(int columns, int rows) {
    return int((qint64(columns) + 1) * (qint64(rows) + 1) / 2);
}

BoardFault CheckBoard(const Board& board) {
    if (!InRange(board.columns) || !InRange(board.rows))
        return BoardFault::Grid;
    if (!InRange(board.pitch))
        return BoardFault::Pitch;
    if (!InRange(board.pitchY) ||
        (board.kind == TargetKind::Charuco && board.pitchY != board.pitch))
        return BoardFault::PitchY;
    if (board.kind != TargetKind::Charuco)
        return BoardFault::None;
    if (!(std::isfinite(board.marker) && board.marker >= kMarkerMinShare * board.pitch &&
          board.marker <= kMarkerMaxShare * board.pitch))
        return BoardFault::Marker;
    if (!IsDictionary(board.dictionary))
        return BoardFault::Dictionary;
    if (CharucoMarkers(board.columns, board.rows) > DictionaryMarkers(board.dictionary))
        return BoardFault::Markers;
    return BoardFault::None;
}

namespace {

// A ChArUco board's marker and dictionary, once its grid and pitch are read.
BoardFault ReadMarkers(const BoardTexts& texts, Board& board) {
    if (texts.marker) {
        const std::optional<double> marker = ParseRealDouble(*texts.marker);
        if (!marker)
            return BoardFault::Marker;
        board.marker = *marker;
    } else {
        board.marker = kMarkerShare * board.pitch;
    }
    if (texts.dictionary && !ParseDictionary(*texts.dictionary, board.dictionary))
        return BoardFault::Dictionary;
    return CheckBoard(board);
}

} // namespace

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
        if (reading.ok() && kind == TargetKind::Charuco)
            reading.fault = ReadMarkers(texts, board);
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
