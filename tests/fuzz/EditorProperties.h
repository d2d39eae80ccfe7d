#pragma once
// The editor's loading of every document kind, on any file content: the property of the
// fuzz target fuzz_editor, also replayed by the ordinary tests.
#include "Properties.h"
#include "editor/Edit.h"
#include "platform/StringGrid.h"

#include <QApplication>
#include <QFileInfo>
#include <memory>

namespace vrma::fuzz {

// The widgets need a QApplication (on the offscreen platform when none is set).
inline void EnsureWidgetApp() {
    if (QCoreApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

namespace detail {
// Answers the editor: OK to every message, the path `saveAs` to a save dialog.
class EditorHost : public DialogHost {
public:
    QStringList boxes;    // texts of the message boxes
    QStringList messages; // texts of the plain message windows
    QString saveAs;
    int messageBox(QWidget*, const QString& text, const QString& caption, unsigned) override {
        boxes << text;
        VRMA_FUZZ_CHECK(caption == QStringLiteral("Ошибка!"), caption);
        return IDOK;
    }
    void showMessage(const QString& text) override { messages << text; }
    bool execute(FileDialog& dialog) override {
        VRMA_FUZZ_CHECK(!saveAs.isEmpty() && !dialog.isOpen(), dialog.Filter);
        dialog.FileName = saveAs;
        dialog.Files = QStringList{saveAs};
        return true;
    }
    int execModal(QWidget&) override { Fail("no modal window expected"); }
    void help(QWidget*, const QString&, unsigned, quintptr) override { Fail("no help expected"); }
};

// The value texts of a point or list line, or nullopt when the line does not convert:
// kind 1 x;y;z, kinds 2, 3, 9, 10 x;y (both split at the first semicolons, the last field
// takes the rest of the line), kind 4 one integer.
inline std::optional<QStringList> PointLineCells(const QString& line, int kind) {
    if (kind == 4) {
        const std::optional<qint32> value = ParseInteger(line);
        if (!value)
            return std::nullopt;
        return QStringList{FormatInteger(*value)};
    }
    const int fields = kind == 1 ? 3 : 2;
    QStringList cells;
    qsizetype from = 0;
    for (int f = 0; f < fields; ++f) {
        const qsizetype semicolon =
            f + 1 < fields ? line.indexOf(QLatin1Char(';'), from) : line.size();
        if (semicolon < 0)
            return std::nullopt;
        const QStringView text = QStringView(line).mid(from, semicolon - from);
        const std::optional<long double> value = ParseReal(text);
        // Coordinates are doubles: beyond a double's range a value is invalid.
        if (!value || !ParseRealDouble(text))
            return std::nullopt;
        cells << FormatGeneral15(*value);
        from = semicolon + 1;
    }
    return cells;
}

// Saving fails with an encoding error: nothing is written, the modified flag stays.
inline bool SaveIsRefused(TRedForm& window, const QString& saved) {
    const bool modified = window.modified;
    try {
        window.SaveDocument();
    } catch (const EncodingError&) {
        return !QFileInfo::exists(saved) && window.modified == modified;
    }
    return false;
}
} // namespace detail

// The first byte chooses the kind (1 + byte % 10) and the separator (byte / 10), the rest
// is the file. Point and list kinds: the document opens exactly when every line converts,
// showing each value normalised, and otherwise fails with the one internal-error message,
// the grid left with its one empty row (every line is converted before the grid takes
// the file's rows); saved unchanged, it writes the normalised
// lines, and the saved file opens to the same cells. Geometry kinds: the document opens
// exactly when the file has lines enough, showing the values as read; saving writes the
// camera or orientation file that BuildGeometryFile makes of them, or rejects it with the
// kind's message when a value does not normalise. A save whose lines hold a separator that
// the code page cannot hold is refused and writes nothing.
inline void CheckEditorDocument(const std::uint8_t* data, std::size_t size) {
    EnsureWidgetApp();
    if (size == 0)
        return;
    const int kind = 1 + data[0] % 10;
    ScopedSeparator separator(SeparatorFromByte(static_cast<std::uint8_t>(data[0] / 10)));
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("document.dat"));
    const QString saved = dir.filePath(QStringLiteral("saved.dat"));
    const QByteArray content(reinterpret_cast<const char*>(data + 1),
                             static_cast<qsizetype>(size - 1));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        file.write(content);
    }
    QFile::remove(saved);
    const QStringList lines = DecodeTextLines(content);
    const QString internalError = QStringLiteral("Внутренняя ошибка. Обратитесь к разработчику.");

    detail::EditorHost host;
    detail::ScopedHost installed(host);
    auto window = std::make_unique<TRedForm>();
    const int opened = window->OpenDocument(path, kind);
    const TStringGrid& grid = *window->StringGrid1;
    VRMA_FUZZ_CHECK(opened == 0 || opened == 1, QString::number(opened));
    VRMA_FUZZ_CHECK(host.boxes == (opened == 1 ? QStringList() : QStringList{internalError}),
                    host.boxes.join(QLatin1Char('|')));

    if (kind >= 5 && kind <= 8) {
        const GeometryFormat format =
            kind <= 6 ? GeometryFormat::Camera : GeometryFormat::Orientation;
        const int count = GeometryLineCount(format);
        VRMA_FUZZ_CHECK(opened == (lines.size() >= count ? 1 : 0), QString::number(lines.size()));
        if (opened == 0)
            return;
        const QStringList values = GeometryValuesFromLines(lines, count);
        VRMA_FUZZ_CHECK(grid.RowCount() == count, QString::number(grid.RowCount()));
        for (int k = 0; k < count; ++k)
            VRMA_FUZZ_CHECK(grid.Cells(1, k) == values.at(k), grid.Cells(1, k));
        QStringList expected;
        const int bad = BuildGeometryFile(format, values, &expected);
        host.saveAs = saved;
        if (bad < 0 && !WritableSeparatorIn(expected)) {
            VRMA_FUZZ_CHECK(detail::SaveIsRefused(*window, saved), QString());
            return;
        }
        const bool written = window->SaveDocument();
        VRMA_FUZZ_CHECK(written == (bad < 0), QString::number(bad));
        if (written) {
            VRMA_FUZZ_CHECK(host.messages.isEmpty(), host.messages.join(QLatin1Char('|')));
            VRMA_FUZZ_CHECK(ReadFileBytes(saved) == EncodeTextLines(expected), QString());
        } else {
            VRMA_FUZZ_CHECK(
                host.messages ==
                    QStringList{format == GeometryFormat::Camera
                                    ? QStringLiteral("Ошибка в калибровочных данных!")
                                    : QStringLiteral("Ошибка в параметрах внешней геометрии!")},
                host.messages.join(QLatin1Char('|')));
            VRMA_FUZZ_CHECK(!QFileInfo::exists(saved), QString());
        }
        return;
    }

    // Point and list kinds: the first line that does not convert, if any.
    qsizetype bad = -1;
    QList<QStringList> cells;
    for (const QString& line : lines) {
        const std::optional<QStringList> row = detail::PointLineCells(line, kind);
        if (!row) {
            bad = cells.size();
            break;
        }
        cells << *row;
    }
    VRMA_FUZZ_CHECK(opened == (bad < 0 ? 1 : 0), QString::number(bad));
    if (opened == 0) {
        VRMA_FUZZ_CHECK(grid.RowCount() == 2, QString::number(grid.RowCount()));
        for (int c = 1; c < grid.ColCount(); ++c)
            VRMA_FUZZ_CHECK(grid.Cells(c, 1).isEmpty(), grid.Cells(c, 1));
        return;
    }
    VRMA_FUZZ_CHECK(grid.RowCount() == lines.size() + 1, QString::number(grid.RowCount()));
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        VRMA_FUZZ_CHECK(grid.Cells(0, row) == QString::number(row), grid.Cells(0, row));
        for (qsizetype c = 0; c < cells[i].size(); ++c)
            VRMA_FUZZ_CHECK(grid.Cells(static_cast<int>(c) + 1, row) == cells[i][c],
                            grid.Cells(static_cast<int>(c) + 1, row) + QLatin1Char('|') +
                                cells[i][c]);
    }
    if (opened == 0)
        return;

