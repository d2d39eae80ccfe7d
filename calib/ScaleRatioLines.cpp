#include "calib/ScaleRatioLines.h"

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
    if (run.statisticsKnown()) {
        lines.append(QString());
        lines.append(QStringLiteral("Среднее значение:"));
        lines.append(FormatFixed4(run.coefficient));
        lines.append(QString());
        lines.append(QStringLiteral("СКО:"));
        lines.append(FormatFixed4(run.sd));
    }
    return lines;
}

} // namespace vrma
