#pragma once
// What poppler's tools read from a PDF file: its page count and page size (pdfinfo), its
// text (pdftotext) and its fonts (pdffonts).
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace vrma::test {

inline QString RunTool(const QString& tool, const QStringList& arguments) {
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The number of pages, or -1 when the file is no PDF.
inline int PdfPages(const QString& file) {
    const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)$"),
                                   QRegularExpression::MultilineOption);
    const auto match = pages.match(RunTool(QStringLiteral("pdfinfo"), {file}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

inline QString PdfInfo(const QString& file) {
    return RunTool(QStringLiteral("pdfinfo"), {file});
}

// The text of all pages in their layout (a row of a table on one line), every run of
// white space made one blank, so that a phrase is found wherever a line broke it.
inline QString PdfText(const QString& file) {
    QString text =
        RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"),
                                              QStringLiteral("UTF-8"), file, QStringLiteral("-")});
    return text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
}

// The font lines of pdffonts (after its two header lines).
inline QStringList PdfFonts(const QString& file) {
    QStringList lines =
        RunTool(QStringLiteral("pdffonts"), {file}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.mid(2);
}

} // namespace vrma::test