    // Saved unchanged: the normalised lines, which open again to the same cells.
    QStringList expected;
    for (const QStringList& row : cells)
        expected << row.join(QStringLiteral(" ; "));
    host.saveAs = saved;
    // A separator that the code page cannot hold is not written: the save is refused.
    if (!WritableSeparatorIn(expected)) {
        VRMA_FUZZ_CHECK(detail::SaveIsRefused(*window, saved), QString());
        return;
    }
    VRMA_FUZZ_CHECK(window->SaveDocument(), host.messages.join(QLatin1Char('|')));
    VRMA_FUZZ_CHECK(host.messages.isEmpty(), host.messages.join(QLatin1Char('|')));
    VRMA_FUZZ_CHECK(ReadFileBytes(saved) == EncodeTextLines(expected), QString());
    auto again = std::make_unique<TRedForm>();
    const int reopened = again->OpenDocument(saved, kind);
    VRMA_FUZZ_CHECK(reopened == 1, QString::number(reopened));
    {
        VRMA_FUZZ_CHECK(again->StringGrid1->RowCount() == grid.RowCount(), QString());
        for (int r = 0; r < grid.RowCount(); ++r)
            for (int c = 0; c < grid.ColCount(); ++c)
                VRMA_FUZZ_CHECK(again->StringGrid1->Cells(c, r) == grid.Cells(c, r),
                                grid.Cells(c, r));
    }
}

} // namespace vrma::fuzz
