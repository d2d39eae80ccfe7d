#include "drawing/ScaleRatioReport.h"

#include "data/Errors.h"
#include "data/Locale.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "drawing/FieldCheckVerdict.h"
#include "drawing/NodeMapPainting.h"
#include "drawing/ReportPages.h"
#include "drawing/ScaleRatioPlot.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

namespace vrma {

namespace {

// The ratios as a table: one row per interior grid row, one column per interior grid
// column; wide grids are split into blocks of columns. Outliers are framed and bold.
void RatioTable(Pages& pages, const NodeAnalysis& analysis) {
    QPainter& painter = pages.painter();
    const QFont font = ReportFont(kSmall);
    const QFont bold = ReportFont(kSmall, true);
    const QFontMetrics metrics(bold);
    const int line = metrics.height() + 10;
    const int headWidth = metrics.horizontalAdvance(QStringLiteral("Строка 000")) + 16;
    const int cellWidth = metrics.horizontalAdvance(QStringLiteral("00,0000")) + 20;
    const int columns = analysis.columns - 2;
    const int rows = analysis.rows - 2;
    const int perBlock = std::max(1, (pages.width() - headWidth) / cellWidth);

    const auto header = [&](int first, int last) {
        painter.setFont(bold);
        painter.setPen(Qt::black);
        painter.fillRect(QRect(0, pages.y(), headWidth + (last - first + 1) * cellWidth, line),
                         QColor(225, 225, 225));
        painter.drawText(QRect(4, pages.y(), headWidth - 8, line), Qt::AlignVCenter,
                         QStringLiteral("Столбец"));
        for (int i = first; i <= last; ++i)
            painter.drawText(QRect(headWidth + (i - first) * cellWidth, pages.y(), cellWidth, line),
                             Qt::AlignCenter, QString::number(i));
        pages.advance(line);
    };

    for (int first = 1; first <= columns; first += perBlock) {
        const int last = std::min(columns, first + perBlock - 1);
        pages.ensure(line * 3);
        header(first, last);
        for (int j = 1; j <= rows; ++j) {
            if (pages.ensure(line))
                header(first, last);
            const int y = pages.y();
            if (j % 2 == 0)
                painter.fillRect(QRect(0, y, headWidth + (last - first + 1) * cellWidth, line),
                                 QColor(245, 245, 245));
            painter.setFont(bold);
            painter.setPen(Qt::black);
            painter.drawText(QRect(4, y, headWidth - 8, line), Qt::AlignVCenter,
                             QStringLiteral("Строка %1").arg(j));
            for (int i = first; i <= last; ++i) {
                const NodeValue* node = analysis.at(i, j);
                if (!node)
                    continue;
                const QRect cell(headWidth + (i - first) * cellWidth, y, cellWidth, line);
                painter.setFont(node->outlier ? bold : font);
                painter.drawText(cell, Qt::AlignCenter, FormatFixed4(node->ratio));
                if (node->outlier) {
                    painter.setPen(QPen(Qt::black, 5));
                    painter.drawRect(cell.adjusted(4, 3, -4, -3));
                    painter.setPen(Qt::black);
                }
            }
            pages.advance(line);
        }
        pages.advance(line / 2);
    }
    pages.paragraph(QStringLiteral("Отношения узлов сетки (столбец i, строка j — номера узлов "
                                   "сетки; крайние столбцы и строки узлов не имеют). Рамкой и "
                                   "жирным шрифтом выделены выбросы."),
                    ReportFont(kSmall));
}

// The plot as the calibration window draws it (the same vertices, in its 700 x 500
// bitmap's coordinates), drawn as lines on paper: the polylines solid, the mean dashed.
void Plot(Pages& pages, const ScaleRatioPlot& plot) {
    const int width = std::min(pages.width(), 1050);
    const double scale = width / 700.0;
    const int height = int(500 * scale);
    pages.ensure(height + 80);
    QPainter& painter = pages.painter();
    const QRect target(0, pages.y(), width, height);
    painter.save();
    painter.setClipRect(target);
    painter.translate(target.topLeft());
    painter.scale(scale, scale);
    QPen line(Qt::black, 1.2);
    line.setCosmetic(false);
    painter.setPen(line);
    QPointF previous;
    for (const PlotVertex& vertex : plot.vertices) {
        const QPointF at(vertex.x + 0.5, vertex.y + 0.5);
        if (!vertex.startsPolyline)
            painter.drawLine(previous, at);
        previous = at;
    }
    QPen mean(QColor(200, 0, 0), 1.5, Qt::DashLine);
    painter.setPen(mean);
    painter.drawLine(QPointF(30, plot.meanLineY + 0.5),
                     QPointF(plot.meanLineRight, plot.meanLineY + 0.5));
    painter.restore();
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(target);
    pages.advance(height + 12);
    pages.paragraph(QStringLiteral("График окна калибровки: отношения узлов по внутренним "
                                   "строкам сетки, каждая строка — ломаная слева направо; "
                                   "штриховая линия (красная) — среднее."),
                    ReportFont(kSmall));
}

// The ratios on a scale that shows their spread: one polyline per interior grid row over
// the grid columns, each with its own marker, the mean dashed, the ratio axis labelled.
void SpreadPlot(Pages& pages, const NodeAnalysis& analysis) {
    QPainter& painter = pages.painter();
    const QFont font = ReportFont(kSmall);
    const QFontMetrics metrics(font);
    const int line = metrics.height();
    const int width = std::min(pages.width(), 1600);
    const int height = 900;
    pages.ensure(height + 3 * line);
    const int left = metrics.horizontalAdvance(QStringLiteral("0,00000")) + 20;
    const QRect frame(left, pages.y() + line / 2, width - left - 20, height - 2 * line);
    double low = analysis.minRatio;
    double high = analysis.maxRatio;
    if (high - low < 1e-9 * std::max(1.0, std::fabs(high))) {
        low -= 0.0005;
        high += 0.0005;
    }
    const double pad = (high - low) * 0.08;
    low -= pad;
    high += pad;
    const int columns = analysis.columns - 2;
    const int rows = analysis.rows - 2;
    const auto xOf = [&](int column) {
        return columns <= 1
                   ? frame.center().x()
                   : frame.left() + 30 + (frame.width() - 60) * (column - 1) / (columns - 1.0);
    };
    const auto yOf = [&](double ratio) {
        return frame.bottom() - (ratio - low) / (high - low) * frame.height();
    };

    painter.setFont(font);
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
    // The ratio axis: five labelled ticks with light grid lines.
    for (int k = 0; k <= 4; ++k) {
        const double ratio = low + (high - low) * k / 4.0;
        const double y = yOf(ratio);
        painter.setPen(QPen(QColor(200, 200, 200), 1));
        painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, y - line / 2.0, left - 10, line),
                         Qt::AlignRight | Qt::AlignVCenter, FormatFixed(ratio, 5));
    }
    // The column axis.
    const int columnStep = std::max(1, columns / 20);
    for (int i = 1; i <= columns; i += columnStep)
        painter.drawText(QRectF(xOf(i) - 60, frame.bottom() + 4, 120, line), Qt::AlignCenter,
                         QString::number(i));
    painter.drawText(QRect(frame.left(), frame.bottom() + 4 + line, frame.width(), line),
                     Qt::AlignCenter, QStringLiteral("столбец сетки"));

