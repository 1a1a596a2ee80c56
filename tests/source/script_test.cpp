// The frame-server module on scripts: the clip each gives, checked against ffmpeg playing the
// module's filter chain, and the errors with their line numbers.
#include "log/log.h"
#include "platform/frame_server.h"
#include "source/avi_source.h"
#include "source/source_info.h"
#include "support/media.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kModule = platform::FrameServerModulePath(VANTAQ_PROGRAM_DIR);

// One source for every script: 2 s of 320x240 at 29.97 with a tone (60 frames).
class Scripts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_Dir = new TempDir;
        s_HaveSource = media::HaveFfmpeg() && media::MakeAvi(s_Dir->File("src.avi"), "320x240",
                                                             "30000/1001", 2.0, "mjpeg", true);
    }
    static void TearDownTestSuite() {
        delete s_Dir;
        s_Dir = nullptr;
    }
    void SetUp() override {
        if (!s_HaveSource) {
            VANTAQ_SKIP_OR_FAIL("ffmpeg not installed");
        }
    }

    // Writes `text` as a script and asks the module for its clip.
    int Evaluate(const std::string& text, vantaq_fs_info& info, std::string& error,
                 const std::string& name = "test.avs") {
        EXPECT_TRUE(WriteFile(s_Dir->File(name), text));
        int code = -1;
        platform::OpenScriptClip(kModule, s_Dir->File(name), info, code, error);
        return code;
    }

    static TempDir* s_Dir;
    static bool s_HaveSource;
};

TempDir* Scripts::s_Dir = nullptr;
bool Scripts::s_HaveSource = false;

struct Expected {
    const char* what;
    const char* script;
    uint32_t width, height, rate, scale, length;
    bool audio;
    bool playWithFfmpeg;
};

const Expected kGood[] = {
    {"plain source", "AviSource(\"src.avi\")\n", 320, 240, 30000, 1001, 60, true, false},
    {"chained trim", "AVISource(\"src.avi\").Trim(10, 39)", 320, 240, 30000, 1001, 30, true, true},
    {"one call a line",
     "# made by hand\n"
     "avisource(\"src.avi\")   # the camera file\n"
     "\n"
     "Trim(5, 0)\n"
     "AssumeFPS(24000, 1001)\n"
     "Crop(8, 8, -8, -8)\n"
     "LanczosResize(160, 112)\n",
     160, 112, 24000, 1001, 55, true, true},
    {"variables and return",
     "clip = AviSource(\"./src.avi\", audio=false)\n"
     "other = clip.Trim(0, 9)\n"
     "return clip.AssumeFPS(\"ntsc_film\").Spline36Resize(128, 96)\n"
     "Trim(0, 1)\n",
     128, 96, 24000, 1001, 60, false, true},
    {"frame count, named arguments",
     "AviSource(\"src.avi\").Trim(0, -20).AssumeFPS(25).BicubicResize(176, 144, b=0, c=0.5)", 176,
     144, 25, 1, 20, true, true},
    {"float rate", "AviSource(\"src.avi\")\nAssumeFPS(29.97)", 320, 240, 2997, 100, 60, true,
     false},
    {"continued lines",
     "AviSource(\"src.avi\") \\\n  .PointResize(64, 48)\n\\ .Crop(0, 0, 32, -8)\n", 32, 40, 30000,
     1001, 60, true, true},
    {"source window of a resizer",
     "AviSource(\"src.avi\").GaussResize(100, 50, 10, 20, -10, 200, p=20)", 100, 50, 30000, 1001,
     60, true, true},
    {"trim past the end is clipped",
     "AviSource(\"src.avi\").Trim(50, 1000).Bilinearresize(32, 32).Lanczos4Resize(64,64)", 64, 64,
     30000, 1001, 10, true, true},
};

} // namespace

