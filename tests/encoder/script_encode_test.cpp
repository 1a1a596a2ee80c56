// Encoding .avs scripts: cce plays them through the frame-server module beside it, the range
// counts frames of the script's clip, and script or module failures leave no output.
#include "encoder_fixture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

// One source shared by every test: 3 s at 25 fps with stereo audio (75 frames, 176x144).
class ScriptEncode : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Dir = new TempDir();
        s_Avi = s_Dir->File("pal.avi");
        ASSERT_TRUE(encoder_test::MakeSource(s_Avi, "25", 3, true));
    }
    static void TearDownTestSuite() {
        delete s_Dir;
        s_Dir = nullptr;
    }

    // Writes `script` as job.avs beside a list over it; outputs go to job.*
    std::string WriteJob(const std::string& script, std::map<std::string, std::string> changes) {
        EXPECT_TRUE(WriteFile(m_Dir.File("job.avs"), script));
        changes.try_emplace("frame_first", "60");
        changes.try_emplace("frame_last", "60");
        changes.try_emplace("encode_last", "60");
        changes.try_emplace("frame_rate_idx", "1");
        changes.try_emplace("vaf_out", "0");
        const std::string path = m_Dir.File("job.ecl");
        EXPECT_TRUE(WriteFile(path, MakeEcl(false, m_Dir.File("job.avs"), Out("job"), changes)));
        return path;
    }
    std::string Out(const std::string& name) const { return m_Dir.File(name); }

    void ExpectNoOutput() {
        EXPECT_FALSE(FileExists(Out("job.mpv")));
        EXPECT_FALSE(FileExists(Out("job.mpa")));
        for (const auto& e : std::filesystem::directory_iterator(m_Dir.Path())) {
            EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
        }
    }

    static TempDir* s_Dir;
    static std::string s_Avi;
    TempDir m_Dir;
};

TempDir* ScriptEncode::s_Dir = nullptr;
std::string ScriptEncode::s_Avi;

// Trim(10, 69) leaves 60 frames at 23.976 fps, cropped to 160x128 and resized to 128x96; the
// list's range 5..44 counts frames of that clip, so source frames 15 to 54 are encoded.
const char* const kFilmScript = "# the middle of the test source as film\n"
                                "AviSource(\"%AVI%\")\n"
                                "Trim(10, 69)\n"
                                "AssumeFPS(23.976)\n"
                                "Crop(8, 8, -8, -8)\n"
                                "BilinearResize(128, 96)\n";

std::string WithAvi(std::string script, const std::string& avi) {
    script.replace(script.find("%AVI%"), 5, avi);
    return script;
}

// Luma PSNR (dB) of picture `picture` of `stream` against source frame `frame` of `avi` after
// the film script's crop and resize; -1 when ffmpeg gives no value.
double MatchScore(const std::string& stream, int picture, const std::string& avi, int frame) {
    const std::string graph = "[0:v]select=eq(n\\," + std::to_string(picture) +
                              ")[a];[1:v]select=eq(n\\," + std::to_string(frame) +
                              "),crop=160:128:8:8,scale=128:96:flags=bilinear,"
                              "format=yuv420p[b];[a][b]psnr";
    RunResult r = RunProgram({"ffmpeg", "-nostdin", "-hide_banner", "-threads", "1", "-i", stream,
                              "-i", avi, "-filter_complex", graph, "-f", "null", "-"});
    const size_t at = r.output.find("PSNR y:");
    if (r.status != 0 || at == std::string::npos) {
        return -1;
    }
    const std::string value = r.output.substr(at + 7, 3);
    return value == "inf" ? 100 : std::atof(value.c_str());
}

