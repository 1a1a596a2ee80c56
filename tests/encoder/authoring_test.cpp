// The queue's streams through the real DVD authoring chain: stored jobs written as control
// lists, encoded by the runner and encoder, (for film) the 2:3 pass, the chapter file, then
// mplex -f 8 and dvdauthor. Neither may warn or fail, and the disc's chapters must be where
// the chapter file says.
#include "ecl/ecl_rewrite.h"
#include "ecl/ecl_writer.h"
#include "encoder_fixture.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "pulldown/pulldown.h"
#include "pulldown/pulldown_worker.h"
#include "pulldown/stream_report.h"
#include "run/chapter_files.h"
#include "source/avi_source.h"
#include "source/dvd_fit.h"
#include "store/paths.h"
#include "support/media.h"
#include "support/test_support.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

using encoder_test::kProgramDir;
using encoder_test::RunProgram;
using encoder_test::RunResult;
using testing_support::FileExists;
using testing_support::ReadFile;

namespace {

bool HaveAuthoringTools() {
    return media::Run("command -v mplex >/dev/null && command -v dvdauthor >/dev/null");
}

// Seconds of "H:MM:SS.mmm".
double Seconds(const std::string& time) {
    int h = 0;
    int m = 0;
    double s = 0;
    std::sscanf(time.c_str(), "%d:%d:%lf", &h, &m, &s);
    return h * 3600 + m * 60 + s;
}

std::vector<double> FileTimes(const std::string& path) {
    std::string text = ReadFile(path);
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    std::vector<double> times;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        times.push_back(Seconds(item));
    }
    return times;
}

// The chapter times dvdauthor reports ("CHAPTERS: VTS[1/1] 1.001").
std::vector<double> DiscTimes(const std::string& output) {
    std::vector<double> times;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("CHAPTERS:", 0) == 0) {
            times.push_back(std::atof(line.substr(line.rfind(' ') + 1).c_str()));
        }
    }
    return times;
}

class Authoring : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveAuthoringTools()) {
            GTEST_SKIP() << "mplex and dvdauthor are not installed (scripts/setup.sh)";
        }
        auto& s = m_Store.Store();
        s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 0);
        templates::InitTemplates(s);
    }

    // Writes the job's list as the run does and encodes it (both parts for method 0).
    ecl::EclState Encode(const jobs::JobRecord& job, const ecl::SourceFacts& facts) {
        auto& s = m_Store.Store();
        EXPECT_TRUE(jobs::WriteJobRecord(s, 0, job));
        ecl::EclState state;
        env::Settings settings;
        const std::string eclPath = ecl::WriteEcl(
            s, 0, 5, settings, [&](const std::string&) { return facts; }, state);
        RunResult run = RunProgram({kProgramDir + "/EclCCE", "-ecl", eclPath, "-batch"});
        EXPECT_EQ(run.status, 0) << run.output;
        if (job.method == 0) {
            EXPECT_TRUE(ecl::RewriteEclForPart2(eclPath, false));
            run = RunProgram({kProgramDir + "/EclCCE", "-ecl", eclPath, "-batch"});
            EXPECT_EQ(run.status, 0) << run.output;
        }
        m_EncoderOutput = run.output;
        return state;
    }

    // Authors `stream` with its chapter file; returns dvdauthor's output.
    std::string Author(const std::string& stream, const char* format) {
        setenv("VIDEO_FORMAT", format, 1);
        const std::string mpg = m_Dir.File("title.mpg");
        RunResult mux = RunProgram({"mplex", "-f", "8", "-o", mpg, stream});
        EXPECT_EQ(mux.status, 0) << mux.output;
        EXPECT_EQ(mux.output.find("WARN"), std::string::npos) << mux.output;
        EXPECT_EQ(mux.output.find("ERR"), std::string::npos) << mux.output;
        const std::string chapters = ReadFile(stream + ".chapters.txt");
        RunResult title = RunProgram({"dvdauthor", "-o", m_Dir.File("dvd"), "-t", "-c",
                                      chapters.substr(0, chapters.find('\n')), mpg});
        RunResult toc = RunProgram({"dvdauthor", "-o", m_Dir.File("dvd"), "-T"});
        unsetenv("VIDEO_FORMAT");
        for (const RunResult* r : {&title, &toc}) {
            EXPECT_EQ(r->status, 0) << r->output;
            EXPECT_EQ(r->output.find("WARN"), std::string::npos) << r->output;
            EXPECT_EQ(r->output.find("ERR"), std::string::npos) << r->output;
        }
        EXPECT_TRUE(FileExists(m_Dir.File("dvd/VIDEO_TS/VTS_01_1.VOB")));
        return title.output;
    }

    void ExpectChaptersWhereTheFileSays(const std::string& stream, const std::string& disc,
                                        size_t count) {
        const std::vector<double> want = FileTimes(stream + ".chapters.txt");
        const std::vector<double> have = DiscTimes(disc);
        ASSERT_EQ(want.size(), count) << ReadFile(stream + ".chapters.txt");
        ASSERT_EQ(have.size(), want.size()) << disc;
        for (size_t i = 0; i < want.size(); ++i) {
            EXPECT_NEAR(have[i], want[i], 0.0015) << "chapter " << i << "\n" << disc;
        }
    }

    testing_support::TempStore m_Store;
    testing_support::TempDir m_Dir;
    testing_support::LogLines m_Lines;
    logging::Log m_Log{m_Lines, ""};
    std::string m_EncoderOutput;
};

