// End-to-end encodes: real test sources, control lists of both header variants, the encode
// call through EclCCE, the streams checked with ffprobe and a stream scan.
#include "encoder_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/resource.h>

using encoder_test::kCce;
using encoder_test::kEclCce;
using encoder_test::MakeEcl;
using encoder_test::RunProgram;
using encoder_test::RunResult;
using encoder_test::ScanStream;
using encoder_test::StreamFacts;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Two sources shared by every test: 3 s at 23.976 fps with stereo audio (72 frames), and
// 2 s at 25 fps without audio (50 frames).
class Encode : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Dir = new TempDir();
        s_Film = s_Dir->File("film.avi");
        s_Pal = s_Dir->File("pal.avi");
        ASSERT_TRUE(encoder_test::MakeSource(s_Film, "24000/1001", 3, true));
        ASSERT_TRUE(encoder_test::MakeSource(s_Pal, "25", 2, false));
    }
    static void TearDownTestSuite() {
        delete s_Dir;
        s_Dir = nullptr;
    }

    // Writes a list into this test's folder; outputs go to OUT/job.*
    std::string WriteEcl(bool classic, const std::string& source,
                         std::map<std::string, std::string> changes,
                         const std::vector<int>& chapters = {}) {
        const std::string frames = source == s_Film ? "72" : "50";
        changes.try_emplace("frame_first", frames);
        changes.try_emplace("frame_last", frames);
        changes.try_emplace("encode_last", frames);
        changes.try_emplace("frame_rate_idx", source == s_Film ? "1" : "3");
        const std::string path = m_Dir.File("job.ecl");
        EXPECT_TRUE(WriteFile(path, MakeEcl(classic, source, Out("job"), changes, chapters)));
        return path;
    }
    std::string Out(const std::string& name) const { return m_Dir.File(name); }
    RunResult Through(const std::string& ecl) {
        return RunProgram({kEclCce, "-ecl", ecl, "-batch"});
    }

    // No temporary output may survive a run, successful or not.
    void ExpectNoPartFiles() {
        for (const auto& e : std::filesystem::directory_iterator(m_Dir.Path())) {
            EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
        }
    }

    static TempDir* s_Dir;
    static std::string s_Film;
    static std::string s_Pal;
    TempDir m_Dir;
};

TempDir* Encode::s_Dir = nullptr;
std::string Encode::s_Film;
std::string Encode::s_Pal;

TEST_F(Encode, TrialListMultipassWithRangeChaptersAndAudio) {
    const std::string ecl = WriteEcl(false, s_Film,
                                     {{"video_type", "4"},
                                      {"vbr_brate_avg", "1500"},
                                      {"vbr_brate_max", "12000"},
                                      {"vbr_pass", "2"},
                                      {"aud_out", "1"},
                                      {"aspect_ratio", "3"},
                                      {"dvd", "1"},
                                      {"encode_first", "6"},
                                      {"encode_last", "66"}},
                                     {0, 34});
    RunResult r = Through(ecl);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("100% / Test Job"), std::string::npos) << r.output;

    auto probe = encoder_test::ProbeStream(
        Out("job.mpv"), "codec_name,width,height,r_frame_rate,display_aspect_ratio,field_order");
    EXPECT_EQ(probe["codec_name"], "mpeg2video");
    EXPECT_EQ(probe["width"], "176");
    EXPECT_EQ(probe["height"], "144");
    EXPECT_EQ(probe["r_frame_rate"], "24000/1001");
    EXPECT_EQ(probe["display_aspect_ratio"], "16:9");
    EXPECT_EQ(probe["field_order"], "progressive");

    StreamFacts s = ScanStream(Out("job.mpv"));
    ASSERT_TRUE(s.valid);
    EXPECT_EQ(s.pictures, 60); // frames 6 to 65
    EXPECT_EQ(s.frameRateCode, 1);
    EXPECT_EQ(s.aspectCode, 3);
    EXPECT_EQ(s.intraDcBits, 10);
    EXPECT_FALSE(s.alternateScan);
    EXPECT_TRUE(s.nonLinearQuant);
    EXPECT_TRUE(s.progressiveSequence);
    EXPECT_EQ(s.bitRateBps, 9800 * 1000); // the DVD peak, lowered from 12000
    EXPECT_EQ(s.vbvBits, 1835008);
    EXPECT_TRUE(s.endsWithSequenceEnd);
    const double seconds = 60 * 1001.0 / 24000;
    EXPECT_LE(ReadFile(Out("job.mpv")).size() * 8 / seconds, 9800 * 1000);
    // GOPs of 12 pictures, restarted at the chapter point 34 (output frame 28), all closed.
    std::vector<int> starts;
    int at = 0;
    for (const auto& g : s.gops) {
        EXPECT_TRUE(g.closed);
        EXPECT_EQ(g.firstType, 'I');
        starts.push_back(at);
        at += g.pictures;
    }
    EXPECT_EQ(starts, (std::vector<int>{0, 12, 24, 28, 40, 52}));

    auto audio =
        encoder_test::ProbeStream(Out("job.mpa"), "codec_name,bit_rate,sample_rate,duration");
    EXPECT_EQ(audio["codec_name"], "mp2");
    EXPECT_NEAR(std::atof(audio["duration"].c_str()), seconds, 0.06); // the range's audio only
    EXPECT_EQ(audio["bit_rate"], "112000");
    EXPECT_EQ(audio["sample_rate"], "44100");
    EXPECT_TRUE(FileExists(Out("job.vaf")));
    ExpectNoPartFiles();
}

