// Point and list documents: one grid row per file line, row 0 the header, column 0 the
// row numbers. Coordinates are shown and written in the 15-digit general format, list
// entries as plain decimal integers.
#include "data/Errors.h"
#include "data/Lines.h"
#include "data/Numbers.h"
#include "data/TextFile.h"
#include "data/VectorState.h"
#include "editor/Documents.h"
#include "editor/NumberTexts.h"
#include "platform/Dialogs.h"
#include "platform/StringGrid.h"

#include <QVarLengthArray>
#include <array>
#include <cstring>
#include <optional>

namespace vrma {

namespace {

enum class Layout {
    Spatial, // x ; y ; z
    Planar,  // x ; y
    List     // one integer
};

// One field of a line as UTF-16 text. Digits, signs, blanks and separators are ASCII,
// which is widened in place; any other byte takes the code page's decoder.
class FieldText {
public:
    QStringView Of(const char* data, qsizetype size) {
        buffer_.resize(size);
        for (qsizetype i = 0; i < size; ++i) {
            const auto byte = static_cast<unsigned char>(data[i]);
            if (byte >= 0x80) {
                decoded_ = DecodeCp1251(data, size);
                return decoded_;
            }
            buffer_[i] = byte;
        }
        return QStringView(buffer_.data(), size);
    }

private:
    QVarLengthArray<char16_t, 64> buffer_;
    QString decoded_;
};

class PointDocument final : public EditorDocument {
public:
    explicit PointDocument(int kind)
        : layout_(kind == kinds::kSpatialPoints   ? Layout::Spatial
                  : kind == kinds::kReferenceList ? Layout::List
                                                  : Layout::Planar),
          ending_(kind == kinds::kSpatialPoints ? QStringLiteral("-й строке координат точек сцены!")
                  : kind == kinds::kReferenceList
                      ? QStringLiteral("-й строке!")
                      : QStringLiteral("-й строке координат изображения!")) {}

    void Fill(TStringGrid& grid, const QString& fileName) override {
        grid.SetRowCount(2);
        grid.SetCell(0, 0, QString());
        switch (layout_) {
        case Layout::Spatial:
            grid.SetCell(1, 0, QStringLiteral("x"));
            grid.SetCell(2, 0, QStringLiteral("y"));
            grid.SetCell(3, 0, QStringLiteral("z"));
            break;
        case Layout::Planar:
            grid.SetCell(1, 0, QStringLiteral("x"));
            grid.SetCell(2, 0, QStringLiteral("y"));
            break;
        case Layout::List:
            grid.SetCell(1, 0, QStringLiteral("Номер"));
            break;
        }
        grid.SetCell(0, 1, QStringLiteral("1"));
        if (!fileName.isEmpty())
            Load(grid, fileName);
    }

    bool BuildLines(const TStringGrid& grid, QStringList& lines) const override {
        lines.clear();
        lines.reserve(std::max(grid.RowCount() - 1, 0));
        const bool built = Build(grid, [&](QStringView line) { lines.append(line.toString()); });
        if (!built)
            lines.clear();
        return built;
    }

    // The file's bytes straight from the cells: no list of a million line texts on the
    // way, so that a save costs about the size of the file on top of the grid.
    bool BuildFile(const TStringGrid& grid, QByteArray& bytes) const override {
        bytes.clear();
        qsizetype room = 0;
        const int fields = layout_ == Layout::Spatial ? 3 : layout_ == Layout::Planar ? 2 : 1;
        for (int r = 1; r < grid.RowCount(); ++r)
            for (int c = 1; c <= fields; ++c)
                room += grid.CellView(c, r).size() + 3;
        bytes.reserve(room + 16);
        qsizetype lineNumber = 0;
        const bool built = Build(grid, [&](QStringView line) {
            ++lineNumber;
            const qsizetype at = bytes.size();
            bytes.resize(at + line.size());
            char* out = bytes.data() + at;
            for (qsizetype i = 0; i < line.size(); ++i) {
                const char16_t c = line[i].unicode();
                if (c >= 0x80) { // a separator beyond ASCII: the code page's byte, if any
                    bytes.truncate(at);
                    bytes += EncodeFileLine(line, lineNumber);
                    break;
                }
                out[i] = static_cast<char>(c);
            }
            bytes += "\r\n";
        });
        if (!built)
            bytes.clear();
        return built;
    }

private:
    // Checks the rows from the top and hands each output line to put; false (the row's
    // message shown) at the first row that does not convert.
    template <class Put> bool Build(const TStringGrid& grid, Put&& put) const {
        ClearUpperVectorState();
        const int fields = layout_ == Layout::Spatial ? 3 : 2;
        RealText15 real;
        RowNumberText integer;
        QVarLengthArray<char16_t, 160> line;
        for (int r = 1; r < grid.RowCount(); ++r) {
            if (layout_ == Layout::List) {
                const std::optional<qint32> value = ParseInteger(grid.CellView(1, r));
                if (!value)
                    return Reject(r);
                put(integer.Of(*value));
                continue;
            }
            line.clear();
            for (int c = 1; c <= fields; ++c) {
                const std::optional<QStringView> text = real.Of(grid.CellView(c, r));
                if (!text)
                    return Reject(r);
                if (c > 1)
                    line.append(u" ; ", 3);
                line.append(text->utf16(), text->size());
            }
            put(QStringView(line.constData(), line.size()));
        }
        return true;
    }