jobs::JobRecord Job(const std::string& input, int method, const char* templateKey) {
    jobs::JobRecord job;
    job.name = "Authoring";
    job.input = input;
    job.templateKey = templateKey;
    job.method = method;
    job.bitrateMax = 8000;
    job.qFactor = 40;
    job.bias = 30;
    job.passes = 2;
    job.quality = 16;
    job.progressive = 1;
    job.topFieldFirst = 1;
    return job;
}

} // namespace

TEST_F(Authoring, FilmJobWithTheTwoThreePassAndChapters) {
    const std::string source = m_Dir.File("Film.avi");
    ASSERT_TRUE(media::MakeAvi(source, "720x480", "24000/1001", 3, "mpeg4", false));
    jobs::JobRecord job = Job(source, 1, "1"); // Multipass VBR
    job.aspectRatio = 3;
    job.bitrateAvg = 5000;
    job.telecide = 1;
    job.endFrame = 72;
    job.chapters = "0,24,48";
    ecl::EclState state = Encode(job, ecl::SourceFacts{true, 720, 480, 24000, 1001, 72});
    ASSERT_TRUE(FileExists(state.m_OutputPath)) << m_EncoderOutput;

    // The window's pass: a whole result under the final name.
    const std::string film = state.m_OutputPath + ".m2v";
    pulldown::PulldownCallbacks callbacks;
    pulldown::PulldownProcessor pass(
        state.m_OutputPath, pulldown::PassTargetOf(state.m_OutputPath, film),
        pulldown::WindowRunOptions(),
        pulldown::PublishWholeTarget(state.m_OutputPath, film, std::move(callbacks)));
    ASSERT_EQ(pass.Run(), 0);
    run::WriteJobChapterFiles(state, m_Log);
    // Film frames 24 and 48 at 23.976: 1.001 s and 2.002 s, before and after the 2:3 pass.
    EXPECT_EQ(ReadFile(film + ".chapters.txt"), "0:00:00.000,0:00:01.001,0:00:02.002\n");
    EXPECT_EQ(ReadFile(state.m_OutputPath + ".chapters.txt"), ReadFile(film + ".chapters.txt"));

    const std::string disc = Author(film, "NTSC");
    ExpectChaptersWhereTheFileSays(film, disc, 3);
}