TEST_F(Scripts, ClipsMatchFfmpegPlayingTheFilterChain) {
    for (const Expected& e : kGood) {
        SCOPED_TRACE(e.what);
        vantaq_fs_info info{};
        std::string error;
        ASSERT_EQ(Evaluate(e.script, info, error), VANTAQ_FS_OK) << error;
        EXPECT_EQ(info.width, e.width);
        EXPECT_EQ(info.height, e.height);
        EXPECT_EQ(info.rate, e.rate);
        EXPECT_EQ(info.scale, e.scale);
        EXPECT_EQ(info.length, e.length);
        EXPECT_EQ(info.has_audio != 0, e.audio);
        EXPECT_STREQ(info.file_type, "Avisynth script");
        EXPECT_EQ(std::string(info.source), s_Dir->File("src.avi"));
        if (!e.playWithFfmpeg) {
            continue;
        }
        // What the encoder will do: play the source through the chains, at the clip's rate.
        std::string out = s_Dir->File("played.avi");
        std::string cmd =
            "ffmpeg -nostdin -v error -y -threads 1 -i '" + std::string(info.source) + "'";
        if (info.video_filter[0] != '\0') {
            cmd += " -vf '" + std::string(info.video_filter) + "'";
        }
        if (info.has_audio && info.audio_filter[0] != '\0') {
            cmd += " -af '" + std::string(info.audio_filter) + "'";
        }
        cmd += info.has_audio ? " -c:a pcm_s16le" : " -an";
        cmd += " -c:v mjpeg '" + out + "'";
        ASSERT_TRUE(media::Run(cmd)) << cmd;
        media::Probe probe;
        ASSERT_TRUE(media::ProbeFile(out, probe));
        EXPECT_EQ(probe.width, static_cast<int>(e.width)) << cmd;
        EXPECT_EQ(probe.height, static_cast<int>(e.height)) << cmd;
        EXPECT_EQ(probe.rateNum, e.rate) << cmd;
        EXPECT_EQ(probe.rateDen, e.scale) << cmd;
        EXPECT_EQ(probe.frames, static_cast<long long>(e.length)) << cmd;
        EXPECT_EQ(probe.audio, e.audio) << cmd;
    }
}

