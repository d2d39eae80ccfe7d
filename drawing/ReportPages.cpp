#include "drawing/ReportPages.h"

#include "data/Errors.h"
#include "data/Locale.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>

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