TEST_F(Authoring, FilmJobsWithFieldFlagsOrAConstantRateStayLegalThroughThePass) {
    const std::string source = m_Dir.File("Film.avi");
    ASSERT_TRUE(media::MakeAvi(source, "720x480", "24000/1001", 2, "mpeg4", false));
    struct Case {
        const char* name;
        const char* templateKey;
        int progressive;
    };
    for (const Case& c : {Case{"fields", "1", 0}, Case{"constant rate", "3", 1}}) {
        SCOPED_TRACE(c.name);
        jobs::JobRecord job = Job(source, c.templateKey[0] - '0', c.templateKey);
        job.aspectRatio = 2;
        job.bitrateAvg = 5000;
        job.progressive = c.progressive;
        job.telecide = 1;
        job.endFrame = 48;
        ecl::EclState state = Encode(job, ecl::SourceFacts{true, 720, 480, 24000, 1001, 48});
        ASSERT_TRUE(FileExists(state.m_OutputPath)) << m_EncoderOutput;
        const std::string film = state.m_OutputPath + ".m2v";
        pulldown::PulldownProcessor pass(state.m_OutputPath, film, pulldown::WindowRunOptions(),
                                         {});
        ASSERT_EQ(pass.Run(), 0);
        pulldown::StreamReport report;
        std::string error;
        ASSERT_TRUE(pulldown::ReportStreamFile(film, report, error)) << error;
        EXPECT_EQ(report.illegalFieldFlags, 0u);
        EXPECT_EQ(report.overflows, 0u);
        EXPECT_TRUE(report.dvd.compliant) << testing::PrintToString(report.dvd.reasons);
        Author(film, "NTSC");
        std::filesystem::remove_all(m_Dir.File("dvd"));
    }
}

TEST_F(Authoring, ASourceAtARateNoMpegStreamCarriesBecomesAPalStreamOfItsLength) {
    const std::string source = m_Dir.File("Webcam.mp4");
    ASSERT_TRUE(media::Run("ffmpeg -nostdin -v error -y -f lavfi -i "
                           "testsrc2=size=720x576:rate=15 -t 2 -c:v libx264 -pix_fmt yuv420p '" +
                           source + "'"));
    const ecl::SourceFacts facts = ecl::ReadSourceFacts(source, kProgramDir);
    ASSERT_TRUE(facts.opened);
    EXPECT_EQ(facts.rate, 25u);
    EXPECT_EQ(facts.frames, 50);
    jobs::JobRecord job = Job(source, 1, "1");
    job.aspectRatio = 2;
    job.bitrateAvg = 4000;
    job.endFrame = facts.frames;
    ecl::EclState state = Encode(job, facts);
    ASSERT_TRUE(FileExists(state.m_OutputPath)) << m_EncoderOutput;
    EXPECT_NE(m_EncoderOutput.find("which no MPEG-2 stream carries"), std::string::npos)
        << m_EncoderOutput;
    pulldown::StreamReport report;
    std::string error;
    ASSERT_TRUE(pulldown::ReportStreamFile(state.m_OutputPath, report, error)) << error;
    EXPECT_TRUE(report.dvd.compliant) << testing::PrintToString(report.dvd.reasons);
    EXPECT_EQ(report.dvd.system, "PAL");
    // The source's two seconds, within one frame.
    EXPECT_NEAR(report.durationSeconds, 2.0, 1.0 / 25);
    Author(state.m_OutputPath, "PAL");
}

TEST_F(Authoring, PalTwoPartJobWithAMinimumRate) {
    const std::string source = m_Dir.File("Pal.avi");
    ASSERT_TRUE(media::MakeAvi(source, "720x576", "25", 2, "mpeg4", false));
    jobs::JobRecord job = Job(source, 0, "0"); // the two-part method
    job.aspectRatio = 2;
    job.bitrateMin = 2000;
    job.bitrateAvg = 4000;
    job.progressive = 0;
    job.topFieldFirst = 1;
    job.endFrame = 50;
    job.chapters = "0,25";
    ecl::EclState state = Encode(job, ecl::SourceFacts{true, 720, 576, 25, 1, 50});
    ASSERT_TRUE(FileExists(state.m_OutputPath)) << m_EncoderOutput;
    run::WriteJobChapterFiles(state, m_Log);
    EXPECT_EQ(ReadFile(state.m_OutputPath + ".chapters.txt"), "0:00:00.000,0:00:01.000\n");

    const std::string disc = Author(state.m_OutputPath, "PAL");
    ExpectChaptersWhereTheFileSays(state.m_OutputPath, disc, 2);
    // The minimum reached the stream's passes: the mean keeps it.
    const double seconds = 2.0;
    EXPECT_GE(ReadFile(state.m_OutputPath).size() * 8 / seconds, 2000 * 1000.0);
}