TEST_F(ScriptEncode, RangeOfTheTrimmedClipAtItsSizeAndRate) {
    const std::string ecl = WriteJob(WithAvi(kFilmScript, s_Avi), {{"width", "128"},
                                                                   {"height", "96"},
                                                                   {"encode_first", "5"},
                                                                   {"encode_last", "45"},
                                                                   {"aud_out", "1"},
                                                                   {"cbr_brate", "1500"}});
    RunResult r = RunProgram({kEclCce, "-ecl", ecl, "-batch"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("128x96, 2997/125 fps, 60 frames"), std::string::npos) << r.output;

    auto probe = encoder_test::ProbeStream(Out("job.mpv"), "codec_name,width,height,r_frame_rate");
    EXPECT_EQ(probe["codec_name"], "mpeg2video");
    EXPECT_EQ(probe["width"], "128");
    EXPECT_EQ(probe["height"], "96");
    EXPECT_EQ(probe["r_frame_rate"], "24000/1001");
    StreamFacts s = ScanStream(Out("job.mpv"));
    ASSERT_TRUE(s.valid);
    EXPECT_EQ(s.pictures, 40);
    EXPECT_EQ(s.frameRateCode, 1);
    EXPECT_EQ(s.width, 128);
    EXPECT_EQ(s.height, 96);
    EXPECT_TRUE(s.endsWithSequenceEnd);
    // The pictures are source frames 15 to 54: each end matches its frame and not a neighbour.
    const std::string mpv = Out("job.mpv");
    EXPECT_GT(MatchScore(mpv, 0, s_Avi, 15), 40);
    EXPECT_LT(MatchScore(mpv, 0, s_Avi, 14), 35);
    EXPECT_LT(MatchScore(mpv, 0, s_Avi, 16), 35);
    EXPECT_GT(MatchScore(mpv, 39, s_Avi, 54), 40);
    EXPECT_LT(MatchScore(mpv, 39, s_Avi, 55), 35);

    // The audio follows the clip: the range's 40 frames at the clip's rate.
    auto audio = encoder_test::ProbeStream(Out("job.mpa"), "codec_name,duration");
    EXPECT_EQ(audio["codec_name"], "mp2");
    EXPECT_NEAR(std::atof(audio["duration"].c_str()), 40 * 1001.0 / 24000, 0.06);
}

TEST_F(ScriptEncode, ListSizeScalesTheClipAfterTheScript) {
    // The clip is 160x128 after Crop; the list halves 176x144 to 88x72, which cce scales to.
    const std::string script = "AviSource(\"" + s_Avi + "\", audio=false)\n" +
                               "AssumeFPS(\"ntsc_film\")\nCrop(8, 8, -8, -8)\n";
    const std::string ecl = WriteJob(script, {{"half_width", "1"},
                                              {"half_height", "1"},
                                              {"frame_first", "75"},
                                              {"frame_last", "75"},
                                              {"encode_first", "70"},
                                              {"encode_last", "75"},
                                              {"aud_out", "1"}});
    RunResult r = RunProgram({kCce, ecl});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("no audio"), std::string::npos) << r.output;
    EXPECT_FALSE(FileExists(Out("job.mpa")));
    StreamFacts s = ScanStream(Out("job.mpv"));
    EXPECT_EQ(s.width, 88);
    EXPECT_EQ(s.height, 72);
    EXPECT_EQ(s.pictures, 5); // the clip's last five frames
    EXPECT_EQ(s.frameRateCode, 1);
}

TEST_F(ScriptEncode, ScriptFailuresNameTheLineAndWriteNothing) {
    struct Case {
        const char* what;
        std::string script;
        std::map<std::string, std::string> changes;
        int status;
        std::vector<std::string> messages;
    };
    const std::string source = "AviSource(\"" + s_Avi + "\")\n";
    const Case cases[] = {
        {"unknown function",
         source + "Trim(0, 59)\nSharpen(0.5)\n",
         {},
         2,
         {"job.avs", "line 3", "Sharpen"}},
        {"trim outside the clip", source + "Trim(80, 90)\n", {}, 2, {"line 2", "Trim"}},
        {"syntax error", source + "Trim(0, \n", {}, 2, {"line 2"}},
        {"missing AVI", "AviSource(\"gone.avi\")\n", {}, 2, {"line 1", "gone.avi"}},
        {"range beyond the trimmed clip",
         source + "Trim(0, 59)\nAssumeFPS(24000, 1001)\n",
         {{"encode_last", "61"}},
         2,
         {"has 60 frames"}},
        {"rate of the clip, not of the AVI", source + "Trim(0, 59)\n", {}, 2, {"does not match"}},
        {"brackets nested 15,000 deep",
         source + "Trim(0, " + std::string(15000, '(') + "59" + std::string(15000, ')') + ")\n",
         {},
         2,
         {"line 2", "nested deeper than 100 levels"}},
        {"output over the script's AVI",
         source + "Trim(0, 59)\nAssumeFPS(24000, 1001)\n",
         {{"vid_file0", s_Avi}},
         3,
         {"the script"}},
    };
    const std::string aviBefore = ReadFile(s_Avi);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunResult r = RunProgram({kEclCce, "-ecl", WriteJob(c.script, c.changes), "-batch"});
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find("ERROR:"), std::string::npos) << r.output;
        for (const std::string& m : c.messages) {
            EXPECT_NE(r.output.find(m), std::string::npos) << m << " in " << r.output;
        }
        ExpectNoOutput();
    }
    EXPECT_EQ(ReadFile(s_Avi), aviBefore);

    // A script that does not exist is a missing source.
    RunResult r = RunProgram({kCce, WriteJob("", {{"name", Out("gone.avs")}})});
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("cannot read the source"), std::string::npos) << r.output;
    ExpectNoOutput();
}

TEST_F(ScriptEncode, MissingModuleIsAClearFailure) {
    // A copy of cce in a folder without system/ has no frame server to play the script with.
    TempDir alone;
    const std::string cce = alone.File("cce");
    std::filesystem::copy_file(kCce, cce);
    const std::string ecl = WriteJob(WithAvi(kFilmScript, s_Avi),
                                     {{"width", "128"}, {"height", "96"}, {"cbr_brate", "1500"}});
    RunResult r = RunProgram({cce, ecl});
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(alone.File("system/libavisynth.so")), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("job.avs"), std::string::npos) << r.output;
    ExpectNoOutput();

    // The same list plays with the module beside the program.
    r = RunProgram({kCce, ecl});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ScanStream(Out("job.mpv")).pictures, 60);
}

} // namespace
