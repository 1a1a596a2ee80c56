// Control list parsing, the plan built from it, the ffmpeg arguments, and the profile file.
#include "ecl_list.h"
#include "encode_plan.h"
#include "encoder_fixture.h"
#include "env/profile_file.h"
#include "ffmpeg_args.h"
#include "platform/program_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

using encoder_test::MakeEcl;

namespace {

std::string Ecl(bool classic, const std::map<std::string, std::string>& changes,
                const std::vector<int>& chapters = {}) {
    std::map<std::string, std::string> c = {
        {"frame_first", "100"}, {"frame_last", "100"}, {"encode_last", "100"}};
    for (const auto& [k, v] : changes) {
        c[k] = v;
    }
    return MakeEcl(classic, "/src/clip.avi", "/out/clip", c, chapters);
}

bool Plan(const std::string& text, enc::EncodePlan& plan, std::string& error) {
    enc::EclList list;
    return enc::ParseEcl(text, list, error) && enc::BuildPlan(list, plan, error);
}

bool HasArg(const std::vector<std::string>& args, const std::string& name,
            const std::string& value) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name && args[i + 1] == value) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(EclList, BothHeaderVariantsParseWithTheirOwnKeys) {
    for (bool classic : {true, false}) {
        enc::EclList list;
        std::string error;
        ASSERT_TRUE(enc::ParseEcl(Ecl(classic, {}, {0, 40, 80}), list, error)) << error;
        EXPECT_EQ(list.variant, classic ? enc::EclVariant::Classic : enc::EclVariant::Trial);
        EXPECT_EQ(list.Text("vid_file0"), "/out/clip.mpv");
        EXPECT_EQ(list.chapters, (std::vector<std::string>{"0:", "40:", "80:"}));
        EXPECT_EQ(list.Has("vmode"), classic);
        EXPECT_EQ(list.Has("video_type"), !classic);
    }
}