    // The mean.
    painter.setPen(QPen(QColor(200, 0, 0), 4, Qt::DashLine));
    painter.drawLine(QPointF(frame.left(), yOf(analysis.mean)),
                     QPointF(frame.right(), yOf(analysis.mean)));

    // One polyline per grid row; markers tell the rows apart without colour.
    const auto marker = [&](const QPointF& at, int kind, bool outlier) {
        const double r = outlier ? 14 : 9;
        painter.setBrush(kind % 2 == 0 ? QBrush(Qt::black) : QBrush(Qt::white));
        switch ((kind / 2) % 3) {
        case 0:
            painter.drawEllipse(at, r, r);
            break;
        case 1:
            painter.drawRect(QRectF(at.x() - r, at.y() - r, 2 * r, 2 * r));
            break;
        default: {
            const QPointF triangle[3] = {QPointF(at.x(), at.y() - r * 1.2),
                                         QPointF(at.x() - r * 1.1, at.y() + r * 0.9),
                                         QPointF(at.x() + r * 1.1, at.y() + r * 0.9)};
            painter.drawPolygon(triangle, 3);
        }
        }
    };
    for (int j = 1; j <= rows; ++j) {
        painter.setPen(QPen(Qt::black, 2));
        QPointF previous;
        for (int i = 1; i <= columns; ++i) {
            const NodeValue* node = analysis.at(i, j);
            const QPointF at(xOf(i), yOf(node->ratio));
            if (i > 1)
                painter.drawLine(previous, at);
            previous = at;
        }
        for (int i = 1; i <= columns; ++i) {
            const NodeValue* node = analysis.at(i, j);
            painter.setPen(QPen(Qt::black, node->outlier ? 5 : 2));
            marker(QPointF(xOf(i), yOf(node->ratio)), j - 1, node->outlier);
        }
    }
    painter.setBrush(Qt::NoBrush);
    pages.advance(height + line / 2);