TEST_F(Scripts, ErrorsNameTheLine) {
    ASSERT_TRUE(WriteFile(s_Dir->File("text.avi"), "plain text"));
    struct Bad {
        const char* script;
        int code;
        const char* message;
    };
    const Bad cases[] = {
        {"AviSource(\"src.avi\")\nBlur(1.0)\n", VANTAQ_FS_SCRIPT_ERROR,
         "line 2: unknown function or variable 'Blur'"},
        {"\n\nAviSource(\"missing.avi\")", VANTAQ_FS_SOURCE_ERROR,
         "line 3: AviSource: cannot open"},
        {"AviSource(\"text.avi\")", VANTAQ_FS_SOURCE_ERROR, "not an AVI file"},
        {"AviSource(\"src.avi\"\nTrim(0, 1)", VANTAQ_FS_SCRIPT_ERROR,
         "line 1: syntax error: unexpected end of line"},
        {"AviSource(\"src.avi\").Trim(100, 200)", VANTAQ_FS_SCRIPT_ERROR,
         "line 1: Trim: first frame 100 is outside the clip (0 to 59)"},
        {"AviSource(\"src.avi\")\n\n# wide\nCrop(0, 0, 400, 0)", VANTAQ_FS_SCRIPT_ERROR,
         "line 4: Crop: the window lies outside the 320x240 picture"},
        {"Trim(0, 10)", VANTAQ_FS_SCRIPT_ERROR, "line 1: Trim: no clip to work on"},
        {"x = 5\n", VANTAQ_FS_SCRIPT_ERROR, "the script returns no clip"},
        {"", VANTAQ_FS_SCRIPT_ERROR, "the script returns no clip"},
        {"AviSource(\"src.avi\").LanczosResize(0, 100)", VANTAQ_FS_SCRIPT_ERROR,
         "LanczosResize: the target size 0x100 is not possible"},
        {"AviSource(\"src.avi\", \"src.avi\")", VANTAQ_FS_SCRIPT_ERROR,
         "AviSource: 'audio' must be true or false"},
        {"AviSource(\"src.avi\")\nAviSource(\"src.avi\")", VANTAQ_FS_SCRIPT_ERROR,
         "line 2: AviSource: a script may open one source only"},
        {"AviSource(\"src.avi\").Trim(1)", VANTAQ_FS_SCRIPT_ERROR, "'last_frame' is missing"},
        {"AviSource(\"src.avi\").Trim(1, 2, foo=1)", VANTAQ_FS_SCRIPT_ERROR,
         "Trim: unknown argument 'foo'"},
        {"AviSource(\"src.avi\").Trim(\"1\", 2)", VANTAQ_FS_SCRIPT_ERROR,
         "'first_frame' must be an integer"},
        {"AviSource(\"src.avi\").AssumeFPS(\"pal_tv\")", VANTAQ_FS_SCRIPT_ERROR,
         "unknown frame rate name \"pal_tv\""},
        {"AviSource(\"src.avi\").AssumeFPS(0)", VANTAQ_FS_SCRIPT_ERROR,
         "the frame rate must be above 0"},
        {"AviSource(\"src.avi\").AssumeFPS(25, sync_audio=true)", VANTAQ_FS_SCRIPT_ERROR,
         "sync_audio is not supported"},
        {"AviSource(\"src.avi\") + AviSource(\"src.avi\")", VANTAQ_FS_SCRIPT_ERROR,
         "line 1: unexpected character '+'"},
        {"AviSource(\"src.avi)\n", VANTAQ_FS_SCRIPT_ERROR, "line 1: unterminated string"},
        {"AviSource(\"src.avi\").Trim(0, 99999999999)", VANTAQ_FS_SCRIPT_ERROR,
         "bad number '99999999999'"},
        {"AviSource(\"src.avi\") \\ Trim(0, 1)", VANTAQ_FS_SCRIPT_ERROR,
         "line 1: syntax error at '\\'"},
    };
    for (const Bad& c : cases) {
        vantaq_fs_info info{};
        info.width = 77;
        std::string error;
        EXPECT_EQ(Evaluate(c.script, info, error), c.code) << c.script;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.script << "\n -> " << error;
        EXPECT_EQ(info.width, 0u) << "the record is cleared on an error";
    }
}

TEST_F(Scripts, CAviSourceOpensScriptsThroughTheModule) {
    vantaq_fs_info info{};
    std::string error;
    ASSERT_EQ(Evaluate("AviSource(\"src.avi\").Trim(0, 29).AssumeFPS(24000, 1001)", info, error,
                       "Film.AVS"),
              VANTAQ_FS_OK);
    source::CAviSource source("\"" + s_Dir->File("Film.AVS") + "\"", VANTAQ_PROGRAM_DIR);
    ASSERT_EQ(source.Open(), 0) << source.Error();
    EXPECT_TRUE(source.IsScript());
    EXPECT_EQ(source.Width(), 320);
    EXPECT_EQ(source.Height(), 240);
    EXPECT_EQ(source.Length(), 30);
    EXPECT_EQ(source.Rate(), 23976);
    EXPECT_EQ(source.FileType(), "Avisynth script");
    EXPECT_TRUE(source.OpenAudioStream());
    EXPECT_NE(std::string(source.ScriptInfo().video_filter).find("trim=start_frame=0"),
              std::string::npos);

    EXPECT_EQ(Evaluate("Nonsense(", info, error, "bad.avs"), VANTAQ_FS_SCRIPT_ERROR);
    source::CAviSource bad(s_Dir->File("bad.avs"), VANTAQ_PROGRAM_DIR);
    EXPECT_EQ(bad.Open(), 2);
    EXPECT_NE(bad.Error().find("line 1"), std::string::npos);

    EXPECT_EQ(source::CAviSource(s_Dir->File("none.avs"), VANTAQ_PROGRAM_DIR).Open(), 1);
    EXPECT_EQ(source::CAviSource(s_Dir->Path() + "/.avs", VANTAQ_PROGRAM_DIR).Open(), 1);

    // Without the module in the program folder's system/, no script opens.
    TempDir empty;
    source::CAviSource noModule(s_Dir->File("Film.AVS"), empty.Path());
    EXPECT_EQ(noModule.Open(), 1);
    EXPECT_NE(noModule.Error().find("cannot load the frame server"), std::string::npos);
}

