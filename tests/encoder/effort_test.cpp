// Quality and Bias: how the list's values become ffmpeg options, and what they do to real
// streams (a higher Quality is not worse by SSIM; a higher Bias lets the rate vary more).
#include "effort.h"
#include "encode_plan.h"
#include "encoder_fixture.h"
#include "rate_refit.h"
#include "support/media.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

using encoder_test::kCce;
using encoder_test::MakeEcl;
using encoder_test::RunProgram;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::map<std::string, std::string> Options(const std::vector<std::string>& args) {
    std::map<std::string, std::string> m;
    for (size_t i = 0; i + 1 < args.size(); i += 2) {
        m[args[i]] = args[i + 1];
    }
    return m;
}

bool PlanOf(const std::map<std::string, std::string>& changes, enc::EncodePlan& plan) {
    enc::EclList list;
    std::string error;
    std::map<std::string, std::string> all = changes;
    all.insert({{"frame_last", "100"}, {"encode_last", "100"}});
    const std::string text = MakeEcl(false, "/in/x.avi", "/out/x", all);
    return enc::ParseEcl(text, list, error) && enc::BuildPlan(list, plan, error);
}

TEST(Effort, ListValuesReachThePlanAndEndsAreKept) {
    struct Case {
        const char* quality;
        const char* bias;
        int wantQuality;
        int wantBias;
        size_t notes;
    };
    const Case cases[] = {
        {"16", "30", 16, 30, 0}, {"1", "0", 1, 0, 0},         {"100", "100", 100, 100, 0},
        {"0", "-5", 1, 0, 2},    {"250", "101", 100, 100, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.quality) + "/" + c.bias);
        enc::EncodePlan plan;
        ASSERT_TRUE(PlanOf({{"quality_prec", c.quality}, {"vbr_bias", c.bias}}, plan));
        EXPECT_EQ(plan.quality, c.wantQuality);
        EXPECT_EQ(plan.bias, c.wantBias);
        EXPECT_EQ(plan.notes.size(), c.notes);
    }
}

TEST(Effort, EveryQualityGivesTheFullSetAndEffortNeverDrops) {
    const std::map<std::string, int> mbdRank = {{"simple", 0}, {"bits", 1}, {"rd", 2}};
    const auto first = Options(enc::EffortArguments(1, false));
    int lastMbd = 0;
    int lastTrellis = 0;
    for (int q = 1; q <= 100; ++q) {
        SCOPED_TRACE(q);
        const auto o = Options(enc::EffortArguments(q, false));
        ASSERT_EQ(o.size(), first.size()); // no ffmpeg default shows through at any value
        ASSERT_TRUE(mbdRank.count(o.at("-mbd")));
        EXPECT_GE(mbdRank.at(o.at("-mbd")), lastMbd);
        EXPECT_GE(std::atoi(o.at("-trellis").c_str()), lastTrellis);
        lastMbd = mbdRank.at(o.at("-mbd"));
        lastTrellis = std::atoi(o.at("-trellis").c_str());
    }
    EXPECT_EQ(Options(enc::EffortArguments(1, false)).at("-mbd"), "simple");
    EXPECT_EQ(Options(enc::EffortArguments(100, false)).at("-mbd"), "rd");
    // Out-of-range values are the nearest end; MPEG-1 has no second intra VLC table.
    EXPECT_EQ(enc::EffortArguments(-3, false), enc::EffortArguments(1, false));
    EXPECT_EQ(enc::EffortArguments(1000, false), enc::EffortArguments(100, false));
    EXPECT_EQ(Options(enc::EffortArguments(100, true)).count("-intra_vlc"), 0u);
}

