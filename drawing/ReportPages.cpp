#include "drawing/ReportPages.h"

#include "data/Errors.h"
#include "data/Locale.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <algorithm>

namespace vrma {

QString WithError(double value, double error, int decimals) {
    return FormatFixed(value, decimals) + QStringLiteral(" ± ") + FormatFixed(error, decimals);
}

QFont ReportFont(int size, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(size);
    font.setBold(bold);
    // No ligatures: a file name copied or searched in the report must read as it is
    // spelled ("ff" stays two letters, not one glyph).
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

Pages::Pages(QPdfWriter& writer, QPainter& painter, QString footerTitle)
    : writer_(writer), painter_(painter), footerTitle_(std::move(footerTitle)) {
    const double scale = kResolution / (72.0 * kUnitsPerPoint);
    const QRect area = writer.pageLayout().paintRectPixels(kResolution);
    width_ = int(area.width() / scale);
    height_ = int(area.height() / scale);
    painter_.scale(scale, scale);
    startPage();
}

bool Pages::ensure(int height) {
    if (y_ + height <= bottom())
        return false;
    newPage();
    return true;
}

void Pages::newPage() {
    footer();
    writer_.newPage();
    ++page_;
    startPage();
}

int Pages::paragraph(const QString& text, const QFont& font, int indent) {
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

void Pages::heading(const QString& text, int keep) {
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

void Pages::fields(const std::vector<std::pair<QString, QString>>& rows) {
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
        painter_.drawText(QRect(labelWidth, y_, width_ - labelWidth, height), flags, row.second);
        y_ += height + 6;
    }
}

int Pages::footerHeight() const {
    return QFontMetrics(ReportFont(kSmall)).height() * 2;
}

void Pages::footer() {
    const QFont font = ReportFont(kSmall);
    const int line = QFontMetrics(font).height();
    painter_.setFont(font);
    painter_.setPen(QPen(Qt::black, 1));
    painter_.drawLine(0, height_ - line - 8, width_, height_ - line - 8);
    painter_.drawText(QRect(0, height_ - line, width_, line), Qt::AlignLeft, footerTitle_);
    painter_.drawText(QRect(0, height_ - line, width_, line), Qt::AlignRight,
                      QStringLiteral("Страница %1").arg(page_));
}

// A report on A4 pages: its title and date, what `body` puts on the pages, and last what
// was written ("Экспорт").
QByteArray ReportPdf(const QString& title, const QString& footerTitle, const QDateTime& date,
                     const QStringList& written, const std::function<void(Pages&)>& body) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kResolution);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(18, 15, 18, 15), QPageLayout::Millimeter));
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("VRMA"));
        QPainter painter;
        if (!painter.begin(&writer))
            throw Exception("the PDF document cannot be begun");
        painter.setRenderHint(QPainter::Antialiasing);
        Pages pages(writer, painter, footerTitle);
        pages.paragraph(title, ReportFont(kTitle, true));
        pages.paragraph(
            QStringLiteral("VRMA · %1").arg(date.toString(QStringLiteral("dd.MM.yyyy hh:mm"))),
            ReportFont(kBody));
        body(pages);
        pages.heading(QStringLiteral("Экспорт"));
        if (written.isEmpty()) {
            pages.paragraph(QStringLiteral("Таблица коррекции и файл камеры не записывались."),
                            ReportFont(kBody));
        } else {
            for (const QString& line : written)
                pages.paragraph(line, ReportFont(kBody));
        }
        pages.finish();
        if (!painter.end())
            throw Exception("the PDF document cannot be finished");
    }
    return bytes;
}

} // namespace vrma