TEST_F(Scripts, HostileScriptsGetAQuickAnswerNotACrash) {
    const std::string source = "AviSource(\"src.avi\")";
    auto repeat = [](const std::string& piece, int times) {
        std::string text;
        for (int k = 0; k < times; ++k) {
            text += piece;
        }
        return text;
    };
    struct Case {
        const char* what;
        std::string script;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"30 KB of nested brackets",
         source + ".Trim(" + repeat("(", 15000) + "0" + repeat(")", 15000) + ", 0)",
         VANTAQ_FS_SCRIPT_ERROR, "line 1: brackets, calls or signs nested deeper than 100 levels"},
        {"a long chain of signs", source + ".Trim(0, " + repeat("-", 30000) + "1)",
         VANTAQ_FS_SCRIPT_ERROR, "nested deeper than 100 levels"},
        {"calls in calls", source + "\nCrop(" + repeat("Trim(", 20000), VANTAQ_FS_SCRIPT_ERROR,
         "line 2: brackets, calls or signs nested deeper"},
        {"10,000 chained calls", source + repeat(".Trim(0,0)", 10000), VANTAQ_FS_SCRIPT_ERROR,
         "line 1: Trim: the filter chain is longer than 2047 characters"},
        {"10,000 statements growing one clip",
         source + "\n" + repeat("last = last.Trim(0,0)\n", 10000), VANTAQ_FS_SCRIPT_ERROR,
         "the filter chain is longer than"},
        {"a script over 1 MiB", source + "\n" + repeat("# padding\n", 110000),
         VANTAQ_FS_CANNOT_READ, "is larger than 1048576 bytes"},
        // Just inside the limits, a script still gives its clip.
        {"100 levels", source + ".Trim(" + repeat("(", 99) + "5" + repeat(")", 99) + ", 0)",
         VANTAQ_FS_OK, ""},
    };
    for (const Case& c : cases) {
        vantaq_fs_info info{};
        std::string error;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Evaluate(c.script, info, error, "hostile.avs"), c.code) << c.what;
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << "\n -> " << error;
        std::printf("%s: %.3f s\n", c.what, seconds);
    }
    // The program's own inspection shows a script error as its "could not load" line.
    ASSERT_TRUE(WriteFile(s_Dir->File("deep.avs"), source + ".Trim(" + repeat("(", 15000)));
    testing_support::LogLines lines;
    logging::Log log(lines, "");
    source::SourceInfoFields fields;
    EXPECT_TRUE(source::InspectSource(s_Dir->File("deep.avs"), VANTAQ_PROGRAM_DIR, log, fields));
    EXPECT_TRUE(lines.Has("2   AVI Error: could not load " + s_Dir->File("deep.avs")));
}