TEST(Effort, BiasIsQcompInVbrAndNothingInCbr) {
    EXPECT_TRUE(enc::BiasArguments(100, enc::RateMode::Cbr).empty());
    EXPECT_EQ(enc::BiasArguments(0, enc::RateMode::MultipassVbr),
              (std::vector<std::string>{"-qcomp", "0.100"}));
    EXPECT_EQ(enc::BiasArguments(100, enc::RateMode::OnePassVbr),
              (std::vector<std::string>{"-qcomp", "0.900"}));
    EXPECT_EQ(enc::BiasArguments(50, enc::RateMode::OnePassVbr),
              (std::vector<std::string>{"-qcomp", "0.500"})); // ffmpeg's own default
}

TEST(RateFit, OnlyAMultipassMissBeyondTheToleranceGetsAnotherAim) {
    enc::EncodePlan plan;
    plan.mode = enc::RateMode::MultipassVbr;
    plan.avgKbps = 3000;
    plan.minKbps = 1000;
    plan.maxKbps = 3090;
    plan.encodeEnd = 250; // 10 s at 25 fps
    plan.rateNum = 25;
    EXPECT_DOUBLE_EQ(enc::MeanKbps(plan, 3750000), 3000.0);
    struct Case {
        double kbps;
        bool refit;
        int64_t aim;
    };
    const Case cases[] = {
        {3000, false, 0},   {3029, false, 0},   {2971, false, 0}, // within 1 %
        {3100, true, 2903}, {2500, true, 3090},                   // down; up, held at the peak
        {9000, true, 1000},                                       // held at the floor
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kbps);
        int64_t aim = 0;
        EXPECT_EQ(enc::RefitAim(plan, c.kbps, aim), c.refit);
        if (c.refit) {
            EXPECT_EQ(aim, c.aim);
        }
    }
    int64_t aim = 0;
    plan.mode = enc::RateMode::OnePassVbr;
    EXPECT_FALSE(enc::RefitAim(plan, 3500, aim));
    plan.mode = enc::RateMode::Cbr;
    EXPECT_FALSE(enc::RefitAim(plan, 3500, aim));
}

// Real encodes of small sources with the built cce.
class EffortEncode : public testing::Test {
protected:
    // Encodes `source` (`frames` at 25 fps, 352x240) with the list changes; returns the stream.
    std::string Encode(const std::string& source, int frames, const std::string& name,
                       std::map<std::string, std::string> changes) {
        const std::string n = std::to_string(frames);
        changes.insert({{"frame_first", n},
                        {"frame_last", n},
                        {"encode_last", n},
                        {"frame_rate_idx", "3"},
                        {"width", "352"},
                        {"height", "240"},
                        {"vaf_out", "0"},
                        {"non_linear", "0"}});
        const std::string ecl = m_Dir.File(name + ".ecl");
        EXPECT_TRUE(WriteFile(ecl, MakeEcl(false, source, m_Dir.File(name), changes)));
        const auto r = RunProgram({kCce, ecl});
        EXPECT_EQ(r.status, 0) << r.output;
        return m_Dir.File(name + ".mpv");
    }
    static std::map<std::string, std::string> TwoPass(int kbps) {
        return {{"video_type", "4"},
                {"vbr_pass", "2"},
                {"vbr_brate_avg", std::to_string(kbps)},
                {"vbr_brate_min", "0"},
                {"vbr_brate_max", "9000"}};
    }
    std::string MakeSource(const std::string& name, const std::string& graph, int frames) {
        const std::string path = m_Dir.File(name);
        EXPECT_TRUE(media::Run("ffmpeg -nostdin -v error -f lavfi -i '" + graph + "' -frames:v " +
                               std::to_string(frames) + " -pix_fmt yuv420p -c:v rawvideo -y '" +
                               path + "'"));
        return path;
    }

    TempDir m_Dir;
};

// SSIM of a stream against its source, frames paired by number.
double Ssim(const std::string& stream, const std::string& source) {
    const std::string out = media::Output(
        "ffmpeg -nostdin -hide_banner -i '" + stream + "' -i '" + source +
        "' -lavfi '[0:v]settb=1/25,setpts=N[a];[1:v]settb=1/25,setpts=N[b];[a][b]ssim' "
        "-f null - 2>&1");
    const size_t at = out.rfind("All:");
    return at == std::string::npos ? -1 : std::atof(out.c_str() + at + 4);
}

