#pragma once
// A synthetic tilted field calibrated and checked in one step: the known answer and what
// the field check made of it, for the tests of the check and of what shows it.
#include "support/TiltedField.h"

#include <gtest/gtest.h>
#include <optional>

namespace vrma::test {

// The noise of the field check's photographs, pixels.
constexpr double kCheckNoise = 0.05;

struct Checked {
    TiltedField field;
    ScaleRatioRun run;
    FieldCheck check;
};

// A photograph of the field in the pose, calibrated and checked with the focal length.
inline Checked CheckOne(const PinholeCamera& camera, const FieldPose& pose,
                        std::optional<double> focal, unsigned seed, int nc = 11, int nr = 9) {
    Checked c;
    c.field = MakeField(camera, pose, nc, nr, kCheckNoise, seed);
    c.run = c.field.run();
    EXPECT_TRUE(c.run.complete());
    FieldCheckInput input = CheckInput(c.field, camera, c.run);
    input.focal = focal;
    c.check = CheckField(input);
    return c;
}

} // namespace vrma::test