    // The legend of the rows' markers (a wide grid lists the first ones).
    const int shown = std::min(rows, 12);
    int x = left;
    painter.setPen(QPen(Qt::black, 2));
    for (int j = 1; j <= shown; ++j) {
        const QString text = QStringLiteral("строка %1").arg(j);
        const int advance = 40 + metrics.horizontalAdvance(text) + 30;
        if (x + advance > pages.width()) {
            pages.advance(line + 4);
            x = left;
        }
        pages.ensure(line);
        marker(QPointF(x + 12, pages.y() + line / 2.0), j - 1, false);
        painter.drawText(QRect(x + 40, pages.y(), advance, line), Qt::AlignVCenter, text);
        x += advance;
    }
    painter.setBrush(Qt::NoBrush);
    pages.advance(line + 8);
    pages.paragraph(QStringLiteral("Отношения узлов в масштабе их разброса: по одной ломаной на "
                                   "внутреннюю строку сетки; штриховая линия — среднее; крупные "
                                   "метки в жирном контуре — выбросы."),
                    ReportFont(kSmall));
}

void Map(Pages& pages, const NodeAnalysis& analysis) {
    // The map is painted at three times the report's unit (3/4 point), in the sizes it
    // has on screen.
    constexpr int kScale = 3;
    NodeMapStyle style;
    style.font = ReportFont(11);
    style.hatchBelow = true;
    const int width = pages.width() / kScale;
    const QSize preferred = NodeMapPreferredSize(analysis, style.font);
    QSize size(width, std::min(preferred.height(), 900));
    NodeMapLayout layout = NodeMapLayoutFor(analysis, style.font, size);
    // No wider than the cells need, so that the legend sits under the map.
    pages.ensure(layout.bottom * kScale + 20);
    QPainter& painter = pages.painter();
    painter.save();
    painter.translate(0, pages.y());
    painter.scale(kScale, kScale);
    PaintNodeMap(painter, analysis, layout, style);
    painter.restore();
    pages.advance(layout.bottom * kScale + 12);
    pages.paragraph(QStringLiteral("Цвет ячейки — отклонение отношения узла от среднего: "
                                   "красный выше среднего, синий (со штриховкой) ниже; шкала "
                                   "доходит до самого дальнего узла, но не дальше 3 СКО."),
                    ReportFont(kSmall));
}

} // namespace

ScaleRatioReport MakeScaleRatioReport(const QString& sceneFile, const QString& imageFile,
                                      qint32 columns, qint32 rows, const QString& widthText,
                                      const QString& heightText, ScaleRatioRun run,
                                      const QDateTime& date) {
    if (!run.complete())
        throw CalcError("the calibration did not complete");
    ScaleRatioReport report;
    report.sceneFile = sceneFile;
    report.imageFile = imageFile;
    report.columns = columns;
    report.rows = rows;
    report.widthText = widthText;
    report.heightText = heightText;
    report.date = date;
    report.run = std::move(run);
    return report;
}

const NodeAnalysis& ReportAnalysis(ScaleRatioReport& report) {
    if (!report.analysis)
        report.analysis = AnalyseNodes(report.columns, report.rows, report.run.ratios);
    return *report.analysis;
}

QString OutlierVerdict(const NodeAnalysis& analysis) {
    const std::vector<NodeValue> outliers = analysis.outliers();
    if (outliers.empty())
        return QStringLiteral("Выбросов нет.");
    QStringList nodes;
    for (const NodeValue& node : outliers)
        nodes << QStringLiteral("столбец %1, строка %2").arg(node.column).arg(node.row);
    return QStringLiteral("Выбросы: %1 (%2).")
        .arg(outliers.size())
        .arg(nodes.join(QStringLiteral("; ")));
}