// The bytes of each second (25 pictures, in coding order) of a stream.
std::vector<double> BytesPerSecond(const std::string& stream) {
    std::istringstream in(media::Output("ffprobe -v error -show_entries packet=size -of "
                                        "csv=p=0 '" +
                                        stream + "'"));
    std::vector<double> seconds;
    std::string line;
    for (int n = 0; std::getline(in, line); ++n) {
        if (n % 25 == 0) {
            seconds.push_back(0);
        }
        seconds.back() += std::atof(line.c_str());
    }
    return seconds;
}

// The spread of the per-second rate: standard deviation over mean.
double Spread(const std::vector<double>& v) {
    double mean = 0;
    for (double x : v) {
        mean += x / static_cast<double>(v.size());
    }
    double var = 0;
    for (double x : v) {
        var += (x - mean) * (x - mean) / static_cast<double>(v.size());
    }
    return std::sqrt(var) / mean;
}

TEST_F(EffortEncode, HigherQualityGivesAnotherStreamNotWorseBySsim) {
    const std::string src =
        MakeSource("detail.avi", "testsrc2=s=352x240:r=25,noise=alls=8:allf=t+u", 50);
    auto low = TwoPass(700);
    low["quality_prec"] = "1";
    auto high = TwoPass(700);
    high["quality_prec"] = "100";
    const std::string a = Encode(src, 50, "low", low);
    const std::string b = Encode(src, 50, "high", high);
    ASSERT_FALSE(ReadFile(a).empty());
    EXPECT_NE(ReadFile(a), ReadFile(b));
    // Two passes (and a refit when the second misses) land within 2 % of the average.
    for (const std::string& stream : {a, b}) {
        const double kbps = static_cast<double>(ReadFile(stream).size()) * 8 / 2 / 1000;
        EXPECT_NEAR(kbps, 700, 14) << stream;
    }
    const double ssimLow = Ssim(a, src);
    const double ssimHigh = Ssim(b, src);
    ASSERT_GT(ssimLow, 0);
    EXPECT_GE(ssimHigh, ssimLow);
}

TEST_F(EffortEncode, HigherBiasSpreadsTheRateMoreAndCbrIgnoresIt) {
    // Two calm seconds, then two seconds of heavy noise.
    const std::string src = MakeSource(
        "mixed.avi", "testsrc2=s=352x240:r=25,noise=alls=40:allf=t+u:enable=gte(t\\,2)", 100);
    auto calm = TwoPass(1500);
    calm["vbr_bias"] = "0";
    auto lively = TwoPass(1500);
    lively["vbr_bias"] = "100";
    const auto low = BytesPerSecond(Encode(src, 100, "bias0", calm));
    const auto high = BytesPerSecond(Encode(src, 100, "bias100", lively));
    ASSERT_EQ(low.size(), 4u);
    ASSERT_EQ(high.size(), 4u);
    EXPECT_GT(Spread(high), Spread(low) * 1.2)
        << "bias 0: " << Spread(low) << ", bias 100: " << Spread(high);

    // CBR: the rate is fixed, so the Bias changes no byte.
    const std::map<std::string, std::string> cbr = {{"video_type", "1"}, {"cbr_brate", "1500"}};
    auto cbrLow = cbr;
    cbrLow["vbr_bias"] = "0";
    auto cbrHigh = cbr;
    cbrHigh["vbr_bias"] = "100";
    const std::string c0 = ReadFile(Encode(src, 100, "cbr0", cbrLow));
    EXPECT_FALSE(c0.empty());
    EXPECT_EQ(c0, ReadFile(Encode(src, 100, "cbr100", cbrHigh)));
}

} // namespace
