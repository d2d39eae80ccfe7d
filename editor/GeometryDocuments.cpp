// Geometry documents: the interior geometry of a camera (kinds 5, 6; 8 rows) and the
// exterior geometry of an exposure (kinds 7, 8; 21 rows). Column 0 holds the labels, the
// fixed column; column 1 the value texts; there is no header row, so row r shows the
// value of file line r + 1. The window has already set the columns, widths, row height
// and disabled the row buttons (DocumentKinds.cpp).
//
// Cells hold the texts as read or typed; numbers are looked at only when saving, by the
// camera and orientation formats of data/GeometryFiles.h.
#include "data/GeometryFiles.h"
#include "editor/Documents.h"
#include "platform/Dialogs.h"
#include "platform/StringGrid.h"

namespace vrma {

namespace {

const QStringList& CameraLabels() {
    static const QStringList labels = {
        QStringLiteral("Координата X центра изображения (пикс.)"),
        QStringLiteral("Координата Y центра изображения (пикс.)"),
        QStringLiteral("Таблица коррекции"),
        QStringLiteral("Фокусное расстояние (пикс.)"),
        QStringLiteral("Ширина изображения (пикс.)"),
        QStringLiteral("Высота изображения (пикс.)"),
        QStringLiteral("Координата X главной точки (пикс.)"),
        QStringLiteral("Координата Y главной точки (пикс.)"),
    };
    return labels;
}

const QStringList& OrientationLabels() {
    static const QStringList labels = {
        QStringLiteral("Координата X центра проекции"),
        QStringLiteral("Координата Y центра проекции"),
        QStringLiteral("Координата Z центра проекции"),
        QStringLiteral("Координата X точки визирования"),
        QStringLiteral("Координата Y точки визирования"),
        QStringLiteral("Расстояние до точки визирования"),
        QStringLiteral("Продольный угол (фотогр.) (градусы)"),
        QStringLiteral("Поперечный угол (фотогр.) (градусы)"),
        QStringLiteral("Угол поворота (фотогр.) (градусы)"),
        QStringLiteral("Продольный угол (стенд.) (градусы)"),
        QStringLiteral("Поперечный угол (стенд.) (градусы)"),
        QStringLiteral("Угол поворота (стенд.) (градусы)"),
        QStringLiteral("axx"),
        QStringLiteral("axy"),
        QStringLiteral("axz"),
        QStringLiteral("ayx"),
        QStringLiteral("ayy"),
        QStringLiteral("ayz"),
        QStringLiteral("azx"),
        QStringLiteral("azy"),
        QStringLiteral("azz"),
    };
    return labels;
}

class GeometryDocument final : public EditorDocument {
public:
    explicit GeometryDocument(int kind)
        : format_(kinds::IsInteriorGeometry(kind) ? GeometryFormat::Camera
                                                  : GeometryFormat::Orientation) {}

    void Fill(TStringGrid& grid, const QString& fileName) override {
        const QStringList& labels =
            format_ == GeometryFormat::Camera ? CameraLabels() : OrientationLabels();
        const int rows = GeometryLineCount(format_);
        grid.SetRowCount(rows);
        for (int r = 0; r < rows; ++r) {
            grid.SetCell(0, r, labels.at(r));
            grid.SetCell(1, r, QString());
        }
        if (fileName.isEmpty())
            return;
        // As read: blanks kept, nothing checked until the document is saved.
        const QStringList values = ReadGeometryValues(fileName, rows);
        for (int r = 0; r < rows; ++r)
            grid.SetCell(1, r, values.at(r));
    }

    bool BuildLines(const TStringGrid& grid, QStringList& lines) const override {
        const int rows = GeometryLineCount(format_);
        QStringList values;
        values.reserve(rows);
        for (int r = 0; r < rows; ++r)
            values << grid.Cells(1, r);
        QStringList built;
        if (BuildGeometryFile(format_, values, &built) >= 0) {
            lines.clear();
            // The message does not say which row is wrong.
            ShowMessage(format_ == GeometryFormat::Camera
                            ? QStringLiteral("Ошибка в калибровочных данных!")
                            : QStringLiteral("Ошибка в параметрах внешней геометрии!"));
            return false;
        }
        lines = std::move(built);
        return true;
    }

private:
    GeometryFormat format_;
};

} // namespace

std::unique_ptr<EditorDocument> MakeGeometryDocument(int kind) {
    return std::make_unique<GeometryDocument>(kind);
}

} // namespace vrma