TEST_F(Scripts, FifosInPlaceOfAScriptOrItsSourceAreRefusedAtOnce) {
    TempDir dir;
    const std::string script = dir.File("pipe.avs");
    const std::string avi = dir.File("pipe.avi");
    ASSERT_TRUE(testing_support::MakeFifo(script));
    ASSERT_TRUE(testing_support::MakeFifo(avi));
    int scriptOpen = -1, aviOpen = -1, namedOpen = -1;
    EXPECT_TRUE(testing_support::EndsWithoutWaitingOn(
        script, [&] { scriptOpen = source::CAviSource(script, VANTAQ_PROGRAM_DIR).Open(); }));
    EXPECT_TRUE(testing_support::EndsWithoutWaitingOn(
        avi, [&] { aviOpen = source::CAviSource(avi, VANTAQ_PROGRAM_DIR).Open(); }));
    ASSERT_TRUE(WriteFile(dir.File("names.avs"), "AviSource(\"pipe.avi\")"));
    EXPECT_TRUE(testing_support::EndsWithoutWaitingOn(avi, [&] {
        namedOpen = source::CAviSource(dir.File("names.avs"), VANTAQ_PROGRAM_DIR).Open();
    }));
    EXPECT_EQ(scriptOpen, 1);
    EXPECT_EQ(aviOpen, 1);
    EXPECT_EQ(namedOpen, 2);
}

TEST(FrameServerModule, CInterfaceGuardsItsBuffers) {
    void* module = ::dlopen(kModule.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    auto version =
        reinterpret_cast<vantaq_fs_abi_version_fn>(::dlsym(module, "vantaq_fs_abi_version"));
    auto open = reinterpret_cast<vantaq_fs_open_fn>(::dlsym(module, "vantaq_fs_open"));
    ASSERT_NE(version, nullptr);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(version(), VANTAQ_FS_ABI_VERSION);
    // Only the C interface is exported.
    EXPECT_EQ(::dlsym(module, "_ZN8framesrv14EvaluateScriptERKNSt7__cxx1112basic_stringIcSt11char_"
                              "traitsIcESaIcEEERNS_4ClipERS5_"),
              nullptr);

    vantaq_fs_info info{};
    char error[8];
    std::memset(error, 'x', sizeof error);
    EXPECT_EQ(open("/nonexistent/dir/a.avs", &info, error, sizeof error), VANTAQ_FS_CANNOT_READ);
    EXPECT_EQ(std::strlen(error), sizeof error - 1);
    EXPECT_EQ(open(nullptr, &info, error, sizeof error), VANTAQ_FS_BAD_CALL);
    EXPECT_EQ(open("/tmp", nullptr, nullptr, 0), VANTAQ_FS_BAD_CALL);
    EXPECT_EQ(open("/tmp", &info, nullptr, 0), VANTAQ_FS_CANNOT_READ);
    ::dlclose(module);
}

// Scripts glued from random pieces: every one gets an answer, none crashes or overreads.
TEST_F(Scripts, RandomScriptsGetAnAnswer) {
    const char* pieces[] = {"AviSource(\"src.avi\")",
                            ".",
                            "Trim",
                            "(",
                            ")",
                            ",",
                            "\"",
                            "\\",
                            "\n",
                            "#",
                            "-",
                            "=",
                            "1",
                            "2.5",
                            "last",
                            "x",
                            " ",
                            "Crop",
                            "AssumeFPS",
                            "LanczosResize",
                            "return",
                            "0",
                            "-8",
                            "true",
                            "\r\n"};
    std::mt19937 random(7);
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        std::string script;
        int n = 1 + static_cast<int>(random() % 24);
        for (int k = 0; k < n; ++k) {
            script += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        }
        vantaq_fs_info info{};
        std::string error;
        int code = Evaluate(script, info, error, "random.avs");
        ASSERT_TRUE(code == VANTAQ_FS_OK || code == VANTAQ_FS_SCRIPT_ERROR ||
                    code == VANTAQ_FS_SOURCE_ERROR)
            << script;
        if (code == VANTAQ_FS_OK) {
            ++accepted;
            EXPECT_GT(info.width, 0u) << script;
            EXPECT_GT(info.rate, 0u) << script;
        } else {
            EXPECT_FALSE(error.empty()) << script;
        }
    }
    EXPECT_GT(accepted, 0);
}
