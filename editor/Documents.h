#pragma once
// The editor's document kinds: their layouts, save dialogs and the per-kind work of
// opening and saving. The window (Edit.h) lays itself out from DocumentKind and leaves
// the cells, the loading, the check and the output lines to an EditorDocument:
//   kinds 1-4, 9, 10  point and list documents  (PointDocuments.cpp)
//   kinds 5-8         geometry documents        (GeometryDocuments.cpp)
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace vrma {

class TStringGrid;

// The document kinds by name. A kind stays an int where the editor's open operation
// takes one (OpenDocument(fileName, kind)); these are its values.
namespace kinds {
constexpr int kSpatialPoints = 1;       // reference points x ; y ; z
constexpr int kReferencePoints = 2;     // reference points x ; y (the calibration's files)
constexpr int kReferencePointsAlt = 3;  // the same layout and format as 2
constexpr int kReferenceList = 4;       // a list of reference point numbers
constexpr int kInteriorGeometry = 5;    // a camera file (the export opens this)
constexpr int kInteriorGeometryAlt = 6; // the same as 5
constexpr int kExteriorGeometry = 7;    // an orientation file
constexpr int kExteriorGeometryAlt = 8; // the same as 7
constexpr int kCorrespondingPoints = 9; // corresponding points x ; y
constexpr int kCorrespondingPointsAlt = 10;
constexpr int kFirst = kSpatialPoints;
constexpr int kLast = kCorrespondingPointsAlt;

constexpr bool IsGeometry(int kind) {
    return kind >= kInteriorGeometry && kind <= kExteriorGeometryAlt;
}
constexpr bool IsInteriorGeometry(int kind) {
    return kind == kInteriorGeometry || kind == kInteriorGeometryAlt;
}
} // namespace kinds

// One row of the table of kinds.
struct DocumentKind {
    int kind = 0;
    QString titleSuffix; // appended to the document's name in the caption
    int width = 0;       // window size asked for (the minimum size still applies)
    int height = 0;
    std::vector<int> colWidths; // one per grid column, column 0 first
    int fixedRows = 0;          // 1: a header row; 0: none
    int fixedCols = 1;          // the row-number or label column
    int rowHeight = 20;         // default row height
    bool rowButtons = true;     // insert, append, delete and clear enabled
    QString filter;             // save dialog filter
    QString defaultExt;         // save dialog default-extension text
};

// The description of a kind 1 … 10; any other kind throws Exception.
const DocumentKind& DocumentKindOf(int kind);

// The per-kind work on the grid of an editor window.
class EditorDocument {
public:
    virtual ~EditorDocument() = default;

    // Lays in the initial cells (header or labels) and, when fileName is not empty,
    // loads the file. The grid already has the kind's columns, widths and fixed rows.
    // Any failure throws; cells filled before it stay.
    virtual void Fill(TStringGrid& grid, const QString& fileName) = 0;

    // Checks the grid and builds the file's lines. At the first invalid entry shows the
    // kind's own message and returns false; no cell is changed.
    virtual bool BuildLines(const TStringGrid& grid, QStringList& lines) const = 0;

    // The same check, giving the bytes of the file to write (EncodeTextLines of the lines)
    // on success. By default from BuildLines.
    virtual bool BuildFile(const TStringGrid& grid, QByteArray& bytes) const;
};

// Point and list documents, kinds 1, 2, 3, 4, 9 and 10.
std::unique_ptr<EditorDocument> MakePointDocument(int kind);
// Geometry documents, kinds 5, 6, 7 and 8.
std::unique_ptr<EditorDocument> MakeGeometryDocument(int kind);
// The document of any kind 1 … 10; any other kind throws Exception.
std::unique_ptr<EditorDocument> MakeDocument(int kind);

} // namespace vrma
