// The board of targets: the words of its kinds, its scene grid, and the one check of its
// parameters that the windows and vrma-calib share (limits inclusive, the faults in their
// order, texts read with the decimal separator of the moment).
#include "calib/Board.h"
#include "data/Locale.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>

namespace vrma {
namespace {

TEST(Board, TargetKindWords) {
    TargetKind kind = TargetKind::Dots;
    EXPECT_TRUE(ParseTargetKind(u"chessboard", kind));
    EXPECT_EQ(kind, TargetKind::Chessboard);
    EXPECT_TRUE(ParseTargetKind(u"dots", kind));
    EXPECT_EQ(kind, TargetKind::Dots);
    for (const char16_t* word : {u"Dots", u"chess", u"", u"dots "})
        EXPECT_FALSE(ParseTargetKind(word, kind));
    EXPECT_EQ(kind, TargetKind::Dots);
}

TEST(Board, SceneGridColumnByColumn) {
    const std::vector<PlanePoint> grid = SceneGrid(2, 3, 20.0, 12.5);
    ASSERT_EQ(grid.size(), 6u);
    EXPECT_EQ(grid[4].x, 20.0);
    EXPECT_EQ(grid[4].y, 12.5);
    Board board;
    board.columns = 4;
    board.rows = 2;
    board.pitch = 25.0;
    board.pitchY = 10.0;
    const std::vector<PlanePoint> same = SceneGrid(board);
    ASSERT_EQ(same.size(), 8u);
    EXPECT_EQ(same[7].x, 75.0);
    EXPECT_EQ(same[7].y, 10.0);
    EXPECT_TRUE(SceneGrid(0, 3, 20.0, 20.0).empty());
}

TEST(Board, LimitsAreInclusiveAndCheckedInOrder) {
    const Board fine;
    EXPECT_EQ(CheckBoard(fine), BoardFault::None);
    const auto with = [&](auto&& change) {
        Board board = fine;
        change(board);
        return CheckBoard(board);
    };
    EXPECT_EQ(with([](Board& b) { b.columns = b.rows = kBoardMinTargets; }), BoardFault::None);
    EXPECT_EQ(with([](Board& b) { b.columns = b.rows = kBoardMaxTargets; }), BoardFault::None);
    EXPECT_EQ(with([](Board& b) { b.pitch = b.pitchY = kBoardMinPitch; }), BoardFault::None);
    EXPECT_EQ(with([](Board& b) { b.pitch = b.pitchY = kBoardMaxPitch; }), BoardFault::None);
    EXPECT_EQ(with([](Board& b) { b.columns = 1; }), BoardFault::Grid);
    EXPECT_EQ(with([](Board& b) { b.rows = kBoardMaxTargets + 1; }), BoardFault::Grid);
    EXPECT_EQ(with([](Board& b) { b.pitch = std::nextafter(kBoardMinPitch, 0.0); }),
              BoardFault::Pitch);
    EXPECT_EQ(with([](Board& b) { b.pitchY = std::nextafter(kBoardMaxPitch, 1e9); }),
              BoardFault::PitchY);
    EXPECT_EQ(with([](Board& b) { b.pitch = std::numeric_limits<double>::quiet_NaN(); }),
              BoardFault::Pitch);
    EXPECT_EQ(with([](Board& b) { b.pitchY = std::numeric_limits<double>::infinity(); }),
              BoardFault::PitchY);
    // The first fault is told: the grid before the pitches.
    EXPECT_EQ(with([](Board& b) {
                  b.rows = 0;
                  b.pitch = 0.0;
              }),
              BoardFault::Grid);
}

TEST(Board, ReadFromTexts) {
    const QChar saved = DecimalSeparator();
    SetDecimalSeparator(QLatin1Char(','));
    const auto read = [](const char* columns, const char* rows, const char* pitch,
                         std::optional<const char*> pitchY = std::nullopt) {
        BoardTexts texts{QString::fromUtf8(columns), QString::fromUtf8(rows),
                         QString::fromUtf8(pitch), std::nullopt};
        if (pitchY)
            texts.pitchY = QString::fromUtf8(*pitchY);
        return ReadBoard(TargetKind::Dots, texts);
    };
    const BoardReading plain = read("9", "6", "12,5");
    ASSERT_TRUE(plain.ok());
    EXPECT_EQ(plain.board.kind, TargetKind::Dots);
    EXPECT_EQ(plain.board.columns, 9);
    EXPECT_EQ(plain.board.rows, 6);
    EXPECT_EQ(plain.board.pitch, 12.5);
    EXPECT_EQ(plain.board.pitchY, 12.5); // none given: as along x
    const BoardReading both = read("7", "5", "25", "20");
    ASSERT_TRUE(both.ok());
    EXPECT_EQ(both.board.pitchY, 20.0);

    EXPECT_EQ(read("six", "6", "20").fault, BoardFault::Grid);
    EXPECT_EQ(read("6,5", "6", "20").fault, BoardFault::Grid);
    EXPECT_EQ(read("9", "1", "20").fault, BoardFault::Grid);
    EXPECT_EQ(read("1", "6", "x").fault, BoardFault::Grid); // the grid first
    EXPECT_EQ(read("9", "6", "x").fault, BoardFault::Pitch);
    EXPECT_EQ(read("9", "6", "x", "20").fault, BoardFault::Pitch);
    EXPECT_EQ(read("9", "6", "12.5").fault, BoardFault::Pitch); // the other separator
    EXPECT_EQ(read("9", "6", "0").fault, BoardFault::Pitch);
    EXPECT_EQ(read("9", "6", "20", "").fault, BoardFault::PitchY); // given, but empty
    EXPECT_EQ(read("9", "6", "20", "-1").fault, BoardFault::PitchY);
    EXPECT_EQ(read("9", "6", "20", "501").fault, BoardFault::PitchY);
    SetDecimalSeparator(saved);
}

} // namespace
} // namespace vrma
