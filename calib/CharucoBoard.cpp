#include "calib/CharucoBoard.h"

#include <cmath>
#include <opencv2/aruco/charuco.hpp>
#include <stdexcept>

namespace vrma {

std::vector<cv::Point2d> CharucoLayout::MarkerCorners(int id) const {
    const cv::Point square = squares.at(size_t(id));
    const double x = square.x;
    const double y = square.y;
    return {{x + gap, y + gap},
            {x + 1.0 - gap, y + gap},
            {x + 1.0 - gap, y + 1.0 - gap},
            {x + gap, y + 1.0 - gap}};
}

int CharucoLayout::MarkerAt(int x, int y) const {
    if (x < 0 || y < 0 || x > columns || y > rows)
        return -1;
    return at_[size_t(y) * size_t(columns + 1) + size_t(x)];
}

CharucoLayout CharucoLayoutOf(int columns, int rows, double share, int dictionary) {
    Board board;
    board.kind = TargetKind::Charuco;
    board.columns = columns;
    board.rows = rows;
    board.pitch = board.pitchY = 100.0;
    board.marker = share * board.pitch;
    board.dictionary = dictionary;
    if (CheckBoard(board) != BoardFault::None)
        throw std::invalid_argument("CharucoLayoutOf: no ChArUco board");
    CharucoLayout layout;
    layout.columns = columns;
    layout.rows = rows;
    layout.gap = 0.5 * (1.0 - share);
    layout.dictionary = cv::aruco::getPredefinedDictionary(dictionary);
    const cv::Ptr<cv::aruco::CharucoBoard> made =
        cv::aruco::CharucoBoard::create(columns + 1, rows + 1, 1.0F, float(share),
                                        cv::Ptr<cv::aruco::Dictionary>(layout.dictionary));
    // OpenCV's board: marker ids[n] with its corners objPoints[n], the first its top left.
    layout.squares.assign(made->ids.size(), cv::Point(-1, -1));
    layout.at_.assign(size_t(columns + 1) * size_t(rows + 1), -1);
    for (size_t n = 0; n < made->ids.size(); ++n) {
        const int id = made->ids[n];
        const cv::Point3f& corner = made->objPoints[n][0];
        const cv::Point square(int(std::floor(corner.x)), int(std::floor(corner.y)));
        if (id < 0 || size_t(id) >= layout.squares.size() || square.x < 0 || square.y < 0 ||
            square.x > columns || square.y > rows)
            throw std::logic_error("CharucoLayoutOf: a board OpenCV did not make as known");
        layout.squares[size_t(id)] = square;
        layout.at_[size_t(square.y) * size_t(columns + 1) + size_t(square.x)] = id;
    }
    return layout;
}

CharucoDarkParts CharucoDarkCells(const Board& board) {
    const CharucoLayout layout =
        CharucoLayoutOf(board.columns, board.rows, board.marker / board.pitch, board.dictionary);
    const double square = board.pitch;
    CharucoDarkParts dark;
    for (int y = 0; y <= board.rows; ++y)
        for (int x = 0; x <= board.columns; ++x)
            if ((x + y) % 2 == 0)
                dark.squares.emplace_back(x * square, y * square, square, square);
    // A marker's cells: its bits with a border of one cell, one pixel a cell as OpenCV
    // draws it (0 dark).
    const int cells = layout.dictionary->markerSize + 2;
    const double cell = board.marker / cells;
    dark.markers.resize(layout.squares.size());
    for (size_t id = 0; id < layout.squares.size(); ++id) {
        cv::Mat bits;
        cv::aruco::drawMarker(cv::Ptr<cv::aruco::Dictionary>(layout.dictionary), int(id), cells,
                              bits, 1);
        const cv::Point2d origin = layout.MarkerCorners(int(id))[0] * square;
        for (int r = 0; r < cells; ++r) {
            const uchar* row = bits.ptr<uchar>(r);
            for (int c = 0; c < cells;) {
                if (row[c] >= 128) {
                    ++c;
                    continue;
                }
                int end = c;
                while (end < cells && row[end] < 128)
                    ++end;
                dark.markers[id].emplace_back(origin.x + c * cell, origin.y + r * cell,
                                              (end - c) * cell, cell);
                c = end;
            }
        }
    }
    return dark;
}

} // namespace vrma
