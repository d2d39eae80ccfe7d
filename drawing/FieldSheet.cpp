// The printable test field: the layout of a chessboard or a grid of dots on its sheet, the
// PDF painted at true scale, and the scene file of its targets.
#include "drawing/FieldSheet.h"

#include "calib/CharucoBoard.h"
#include "data/Locale.h"
#include "data/PointFileWriter.h"
#include "data/TextFile.h"

#include <QBuffer>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>

namespace vrma {

namespace {

constexpr int kResolution = 1200;     // device units per inch of the PDF painter
constexpr double kMmPerInch = 25.4;   //
constexpr double kPaperMargin = 10.0; // the edge a printer leaves white, mm
constexpr double kTextBlock = 20.0;   // the pitch line, the ruler's caption and bar, mm
constexpr double kRulerLength = 100.0;
constexpr double kRulerHeight = 2.0;

// A length in millimetres as printed: up to three decimals, no trailing zeros.
QString MmText(double value) {
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text.replace(QLatin1Char('.'), DecimalSeparator());
}

QString PageName(SheetPage page) {
    return page == SheetPage::A3 ? QStringLiteral("A3") : QStringLiteral("A4");
}

QPageSize PageSizeOf(SheetPage page) {
    return QPageSize(page == SheetPage::A3 ? QPageSize::A3 : QPageSize::A4);
}

// The quiet zone around the pattern: one square of a chessboard, one pitch of dots.
double QuietZone(const FieldSheet& sheet) {
    return std::max(sheet.pitch, sheet.pitchY);
}

double DotDiameter(const FieldSheet& sheet) {
    return std::min(sheet.pitch, sheet.pitchY) / 2.0;
}

void CheckField(const FieldSheet& sheet) {
    const BoardFault fault = CheckBoard(sheet);
    if (fault != BoardFault::None)
        throw FieldSheetError(BoardFaultMessage(fault).toStdString());
}

} // namespace

QString BoardFaultMessage(BoardFault fault) {
    switch (fault) {
    case BoardFault::None:
        break;
    case BoardFault::Grid:
        return QStringLiteral("Число столбцов и строк мишеней должно быть целым, от %1 до %2.")
            .arg(kBoardMinTargets)
            .arg(kBoardMaxTargets);
    case BoardFault::Pitch:
        return QStringLiteral("Шаг сетки должен быть числом от %1 до %2 мм.")
            .arg(MmText(kBoardMinPitch), MmText(kBoardMaxPitch));
    case BoardFault::PitchY:
        return QStringLiteral("Шаг сетки должен быть числом от %1 до %2 мм; у доски ChArUco "
                              "клетки квадратные: шаг по y равен шагу по x.")
            .arg(MmText(kBoardMinPitch), MmText(kBoardMaxPitch));
    case BoardFault::Marker:
        return QStringLiteral("Сторона маркера должна быть числом от %1 до %2 стороны клетки.")
            .arg(MmText(kMarkerMinShare), MmText(kMarkerMaxShare));
    case BoardFault::Dictionary:
        return QStringLiteral("Словарь маркеров должен быть одним из словарей OpenCV: "
                              "DICT_4X4_50 … DICT_7X7_1000, DICT_ARUCO_ORIGINAL, "
                              "DICT_APRILTAG_16h5 … DICT_APRILTAG_36h11.");
    case BoardFault::Markers:
        return QStringLiteral("В словаре маркеров меньше маркеров, чем светлых клеток доски: "
                              "уменьшите число столбцов или строк или выберите словарь "
                              "побольше.");
    }
    return {};
}

QString TargetKindName(TargetKind kind) {
    switch (kind) {
    case TargetKind::Chessboard:
        break;
    case TargetKind::Dots:
        return QStringLiteral("точки");
    case TargetKind::Charuco:
        return QStringLiteral("доска ChArUco");
    }
    return QStringLiteral("шахматная доска");
}

bool ParseSheetPage(QStringView word, SheetPage& page) {
    if (word.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0) {
        page = SheetPage::A4;
        return true;
    }
    if (word.compare(QLatin1String("A3"), Qt::CaseInsensitive) == 0) {
        page = SheetPage::A3;
        return true;
    }
    return false;
}

FieldSheetLayout LayOutFieldSheet(const FieldSheet& sheet) {
    CheckField(sheet);
    FieldSheetLayout layout;
    // A ChArUco board lies on its sheet as a chessboard does.
    const bool chessboard = sheet.kind != TargetKind::Dots;
    const double dot = DotDiameter(sheet);
    layout.patternWidth =
        chessboard ? (sheet.columns + 1) * sheet.pitch : (sheet.columns - 1) * sheet.pitch + dot;
    layout.patternHeight =
        chessboard ? (sheet.rows + 1) * sheet.pitchY : (sheet.rows - 1) * sheet.pitchY + dot;
    const double quiet = QuietZone(sheet);
    const double blockWidth = std::max(layout.patternWidth + 2.0 * quiet, kRulerLength);
    const double blockHeight = layout.patternHeight + 2.0 * quiet + kTextBlock;

    const QSizeF portrait = PageSizeOf(sheet.page).size(QPageSize::Millimeter);
    const auto fits = [&](double width, double height) {
        return blockWidth <= width - 2.0 * kPaperMargin &&
               blockHeight <= height - 2.0 * kPaperMargin;
    };
    const bool portraitFits = fits(portrait.width(), portrait.height());
    const bool landscapeFits = fits(portrait.height(), portrait.width());
    if (!portraitFits && !landscapeFits) {
        QString message =
            QStringLiteral("Поле размером %1 × %2 мм вместе с белой рамкой не помещается на "
                           "лист %3 (%4 × %5 мм, по краям листа остаётся по %6 мм).")
                .arg(MmText(blockWidth), MmText(blockHeight), PageName(sheet.page),
                     MmText(std::round(portrait.width())), MmText(std::round(portrait.height())),
                     MmText(kPaperMargin));
        message += sheet.page == SheetPage::A4
                       ? QStringLiteral(" Уменьшите шаг или число мишеней или выберите лист A3.")
                       : QStringLiteral(" Уменьшите шаг или число мишеней.");
        throw FieldSheetError(message.toStdString());
    }
    layout.landscape =
        !portraitFits || (landscapeFits && layout.patternWidth > layout.patternHeight);
    layout.pageWidth = layout.landscape ? portrait.height() : portrait.width();
    layout.pageHeight = layout.landscape ? portrait.width() : portrait.height();

    const double blockTop = (layout.pageHeight - blockHeight) / 2.0;
    layout.patternLeft = (layout.pageWidth - layout.patternWidth) / 2.0;
    layout.patternTop = blockTop + quiet;
    layout.firstTargetX = layout.patternLeft + (chessboard ? sheet.pitch : dot / 2.0);
    layout.firstTargetY = layout.patternTop + (chessboard ? sheet.pitchY : dot / 2.0);
    layout.textTop = layout.patternTop + layout.patternHeight + quiet;
    layout.rulerLength = kRulerLength;
    layout.rulerLeft = (layout.pageWidth - kRulerLength) / 2.0;
    layout.rulerTop = layout.textTop + kTextBlock - kRulerHeight - 4.0;
    return layout;
}

QString FieldSheetPitchLine(const FieldSheet& sheet) {
    const QString pitch = sheet.pitch == sheet.pitchY
                              ? QStringLiteral("%1 мм").arg(MmText(sheet.pitch))
                              : QStringLiteral("%1 мм по x, %2 мм по y")
                                    .arg(MmText(sheet.pitch), MmText(sheet.pitchY));
    const QString grid =
        QStringLiteral("%1 столбцов × %2 строк").arg(sheet.columns).arg(sheet.rows);
    if (sheet.kind == TargetKind::Chessboard)
        return QStringLiteral("Шаг сетки: %1 (%2 мишеней — внутренних углов шахматной доски "
                              "%3 × %4 клеток)")
            .arg(pitch, grid)
            .arg(sheet.columns + 1)
            .arg(sheet.rows + 1);
    if (sheet.kind == TargetKind::Charuco)
        return QStringLiteral("Шаг сетки: %1 (%2 мишеней — внутренних углов доски ChArUco "
                              "%3 × %4 клеток; маркеры %5 мм, словарь %6)")
            .arg(pitch, grid)
            .arg(sheet.columns + 1)
            .arg(sheet.rows + 1)
            .arg(MmText(sheet.marker), DictionaryName(sheet.dictionary));
    return QStringLiteral("Шаг сетки: %1 (%2 точек диаметром %3 мм)")
        .arg(pitch, grid, MmText(DotDiameter(sheet)));
}

QString FieldSheetRulerLine(double lengthMm) {
    return QStringLiteral("Отрезок %1 мм — проверьте линейкой; печатайте в масштабе 100 %")
        .arg(MmText(lengthMm));
}

QByteArray FieldSheetPdf(const FieldSheet& sheet) {
    const FieldSheetLayout layout = LayOutFieldSheet(sheet);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kResolution);
        writer.setPageLayout(
            QPageLayout(PageSizeOf(sheet.page),
                        layout.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                        QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        writer.setTitle(QStringLiteral("Тест-поле VRMA"));
        writer.setCreator(QStringLiteral("VRMA"));
        QPainter painter;
        if (!painter.begin(&writer))
            throw FileError("Не удаётся создать документ PDF");
        const double scale = kResolution / kMmPerInch; // device units per millimetre
        const auto mm = [scale](double x, double y, double width, double height) {
            return QRectF(x * scale, y * scale, width * scale, height * scale);
        };
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);

        if (sheet.kind == TargetKind::Charuco) {
            // The dark squares, then each marker's dark cells as one outline: cells that
            // touch leave no seam between them.
            const CharucoDarkParts dark = CharucoDarkCells(sheet);
            const auto place = [&](const cv::Rect2d& cell) {
                return mm(layout.patternLeft + cell.x, layout.patternTop + cell.y, cell.width,
                          cell.height);
            };
            for (const cv::Rect2d& square : dark.squares)
                painter.drawRect(place(square));
            for (const std::vector<cv::Rect2d>& marker : dark.markers) {
                QPainterPath outline;
                for (const cv::Rect2d& cell : marker)
                    outline.addRect(place(cell));
                painter.fillPath(outline.simplified(), Qt::black);
            }
        } else if (sheet.kind == TargetKind::Chessboard) {
            // The top left square is black; the targets are the corners where four meet.
            for (int i = 0; i <= sheet.columns; ++i)
                for (int j = 0; j <= sheet.rows; ++j)
                    if ((i + j) % 2 == 0)
                        painter.drawRect(mm(layout.patternLeft + i * sheet.pitch,
                                            layout.patternTop + j * sheet.pitchY, sheet.pitch,
                                            sheet.pitchY));
        } else {
            painter.setRenderHint(QPainter::Antialiasing);
            const double dot = DotDiameter(sheet);
            for (int i = 0; i < sheet.columns; ++i)
                for (int j = 0; j < sheet.rows; ++j)
                    painter.drawEllipse(mm(layout.firstTargetX + i * sheet.pitch - dot / 2.0,
                                           layout.firstTargetY + j * sheet.pitchY - dot / 2.0, dot,
                                           dot));
        }

        // The ruler bar with a tick every 10 mm below it.
        painter.drawRect(mm(layout.rulerLeft, layout.rulerTop, layout.rulerLength, kRulerHeight));
        for (int tick = 0; tick * 10.0 <= layout.rulerLength + 1e-9; ++tick) {
            const double length = tick % 5 == 0 ? 2.5 : 1.5;
            painter.drawRect(mm(layout.rulerLeft + tick * 10.0 - (tick == 0 ? 0.0 : 0.2),
                                layout.rulerTop + kRulerHeight, 0.2, length));
        }

        QFont font(QStringLiteral("DejaVu Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setPointSizeF(9.0);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const double textWidth = layout.pageWidth - 2.0 * kPaperMargin;
        painter.drawText(mm(kPaperMargin, layout.textTop, textWidth, 5.0), Qt::AlignCenter,
                         FieldSheetPitchLine(sheet));
        painter.drawText(mm(kPaperMargin, layout.textTop + 6.0, textWidth, 5.0), Qt::AlignCenter,
                         FieldSheetRulerLine(layout.rulerLength));
        if (!painter.end())
            throw FileError("Не удаётся завершить документ PDF");
    }
    return bytes;
}

void WriteFieldSheet(const QString& pdfFile, const QString& sceneFile, const FieldSheet& sheet) {
    const QByteArray pdf = FieldSheetPdf(sheet);
    const QByteArray scene = EncodePointFile(SceneGrid(sheet));
    WriteFilePair(pdfFile, pdf, sceneFile, scene);
}

} // namespace vrma
