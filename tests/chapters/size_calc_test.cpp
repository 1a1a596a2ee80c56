// The Calc button: the estimate, its unit steps, and its log lines.
#include "chapters/size_calc.h"
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace chapters;
using namespace platform::main_window;
using testing_support::LogLines;

namespace {

struct SizeFixture : ::testing::Test {
    LogLines lines;
    logging::Log log{lines, ""};
    platform::MemoryDialog dialog{platform::MainWindowControls()};

    SizeFixture() {
        log.SetDebugInfo(true);
        dialog.SetSpinRange(kBitrateAvgSpin, 500, 9800);
    }
};

TEST_F(SizeFixture, NinetyMinutesAt4500) {
    dialog.SetText(kInfoFrames, "161838");
    dialog.SetText(kInfoFrameRate, "29.970");
    dialog.SetSpinPos(kBitrateAvgSpin, 4500);
    OnCalcSize(dialog, 161838.0 / 30, log);
    EXPECT_EQ(dialog.GetText(kOutputSize), " 2.83 GB");
    const std::string rule = "3 " + std::string(48, '~');
    EXPECT_EQ(lines.rows, (std::vector<std::string>{
                              rule,
                              "3 Filesize Calc Info:",
                              "3  Total Seconds: 5400.00",
                              "3  KBits/Second: 4405.19 (Includes CCE Bitrate Factor)",
                              "3  File KBytes: 2970531.65",
                              rule,
                          }));
}

TEST(SizeFormat, UnitStepsOnlyAbove1024) {
    EXPECT_EQ(FormatSize(1024.0), "1024.00 KB");
    EXPECT_EQ(FormatSize(1024.5), " 1.00 MB");
    EXPECT_EQ(FormatSize(1024.0 * 1024), "1024.00 MB");
    EXPECT_EQ(FormatSize(1024.0 * 1024 + 1024), " 1.00 GB");
    EXPECT_EQ(FormatSize(5.0 * 1024 * 1024 * 1024), "5120.00 GB");
    EXPECT_EQ(FormatSize(0), " 0.00 KB");
}

TEST_F(SizeFixture, NoSourceOnlyLogsTheError) {
    dialog.SetText(kOutputSize, "before");
    dialog.SetSpinPos(kBitrateAvgSpin, 4500);
    OnCalcSize(dialog, 100, log);
    EXPECT_EQ(dialog.GetText(kOutputSize), "before");
    EXPECT_EQ(lines.rows, std::vector<std::string>{
                              "2 You must have a job selected into the Job Info section."});
}

TEST_F(SizeFixture, ZeroFrameRateOnlyAffectsTheSecondsLine) {
    dialog.SetText(kInfoFrames, "1000");
    dialog.SetText(kInfoFrameRate, "0");
    dialog.SetSpinPos(kBitrateAvgSpin, 8000);
    // 1024 KB exactly: 8 * 1024 / (rate * 0.125) seconds.
    OnCalcSize(dialog, 1024.0 / (8000 * kCceBitrateFactor * 0.125), log);
    EXPECT_EQ(dialog.GetText(kOutputSize), "1024.00 KB");
    EXPECT_EQ(lines.rows[2], "3  Total Seconds:   inf");
}

} // namespace