QByteArray ScaleRatioReportPdf(const ScaleRatioReport& report) {
    std::optional<NodeAnalysis> made;
    const NodeAnalysis& analysis =
        report.analysis
            ? *report.analysis
            : made.emplace(AnalyseNodes(report.columns, report.rows, report.run.ratios));
    // The window's plot, placed again from the run's ratios.
    const ScaleRatioPlot plot = PlotOfRun(report.columns, report.run);
    const QString title = QStringLiteral("Отчёт о калибровке соотношения масштабов");
    return ReportPdf(
        title, QStringLiteral("VRMA — отчёт о калибровке соотношения масштабов"), report.date,
        report.written, [&](Pages& pages) {
            pages.heading(QStringLiteral("Исходные данные"));
            const qint64 nodes =
                qint64(std::max(0, report.columns - 2)) * std::max(0, report.rows - 2);
            pages.fields({
                {QStringLiteral("Файл сцены:"), report.sceneFile},
                {QStringLiteral("Файл изображения:"), report.imageFile},
                {QStringLiteral("Сетка:"),
                 QStringLiteral("%1 столбцов × %2 строк, внутренних узлов: %3")
                     .arg(report.columns)
                     .arg(report.rows)
                     .arg(nodes)},
                {QStringLiteral("Размеры изображения:"),
                 QStringLiteral("%1 × %2 пикс.").arg(report.widthText, report.heightText)},
                {QStringLiteral("Дата расчёта:"),
                 report.date.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))},
            });

            pages.heading(QStringLiteral("Результат"));
            pages.paragraph(QStringLiteral("Коэффициент соотношения масштабов по осям изображения"),
                            ReportFont(kBody));
            pages.paragraph(FormatFixed4(report.run.coefficient), ReportFont(kCoefficient, true),
                            40);
            pages.fields(
                {{QStringLiteral("Среднеквадратическое отклонение:"), FormatFixed4(report.run.sd)},
                 {QStringLiteral("Выбросы:"), OutlierVerdict(analysis)}});

            pages.heading(QStringLiteral("Отношения по узлам"));
            RatioTable(pages, analysis);

            pages.heading(QStringLiteral("График"), 800);
            Plot(pages, plot);
            pages.heading(QStringLiteral("Разброс отношений"), 1000);
            SpreadPlot(pages, analysis);

            pages.heading(QStringLiteral("Карта узлов"));
            Map(pages, analysis);

            pages.heading(QStringLiteral("Статистика"));
            pages.fields({
                {QStringLiteral("Число узлов (n):"), QString::number(analysis.n)},
                {QStringLiteral("Среднее:"), FormatFixed(analysis.mean, 6)},
                {QStringLiteral("Медиана:"), FormatFixed(analysis.median, 6)},
                {QStringLiteral("СКО:"), FormatFixed(analysis.sd, 6)},
                {QStringLiteral("Ошибка среднего (СКО/√n):"), FormatFixed(analysis.sem, 6)},
                {QStringLiteral("Медианное отклонение (MAD):"), FormatFixed(analysis.mad, 6)},
                {QStringLiteral("Порог выброса:"), QStringLiteral("|отношение − медиана| > %1")
                                                       .arg(FormatFixed(analysis.threshold, 6))},
                {QStringLiteral("Выбросы:"), OutlierVerdict(analysis)},
            });
            pages.paragraph(
                QStringLiteral("Выброс — узел, у которого |отношение − медиана| > 3,5 · "
                               "1,4826 · MAD (масштаб не меньше 1e-9 · |медиана|)."),
                ReportFont(kSmall));

            for (const ReportSection& section : report.sections) {
                pages.heading(section.title);
                pages.fields(section.rows);
                if (!section.note.isEmpty())
                    pages.paragraph(section.note, ReportFont(kSmall));
            }
        });
}

