#include "calib/FieldViews.h"

#include "data/PlanePoint.h"
#include "data/Procedures.h"

namespace vrma {

FieldViewsRead ReadFieldViews(std::span<const FieldViewFiles> files) {
    FieldViewsRead read;
    read.views.reserve(files.size());
    for (size_t k = 0; k < files.size(); ++k) {
        FieldView view;
        VT_Points points(1);
        if (!ReadPointFile(files[k].scene, &points)) {
            read.failed = k;
            read.views.clear();
            return read;
        }
        view.scene = PlanePoints(points);
        points.Clear();
        if (!ReadPointFile(files[k].image, &points)) {
            read.failed = k;
            read.views.clear();
            return read;
        }
        view.image = PlanePoints(points);
        read.views.push_back(std::move(view));
    }
    return read;
}

} // namespace vrma
