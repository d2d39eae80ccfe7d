#include "drawing/CameraReport.h"

#include "data/Errors.h"
#include "data/Locale.h"
#include "data/TextFile.h"
#include "drawing/CameraPainting.h"
#include "drawing/CameraVerdict.h"
#include "drawing/FieldSheet.h"
#include "drawing/ReportPages.h"
#include "drawing/UncertaintyPainting.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

namespace vrma {

namespace {

// The photographs of a camera's calibration as a table: each with its thumbnail, number,
// name, outcome, turn, targets and RMS.
void PhotoTable(Pages& pages, const CameraReport& report) {
    QPainter& painter = pages.painter();
    const QFont font = ReportFont(kSmall);
    const QFont bold = ReportFont(kSmall, true);
    const QFontMetrics metrics(bold);
    const int line = metrics.height();
    const int thumbWidth = 150;
    const int thumbHeight = 110;
    const int rowHeight = std::max(thumbHeight, 2 * line) + 12;
    const int number = metrics.horizontalAdvance(QStringLiteral("000")) + 16;
    const int turn = metrics.horizontalAdvance(QStringLiteral("Поворот")) + 20;
    const int targets = metrics.horizontalAdvance(QStringLiteral("Мишеней")) + 20;
    const int rms = metrics.horizontalAdvance(QStringLiteral("СКО, пикс.")) + 20;
    const int nameX = thumbWidth + 12 + number;
    const int rest = pages.width() - nameX - turn - targets - rms;
    const int nameWidth = rest * 2 / 5;
    const int resultX = nameX + nameWidth;
    const int resultWidth = rest - nameWidth;
    const int turnX = resultX + resultWidth;
    const int targetsX = turnX + turn;
    const int rmsX = targetsX + targets;
    const auto header = [&] {
        painter.fillRect(QRect(0, pages.y(), pages.width(), line + 10), QColor(225, 225, 225));
        painter.setFont(bold);
        painter.setPen(Qt::black);
        const int y = pages.y();
        painter.drawText(QRect(thumbWidth + 12, y, number, line + 10), Qt::AlignCenter,
                         QStringLiteral("№"));
        painter.drawText(QRect(nameX, y, nameWidth, line + 10), Qt::AlignVCenter,
                         QStringLiteral("Снимок"));
        painter.drawText(QRect(resultX, y, resultWidth, line + 10), Qt::AlignVCenter,
                         QStringLiteral("Результат"));
        painter.drawText(QRect(turnX, y, turn, line + 10), Qt::AlignCenter,
                         QStringLiteral("Поворот"));
        painter.drawText(QRect(targetsX, y, targets, line + 10), Qt::AlignCenter,
                         QStringLiteral("Мишеней"));
        painter.drawText(QRect(rmsX, y, rms, line + 10), Qt::AlignCenter,
                         QStringLiteral("СКО, пикс."));
        pages.advance(line + 10);
    };
    pages.ensure(line * 2 + rowHeight);
    header();
    for (size_t k = 0; k < report.photos.size() && k < report.calibration.photos.size(); ++k) {
        if (pages.ensure(rowHeight))
            header();
        const PhotoDetection& photo = report.photos[k];
        const PhotoFit& fit = report.calibration.photos[k];
        const int y = pages.y();
        if (k % 2 == 1)
            painter.fillRect(QRect(0, y, pages.width(), rowHeight), QColor(245, 245, 245));
        const cv::Mat& thumb = photo.thumbnail;
        if (!thumb.empty() && thumb.type() == CV_8UC1) {
            const QImage image(thumb.data, thumb.cols, thumb.rows, int(thumb.step),
                               QImage::Format_Grayscale8);
            const QSizeF size =
                QSizeF(image.size()).scaled(QSizeF(thumbWidth, thumbHeight), Qt::KeepAspectRatio);
            painter.drawImage(QRectF(QPointF(0, y + (rowHeight - size.height()) / 2), size), image);
        }
        // The photograph's colour in the coverage view.
        if (photo.found)
            painter.fillRect(QRect(thumbWidth + 4, y + 6, 6, rowHeight - 12), PhotoColour(k));
        painter.setPen(Qt::black);
        painter.setFont(bold);
        painter.drawText(QRect(thumbWidth + 12, y, number, rowHeight), Qt::AlignCenter,
                         QString::number(k + 1));
        painter.setFont(font);
        painter.drawText(QRect(nameX, y, nameWidth - 10, rowHeight),
                         Qt::AlignVCenter | Qt::TextWrapAnywhere, QFileInfo(photo.file).fileName());
        QString result = PhotoUseText(photo, fit, report.calibration.camera);
        if (!photo.found && !photo.reason.isEmpty())
            result += QStringLiteral(": ") + photo.reason;
        painter.drawText(QRect(resultX, y, resultWidth - 10, rowHeight),
                         Qt::AlignVCenter | Qt::TextWordWrap, result);
        painter.drawText(QRect(turnX, y, turn, rowHeight), Qt::AlignCenter, PhotoTurnText(photo));
        painter.drawText(QRect(targetsX, y, targets, rowHeight), Qt::AlignCenter,
                         photo.found ? QString::number(photo.points()) : QStringLiteral("—"));
        painter.drawText(QRect(rmsX, y, rms, rowHeight), Qt::AlignCenter, PhotoRmsText(fit));
        pages.advance(rowHeight);
    }
    pages.advance(line / 2);
}

void CameraPictures(Pages& pages, const CameraReport& report) {
    QPainter& painter = pages.painter();
    CameraPaintStyle style;
    style.font = ReportFont(kSmall);
    style.line = 3.0;

    pages.heading(QStringLiteral("СКО по снимкам"), 700);
    const int chartHeight = 620;
    pages.ensure(chartHeight);
    const RmsChartLayout chart = RmsChartLayoutFor(
        report.calibration, style.font, QRectF(0, pages.y(), pages.width(), chartHeight));
    PaintRmsChart(painter, report.calibration, chart, style);
    pages.advance(chartHeight + 12);
    pages.paragraph(QStringLiteral("Столбец — СКО репроекции мишеней снимка при найденной камере. "
                                   "Синие — снимки в калибровке, серые — не взятые (в красной "
                                   "рамке — не взятые по правилу трёх медиан), × — поле не "
                                   "найдено. Штриховая линия — предел правила: снимок, чьё СКО "
                                   "выше трёх медиан СКО снимков, в калибровку не берётся."),
                    ReportFont(kSmall));

    const CoverageData data = CoverageDataOf(report.calibration, report.photos);
    const double aspect = data.width > 0.0 ? data.height / data.width : 0.75;
    const int frameHeight = std::min(int(pages.width() * aspect), 1800);
    const int viewHeight = frameHeight + 4 * QFontMetrics(style.font).height();
    pages.heading(QStringLiteral("Покрытие кадра"), viewHeight);
    pages.ensure(viewHeight);
    const CoverageLayout layout =
        CoverageLayoutFor(data, style.font, QRectF(0, pages.y(), pages.width(), viewHeight));
    PaintCoverage(painter, data, layout, style);
    pages.advance(int(layout.legend.bottom() - pages.y()) + 12);
}

// The projection's uncertainty over the frame as the window shows it, with its scale, and
// the cross-validation's differences as a line on that scale beside it, at the verdict's
// head: the map's width on the page and the heights (0: no map).
struct TrustPictureSizes {
    double width = 0.0;
    int map = 0;
    int line = 0;
    int Total() const { return map > 0 ? std::max(map, line) + 12 : 0; }
};

TrustPictureSizes TrustPicturesOn(Pages& pages, const CameraAssessment& assessment) {
    QPainter& painter = pages.painter();
    painter.setFont(ReportFont(kSmall));
    TrustPictureSizes sizes;
    sizes.width = pages.width() * 0.34;
    const double frame =
        HeatFrameRect(assessment.uncertainty, QRectF(0, 0, sizes.width, 1e6), 0.0).height();
    if (frame <= 0.0)
        return sizes;
    sizes.map = int(frame + 3.5 * QFontMetricsF(painter.font()).height()) + 1;
    sizes.line = assessment.crossValidation ? int(CrossValidationLineHeight(painter)) + 1 : 0;
    return sizes;
}

void TrustPictures(Pages& pages, const CameraAssessment& assessment,
                   const TrustPictureSizes& sizes) {
    if (sizes.map <= 0)
        return;
    QPainter& painter = pages.painter();
    painter.setFont(ReportFont(kSmall));
    pages.ensure(sizes.Total());
    const ProjectionUncertainty& map = assessment.uncertainty;
    PaintUncertaintyMap(painter, map, QRectF(0, pages.y(), sizes.width, sizes.map));
    if (assessment.crossValidation) {
        const double left = sizes.width + 60.0;
        PaintCrossValidationLine(painter, *assessment.crossValidation, map,
                                 QRectF(left, pages.y() + 0.5 * (sizes.map - sizes.line),
                                        pages.width() - left, sizes.line));
    }
    pages.advance(sizes.Total());
}

// The parameters a fit freed, by name: "fx, fy, cx, cy, k1, k2, p1, p2, k3".
QString FreedParameters(CameraSelection selection) {
    QStringList names;
    for (CameraParameter p : selection.Parameters())
        names << QString::fromLatin1(CameraParameterName(p));
    return names.join(QStringLiteral(", "));
}

// The section of a camera calibrated from several photographs.
void AddCameraSection(Pages& pages, const CameraReport& report) {
    const CameraCalibration& calibration = report.calibration;
    const auto found = std::count_if(report.photos.begin(), report.photos.end(),
                                     [](const PhotoDetection& p) { return p.found; });
    const Board& board = report.board;
    // The camera and the verdict lead: what a reader of the first page looks for.
    pages.heading(QStringLiteral("Камера"));
    pages.fields(CameraResultRows(calibration));
    pages.paragraph(QStringLiteral("Стандартные ошибки — из ковариации параметров при найденном "
                                   "решении, с дисперсией невязок; fy/fx — с учётом корреляции "
                                   "fx и fy. Координаты главной точки — как в OpenCV (центр "
                                   "первого пикселя — 0 ; 0); в файле камеры они на 0,5 "
                                   "больше (от внешнего угла первого пикселя)."),
                    ReportFont(kSmall));
    pages.heading(QStringLiteral("Результат"));
    pages.paragraph(QStringLiteral("Отношение фокусных расстояний fy/fx"), ReportFont(kBody));
    pages.paragraph(WithError(calibration.ratio, calibration.ratioSe, 6),
                    ReportFont(kCoefficient, true), 40);
    const TrustPictureSizes pictures =
        report.assessment ? TrustPicturesOn(pages, *report.assessment) : TrustPictureSizes{};
    pages.heading(QStringLiteral("Вывод"), pictures.Total());
    if (report.assessment)
        TrustPictures(pages, *report.assessment, pictures);
    for (const QString& line : CameraVerdictLines(calibration, report.photos))
        pages.paragraph(line, ReportFont(kBody));
    if (report.assessment)
        for (const QString& line : CameraTrustLines(*report.assessment, calibration, report.photos))
            pages.paragraph(line, ReportFont(kBody));

    pages.heading(QStringLiteral("Исходные данные"));
    pages.fields({
        {QStringLiteral("Поле:"),
         QStringLiteral("%1, %2 столбцов × %3 строк мишеней, шаг %4 мм")
             .arg(TargetKindName(board.kind))
             .arg(board.columns)
             .arg(board.rows)
             .arg(board.pitch == board.pitchY
                      ? FormatFixed(board.pitch, 2)
                      : FormatFixed(board.pitch, 2) + QStringLiteral(" × ") +
                            FormatFixed(board.pitchY, 2))},
        {QStringLiteral("Снимков:"), QStringLiteral("%1, поле найдено на %2, в калибровке %3")
                                         .arg(qulonglong(report.photos.size()))
                                         .arg(qlonglong(found))
                                         .arg(calibration.used)},
        {QStringLiteral("Размер снимков:"), QStringLiteral("%1 × %2 пикс.")
                                                .arg(calibration.camera.width)
                                                .arg(calibration.camera.height)},
        {QStringLiteral("Уточнялись:"), FreedParameters(calibration.selection)},
        {QStringLiteral("Дата расчёта:"),
         report.date.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))},
    });

    pages.heading(QStringLiteral("Снимки"));
    PhotoTable(pages, report);
    CameraPictures(pages, report);
}

} // namespace

QByteArray CameraReportPdf(const CameraReport& report) {
    if (report.photos.size() != report.calibration.photos.size())
        throw Exception("the photographs and the calibration differ");
    return ReportPdf(QStringLiteral("Отчёт о калибровке камеры по снимкам"),
                     QStringLiteral("VRMA — отчёт о калибровке камеры по снимкам"), report.date,
                     report.written, [&](Pages& pages) { AddCameraSection(pages, report); });
}

void WriteCameraReport(const QString& fileName, const CameraReport& report) {
    WriteFileAtomically(fileName, CameraReportPdf(report));
}

} // namespace vrma
