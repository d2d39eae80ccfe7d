#pragma once
// Why a search did not find the board, from what its stages saw: the largest piece of a
// lattice the walks made, and the grids found whose targets could not be measured. The
// reason told is what was seen: "beyond the frame's edge" only when the board's own
// targets are cut by it.
// Core only: OpenCV.
#include "calib/GridWalk.h"
#include "calib/TargetDetection.h"

namespace vrma {

// What the stages of one search saw, in photograph pixels.
struct SearchRecord {
    GridSighting seen;   // the largest piece of lattice walked (its pitch in photograph pixels)
    bool atEdge = false; // a grid found had a target at the photograph's very edge
    // A grid found whose targets could not be measured: the blur of its edges (sigma) and
    // the smallest distance between its targets; or a grid too small to be measured.
    bool lost = false;
    double blur = 0.0;
    double spacing = 0.0;
    bool tooSmall = false;
    // A ChArUco board's search (calib/CharucoDetection): the most markers of the board and
    // the most corners one look at the photograph found.
    bool coded = false;
    int markers = 0;
    int corners = 0;
};

// The fault for the columns x rows grid asked for.
SearchFault FaultOf(const SearchRecord& record, int columns, int rows);

} // namespace vrma