    bool Reject(int row) const {
        ShowMessage(QStringLiteral("Ошибка в ") + FormatInteger(row) + ending_);
        return false;
    }

    // Every line is converted before the grid takes a row: a file that does not convert
    // (100 MB of line breaks, say) fails at its first bad line having cost no more than
    // its text, and the grid is sized once, to lines known to be good.
    void Load(TStringGrid& grid, const QString& fileName) const {
        const QByteArray bytes = ReadFileBytes(fileName);
        ClearUpperVectorState();
        FieldText field;
        RealText15 real;
        qsizetype lineCount = 0;
        ForEachLine(bytes.constData(), bytes.size(), [&](const char* line, qsizetype size) {
            if (++lineCount > qsizetype{INT_MAX} - 1)
                throw FormatError("Too many lines");
            ConvertLine(line, size, field, real, [](int, QStringView) {});
        });

        struct Update {
            TStringGrid& grid;
            explicit Update(TStringGrid& g) : grid(g) { grid.BeginUpdate(); }
            ~Update() { grid.EndUpdate(); }
        } update(grid);

        grid.SetRowCount(static_cast<int>(lineCount) + 1);
        // Room for the number texts and for the values, which are rarely longer than
        // the file's own texts of them.
        grid.ReserveText(bytes.size() + lineCount * 8);

        RowNumberText number;
        int row = 1;
        ForEachLine(bytes.constData(), bytes.size(), [&](const char* line, qsizetype size) {
            grid.SetCell(0, row, number.Of(row));
            ConvertLine(line, size, field, real,
                        [&](int col, QStringView text) { grid.SetCell(col, row, text); });
            ++row;
        });
    }

    // Converts one line and hands each normalised value to put(column, text).
    template <class Put>
    void ConvertLine(const char* line, qsizetype size, FieldText& field, RealText15& real,
                     Put&& put) const {
        if (layout_ == Layout::List) {
            const std::optional<qint32> value = ParseInteger(field.Of(line, size));
            if (!value)
                throw FormatError("Invalid point number");
            RowNumberText text;
            put(1, text.Of(*value));
            return;
        }
        const char* end = line + size;
        const char* first =
            static_cast<const char*>(std::memchr(line, ';', static_cast<size_t>(size)));
        const char* second = nullptr;
        if (first && layout_ == Layout::Spatial)
            second = static_cast<const char*>(
                std::memchr(first + 1, ';', static_cast<size_t>(end - first - 1)));
        // Without its separators the first field takes the whole line and a later one is
        // missing: the line does not convert.
        if (!first || (layout_ == Layout::Spatial && !second))
            throw FormatError("Invalid coordinate line");
        put(1, Real(real, field.Of(line, first - line)));
        if (layout_ == Layout::Planar) {
            put(2, Real(real, field.Of(first + 1, end - first - 1)));
        } else {
            put(2, Real(real, field.Of(first + 1, second - first - 1)));
            put(3, Real(real, field.Of(second + 1, end - second - 1)));
        }
    }

    static QStringView Real(RealText15& real, QStringView text) {
        const std::optional<QStringView> normalised = real.Of(text);
        if (!normalised)
            throw FormatError("Invalid coordinate");
        return *normalised;
    }

    Layout layout_;
    QString ending_;
};

} // namespace

std::unique_ptr<EditorDocument> MakePointDocument(int kind) {
    return std::make_unique<PointDocument>(kind);
}

} // namespace vrma
