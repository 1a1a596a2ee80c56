// Judging ffmpeg's multipass planning from the analysis log: the coarsest stream's rate by
// ffmpeg's bit model, and what the later passes may be asked for.
#include "rate_fit.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using testing_support::TempDir;
using testing_support::WriteFile;

TEST(RateFit, CoarsestRateFollowsFfmpegsBitModel) {
    TempDir dir;
    const std::string log = dir.File("pass-0.log");
    // At the coarsest quantiser 28 (lambda 3304): a P-picture logged at q 3304 keeps its
    // 999 + 1 texture bits; an I-picture may only go to 0.8 of it, a B-picture to 1.25.
    ASSERT_TRUE(WriteFile(log, "in:0 out:0 type:1 q:3304 itex:999 ptex:0 mv:0 misc:0 fcode:1;\n"
                               "in:3 out:1 type:2 q:3304 itex:0 ptex:999 mv:100 misc:50 fcode:1;\n"
                               "in:1 out:2 type:3 q:6608 itex:0 ptex:999 mv:0 misc:0 fcode:1;\n"
                               "in:2 out:3 type:2 q:1652 itex:99 ptex:900 mv:0 misc:0 fcode:1;\n"));
    int64_t frames = 0;
    const double kbps = enc::CoarsestMeanKbps(log, 28, 25, 1, frames);
    EXPECT_EQ(frames, 4);
    // 1250 + 1150 + 1600 + 500 bits over 4 frames at 25 fps.
    EXPECT_NEAR(kbps, 4500.0 / (4 / 25.0) / 1000, 1e-9);
    EXPECT_EQ(enc::CoarsestQuantiser(true), 28);
    EXPECT_EQ(enc::CoarsestQuantiser(false), 31);
    // No log, a broken line, no frame: unknown.
    EXPECT_LT(enc::CoarsestMeanKbps(dir.File("none.log"), 28, 25, 1, frames), 0);
    ASSERT_TRUE(WriteFile(dir.File("bad.log"), "in:0 out:0 type:1 itex:5;\n"));
    EXPECT_LT(enc::CoarsestMeanKbps(dir.File("bad.log"), 28, 25, 1, frames), 0);
    ASSERT_TRUE(WriteFile(dir.File("empty.log"), ""));
    EXPECT_LT(enc::CoarsestMeanKbps(dir.File("empty.log"), 28, 25, 1, frames), 0);
}

TEST(RateFit, LaterPassesKeepATenthOfTheMeanInReserve) {
    struct Row {
        double coarsest;
        int64_t avg;
        int64_t min;
        bool plan;
        bool floor;
    };
    const Row rows[] = {
        {900, 1000, 0, true, true},     // 900 <= 0.9 x 1000
        {901, 1000, 0, false, false},   // the planner would give up: one pass instead
        {500, 3000, 2200, true, true},  // 500 + 2200 <= 2700
        {500, 3000, 2201, true, false}, // the floor is dropped, the mean kept
        {-1, 3000, 2900, true, true},   // nothing known: as asked
    };
    for (const Row& r : rows) {
        const enc::MultipassFit fit = enc::FitMultipass(r.coarsest, r.avg, r.min);
        EXPECT_EQ(fit.planFits, r.plan) << r.coarsest << " " << r.avg << " " << r.min;
        EXPECT_EQ(fit.floorFits, r.floor) << r.coarsest << " " << r.avg << " " << r.min;
    }
}
