// vantaq-author on real jobs: the queue's streams made by the runner and encoder, then the disc
// authored by the program with ffmpeg, mplex, dvdauthor and xorriso, read back with lsdvd.
#include "ecl/ecl_writer.h"
#include "encoder_fixture.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "run/chapter_files.h"
#include "store/paths.h"
#include "support/media.h"
#include "support/test_support.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using encoder_test::kProgramDir;
using encoder_test::RunProgram;
using encoder_test::RunResult;

namespace {

class VantaqAuthor : public testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"mplex", "dvdauthor", "xorriso", "lsdvd"}) {
            if (!media::Run(std::string("command -v ") + tool + " >/dev/null")) {
                if (std::getenv("CI") && std::string(std::getenv("CI")) == "true") {
                    FAIL() << tool << " is missing (scripts/setup.sh installs it)";
                }
                GTEST_SKIP() << tool << " is not installed (scripts/setup.sh)";
            }
        }
        auto& s = m_Store.Store();
        s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 0);
        templates::InitTemplates(s);
        setenv("VANTAQ_STORE", m_Store.Path().c_str(), 1);
    }
    void TearDown() override { unsetenv("VANTAQ_STORE"); }

    // Stores the job at `position`, encodes it in one pass and marks it finished, with its
    // chapter file.
    std::string Queue(int position, const std::string& source, const std::string& rate, int frames,
                      const char* chapters) {
        auto& s = m_Store.Store();
        jobs::JobRecord job;
        job.name = std::filesystem::path(source).stem().string();
        job.input = source;
        job.templateKey = "1";
        job.method = 1;
        job.bitrateAvg = 4000;
        job.bitrateMax = 8000;
        job.qFactor = 40;
        job.bias = 30;
        job.passes = 1;
        job.quality = 16;
        job.aspectRatio = 2;
        job.endFrame = frames;
        job.chapters = chapters;
        EXPECT_TRUE(jobs::WriteJobRecord(s, position, job));
        const bool pal = rate == "25";
        ecl::EclState state;
        const std::string eclPath = ecl::WriteEcl(
            s, position, 5, env::Settings{},
            [&](const std::string&) {
                return ecl::SourceFacts{
                    true, 720, pal ? 576 : 480, pal ? 25u : 30000u, pal ? 1u : 1001u, frames};
            },
            state);
        RunResult run = RunProgram({kProgramDir + "/EclCCE", "-ecl", eclPath, "-batch"});
        EXPECT_EQ(run.status, 0) << run.output;
        run::WriteJobChapterFiles(state, m_Log);
        EXPECT_TRUE(jobs::SetJobString(s, position, jobs::kStatus, jobs::kStatusComplete));
        return state.m_OutputPath;
    }

    std::string Source(const char* name, const std::string& rate, const char* audio) {
        const std::string path = m_Dir.File(name);
        const std::string size = rate == "25" ? "720x576" : "720x480";
        std::string args =
            "-nostdin -v error -y -threads 1 -f lavfi -i testsrc2=size=" + size + ":rate=" + rate;
        if (*audio) {
            args += std::string(" -f lavfi -i sine=frequency=440:sample_rate=") + audio;
        }
        args += " -t 2 -c:v mpeg4 -q:v 4";
        if (*audio) {
            args += " -c:a pcm_s16le -ac 2";
        }
        EXPECT_TRUE(media::MakeOnce(args, path));
        return path;
    }

    RunResult Author(const std::vector<std::string>& extra) {
        std::vector<std::string> argv = {kProgramDir + "/vantaq-author"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return RunProgram(argv);
    }

    // What is left in the disc folder.
    std::vector<std::string> Left(const std::string& dir) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    testing_support::TempStore m_Store;
    testing_support::TempDir m_Dir;
    testing_support::LogLines m_Lines;
    logging::Log m_Log{m_Lines, ""};
};

