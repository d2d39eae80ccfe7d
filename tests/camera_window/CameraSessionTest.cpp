// The work of the window "Калибровка камеры по снимкам" without it (calib/CameraSession), on
// renders of a board through a known lens: the camera of the set is the one calibrated
// from the same photographs searched one after the other; only the newest of several fits
// asked for is kept; stopping leaves out the photographs not searched.
#include "calib/CameraSession.h"
#include "support/BoardViews.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace vrma {
namespace {

Board NineBySix() {
    return Board{TargetKind::Chessboard, 9, 6, 20.0, 20.0};
}

bool Idle(const CameraSession& session) {
    return QTest::qWaitFor([&] { return !session.searching() && !session.fitting(); }, 120000);
}

class CameraSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        photos = new QStringList(test::WriteLensSet(folder->path()));
    }
    static void TearDownTestSuite() {
        delete folder;
        delete photos;
    }
    static inline QTemporaryDir* folder = nullptr;
    static inline QStringList* photos = nullptr;
};

TEST_F(CameraSessionTest, TheSetsCameraIsTheOneOfItsPhotographsAndTheNewestFitIsKept) {
    std::vector<PhotoDetection> searched;
    for (const QString& file : *photos)
        searched.push_back(DetectBoardInPhoto(file, NineBySix()));

    CameraSession session;
    session.SetModel(CameraSelection::OpenCvDefault());
    QSignalSpy kept(&session, &CameraSession::fitFinished);
    session.AddPhotos(*photos, NineBySix());
    ASSERT_TRUE(Idle(session));
    ASSERT_TRUE(session.calibration().has_value()) << session.fitFailure().toStdString();
    EXPECT_EQ(session.calibration()->camera.values, CalibrateFromPhotos(searched).camera.values);
    EXPECT_EQ(kept.count(), 1);

    // Three fits asked for at once: the last one's outcome alone is kept.
    kept.clear();
    session.SetLeftOut(0, true);
    session.SetLeftOut(0, false);
    session.SetLeftOut(1, true);
    ASSERT_TRUE(Idle(session));
    EXPECT_EQ(kept.count(), 1);
    std::vector<bool> leftOut(searched.size(), false);
    leftOut[1] = true;
    EXPECT_EQ(session.calibration()->camera.values,
              CalibrateFromPhotos(searched, leftOut).camera.values);
}

TEST_F(CameraSessionTest, StoppingLeavesOutThePhotographsNotSearched) {
    CameraSession session;
    QStringList many;
    for (int k = 0; k < 3; ++k)
        many << *photos;
    // The same files three times are one set: taken once.
    session.AddPhotos(many, NineBySix());
    EXPECT_EQ(session.photos().size(), size_t(photos->size()));
    QSignalSpy finished(&session, &CameraSession::searchFinished);
    session.StopSearches();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(session.searching());
    EXPECT_EQ(session.photos().size() + size_t(session.dropped()), size_t(photos->size()));
    for (const CameraSession::Photo& photo : session.photos())
        EXPECT_EQ(photo.state, CameraSession::Photo::State::Done);
    ASSERT_TRUE(Idle(session));
}

} // namespace
} // namespace vrma
