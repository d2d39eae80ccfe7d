#include "drawing/ScaleRatioLines.h"

#include "data/Procedures.h"
#include "data/VectorState.h"

namespace vrma {

QStringList ScaleRatioListLines(const ScaleRatioRun& run) {
    ClearUpperVectorState();
    QStringList lines;
    lines.reserve(qsizetype(run.ratios.size()) + 6);
    // Neighbouring ratios mostly share their four-decimal text: one string each.
    FixedFourTexts fixed4;
    for (double ratio : run.ratios)
        lines.append(fixed4(ratio));
    lines.append(ScaleRatioSummaryLines(run));
    return lines;
}

QStringList ScaleRatioSummaryLines(const ScaleRatioRun& run) {
    if (!run.statisticsKnown())
        return {};
    return {QString(),
            QStringLiteral("Среднее значение:"),
            FormatFixed4(run.coefficient),
            QString(),
            QStringLiteral("СКО:"),
            FormatFixed4(run.sd)};
}

} // namespace vrma
