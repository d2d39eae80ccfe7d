#include "data/Errors.h"
#include "data/TextFile.h"
#include "editor/Documents.h"

#include <array>

namespace vrma {

namespace {

const QString kCoordinateFilter = QStringLiteral("Coordinate Files|*.crd|All Files|*.*");
const QString kListFilter = QStringLiteral("List Files|*.lst|All Files|*.*");
const QString kCamFilter = QStringLiteral("Cam Files|*.cam|All Files|*.*");
const QString kOrientationFilter = QStringLiteral("Orientation Files|*.ort|All Files|*.*");

DocumentKind PlanarPoints(int kind, const QString& suffix) {
    return {.kind = kind,
            .titleSuffix = suffix,
            .width = 300,
            .height = 500,
            .colWidths = {50, 100, 100},
            .fixedRows = 1,
            .fixedCols = 1,
            .rowHeight = 20,
            .rowButtons = true,
            .filter = kCoordinateFilter,
            .defaultExt = QStringLiteral("*.crd")};
}

DocumentKind InteriorGeometry(int kind) {
    return {.kind = kind,
            .titleSuffix = QStringLiteral(" Внутренняя геометрия"),
            .width = 520,
            .height = 290,
            .colWidths = {290, 200},
            .fixedRows = 0,
            .fixedCols = 1,
            .rowHeight = 24,
            .rowButtons = false,
            .filter = kCamFilter,
            .defaultExt = QStringLiteral("*.cam")};
}

DocumentKind ExteriorGeometry(int kind) {
    return {.kind = kind,
            .titleSuffix = QStringLiteral(" Внешняя геометрия"),
            .width = 410,
            .height = 500,
            .colWidths = {260, 110},
            .fixedRows = 0,
            .fixedCols = 1,
            .rowHeight = 24,
            .rowButtons = false,
            .filter = kOrientationFilter,
            .defaultExt = QStringLiteral("*.ort")};
}

const std::array<DocumentKind, kinds::kLast>& Kinds() {
    using namespace kinds;
    static const std::array<DocumentKind, kLast> table = {
        DocumentKind{.kind = kSpatialPoints,
                     .titleSuffix = QStringLiteral(" Реперные точки"),
                     .width = 400,
                     .height = 500,
                     .colWidths = {50, 100, 100, 100},
                     .fixedRows = 1,
                     .fixedCols = 1,
                     .rowHeight = 20,
                     .rowButtons = true,
                     .filter = kCoordinateFilter,
                     .defaultExt = QStringLiteral("*.crd")},
        PlanarPoints(kReferencePoints, QStringLiteral(" Реперные точки")),
        PlanarPoints(kReferencePointsAlt, QStringLiteral(" Реперные точки")),
        DocumentKind{.kind = kReferenceList,
                     .titleSuffix = QStringLiteral(" Список реперных точек"),
                     .width = 200,
                     .height = 500,
                     .colWidths = {50, 50},
                     .fixedRows = 1,
                     .fixedCols = 1,
                     .rowHeight = 20,
                     .rowButtons = true,
                     .filter = kListFilter,
                     .defaultExt = QStringLiteral("*.lst")},
        InteriorGeometry(kInteriorGeometry),
        InteriorGeometry(kInteriorGeometryAlt),
        ExteriorGeometry(kExteriorGeometry),
        ExteriorGeometry(kExteriorGeometryAlt),
        PlanarPoints(kCorrespondingPoints, QStringLiteral(" Соответственные точки")),
        PlanarPoints(kCorrespondingPointsAlt, QStringLiteral(" Соответственные точки")),
    };
    return table;
}

} // namespace

const DocumentKind& DocumentKindOf(int kind) {
    if (kind < kinds::kFirst || kind > kinds::kLast)
        throw Exception("Unknown document kind");
    return Kinds()[static_cast<size_t>(kind - 1)];
}

bool EditorDocument::BuildFile(const TStringGrid& grid, QByteArray& bytes) const {
    QStringList lines;
    bytes.clear();
    if (!BuildLines(grid, lines))
        return false;
    bytes = EncodeTextLines(lines);
    return true;
}

std::unique_ptr<EditorDocument> MakeDocument(int kind) {
    if (kinds::IsGeometry(DocumentKindOf(kind).kind))
        return MakeGeometryDocument(kind);
    return MakePointDocument(kind);
}

} // namespace vrma