TEST(EclList, RefusesMalformedLists) {
    struct Case {
        bool classic;
        std::map<std::string, std::string> changes;
        const char* expect;
    };
    const Case cases[] = {
        {false, {{"bitrate", "5"}}, "unknown key bitrate"},
        {false, {{"gop_m", "<drop>"}}, "lacks the key(s) gop_m"},
        {true, {{"video_type", "2"}}, "does not belong"}, // trial key in a classic list
        {false, {{"vmode", "0"}}, "does not belong"},     // classic key in a trial list
        {false, {{"gop_m", "three"}}, "needs a number"},
        {true, {{"vbr_q_factor", "<drop>"}}, "opv_q_factor"},
    };
    for (const Case& c : cases) {
        enc::EclList list;
        std::string error;
        EXPECT_FALSE(enc::ParseEcl(Ecl(c.classic, c.changes), list, error)) << c.expect;
        EXPECT_NE(error.find(c.expect), std::string::npos) << error;
    }
    enc::EclList list;
    std::string error;
    EXPECT_FALSE(enc::ParseEcl("; some other file\r\n[item]\r\n", list, error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    std::string twice = Ecl(false, {});
    twice += "encode_first=0\r\n";
    EXPECT_FALSE(enc::ParseEcl(twice, list, error));
    EXPECT_NE(error.find("appears twice"), std::string::npos) << error;
    EXPECT_FALSE(enc::LoadEcl("/nonexistent/list.ecl", list, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}

TEST(EncodePlan, RateModesTakeTheBitratesOfTheirMode) {
    enc::EncodePlan p;
    std::string error;
    ASSERT_TRUE(Plan(Ecl(false, {{"video_type", "1"}, {"cbr_brate", "4000"}}), p, error));
    EXPECT_EQ(p.mode, enc::RateMode::Cbr);
    EXPECT_EQ(p.avgKbps, 4000);
    EXPECT_EQ(p.maxKbps, 4000);
    ASSERT_TRUE(Plan(Ecl(true, {{"vmode", "0"},
                                {"vbr_q_factor", "<drop>"},
                                {"opv_q_factor", "50"},
                                {"opv_brate_max", "8000"},
                                {"opv_brate_min", "1000"}}),
                     p, error))
        << error;
    EXPECT_EQ(p.mode, enc::RateMode::OnePassVbr);
    EXPECT_EQ(p.avgKbps, 4000);
    EXPECT_EQ(p.minKbps, 1000);
    EXPECT_EQ(p.maxKbps, 8000);
    ASSERT_TRUE(Plan(Ecl(false, {{"video_type", "4"},
                                 {"vbr_brate_avg", "2500"},
                                 {"vbr_brate_max", "7000"},
                                 {"vbr_pass", "3"}}),
                     p, error));
    EXPECT_EQ(p.mode, enc::RateMode::MultipassVbr);
    EXPECT_EQ(p.passes, 3);
    EXPECT_EQ(p.avgKbps, 2500);
    EXPECT_EQ(p.maxKbps, 7000);
    // DVD limits cap every rate at 9800 kbit/s.
    ASSERT_TRUE(Plan(Ecl(false, {{"video_type", "4"},
                                 {"dvd", "1"},
                                 {"vbr_brate_avg", "9900"},
                                 {"vbr_brate_max", "12000"}}),
                     p, error));
    EXPECT_EQ(p.maxKbps, enc::kDvdMaxKbps);
    EXPECT_EQ(p.avgKbps, enc::kDvdMaxKbps);
    for (const char* bad : {"0", "3", "5"}) {
        EXPECT_FALSE(Plan(Ecl(false, {{"video_type", bad}}), p, error)) << bad;
        EXPECT_NE(error.find("video_type"), std::string::npos);
    }
    // Rates the job editor stores on their own may contradict: each is lowered to its bound.
    ASSERT_TRUE(Plan(Ecl(false, {{"video_type", "4"},
                                 {"vbr_brate_avg", "9500"},
                                 {"vbr_brate_max", "9000"},
                                 {"vbr_brate_min", "9800"}}),
                     p, error))
        << error;
    EXPECT_EQ(p.avgKbps, 9000);
    EXPECT_EQ(p.minKbps, 9000);
    ASSERT_EQ(p.notes.size(), 2u);
    EXPECT_EQ(p.notes[0],
              "vbr_brate_avg=9500 is above the peak (9000 kbit/s): 9000 kbit/s is used");
    ASSERT_TRUE(Plan(
        Ecl(false, {{"video_type", "2"}, {"opv_brate_max", "4000"}, {"opv_brate_min", "5000"}}), p,
        error))
        << error;
    EXPECT_EQ(p.minKbps, 4000);
    EXPECT_EQ(p.avgKbps, 4000);
}

TEST(EncodePlan, RangeIsHalfOpenAndChaptersCloseGops) {
    enc::EncodePlan p;
    std::string error;
    ASSERT_TRUE(
        Plan(Ecl(false, {{"encode_first", "10"}, {"encode_last", "90"}, {"all_closed_gop", "0"}},
                 {0, 40, 95}),
             p, error));
    EXPECT_EQ(p.encodeFirst, 10);
    EXPECT_EQ(p.encodeEnd, 90);
    EXPECT_EQ(p.chapterFrames, (std::vector<int64_t>{40})); // 0 and 95 lie outside
    EXPECT_TRUE(p.closedGops);
    EXPECT_EQ(enc::KeyFrameExpression(p), "expr:eq(n,0)+gte(n,prev_forced_n+12)+eq(n,30)");
    for (auto range : {std::pair{"50", "50"}, std::pair{"60", "20"}}) {
        EXPECT_FALSE(Plan(
            Ecl(false, {{"encode_first", range.first}, {"encode_last", range.second}}), p, error));
        EXPECT_NE(error.find("is empty"), std::string::npos) << error;
    }
    EXPECT_FALSE(Plan(Ecl(false, {}) + "chapter=abc:\r\n", p, error));
    EXPECT_NE(error.find("chapter=abc:"), std::string::npos) << error;
}

TEST(EncodePlan, PictureAndStreamSettings) {
    enc::EncodePlan p;
    std::string error;
    ASSERT_TRUE(Plan(Ecl(true, {{"half_width", "1"},
                                {"half_height", "1"},
                                {"gop_m", "1"},
                                {"gop_nm", "15"},
                                {"aspect_ratio", "3"},
                                {"intra_dc_prec", "1"},
                                {"progressive", "0"},
                                {"top_first", "0"},
                                {"frame_rate_idx", "4"},
                                {"brate_idx", "10"}}),
                     p, error));
    EXPECT_EQ(p.width, 88);
    EXPECT_EQ(p.height, 72);
    EXPECT_EQ(p.gopN, 15);
    EXPECT_EQ(p.rateNum, 30000);
    EXPECT_EQ(p.rateDen, 1001);
    EXPECT_EQ(p.audioKbps, 192);
    // drop_frame is a trial key: the classic list cannot ask for drop-frame time codes.
    EXPECT_FALSE(p.dropFrame);
    enc::SourceInfo src;
    src.width = 176;
    src.height = 144;
    auto args = enc::VideoRunArgs("ffmpeg", p, src, enc::PassKind::Single, "", "/out/x.mpv");
    EXPECT_TRUE(HasArg(args, "-bf", "0"));
    EXPECT_TRUE(HasArg(args, "-aspect", "16:9"));
    EXPECT_TRUE(HasArg(args, "-dc", "9"));
    EXPECT_TRUE(HasArg(args, "-flags", "+cgop+ildct+ilme"));
    EXPECT_TRUE(HasArg(args, "-vf",
                       "trim=start_frame=0:end_frame=100,setpts=PTS-STARTPTS,"
                       "scale=88:72,setfield=bff"));
    EXPECT_TRUE(HasArg(args, "-f", "mpeg2video"));
    EXPECT_EQ(args.back(), "file:/out/x.mpv"); // never taken for a protocol or an option

    ASSERT_TRUE(Plan(Ecl(false, {{"frame_rate_idx", "4"}, {"drop_frame", "1"}}), p, error));
    EXPECT_TRUE(p.dropFrame);
    ASSERT_TRUE(Plan(Ecl(false, {{"frame_rate_idx", "1"}, {"drop_frame", "1"}}), p, error));
    EXPECT_FALSE(p.dropFrame); // drop-frame time codes exist only at 29.97
    EXPECT_FALSE(Plan(Ecl(false, {{"frame_rate_idx", "<drop>"}}), p, error));
    EXPECT_NE(error.find("frame_rate_idx"), std::string::npos);
    EXPECT_FALSE(Plan(Ecl(false, {{"samples_per_sec", "22050"}}), p, error));
    // An odd size (a cropped script clip gives one) is coded one pixel smaller, with a note.
    ASSERT_TRUE(Plan(Ecl(false, {{"width", "175"}, {"height", "143"}}), p, error));
    EXPECT_EQ(p.width, 174);
    EXPECT_EQ(p.height, 142);
    ASSERT_EQ(p.notes.size(), 1u);
    EXPECT_NE(p.notes[0].find("175x143 is coded as 174x142"), std::string::npos);
}

TEST(FfmpegArgs, ProbeOutputGivesSizeRateFramesAndAudio) {
    enc::SourceInfo info;
    std::string error;
    ASSERT_TRUE(enc::ParseProbe({"codec_type=video|width=176|height=144|r_frame_rate=24000/1001|"
                                 "nb_frames=72",
                                 "codec_type=audio|r_frame_rate=0/0|nb_frames=N/A|channels=2"},
                                info, error));
    EXPECT_EQ(info.width, 176);
    EXPECT_EQ(info.frames, 72);
    EXPECT_EQ(info.rateNum, 24000);
    EXPECT_EQ(info.rateDen, 1001);
    EXPECT_TRUE(info.hasAudio);
    EXPECT_EQ(info.audioChannels, 2);
    EXPECT_FALSE(enc::ParseProbe({"codec_type=audio|channels=2"}, info, error));
    EXPECT_FALSE(enc::ParseProbe({"codec_type=video|width=176|height=144|r_frame_rate=25/1|"
                                  "nb_frames=N/A"},
                                 info, error));
}