// Sources a DVD cannot carry as they are, fitted as a new job of theirs is by default (or to the
// other standard where the job asks): each becomes a DVD frame of the standard's rate, its
// display aspect kept by borders, as long as its source.
TEST_F(Authoring, FittedSourcesBecomeDvdFramesOfTheirLength) {
    struct Case {
        const char* name;
        const char* filter; // testsrc2 size and rate, then any SAR / interlacing
        double seconds;
        int fit; // 0: the default the job gets
        int width, height, aspect;
        int activeHeight; // the rows the picture fills between black borders
        double rate;
        bool interlaced;
    };
    const Case kCases[] = {
        {"Phone.mp4", "testsrc2=size=640x480:rate=30000/1001", 2, 0, 720, 480, 2, 480, 29.97,
         false},
        {"Wide.mp4", "testsrc2=size=1280x720:rate=30000/1001", 2, 0, 720, 480, 3, 480, 29.97,
         false},
        {"Scope.mp4", "testsrc2=size=1280x720:rate=25,setsar=4/3", 2, 0, 720, 576, 3, 432, 25,
         false},
        {"Pal.mp4", "testsrc2=size=768x576:rate=50,interlace", 2, 0, 720, 576, 2, 576, 25, true},
        {"ToNtsc.mp4", "testsrc2=size=640x360:rate=25", 2, 1, 720, 480, 3, 480, 29.97, false},
        {"Film.mp4", "testsrc2=size=720x528:rate=24000/1001", 2, 0, 720, 480, 2, 468, 23.976,
         false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string source = m_Dir.File(c.name);
        ASSERT_TRUE(media::MakeOnce(
            std::string("-v error -f lavfi -i ") + c.filter + " -t " + std::to_string(c.seconds) +
                " -c:v libx264 -pix_fmt yuv420p" + (c.interlaced ? " -flags +ildct+ilme" : ""),
            source));
        const ecl::SourceFacts facts = ecl::ReadSourceFacts(source, kProgramDir);
        ASSERT_TRUE(facts.opened);
        const int rate = source::RateInThousandths(facts.rate, facts.scale);
        const int fit =
            c.fit != 0 ? c.fit : source::DefaultPictureFit(facts.width, facts.height, rate);
        ASSERT_NE(fit, source::kFitKeep);
        jobs::JobRecord job = Job(source, 1, "1");
        job.aspectRatio = 2;
        job.bitrateAvg = 4000;
        job.progressive = c.interlaced ? 0 : 1;
        job.endFrame = facts.frames;
        // Film stays film and gets the 2:3 pass, as a job of it does.
        const bool film = c.rate < 24;
        job.telecide = film ? 1 : 0;
        ASSERT_TRUE(jobs::WriteJobRecord(m_Store.Store(), 0, job));
        ASSERT_TRUE(jobs::SetJobNumber(m_Store.Store(), 0, jobs::kPictureFit, fit));
        ecl::EclState state = Encode(job, facts);
        ASSERT_TRUE(FileExists(state.m_OutputPath)) << m_EncoderOutput;
        std::string stream = state.m_OutputPath;
        if (film) {
            stream += ".m2v";
            pulldown::PulldownProcessor pass(
                state.m_OutputPath, pulldown::PassTargetOf(state.m_OutputPath, stream),
                pulldown::WindowRunOptions(),
                pulldown::PublishWholeTarget(state.m_OutputPath, stream, {}));
            ASSERT_EQ(pass.Run(), 0);
            run::WriteJobChapterFiles(state, m_Log);
        }
        pulldown::StreamReport report;
        std::string error;
        ASSERT_TRUE(pulldown::ReportStreamFile(stream, report, error)) << error;
        EXPECT_TRUE(report.dvd.compliant) << testing::PrintToString(report.dvd.reasons);
        EXPECT_EQ(report.sequence.width, c.width);
        EXPECT_EQ(report.sequence.height, c.height);
        EXPECT_EQ(report.sequence.aspectCode, c.aspect);
        // The 2:3 pass shows film at 29.97.
        EXPECT_NEAR(report.sequence.frameRate, film ? 29.97 : c.rate, 0.01);
        EXPECT_NEAR(report.durationSeconds, c.seconds, 1.0 / c.rate);
        // Borders, not a stretched picture: the rows between them are the fitted height.
        const std::string crop =
            media::Output("ffmpeg -v info -nostdin -i '" + state.m_OutputPath +
                          "' -vf cropdetect=limit=16:round=2:reset=1 -frames:v 5 -f null - 2>&1 | "
                          "grep -o 'h:[0-9]*' | tail -1");
        EXPECT_EQ(crop, "h:" + std::to_string(c.activeHeight) + "\n");
        Author(stream, c.height == 576 ? "PAL" : "NTSC");
        std::filesystem::remove_all(m_Dir.File("dvd"));
    }
}

// A frame in the middle of an MP4 that does not decode: the encode reaches the source's real
// end one frame short of what the container lists, and the stream is whole and legal.
TEST_F(Authoring, AnMp4WithAFrameThatDoesNotDecodeEndsCompleteAtItsRealEnd) {
    const std::string source = m_Dir.File("Damaged.mp4");
    ASSERT_TRUE(media::MakeOnce("-v error -f lavfi -i testsrc2=size=640x480:rate=30000/1001 -t 2 "
                                "-c:v mjpeg -q:v 3",
                                source));
    // Frame 30's data zeroed: "size,pos" of its packet.
    const std::string packet = media::Output(
        "ffprobe -v error -select_streams v:0 -show_entries packet=size,pos -of csv=p=0 '" +
        source + "' | sed -n 30p");
    const size_t comma = packet.find(',');
    ASSERT_NE(comma, std::string::npos) << packet;
    ASSERT_TRUE(media::Run("dd if=/dev/zero of='" + source +
                           "' bs=1 seek=" + std::to_string(std::atoll(packet.c_str() + comma + 1)) +
                           " count=" + std::to_string(std::atoll(packet.c_str())) +
                           " conv=notrunc status=none"));
    const ecl::SourceFacts facts = ecl::ReadSourceFacts(source, kProgramDir);
    ASSERT_TRUE(facts.opened);
    ASSERT_EQ(facts.frames, 60);
    for (int method : {1, 0}) { // one pass (multipass template), and the two-part method
        SCOPED_TRACE(method);
        jobs::JobRecord job = Job(source, method, method == 0 ? "0" : "1");
        job.aspectRatio = 2;
        job.bitrateAvg = 4000;
        job.endFrame = facts.frames;
        ASSERT_TRUE(jobs::WriteJobRecord(m_Store.Store(), 0, job));
        ASSERT_TRUE(jobs::SetJobNumber(m_Store.Store(), 0, jobs::kPictureFit, source::kFitNtsc));
        ecl::EclState state = Encode(job, facts);
        ASSERT_TRUE(FileExists(state.m_OutputPath)) << m_EncoderOutput;
        EXPECT_NE(m_EncoderOutput.find("1 of the 60 frames the source's container lists do not "
                                       "decode"),
                  std::string::npos)
            << m_EncoderOutput;
        pulldown::StreamReport report;
        std::string error;
        ASSERT_TRUE(pulldown::ReportStreamFile(state.m_OutputPath, report, error)) << error;
        EXPECT_TRUE(report.dvd.compliant) << testing::PrintToString(report.dvd.reasons);
        EXPECT_NEAR(report.durationSeconds, 60 * 1.001 / 30, 1.001 / 30);
        Author(state.m_OutputPath, "NTSC");
        std::filesystem::remove_all(m_Dir.File("dvd"));
        std::filesystem::remove(state.m_OutputPath);
    }
}
