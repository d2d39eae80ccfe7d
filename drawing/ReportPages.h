#pragma once
// The page engine of the reports (the calibration's, drawing/ScaleRatioReport; the
// camera's, drawing/CameraReport): A4 pages of a PDF document, laid out in quarter points,
// with a heading, paragraphs, lines of label and value, a footer with the page's number,
// and the frame every report shares (its title and date first, what was written last).
#include <QByteArray>
#include <QDateTime>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <QStringList>
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
          QString footerTitle = QStringLiteral("VRMA — отчёт о калибровке соотношения масштабов"));

    int width() const { return width_; }
    int y() const { return y_; }
    void advance(int by) { y_ += by; }
    QPainter& painter() { return painter_; }

    // Room for the height below the cursor, on a new page if need be. True when a new
    // page was begun.
    bool ensure(int height);
    void newPage();
    void finish() { footer(); }

    // Text in a box of the page's width; returns the height taken.
    int paragraph(const QString& text, const QFont& font, int indent = 0);
    // A heading, kept on one page with the height that follows it (a few lines at least).
    void heading(const QString& text, int keep = 0);
    // Lines of label and value, the values lined up after the longest label.
    void fields(const std::vector<std::pair<QString, QString>>& rows);

private:
    int bottom() const { return height_ - footerHeight(); }
    int footerHeight() const;
    void startPage() { y_ = 0; }
    void footer();

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
