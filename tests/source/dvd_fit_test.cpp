// Which sources a new job fits to a DVD frame, and the frame it gets.
#include "source/dvd_fit.h"

#include <gtest/gtest.h>

namespace {

TEST(DvdFit, NewJobsFitWhatNoDvdCarriesToTheStandardOfTheirRate) {
    struct Case {
        int width, height, rate;
        source::PictureFit fit;
    };
    const Case kCases[] = {
        {720, 480, 29970, source::kFitKeep},  {352, 240, 23976, source::kFitKeep},
        {704, 576, 25000, source::kFitKeep},  {720, 576, 29970, source::kFitNtsc},
        {720, 480, 25000, source::kFitPal},   {640, 480, 29970, source::kFitNtsc},
        {720, 528, 23976, source::kFitNtsc},  {1280, 720, 50000, source::kFitPal},
        {1280, 720, 59940, source::kFitNtsc}, {720, 480, 24000, source::kFitNtsc},
        {720, 576, 26777, source::kFitPal},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(source::DefaultPictureFit(c.width, c.height, c.rate), c.fit)
            << c.width << "x" << c.height << " at " << c.rate;
    }
}

TEST(DvdFit, TheFrameKeepsTheDisplayAspectByBorders) {
    struct Case {
        source::PictureFit fit;
        int width, height, darNum, darDen, rate;
        const char* text;
        int activeWidth, activeHeight;
    };
    const Case kCases[] = {
        {source::kFitNtsc, 640, 480, 0, 0, 29970, "720x480 29.97 4:3", 720, 480},
        {source::kFitNtsc, 720, 528, 0, 0, 23976, "720x480 23.976 4:3, padded", 720, 468},
        {source::kFitPal, 1280, 720, 64, 27, 25000, "720x576 25 16:9, padded", 720, 432},
        {source::kFitPal, 1440, 1080, 16, 9, 50000, "720x576 25 16:9", 720, 576},
        {source::kFitNtsc, 480, 640, 0, 0, 29970, "720x480 29.97 4:3, padded", 404, 480},
        // Shapes no camera makes still give a picture the scaler can make.
        {source::kFitNtsc, 2, 4096, 0, 0, 29970, "720x480 29.97 4:3, padded", 2, 480},
        {source::kFitPal, 4096, 2, 0, 0, 25000, "720x576 25 16:9, padded", 720, 2},
    };
    for (const Case& c : kCases) {
        const source::DvdFit fit =
            source::FitToDvd(c.fit, c.width, c.height, c.darNum, c.darDen, c.rate);
        EXPECT_EQ(source::DvdFitText(fit), c.text);
        EXPECT_EQ(fit.activeWidth, c.activeWidth) << c.text;
        EXPECT_EQ(fit.activeHeight, c.activeHeight) << c.text;
    }
}

} // namespace
