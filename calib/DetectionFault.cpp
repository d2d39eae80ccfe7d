#include "calib/DetectionFault.h"

#include "data/Messages.h"

#include <algorithm>
#include <cmath>

namespace vrma {

namespace {

// The fewest targets a piece must have to tell the user about it.
constexpr size_t kTold = 9;

QString FaultMessage(const SearchFault& fault, TargetKind kind, int columns, int rows) {
    switch (fault.kind) {
    case SearchFaultKind::OtherSize:
        return messages::GridOfOtherSize(fault.seenColumns, fault.seenRows, columns, rows,
                                         kind == TargetKind::Chessboard);
    case SearchFaultKind::PartlyOutside:
        return messages::GridPartlyOutside();
    case SearchFaultKind::PieceSeen:
        return messages::GridPieceSeen(fault.targets, columns, rows);
    case SearchFaultKind::TooSmall:
        return messages::GridTooSmall(int(std::floor(fault.pixels)), int(kSmallestSpacing));
    case SearchFaultKind::TooBlurred:
        return messages::GridTooBlurred(int(std::lround(fault.pixels)),
                                        int(std::lround(fault.spacing)));
    case SearchFaultKind::TurnedAslant:
        return messages::GridTurnedAslant();
    case SearchFaultKind::NoMarkers:
        return messages::CharucoNoMarkers();
    case SearchFaultKind::FewCorners:
        return messages::CharucoFewCorners(fault.targets, kFewestCorners);
    case SearchFaultKind::CornersMissing:
        return messages::CharucoCornersMissing(fault.targets, columns, rows);
    case SearchFaultKind::NotFound:
        break;
    }
    return messages::GridNotFound();
}

} // namespace

GridNotFound::GridNotFound(const SearchFault& fault, TargetKind kind, int columns, int rows)
    : std::runtime_error(FaultMessage(fault, kind, columns, rows).toStdString()), fault_(fault) {}

DetectionCancelled::DetectionCancelled()
    : std::runtime_error(messages::SearchCancelled().toStdString()) {}

SearchFault FaultOf(const SearchRecord& record, int columns, int rows) {
    SearchFault fault;
    if (record.coded) {
        fault.kind = record.markers == 0 ? SearchFaultKind::NoMarkers : SearchFaultKind::FewCorners;
        fault.targets = record.corners;
        return fault;
    }
    const GridSighting& seen = record.seen;
    const size_t targets = size_t(columns) * size_t(rows);
    const double extent = double(seen.along) * double(seen.lines);
    // A piece that tells something: nine targets, or half of a small grid.
    const bool telling = seen.nodes >= std::min(kTold, (targets + 1) / 2);
    // A piece of the grid asked for (no larger, either way round).
    const bool within = (seen.along <= columns && seen.lines <= rows) ||
                        (seen.along <= rows && seen.lines <= columns);
    if (record.atEdge || (seen.cut && within && telling && seen.along >= 2 && seen.lines >= 2 &&
                          double(seen.nodes) >= 0.75 * extent)) {
        fault.kind = SearchFaultKind::PartlyOutside;
        return fault;
    }
    if (seen.whole && seen.along >= 3 && seen.lines >= 3 && seen.nodes >= kTold) {
        // Counted the way the user counts: the longer side where the typed one is.
        const int longer = std::max(seen.along, seen.lines);
        const int shorter = std::min(seen.along, seen.lines);
        const bool wide = columns >= rows;
        fault.seenColumns = wide ? longer : shorter;
        fault.seenRows = wide ? shorter : longer;
        if (fault.seenColumns != columns || fault.seenRows != rows) {
            fault.kind = SearchFaultKind::OtherSize;
            return fault;
        }
    }
    if (record.tooSmall || (telling && seen.pitch > 0.0 && seen.pitch < kSmallestSpacing)) {
        fault.kind = SearchFaultKind::TooSmall;
        fault.pixels = record.tooSmall ? record.spacing : seen.pitch;
        return fault;
    }
    if (record.lost && record.blur > 0.25 * record.spacing) {
        fault.kind = SearchFaultKind::TooBlurred;
        fault.pixels = record.blur;
        fault.spacing = record.spacing;
        return fault;
    }
    // A piece of half the grid at least, filling its extent but for a few.
    if (!seen.whole && seen.nodes >= std::max(kTold, (targets + 1) / 2) && seen.nodes < targets &&
        double(seen.nodes) >= 0.75 * extent) {
        fault.kind = SearchFaultKind::PieceSeen;
        fault.targets = int(seen.nodes);
        return fault;
    }
    return fault;
}

} // namespace vrma
