#include "app/CalibrationGeometry.h"

#include "data/Numbers.h"
#include "data/PlanePoint.h"
#include "data/VectorState.h"

namespace vrma {

std::optional<FieldGeometry> CalibrationGeometry(const VT_Points& scene, const VT_Points& image,
                                                 const QString& widthText,
                                                 const QString& heightText) {
    FieldGeometry geometry;
    if (!FillCalibrationGeometry(scene, image, widthText, heightText, geometry))
        return std::nullopt;
    return geometry;
}

bool FillCalibrationGeometry(const VT_Points& scene, const VT_Points& image,
                             const QString& widthText, const QString& heightText,
                             FieldGeometry& into) {
    ClearUpperVectorState();
    into.scene.clear();
    into.image.clear();
    into.focal.reset();
    into.camera.reset();
    const std::optional<double> width = ParseRealDouble(widthText);
    const std::optional<double> height = ParseRealDouble(heightText);
    if (!width || !height || !(*width > 0.0) || !(*height > 0.0))
        return false;
    into.width = *width;
    into.height = *height;
    FillPlanePoints(scene, into.scene);
    FillPlanePoints(image, into.image);
    return true;
}

} // namespace vrma
