// Geometry documents: the interior geometry of a camera (kinds 5, 6; 8 rows) and the
// exterior geometry of an exposure (kinds 7, 8; 21 rows). Column 0 holds the labels, the
// fixed column; column 1 the value texts; there is no header row. The window has already
// set the columns, widths, row height and disabled the row buttons (DocumentKinds.cpp).
//
// The labels, the loading of .cam / .ort files and their check and lines belong here,
// over the camera and orientation formats of data/.
#include "data/Errors.h"
#include "editor/Documents.h"
#include "platform/StringGrid.h"

namespace vrma {

namespace {

class GeometryDocument final : public EditorDocument {
public:
    explicit GeometryDocument(int kind) : rows_(kind == 5 || kind == 6 ? 8 : 21) {}

    void Fill(TStringGrid& grid, const QString& fileName) override {
        grid.SetRowCount(rows_);
        if (!fileName.isEmpty())
            throw Exception("Camera and orientation files cannot be read yet");
    }

    bool BuildLines(const TStringGrid& /*grid*/, QStringList& /*lines*/) const override {
        throw Exception("Camera and orientation files cannot be written yet");
    }

private:
    int rows_;
};

} // namespace

std::unique_ptr<EditorDocument> MakeGeometryDocument(int kind) {
    return std::make_unique<GeometryDocument>(kind);
}

} // namespace vrma
