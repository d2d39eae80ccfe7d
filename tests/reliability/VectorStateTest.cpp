// The heavy loops run on clean vector registers: library code that returns with the upper
// halves of the AVX registers in use (Qt's string hashing does) would otherwise make every
// SSE and double operation of the loops wait on them, at about half speed. Each test puts
// the registers in that state itself, then checks that the operation cleared them.
// Skipped where the processor cannot tell (no AVX, or no XGETBV with ECX = 1).
#include "data/VectorState.h"
#include "app/CalibrationGeometry.h"
#include "calib/FieldCheck.h"
#include "calib/NodeAnalysis.h"
#include "data/Procedures.h"
#include "data/TextFile.h"
#include "drawing/ScaleRatioCommand.h"
#include "drawing/ScaleRatioLines.h"
#include "support/SyntheticField.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

#if defined(__x86_64__)
// Sets every bit of YMM1, upper half included, and returns without clearing it, as some
// library code does. Written in assembly: a compiled function would end in a VZEROUPPER.
// Only called where the processor has AVX (Dirty() checks first).
__asm__(".text\n"
        ".p2align 4\n"
        "vrma_test_dirty_upper_halves:\n"
        "    vpcmpeqd %ymm1, %ymm1, %ymm1\n"
        "    ret\n");
extern "C" void vrma_test_dirty_upper_halves();
void DirtyUpperHalves() {
    vrma_test_dirty_upper_halves();
}
#else
void DirtyUpperHalves() {}
#endif

// Dirties the registers and checks that the processor reports it; false (the test
// skipped) where it cannot.
bool Dirty() {
    if (!vrma::VectorStateVisible())
        return false;
    DirtyUpperHalves();
    return vrma::UpperVectorStateInUse();
}

#define DIRTY_OR_SKIP()                                                                            \
    if (!Dirty())                                                                                  \
    GTEST_SKIP() << "this processor does not report the state of its vector registers"

TEST(VectorState, ClearedByTheHelperAndNotByOrdinaryCode) {
    DIRTY_OR_SKIP();
    // Ordinary scalar work leaves the halves in use: the state does not clear by itself.
    volatile double sum = 0;
    for (int k = 0; k < 1000; ++k)
        sum = sum + k * 0.5;
    EXPECT_TRUE(vrma::UpperVectorStateInUse());
    vrma::ClearUpperVectorState();
    EXPECT_FALSE(vrma::UpperVectorStateInUse());
}

// A command reaches its handler through the application object, which clears the state.
class StateAtEvent : public QObject {
public:
    bool seen = false;
    bool inUse = true;

protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        seen = true;
        inUse = vrma::UpperVectorStateInUse();
        return true;
    }
};

TEST(VectorState, EveryEventHandlerStartsClean) {
    DIRTY_OR_SKIP();
    StateAtEvent receiver;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&receiver, &event);
    ASSERT_TRUE(receiver.seen);
    EXPECT_FALSE(receiver.inUse);
}

TEST(VectorState, TheCalibrationsLoopsClearIt) {
    const vrma::test::SyntheticField field = vrma::test::PinholeField(12, 9, 1500.0, 1505.0);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString scene = dir.filePath(QStringLiteral("scene.crd"));
    const QString image = dir.filePath(QStringLiteral("image.crd"));
    vrma::WriteTextLines(scene, field.SceneLines());
    vrma::WriteTextLines(image, field.ImageLines());
    vrma::VT_Points scenePoints(1);
    vrma::VT_Points imagePoints(1);

    DIRTY_OR_SKIP();
    ASSERT_TRUE(vrma::ReadPointFile(scene, &scenePoints));
    EXPECT_FALSE(vrma::UpperVectorStateInUse()) << "reading a coordinate file";
    ASSERT_TRUE(vrma::ReadPointFile(image, &imagePoints));

    Dirty();
    const vrma::ScaleRatioRun run = vrma::RunScaleRatio(12, 9, scenePoints, imagePoints);
    EXPECT_FALSE(vrma::UpperVectorStateInUse()) << "the ratios from the lists";
    ASSERT_TRUE(run.complete());

    Dirty();
    const vrma::ScaleRatioRun fromTables = field.Run();
    EXPECT_FALSE(vrma::UpperVectorStateInUse()) << "the ratios from point tables";
    EXPECT_EQ(fromTables.ratios, run.ratios);

    Dirty();
    const QStringList lines = vrma::ScaleRatioListLines(run);
    EXPECT_FALSE(vrma::UpperVectorStateInUse()) << "the list box lines";
    EXPECT_EQ(lines.size(), qsizetype(run.ratios.size()) + 6);

    Dirty();
    const vrma::NodeAnalysis analysis = vrma::AnalyseNodes(12, 9, run.ratios);
    EXPECT_FALSE(vrma::UpperVectorStateInUse()) << "the node analysis";
    EXPECT_EQ(analysis.n, 70);

    Dirty();
    const auto geometry = vrma::CalibrationGeometry(scenePoints, imagePoints, QStringLiteral("720"),
                                                    QStringLiteral("576"));
    EXPECT_FALSE(vrma::UpperVectorStateInUse()) << "the geometry kept for the field check";
    ASSERT_TRUE(geometry.has_value());
    EXPECT_EQ(geometry->scene.size(), 108u);
}

} // namespace