TEST_F(Encode, ClassicListCbrInterlacedBottomFirst) {
    const std::string ecl = WriteEcl(true, s_Pal,
                                     {{"vmode", "1"},
                                      {"cbr_brate", "800"},
                                      {"alternate_scan", "1"},
                                      {"progressive", "0"},
                                      {"top_first", "0"},
                                      {"gop_m", "2"},
                                      {"gop_nm", "8"},
                                      {"gop_hdr", "16"},
                                      {"seq_endcode", "0"},
                                      {"aud_out", "1"},
                                      {"vaf_out", "0"},
                                      {"all_closed_gop", "0"},
                                      {"encode_last", "45"}});
    RunResult r = Through(ecl);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("no audio"), std::string::npos) << r.output;
    EXPECT_FALSE(FileExists(Out("job.mpa")));
    EXPECT_FALSE(FileExists(Out("job.vaf")));

    auto probe = encoder_test::ProbeStream(Out("job.mpv"), "r_frame_rate,field_order");
    EXPECT_EQ(probe["r_frame_rate"], "25/1");
    EXPECT_EQ(probe["field_order"], "bb");
    StreamFacts s = ScanStream(Out("job.mpv"));
    EXPECT_EQ(s.pictures, 45);
    EXPECT_EQ(s.frameRateCode, 3);
    EXPECT_EQ(s.aspectCode, 2);
    EXPECT_FALSE(s.progressiveSequence);
    EXPECT_FALSE(s.topFieldFirst);
    EXPECT_EQ(s.bitRateBps, 800 * 1000);
    EXPECT_TRUE(s.alternateScan);
    EXPECT_EQ(s.intraDcBits, 10);
    EXPECT_FALSE(s.endsWithSequenceEnd);
    // Open GOPs of 16 pictures starting at frames 0, 16 and 32; in coded order the B-picture
    // before each I-picture belongs to the later GOP, and only the first GOP is closed.
    ASSERT_EQ(s.gops.size(), 3u);
    EXPECT_EQ(s.gops[0].pictures, 15);
    EXPECT_EQ(s.gops[1].pictures, 16);
    EXPECT_EQ(s.gops[2].pictures, 14);
    EXPECT_FALSE(s.gops[1].closed);
    EXPECT_FALSE(s.gops[2].closed);
    ExpectNoPartFiles();
}

TEST_F(Encode, MpegOneAndHalfSizeOnePassVbr) {
    const std::string ecl = WriteEcl(false, s_Pal,
                                     {{"video_type", "2"},
                                      {"mpeg1", "1"},
                                      {"half_width", "1"},
                                      {"half_height", "1"},
                                      {"intra_dc_prec", "0"},
                                      {"non_linear", "0"},
                                      {"opv_brate_max", "2000"},
                                      {"vaf_out", "0"}});
    RunResult r = RunProgram({kCce, ecl});
    ASSERT_EQ(r.status, 0) << r.output;
    auto probe = encoder_test::ProbeStream(Out("job.mpv"), "codec_name,width,height");
    EXPECT_EQ(probe["codec_name"], "mpeg1video");
    EXPECT_EQ(probe["width"], "88");
    EXPECT_EQ(probe["height"], "72");
    EXPECT_EQ(ScanStream(Out("job.mpv")).pictures, 50);
    EXPECT_TRUE(ScanStream(Out("job.mpv")).endsWithSequenceEnd);
}

