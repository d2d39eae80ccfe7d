#pragma once
// The page engine of the reports (the calibration's, drawing/CalibrationReport; the
// camera's, drawing/CameraReport): A4 pages of a PDF document, laid out in quarter points,
// with a heading, paragraphs, lines of label and value, a footer with the page's number,
// and the frame every report shares (its title and date first, what was written last).
#include <QByteArray>
#include <QDateTime>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace vrma {

// The page is laid out in quarter points: the painter is scaled so that 4 units are
// 1/72 inch, and fonts are given in those units (a 10-point font is 40 units).
inline constexpr int kResolution = 300; // dots per inch of the PDF's drawing
inline constexpr double kUnitsPerPoint = 4.0;
inline constexpr int kBody = 40;        // 10 pt
inline constexpr int kSmall = 34;       // 8.5 pt
inline constexpr int kHeading = 52;     // 13 pt
inline constexpr int kTitle = 72;       // 18 pt
inline constexpr int kCoefficient = 64; // 16 pt

// "value ± error" with the decimals given.
QString WithError(double value, double error, int decimals);

// The reports' font (DejaVu Sans) of a size in quarter points.
QFont ReportFont(int size, bool bold = false);

// A page cursor: the painter, the width of the text area and the next free line.
class Pages {
public:
    Pages(QPdfWriter& writer, QPainter& painter,
          QString footerTitle = QStringLiteral("VRMA — отчёт о калибровке соотношения масштабов"))
        : writer_(writer), painter_(painter), footerTitle_(std::move(footerTitle)) {
        const double scale = kResolution / (72.0 * kUnitsPerPoint);
        const QRect area = writer.pageLayout().paintRectPixels(kResolution);
        width_ = int(area.width() / scale);
        height_ = int(area.height() / scale);
        painter_.scale(scale, scale);
        startPage();
    }

    int width() const { return width_; }
    int y() const { return y_; }
    void advance(int by) { y_ += by; }
    QPainter& painter() { return painter_; }

    // Room for the height below the cursor, on a new page if need be. True when a new
    // page was begun.
    bool ensure(int height) {
        if (y_ + height <= bottom())
            return false;
        newPage();
        return true;
    }
    void newPage() {
        footer();
        writer_.newPage();
        ++page_;
        startPage();
    }
    void finish() { footer(); }

    // Text in a box of the page's width; returns the height taken.
    int paragraph(const QString& text, const QFont& font, int indent = 0) {
        const QFontMetrics metrics(font);
        const QRect box(indent, 0, width_ - indent, 100000);
        const QRect needed = metrics.boundingRect(box, Qt::TextWordWrap, text);
        ensure(needed.height());
        painter_.setFont(font);
        painter_.setPen(Qt::black);
        painter_.drawText(QRect(indent, y_, width_ - indent, needed.height()),
                          Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        y_ += needed.height();
        return needed.height();
    }

    // A heading, kept on one page with the height that follows it (a few lines at least).
    void heading(const QString& text, int keep = 0) {
        const QFont font = ReportFont(kHeading, true);
        const int line = QFontMetrics(font).height();
        ensure(line * 2 + std::max(keep, line * 2));
        y_ += line / 2;
        painter_.setFont(font);
        painter_.setPen(Qt::black);
        painter_.drawText(QRect(0, y_, width_, line), Qt::AlignLeft | Qt::AlignVCenter, text);
        y_ += line;
        painter_.setPen(QPen(Qt::black, 2));
        painter_.drawLine(0, y_, width_, y_);
        y_ += line / 3;
    }

    // Lines of label and value, the values lined up after the longest label.
    void fields(const std::vector<std::pair<QString, QString>>& rows) {
        const QFont label = ReportFont(kBody);
        const QFont value = ReportFont(kBody, true);
        const QFontMetrics metrics(label);
        int labelWidth = 0;
        for (const auto& row : rows)
            labelWidth = std::max(labelWidth, metrics.horizontalAdvance(row.first));
        labelWidth = std::min(labelWidth + 24, width_ / 2);
        for (const auto& row : rows) {
            const QFontMetrics valueMetrics(value);
            const QRect valueBox(labelWidth, 0, width_ - labelWidth, 100000);
            // Labels are short and stay on one line; a long value wraps between words,
            // and only a word longer than the line (a long path) is broken anywhere.
            int flags = Qt::TextWordWrap;
            for (const QString& word : row.second.split(QLatin1Char(' ')))
                if (valueMetrics.horizontalAdvance(word) > valueBox.width())
                    flags |= Qt::TextWrapAnywhere;
            const int height = std::max(
                metrics.height(), valueMetrics.boundingRect(valueBox, flags, row.second).height());
            ensure(height);
            painter_.setPen(Qt::black);
            painter_.setFont(label);
            painter_.drawText(QRect(0, y_, labelWidth, height), Qt::AlignLeft | Qt::AlignTop,
                              row.first);
            painter_.setFont(value);
            painter_.drawText(QRect(labelWidth, y_, width_ - labelWidth, height), flags,
                              row.second);
            y_ += height + 6;
        }
    }

private:
    int bottom() const { return height_ - footerHeight(); }
    int footerHeight() const { return QFontMetrics(ReportFont(kSmall)).height() * 2; }
    void startPage() { y_ = 0; }
    void footer() {
        const QFont font = ReportFont(kSmall);
        const int line = QFontMetrics(font).height();
        painter_.setFont(font);
        painter_.setPen(QPen(Qt::black, 1));
        painter_.drawLine(0, height_ - line - 8, width_, height_ - line - 8);
        painter_.drawText(QRect(0, height_ - line, width_, line), Qt::AlignLeft, footerTitle_);
        painter_.drawText(QRect(0, height_ - line, width_, line), Qt::AlignRight,
                          QStringLiteral("Страница %1").arg(page_));
    }

    QPdfWriter& writer_;
    QPainter& painter_;
    QString footerTitle_;
    int width_ = 0;
    int height_ = 0;
    int y_ = 0;
    int page_ = 1;
};

// A report on A4 pages: its title and date, what `body` puts on the pages, and last what
// was written ("Экспорт").
QByteArray ReportPdf(const QString& title, const QString& footerTitle, const QDateTime& date,
                     const QStringList& written, const std::function<void(Pages&)>& body);

} // namespace vrma
