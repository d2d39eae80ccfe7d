#pragma once
// The list box lines of a scale-ratio run.
#include "calib/ScaleRatio.h"

#include <QStringList>

namespace vrma {

// The list box lines: each ratio in the four-decimal format, then, once the statistics
// are known, "", "Среднее значение:", the mean, "", "СКО:", the standard deviation.
QStringList ScaleRatioListLines(const ScaleRatioRun& run);
// The lines after the ratios: the six lines above once the statistics are known, else none.
QStringList ScaleRatioSummaryLines(const ScaleRatioRun& run);

} // namespace vrma
