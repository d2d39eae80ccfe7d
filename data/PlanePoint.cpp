#include "data/PlanePoint.h"

namespace vrma {

std::vector<PlanePoint> PlanePoints(const VT_Points& points) {
    std::vector<PlanePoint> out;
    FillPlanePoints(points, out);
    return out;
}

void FillPlanePoints(const VT_Points& points, std::vector<PlanePoint>& into) {
    // Sized once: a million points grown by doubling touched twice the memory.
    into.resize(size_t(points.Count()));
    for (size_t k = 0; k < into.size(); ++k) {
        const VT_Point* point = points.GetUnchecked(k);
        into[k] = {point->X, point->Y};
    }
}

} // namespace vrma
