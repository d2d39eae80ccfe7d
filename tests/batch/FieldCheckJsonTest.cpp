// vrma-calib's JSON of the field check, made from the check of a synthetic tilted field
// (0.05 px of noise, a fixed seed): every figure, and null for what is not known.
#include "tools/FieldCheckJson.h"
#include "support/CheckedField.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace vrma {
namespace {

using test::Checked;
using test::CheckOne;
using test::PinholeCamera;

TEST(FieldCheckJson, CarriesEveryFigureAndNullForWhatIsNotKnown) {
    const PinholeCamera camera;
    const Checked c = CheckOne(camera, {8.0, 3.0}, camera.fx, 21);
    const QJsonObject o = QJsonDocument::fromJson(FieldCheckJson(c.check)).object();
    EXPECT_DOUBLE_EQ(o.value("coefficient").toDouble(), c.check.coefficient);
    EXPECT_DOUBLE_EQ(o.value("sd").toDouble(), c.check.sd);
    EXPECT_EQ(o.value("n").toInteger(), 63);
    EXPECT_DOUBLE_EQ(o.value("sem").toDouble(), c.check.sem);
    EXPECT_DOUBLE_EQ(o.value("homography_rms_px").toDouble(), c.check.homographyRmsPx);
    EXPECT_DOUBLE_EQ(o.value("tilt_vertical_deg").toDouble(), c.check.tiltVerticalDeg);
    EXPECT_DOUBLE_EQ(o.value("tilt_horizontal_deg").toDouble(), c.check.tiltHorizontalDeg);
    EXPECT_DOUBLE_EQ(o.value("corrected_coefficient").toDouble(), *c.check.correctedCoefficient);
    EXPECT_DOUBLE_EQ(o.value("bias").toDouble(), *c.check.bias);
    EXPECT_EQ(o.value("warning").toBool(), c.check.warning);
    EXPECT_TRUE(o.value("warning").isBool());
    EXPECT_TRUE(o.value("multiview_ratio").isNull());
    EXPECT_TRUE(o.value("multiview_ratio_se").isNull());

    const Checked bare = CheckOne(camera, {8.0, 3.0}, std::nullopt, 21);
    const QJsonObject b = QJsonDocument::fromJson(FieldCheckJson(bare.check)).object();
    for (const char* key : {"tilt_vertical_deg", "tilt_horizontal_deg", "corrected_coefficient",
                            "bias", "multiview_ratio"})
        EXPECT_TRUE(b.value(QLatin1String(key)).isNull()) << key;
    EXPECT_FALSE(b.value("warning").toBool());
}

} // namespace
} // namespace vrma
