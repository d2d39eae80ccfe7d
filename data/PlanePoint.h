#pragma once
// The point of every computation: a point of a plane, the field's (scene units) or the
// image's (pixels, x to the right, y down, the centre of the top left pixel at 0 ; 0).
// The point lists of the files are turned into it in one place.
#include "data/Data_structures.h"

#include <vector>

namespace vrma {

struct PlanePoint {
    double x = 0.0;
    double y = 0.0;
};

// The points of a list, in its order.
std::vector<PlanePoint> PlanePoints(const VT_Points& points);
// The same into `into`, whose room is reused (no new memory when it has enough).
void FillPlanePoints(const VT_Points& points, std::vector<PlanePoint>& into);

} // namespace vrma