ReportSection FieldCheckSection(const FieldCheck& check) {
    ReportSection section;
    section.title = QStringLiteral("Геометрия поля");
    auto& rows = section.rows;
    rows.emplace_back(QStringLiteral("Ошибка гомографии (СКО):"),
                      FormatFixed(check.homographyRmsPx, 3) + QStringLiteral(" пикс. по ") +
                          QString::number(check.pointCount) + QStringLiteral(" точкам"));
    rows.emplace_back(QStringLiteral("Главная точка:"), FormatFixed(check.principalX, 1) +
                                                            QStringLiteral("; ") +
                                                            FormatFixed(check.principalY, 1));
    if (check.tiltKnown) {
        rows.emplace_back(QStringLiteral("Фокусное расстояние fx:"),
                          FormatFixed(check.focalUsed, 2) +
                              (check.focalFromViews ? QStringLiteral(" пикс. (по всем снимкам)")
                               : check.cameraKnown
                                   ? QStringLiteral(" пикс. (камеры, откалиброванной по снимкам)")
                                   : QStringLiteral(" пикс. (номинальное)")));
        rows.emplace_back(QStringLiteral("Наклон вокруг вертикальной оси:"),
                          FormatSigned(check.tiltVerticalDeg, 2) + QStringLiteral("°"));
        rows.emplace_back(QStringLiteral("Наклон вокруг горизонтальной оси:"),
                          FormatSigned(check.tiltHorizontalDeg, 2) + QStringLiteral("°"));
        rows.emplace_back(QStringLiteral("Наклон к оптической оси:"),
                          FormatFixed(check.tiltDeg, 2) + QStringLiteral("°"));
    }
    if (check.correctedCoefficient && check.correctedSe)
        rows.emplace_back(QStringLiteral("Исправленный коэффициент (fy/fx):"),
                          WithError(*check.correctedCoefficient, *check.correctedSe, 6));
    if (check.viewCount > 1)
        rows.emplace_back(QStringLiteral("Снимков:"), QString::number(check.viewCount));
    if (check.multiviewFx && check.multiviewFy)
        rows.emplace_back(QStringLiteral("fx; fy по всем снимкам:"),
                          FormatFixed(*check.multiviewFx, 2) + QStringLiteral("; ") +
                              FormatFixed(*check.multiviewFy, 2) + QStringLiteral(" пикс."));
    if (check.multiviewRatio && check.multiviewRatioSe)
        rows.emplace_back(QStringLiteral("fy/fx по всем снимкам:"),
                          WithError(*check.multiviewRatio, *check.multiviewRatioSe, 6));
    if (check.bias && check.biasSe)
        rows.emplace_back(QStringLiteral("Смещение коэффициента:"),
                          FormatSigned(*check.bias, 6) + QStringLiteral(" ± ") +
                              FormatFixed(*check.biasSe, 6));

    if (check.warning || check.referenceDoubtful) {
        section.note = FieldCheckWarning(check);
    } else if (check.bias && check.biasSe && std::fabs(*check.bias) > 2.0 * *check.biasSe) {
        section.note = QStringLiteral("Смещение коэффициента больше двух стандартных ошибок, но "
                                      "не видно в четырёх знаках коэффициента: наклон поля на "
                                      "коэффициент заметно не влияет.");
    } else if (check.bias) {
        section.note = QStringLiteral("Смещение коэффициента не больше двух стандартных "
                                      "ошибок: наклон поля на коэффициент заметно не влияет.");
    } else {
        section.note = QStringLiteral("Наклон поля не оценивался: нет ни фокусного расстояния, "
                                      "ни других снимков той же сетки.");
    }
    return section;
}

ReportSection FieldCheckFailedSection(const QString& message) {
    return ReportSection{QStringLiteral("Геометрия поля"), {}, message};
}

ReportSection CheckFieldSection(const ScaleRatioReport& report, const FieldGeometry& geometry) {
    FieldCheckInput input;
    input.scene = geometry.scene;
    input.image = geometry.image;
    input.width = geometry.width;
    input.height = geometry.height;
    input.focal = geometry.focal;
    input.camera = geometry.camera;
    input.coefficient = report.run.coefficient;
    input.sd = report.run.sd;
    input.n = qint64(report.run.ratios.size());
    try {
        return FieldCheckSection(CheckField(input));
    } catch (const std::exception& error) {
        return FieldCheckFailedSection(QString::fromUtf8(error.what()));
    }
}

void WriteScaleRatioReport(const QString& fileName, const ScaleRatioReport& report) {
    WriteFileAtomically(fileName, ScaleRatioReportPdf(report));
}

} // namespace vrma
