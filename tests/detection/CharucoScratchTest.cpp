#include "calib/TargetDetection.h"
#include "support/PhotoRenderer.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <cstdio>

namespace vrma {
namespace {

TEST(CharucoScratch, Run) {
    struct Case { double shiftX, shiftY, fill, tiltX, tiltY, roll, blur, noise; };
    const Case cases[] = {
        {0, 0, 0.7, 0, 0, 0, 0, 0},
        {0, 0, 0.7, 20, -25, 10, 0.8, 2},
        {-0.35, -0.3, 1.1, 15, 20, 30, 0.8, 2},
        {0.4, 0.35, 1.2, -25, 10, 95, 1.0, 3},
        {0.45, -0.4, 1.3, 30, 30, 200, 1.5, 3},
        {0, 0, 0.35, 40, 0, 0, 0.7, 2},
    };
    int n = 0;
    for (const Case& c : cases) {
        test::PhotoScene scene;
        scene.kind = TargetKind::Charuco;
        scene.columns = 11;
        scene.rows = 8;
        scene.width = 1600;
        scene.height = 1200;
        scene.fx = 1300;
        scene.fy = 1300 * 1.003;
        scene.k1 = -0.3;
        scene.k2 = 0.1;
        scene.margin = 0.5;
        scene.shiftX = c.shiftX; scene.shiftY = c.shiftY; scene.fill = c.fill;
        scene.tiltX = c.tiltX; scene.tiltY = c.tiltY; scene.roll = c.roll;
        scene.blur = c.blur; scene.noise = c.noise;
        const test::RenderedPhoto photo = test::RenderPhoto(scene);
        cv::imwrite("/tmp/cx/r" + std::to_string(n) + ".png", photo.image);
        try {
            const BoardTargets t = FindBoardTargets(photo.image, TargetKind::Charuco, 11, 8, DetectionTuning{});
            double sum = 0, worst = 0;
            for (size_t k = 0; k < t.points.size(); ++k) {
                const PlanePoint& truth = photo.boardTruth[size_t(t.IndexOf(k))];
                const double d = std::hypot(t.points[k].x - truth.x, t.points[k].y - truth.y);
                if (d > 0.2) std::fprintf(stderr, "  k %d found %.2f %.2f truth %.2f %.2f\n", t.IndexOf(k), t.points[k].x, t.points[k].y, truth.x, truth.y);
                sum += d * d; worst = std::max(worst, d);
            }
            // how many truth corners inside the frame by 10 px
            int inside = 0;
            for (const PlanePoint& p : photo.boardTruth)
                if (p.x > 10 && p.y > 10 && p.x < scene.width - 11 && p.y < scene.height - 11) ++inside;
            std::fprintf(stderr, "case %d: %zu corners (of %d inside), rms %.4f worst %.4f turn %d\n", n, t.points.size(), inside,
                        std::sqrt(sum / t.points.size()), worst, t.turn.degrees);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "case %d: %s\n", n, e.what());
        }
        {
            test::PhotoScene chess = scene;
            chess.kind = TargetKind::Chessboard;
            const test::RenderedPhoto cp = test::RenderPhoto(chess);
            try {
                const BoardTargets t = FindBoardTargets(cp.image, TargetKind::Chessboard, 11, 8, DetectionTuning{});
                double sum = 0;
                for (size_t k = 0; k < t.points.size(); ++k) {
                    const PlanePoint& truth = cp.boardTruth[k];
                    sum += std::pow(t.points[k].x - truth.x, 2) + std::pow(t.points[k].y - truth.y, 2);
                }
                std::fprintf(stderr, "   chessboard: rms %.4f\n", std::sqrt(sum / t.points.size()));
            } catch (const std::exception& e) { std::fprintf(stderr, "   chessboard: %s\n", e.what()); }
        }
        ++n;
    }
}

} // namespace
} // namespace vrma
