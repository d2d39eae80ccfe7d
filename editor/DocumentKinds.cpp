#include "data/Errors.h"
#include "editor/Documents.h"

#include <array>

namespace vrma {

namespace {

const QString kCoordinateFilter = QStringLiteral("Coordinate Files|*.crd|All Files|*.*");
const QString kListFilter = QStringLiteral("List Files|*.lst|All Files|*.*");
const QString kCamFilter = QStringLiteral("Cam Files|*.cam|All Files|*.*");
const QString kOrientationFilter = QStringLiteral("Orientation Files|*.ort|All Files|*.*");

DocumentKind PlanarPoints(int kind, const QString& suffix) {
    return {kind,
            suffix,
            300,
            500,
            {50, 100, 100},
            1,
            1,
            20,
            true,
            kCoordinateFilter,
            QStringLiteral("*.crd")};
}

DocumentKind InteriorGeometry(int kind) {
    return {kind,
            QStringLiteral(" Внутренняя геометрия"),
            520,
            290,
            {290, 200},
            0,
            1,
            24,
            false,
            kCamFilter,
            QStringLiteral("*.cam")};
}

DocumentKind ExteriorGeometry(int kind) {
    return {kind,
            QStringLiteral(" Внешняя геометрия"),
            410,
            500,
            {260, 110},
            0,
            1,
            24,
            false,
            kOrientationFilter,
            QStringLiteral("*.ort")};
}

const std::array<DocumentKind, 10>& Kinds() {
    static const std::array<DocumentKind, 10> kinds = {
        DocumentKind{1,
                     QStringLiteral(" Реперные точки"),
                     400,
                     500,
                     {50, 100, 100, 100},
                     1,
                     1,
                     20,
                     true,
                     kCoordinateFilter,
                     QStringLiteral("*.crd")},
        PlanarPoints(2, QStringLiteral(" Реперные точки")),
        PlanarPoints(3, QStringLiteral(" Реперные точки")),
        DocumentKind{4,
                     QStringLiteral(" Список реперных точек"),
                     200,
                     500,
                     {50, 50},
                     1,
                     1,
                     20,
                     true,
                     kListFilter,
                     QStringLiteral("*.lst")},
        InteriorGeometry(5),
        InteriorGeometry(6),
        ExteriorGeometry(7),
        ExteriorGeometry(8),
        PlanarPoints(9, QStringLiteral(" Соответственные точки")),
        PlanarPoints(10, QStringLiteral(" Соответственные точки")),
    };
    return kinds;
}

} // namespace

const DocumentKind& DocumentKindOf(int kind) {
    if (kind < 1 || kind > 10)
        throw Exception("Unknown document kind");
    return Kinds()[static_cast<size_t>(kind - 1)];
}

std::unique_ptr<EditorDocument> MakeDocument(int kind) {
    switch (DocumentKindOf(kind).kind) {
    case 5:
    case 6:
    case 7:
    case 8:
        return MakeGeometryDocument(kind);
    default:
        return MakePointDocument(kind);
    }
}

} // namespace vrma