TEST_F(Encode, RerozizUrudPartOneWritesAnalysisPartTwoEncodesFromIt) {
    for (bool classic : {false, true}) {
        SCOPED_TRACE(classic ? "classic" : "trial");
        std::map<std::string, std::string> part1 = {{"vid_out", "0"},
                                                    {"vbr_brate_avg", "1200"},
                                                    {"vbr_brate_max", "4000"},
                                                    {"encode_first", "10"},
                                                    {"encode_last", "58"}};
        part1[classic ? "vmode" : "video_type"] = classic ? "0" : "2";
        if (!classic) {
            part1["create_new_vaf"] = "0";
        }
        const std::string ecl = WriteEcl(classic, s_Film, part1);
        RunResult r = Through(ecl);
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_FALSE(FileExists(Out("job.mpv")));
        const std::string vaf = ReadFile(Out("job.vaf"));
        // A line naming what the analysis was made from, then one line per frame.
        EXPECT_EQ(vaf.rfind("; cce analysis: source " + s_Film, 0), 0u) << vaf.substr(0, 200);
        EXPECT_EQ(std::count(vaf.begin(), vaf.end(), '\n'), 1 + 48);

        // The in-place edit between the parts.
        std::string text = ReadFile(ecl);
        text.replace(text.find("vid_out=0"), 9, "vid_out=1");
        if (classic) {
            text.replace(text.find("vmode=0"), 7, "vmode=2");
        } else {
            text.replace(text.find("video_type=2"), 12, "video_type=4");
        }
        ASSERT_TRUE(WriteFile(ecl, text));
        r = Through(ecl);
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_NE(r.output.find("Encoded from the analysis"), std::string::npos) << r.output;
        StreamFacts s = ScanStream(Out("job.mpv"));
        EXPECT_EQ(s.pictures, 48);
        EXPECT_LE(s.bitRateBps, 4000 * 1000);
        EXPECT_EQ(ReadFile(Out("job.vaf")), vaf); // the analysis is read, not rewritten
        std::filesystem::remove(Out("job.mpv"));
        std::filesystem::remove(Out("job.vaf"));
        ExpectNoPartFiles();
    }
}

TEST_F(Encode, MultipassMakesItsOwnAnalysisUnlessTheVafFitsAndMayBeReused) {
    // The analysis that part one of a 2,000 kbit/s half-size job over frames 0 to 39 leaves.
    const std::map<std::string, std::string> made = {
        {"video_type", "2"},       {"vid_out", "0"},          {"create_new_vaf", "0"},
        {"opv_brate_max", "2000"}, {"vbr_brate_avg", "2000"}, {"vbr_brate_max", "2000"},
        {"encode_last", "40"}};
    struct Case {
        const char* what;
        std::map<std::string, std::string> changes; // to `made`, for the multipass encode
        bool reused;
    };
    const Case cases[] = {
        {"the same job", {}, true},
        {"create_new_vaf=1", {{"create_new_vaf", "1"}}, false},
        {"another rate", {{"vbr_brate_avg", "6000"}, {"vbr_brate_max", "6000"}}, false},
        {"another size", {{"half_width", "1"}, {"half_height", "1"}}, false},
        {"another range of as many frames", {{"encode_first", "5"}, {"encode_last", "45"}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Through(WriteEcl(false, s_Pal, made)).status, 0);
        const std::string analysis = ReadFile(Out("job.vaf"));
        std::map<std::string, std::string> job = made;
        job["video_type"] = "4";
        job["vid_out"] = "1";
        for (const auto& [key, value] : c.changes) {
            job[key] = value;
        }
        RunResult r = Through(WriteEcl(false, s_Pal, job));
        ASSERT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.output.find("Encoded from the analysis") != std::string::npos, c.reused)
            << r.output;
        EXPECT_EQ(ReadFile(Out("job.vaf")) == analysis, c.reused);
        EXPECT_EQ(ScanStream(Out("job.mpv")).pictures, 40);
    }
    // A VAF this encoder did not write (no first line naming its making) is never taken.
    std::string foreign;
    for (int i = 0; i < 40; ++i) {
        foreign += "in:" + std::to_string(i) + " out:" + std::to_string(i) + " type:1 q:100;\n";
    }
    ASSERT_TRUE(WriteFile(Out("job.vaf"), foreign));
    RunResult r = Through(WriteEcl(false, s_Pal, {{"video_type", "4"}, {"encode_last", "40"}}));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("Encoded from the analysis"), std::string::npos) << r.output;
    const std::string vaf = ReadFile(Out("job.vaf"));
    EXPECT_EQ(std::count(vaf.begin(), vaf.end(), '\n'), 1 + 40);
}

