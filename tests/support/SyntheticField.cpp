#include "support/SyntheticField.h"

#include <cmath>

namespace vrma::test {

QStringList SyntheticField::Lines(const std::vector<PlanePoint>& points) {
    QStringList lines;
    lines.reserve(qsizetype(points.size()));
    for (const PlanePoint& p : points)
        lines << QString::number(p.x, 'g', 17) + QStringLiteral(" ; ") +
                     QString::number(p.y, 'g', 17);
    return lines;
}

SyntheticField FieldWithRatios(qint32 nc, qint32 nr, const RatioAt& ratio) {
    SyntheticField f{nc, nr, std::vector<PlanePoint>(size_t(nc) * size_t(nr)),
                     std::vector<PlanePoint>(size_t(nc) * size_t(nr))};
    for (int i = 0; i < nc; ++i) {
        for (int j = 0; j < nr; ++j) {
            f.Scene(i, j) = {10.0 * i, 10.0 * j};
            double y = 0.0;
            if (j == 1)
                y = 10.0;
            else if (j >= 2)
                y = f.Image(i, j - 2).y + 20.0 * ((i >= 1 && i <= nc - 2) ? ratio(i, j - 1) : 1.0);
            f.Image(i, j) = {10.0 * i, y};
        }
    }
    return f;
}

SyntheticField PinholeField(qint32 nc, qint32 nr, double fx, double fy) {
    const double z = 1500.0;
    SyntheticField f{nc, nr, std::vector<PlanePoint>(size_t(nc) * size_t(nr)),
                     std::vector<PlanePoint>(size_t(nc) * size_t(nr))};
    for (int i = 0; i < nc; ++i) {
        for (int j = 0; j < nr; ++j) {
            const double x = -60.0 + 25.0 * i + 0.7 * std::sin(7.0 * i + 3.0 * j);
            const double y = 40.0 + 25.0 * j + 0.5 * std::cos(5.0 * i - 2.0 * j);
            f.Scene(i, j) = {x, y};
            f.Image(i, j) = {360.0 + fx * x / z, 288.0 - fy * y / z};
        }
    }
    return f;
}

std::vector<double> RatiosRowByRow(qint32 nc, qint32 nr, const RatioAt& ratio) {
    std::vector<double> out;
    for (int j = 1; j <= nr - 2; ++j)
        for (int i = 1; i <= nc - 2; ++i)
            out.push_back(ratio(i, j));
    return out;
}

} // namespace vrma::test