// The job's own audio file goes on the disc only at 48 kHz; else the source's audio is encoded.
TEST_F(VantaqAuthor, NtscJobsMakeADiscAndImageInQueueOrder) {
    const std::string tone =
        Queue(0, Source("Tone.avi", "30000/1001", "44100"), "30000/1001", 60, "");
    Queue(1, Source("Silent.avi", "30000/1001", ""), "30000/1001", 45, "0,15,30");
    const std::string own = Queue(2, Source("Own.avi", "30000/1001", ""), "30000/1001", 30, "");
    const std::string mp2 = "-nostdin -v error -y -f lavfi -i sine=sample_rate=";
    ASSERT_TRUE(media::MakeOnce(mp2 + "44100 -t 2 -c:a mp2 -f mp2",
                                tone.substr(0, tone.size() - 4) + ".mpa"));
    ASSERT_TRUE(media::MakeOnce(mp2 + "48000 -t 1 -c:a mp2 -f mp2",
                                own.substr(0, own.size() - 4) + ".mpa"));
    const std::string disc = m_Dir.File("disc");
    const std::string iso = m_Dir.File("disc.iso");
    RunResult made = Author({"--iso", iso, "--title", "Three jobs", disc});
    ASSERT_EQ(made.status, 0) << made.output;
    EXPECT_NE(made.output.find("the source has no audio, the title has none"), std::string::npos)
        << made.output;

    RunResult dvd = RunProgram({"lsdvd", "-x", "-Oy", disc});
    ASSERT_EQ(dvd.status, 0) << dvd.output;
    // Title 1: 60 frames (2.002 s), one chapter, the source's audio as 48 kHz AC-3; title 2:
    // 45 frames, three chapters, no audio; title 3: the job's own MPEG audio.
    const std::string& o = dvd.output;
    const size_t second = o.find("\n      'ix' : 2");
    const size_t third = o.find("\n      'ix' : 3");
    ASSERT_NE(third, std::string::npos) << o;
    ASSERT_LT(second, third) << o;
    const std::string one = o.substr(0, second);
    const std::string two = o.substr(second, third - second);
    const std::string three = o.substr(third);
    EXPECT_NE(one.find("'length' : 2.00"), std::string::npos) << one;
    EXPECT_NE(one.find("'frequency' : 48000"), std::string::npos) << one;
    EXPECT_NE(one.find("'format' : 'ac3'"), std::string::npos) << one;
    EXPECT_NE(two.find("'length' : 1.50"), std::string::npos) << two;
    EXPECT_EQ(two.find("'frequency'"), std::string::npos) << two;
    EXPECT_NE(three.find("'format' : 'mpeg1'"), std::string::npos) << three;
    EXPECT_NE(three.find("'frequency' : 48000"), std::string::npos) << three;
    auto chapterCount = [](const std::string& text) {
        size_t n = 0;
        for (size_t at = text.find("'startcell'"); at != text.npos;
             at = text.find("'startcell'", at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(chapterCount(one), 1u) << one;
    EXPECT_EQ(chapterCount(two), 3u) << two;

    // The title menu: a button per title, its highlight a subpicture of the menu's video.
    EXPECT_NE(testing_support::ReadFile(disc + "/vantaq-author.xml")
                  .find("<button name=\"b3\">jump title 3;</button>"),
              std::string::npos);
    EXPECT_NE(media::Output("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" +
                            disc + "/VIDEO_TS/VIDEO_TS.VOB'")
                  .find("dvd_subtitle"),
              std::string::npos);

    RunResult image = RunProgram({"xorriso", "-indev", iso, "-ls", "/VIDEO_TS"});
    EXPECT_EQ(image.status, 0) << image.output;
    EXPECT_NE(image.output.find("VTS_03_1.VOB"), std::string::npos) << image.output;
    EXPECT_FALSE(testing_support::FileExists(iso + ".part"));
    std::vector<std::string> left = Left(disc);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"VIDEO_TS", "vantaq-author.xml"}));

    // Once made, the folder is not written over.
    RunResult again = Author({disc});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("already holds a VIDEO_TS folder"), std::string::npos)
        << again.output;
}

TEST_F(VantaqAuthor, AJobThatCannotGoOnTheDiscNamesItselfAndLeavesNothing) {
    Queue(0, Source("Ntsc.avi", "30000/1001", ""), "30000/1001", 30, "");
    const std::string pal = Queue(1, Source("Pal.avi", "25", ""), "25", 25, "");
    const std::string disc = m_Dir.File("disc");
    RunResult mixed = Author({"--iso", m_Dir.File("x.iso"), disc});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_NE(mixed.output.find("job 2 \"Pal\" is PAL but job 1 \"Ntsc\" is NTSC"),
              std::string::npos)
        << mixed.output;
    EXPECT_FALSE(std::filesystem::exists(disc));
    EXPECT_FALSE(testing_support::FileExists(m_Dir.File("x.iso")));

    // Each system alone goes on a disc; without a menu the disc plays its titles in turn.
    const std::string plain = m_Dir.File("plain");
    RunResult made = Author({"--no-menu", "--jobs", "2", plain});
    EXPECT_EQ(made.status, 0) << made.output;
    EXPECT_NE(testing_support::ReadFile(plain + "/vantaq-author.xml")
                  .find("<fpc>g0 = 1; jump title 1;</fpc>"),
              std::string::npos);
    EXPECT_TRUE(testing_support::FileExists(plain + "/VIDEO_TS/VTS_01_1.VOB"));

    std::filesystem::remove(pal);
    RunResult missing = Author({"--jobs", "2", disc});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("job 2 \"Pal\": its stream " + pal + " is missing"),
              std::string::npos)
        << missing.output;
    EXPECT_FALSE(std::filesystem::exists(disc));

    EXPECT_EQ(Author({"--jobs", "3", disc}).status, 2);

    // Ended while a program runs: the program ends too and nothing is left.
    const std::string fakes = m_Dir.File("fakes");
    const std::string mark = m_Dir.File("mplex-started");
    std::filesystem::create_directory(fakes);
    {
        std::ofstream script(fakes + "/mplex");
        script << "#!/bin/sh\ntouch '" << mark << "'\nexec sleep 600\n";
    }
    std::filesystem::permissions(fakes + "/mplex", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH");
    const std::string fakePath = fakes + ":" + path;
    const std::string program = kProgramDir + "/vantaq-author";
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("PATH", fakePath.c_str(), 1);
        execl(program.c_str(), program.c_str(), "--jobs", "1", disc.c_str(), nullptr);
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 6000 && !testing_support::FileExists(mark); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(testing_support::FileExists(mark));
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_FALSE(std::filesystem::exists(disc));

    // A missing program is named with its package.
    const std::string bin = m_Dir.File("bin");
    std::filesystem::create_directory(bin);
    for (const char* tool : {"ffmpeg", "ffprobe", "mplex"}) {
        const std::string found = media::Output(std::string("command -v ") + tool);
        std::filesystem::create_symlink(found.substr(0, found.find('\n')), bin + "/" + tool);
    }
    setenv("PATH", bin.c_str(), 1);
    RunResult noTool = Author({"--jobs", "1", disc});
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(noTool.status, 1);
    EXPECT_NE(noTool.output.find("dvdauthor is not installed: install the package dvdauthor"),
              std::string::npos)
        << noTool.output;
    EXPECT_FALSE(std::filesystem::exists(disc));
}

} // namespace