TEST_F(Encode, TruncatedRecordingEncodesTheFramesBeforeTheCut) {
    // The film source cut at 60 %: a capture that ended early.
    const std::string film = ReadFile(s_Film);
    const std::string cut = Out("cut.avi");
    ASSERT_TRUE(WriteFile(cut, film.substr(0, film.size() * 6 / 10)));
    RunResult r = Through(WriteEcl(false, cut, {{"frame_rate_idx", "1"}, {"aud_out", "1"}}));
    EXPECT_EQ(r.status, 2) << r.output; // the list's 50 frames are more than are whole
    const size_t at = r.output.find("the source has ");
    ASSERT_NE(at, std::string::npos) << r.output;
    const int whole = std::atoi(r.output.c_str() + at + 15);
    ASSERT_GT(whole, 20);
    ASSERT_LT(whole, 50);
    const std::string n = std::to_string(whole);
    r = Through(WriteEcl(false, cut,
                         {{"frame_rate_idx", "1"},
                          {"aud_out", "1"},
                          {"frame_first", n},
                          {"frame_last", n},
                          {"encode_last", n}}));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("  Note: " + cut + " is truncated: the " + n +
                            " whole frames before the cut are read (its headers count 72)"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(ScanStream(Out("job.mpv")).pictures, whole);
    EXPECT_TRUE(FileExists(Out("job.mpa")));
}

TEST_F(Encode, BadInputFailsClearlyAndLeavesNoStream) {
    struct Case {
        const char* what;
        std::map<std::string, std::string> changes;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"unknown key", {{"speed", "9"}}, 1, "unknown key speed"},
        {"missing key", {{"gop_nm", "<drop>"}}, 1, "gop_nm"},
        {"missing source", {{"name", Out("gone.avi")}}, 2, "cannot read the source"},
        {"missing script", {{"name", Out("script.avs")}}, 2, "cannot read the source"},
        {"range beyond source", {{"encode_last", "80"}}, 2, "has 72 frames"},
        {"rate mismatch", {{"frame_rate_idx", "3"}}, 2, "does not match"},
        {"missing folder", {{"vid_file0", Out("no/such/dir/job.mpv")}}, 3, "cannot write"},
        {"output is source", {{"vid_file0", s_Film}}, 3, "source itself"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunResult r = Through(WriteEcl(false, s_Film, c.changes));
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("ERROR:"), std::string::npos) << r.output;
        EXPECT_FALSE(FileExists(Out("job.mpv")));
        ExpectNoPartFiles();
    }
}

TEST_F(Encode, FailedEncodeKeepsTheOldStreamUnderTheFinalName) {
    ASSERT_TRUE(WriteFile(Out("job.mpv"), "previous stream"));
    const std::string ecl = WriteEcl(false, s_Pal, {});
    setenv("CCE_FFMPEG", "/bin/false", 1);
    RunResult r = Through(ecl);
    unsetenv("CCE_FFMPEG");
    EXPECT_EQ(r.status, 4) << r.output;
    EXPECT_NE(r.output.find("ffmpeg failed"), std::string::npos) << r.output;
    EXPECT_EQ(ReadFile(Out("job.mpv")), "previous stream");
    ExpectNoPartFiles();
}

} // namespace
