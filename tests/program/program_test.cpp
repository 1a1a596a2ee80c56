// The real vantaq program in a program folder of its own: fatal start-up problems end it with
// status 27 after their box, and an unattended queue (-start -exit) runs to its end.
#include "jobs/job_store.h"
#include "platform/instance_lock.h"
#include "store/paths.h"
#include "support/media.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const std::string kProgramDir = VANTAQ_PROGRAM_DIR;
const std::string kTestBinDir = VANTAQ_TEST_BIN_DIR;

// `text` in single quotes for the shell.
std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

struct Outcome {
    int status = -1;
    std::string stderrText;
};

class ProgramRun : public testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(kProgramDir + "/vantaq")) {
            GTEST_SKIP() << "the program is not built (no GUI in this build)";
        }
        for (const char* name : {"vantaq", "EclCCE", "vantaq.html"}) {
            fs::copy_file(kProgramDir + "/" + name, m_Dir.File(name));
        }
        fs::create_directories(m_Dir.File("system"));
        fs::copy_file(kProgramDir + "/system/libavisynth.so", m_Dir.File("system/libavisynth.so"));
        UseEncoder(kProgramDir + "/cce");
    }

    void UseEncoder(const std::string& path) {
        WriteFile(m_Dir.File("EclCCE.ini"), "[EclCCE]\r\nCCE=" + path + "\r\n");
    }

    // Runs the program in `programDir` (the fixture's folder by default) from the folder `cwd`
    // (the program's folder by default) with `arguments` as a shell would pass them. A program
    // that does not end within two minutes is killed (status 124).
    Outcome Start(const std::string& arguments, std::string programDir = "", std::string cwd = "",
                  const std::string& environment = "") {
        programDir = programDir.empty() ? m_Dir.Path() : programDir;
        cwd = cwd.empty() ? programDir : cwd;
        std::string command = "cd " + Quoted(cwd) + " && " + environment +
                              " VANTAQ_STORE=" + Quoted(m_Dir.File("store.sqlite")) +
                              " QT_QPA_PLATFORM=offscreen timeout 120 " +
                              Quoted(programDir + "/vantaq") + " " + arguments + " 2> " +
                              Quoted(m_Dir.File("stderr.txt"));
        Outcome run;
        int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.stderrText = ReadFile(m_Dir.File("stderr.txt"));
        return run;
    }

    // Starts the program in the background, without waiting; returns its process id.
    pid_t StartInBackground(const std::string& arguments, const std::string& environment = "") {
        std::string command = "cd '" + m_Dir.Path() + "'; " + environment + " VANTAQ_STORE='" +
                              m_Dir.File("store.sqlite") + "' QT_QPA_PLATFORM=offscreen ./vantaq " +
                              arguments + " >first.txt 2>&1 </dev/null & echo $! >first.pid";
        // The shell's "$!" is the program itself: `exec` keeps it so with the environment.
        if (std::system(command.c_str()) != 0) {
            return -1;
        }
        return static_cast<pid_t>(std::stol(ReadFile(m_Dir.File("first.pid"))));
    }

    void AddStoredJobs(int count) {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 1);
        for (int i = 0; i < count; ++i) {
            jobs::JobRecord r;
            r.name = "job" + std::to_string(i);
            r.status = jobs::kStatusComplete;
            ASSERT_TRUE(jobs::WriteJobRecord(s, i, r));
        }
    }

    int StoredJobs() {
        store::KeyStore s;
        return s.Open(m_Dir.File("store.sqlite")) ? jobs::JobCount(s) : -1;
    }

    // A job of two frames of `source` with the CBR template.
    static jobs::JobRecord SmallJob(const std::string& name, const std::string& source) {
        jobs::JobRecord r;
        r.name = name;
        r.input = source;
        r.templateKey = "3";
        r.method = 3;
        r.aspectRatio = 2;
        r.bitrateMax = 4000;
        r.bitrateAvg = 1500;
        r.qFactor = 40;
        r.bias = 60;
        r.passes = 1;
        r.quality = 16;
        r.endFrame = 50;
        r.progressive = 1;
        return r;
    }

    std::string Status(int job) {
        store::KeyStore s;
        EXPECT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        std::string status;
        jobs::GetJobString(s, job, jobs::kStatus, 255, status);
        return status;
    }

    testing_support::TempDir m_Dir;
};

} // namespace

TEST_F(ProgramRun, UnsupportedEncoderEndsWithStatus27) {
    if (!FileExists(kTestBinDir + "/cce-unversioned")) {
        GTEST_SKIP() << "no encoder copies in this build";
    }
    UseEncoder(kTestBinDir + "/cce-unversioned");
    Outcome run = Start("");
    EXPECT_EQ(run.status, 27);
    EXPECT_NE(run.stderrText.find("CCE Executable associated with EclCCE is not supported"),
              std::string::npos)
        << run.stderrText;
}

TEST_F(ProgramRun, MissingEncoderAndMissingFrameServerEndWithStatus27) {
    UseEncoder(m_Dir.File("gone"));
    Outcome run = Start("");
    EXPECT_EQ(run.status, 27);
    EXPECT_NE(run.stderrText.find("could not be found"), std::string::npos) << run.stderrText;

    UseEncoder(kProgramDir + "/cce");
    fs::remove(m_Dir.File("system/libavisynth.so"));
    run = Start("");
    EXPECT_EQ(run.status, 27);
    EXPECT_NE(run.stderrText.find("Avisynth.dll could not be found."), std::string::npos);
}

TEST_F(ProgramRun, UnattendedQueueRunsToItsEnd) {
    std::string source = m_Dir.File("clip.avi");
    ASSERT_TRUE(media::MakeAvi(source, "176x144", "25", 2, "mjpeg", false));
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 1);
        ASSERT_TRUE(jobs::WriteJobRecord(s, 0, SmallJob("clip", source)));
        // A job an older start finished, its run's marks emptied rather than removed.
        jobs::JobRecord done = SmallJob("done", source);
        done.status = jobs::kStatusComplete;
        ASSERT_TRUE(jobs::WriteJobRecord(s, 1, done));
        ASSERT_TRUE(jobs::SetJobString(s, 1, "Run Key", ""));
        ASSERT_TRUE(jobs::SetJobString(s, 1, "Run Handle", ""));
    }
    Outcome run = Start("-start -minimize -exit");
    EXPECT_EQ(run.status, 0) << run.stderrText;
    EXPECT_EQ(Status(0), "Complete");
    {
        // No job holds a run's marks once the run is over, so a later start reads none.
        store::KeyStore s;
        ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        EXPECT_EQ(jobs::JobsHoldingValue(s, "Run Key", 2), std::vector<int>{});
        EXPECT_EQ(jobs::JobsHoldingValue(s, "Run Handle", 2), std::vector<int>{});
    }
    EXPECT_TRUE(FileExists(m_Dir.File("clip.mpv")));
    std::string log = ReadFile(m_Dir.File("vantaq.log"));
    EXPECT_NE(log.find("  Starting Job: clip\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  No more jobs!!!\r\n"), std::string::npos) << log;
}

// One program per store: a second start hands its keywords to the running program, which acts
// on them (relative paths from the second start's folder); when nobody answers for the store's
// lock it refuses, on standard error without a display, and writes nothing.
TEST_F(ProgramRun, ASecondStartHandsOverItsKeywordsOrRefuses) {
    AddStoredJobs(2);
    {
        platform::InstanceLock other;
        std::string error;
        ASSERT_EQ(other.Take(m_Dir.File("store.sqlite"), error), platform::InstanceLock::kTaken);
        std::string storeBefore = ReadFile(m_Dir.File("store.sqlite"));
        Outcome refused = Start("-clear");
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.stderrText.find("Vantaq is already running on the settings store"),
                  std::string::npos)
            << refused.stderrText;
        EXPECT_EQ(ReadFile(m_Dir.File("store.sqlite")), storeBefore);
        EXPECT_FALSE(FileExists(m_Dir.File("store.sqlite-wal")));
        EXPECT_FALSE(FileExists(m_Dir.File("vantaq.log")));
        EXPECT_EQ(StoredJobs(), 2);
    }

    pid_t first = StartInBackground("");
    ASSERT_GT(first, 0);
    // It holds the store once its log says it has started.
    for (int i = 0;
         i < 1200 && ReadFile(m_Dir.File("vantaq.log")).find("Started!!!") == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(ReadFile(m_Dir.File("vantaq.log")).find("Started!!!"), std::string::npos)
        << ReadFile(m_Dir.File("first.txt"));
    fs::create_directories(m_Dir.File("lists"));
    std::string command = "cd '" + m_Dir.File("lists") + "' && VANTAQ_STORE='" +
                          m_Dir.File("store.sqlite") +
                          "' QT_QPA_PLATFORM=offscreen timeout 120 ../vantaq -clear "
                          "-source:none.txt 2> ../second.txt";
    int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << ReadFile(m_Dir.File("second.txt"));
    // The second start ends once the first program has taken its keywords; the first acts
    // on them right after.
    for (int i = 0; i < 1200 && StoredJobs() != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(StoredJobs(), 0);
    for (int i = 0; i < 1200 && ReadFile(m_Dir.File("vantaq.log")).find("Processing source file") ==
                                    std::string::npos;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::string log = ReadFile(m_Dir.File("vantaq.log"));
    EXPECT_NE(log.find("Job List cleared!"), std::string::npos) << log;
    EXPECT_NE(log.find("Processing source file: " + m_Dir.File("lists") + "/none.txt"),
              std::string::npos)
        << log;

    // Handed "-start -exit" on a queue with nothing pending end the first program.
    Outcome last = Start("-start -exit");
    EXPECT_EQ(last.status, 0) << last.stderrText;
    bool ended = false;
    for (int i = 0; i < 1200 && !ended; ++i) {
        ended = kill(first, 0) != 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(ended);
    if (!ended) {
        kill(first, SIGTERM);
    }
}

TEST_F(ProgramRun, LongSourcePathEncodesAndNothingIsWrittenIntoTheCurrentFolder) {
    std::string folder = m_Dir.Path();
    while (folder.size() < 600) {
        folder += "/" + std::string(120, 'p');
    }
    fs::create_directories(folder);
    std::string source = folder + "/clip.avi";
    ASSERT_TRUE(media::MakeAvi(source, "176x144", "25", 2, "mjpeg", false));
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        ASSERT_TRUE(jobs::WriteJobRecord(s, 0, SmallJob("long", source)));
    }
    testing_support::TempDir elsewhere;
    Outcome run = Start("-start -exit", "", elsewhere.Path());
    EXPECT_EQ(run.status, 0) << run.stderrText;
    EXPECT_EQ(Status(0), "Complete");
    EXPECT_TRUE(FileExists(folder + "/clip.ecl"));
    EXPECT_TRUE(FileExists(folder + "/clip.mpv"));
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
}

TEST_F(ProgramRun, KeywordsComeFromTheArgumentsAndAQuotedBlankValueArrivesWhole) {
    // A program folder whose name reads as a keyword, and a job that a "clear" would remove.
    std::string programDir = m_Dir.File("tools -clear -source:x");
    fs::create_directories(programDir + "/system");
    for (const char* name :
         {"vantaq", "EclCCE", "EclCCE.ini", "vantaq.html", "system/libavisynth.so"}) {
        fs::copy_file(m_Dir.File(name), programDir + "/" + name);
    }
    std::string source = m_Dir.File("clip.avi");
    ASSERT_TRUE(media::MakeAvi(source, "176x144", "25", 2, "mjpeg", false));
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        jobs::JobRecord kept = SmallJob("kept", source);
        kept.status = "Complete";
        ASSERT_TRUE(jobs::WriteJobRecord(s, 0, kept));
    }
    std::string list = m_Dir.File("my \"night\" list.txt");
    ASSERT_TRUE(WriteFile(list, source + ",1000,4000,1500,3,1\r\n"));
    Outcome run = Start(Quoted("-source:" + list) + " -start -exit", programDir);
    EXPECT_EQ(run.status, 0) << run.stderrText;
    EXPECT_EQ(Status(0), "Complete");
    EXPECT_EQ(Status(1), "Complete");
    store::KeyStore s;
    ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
    EXPECT_EQ(jobs::ReadJobNames(s).size(), 2u);
}

TEST_F(ProgramRun, JobListThatIsAFifoIsRefusedNotWaitedOn) {
    std::string fifo = m_Dir.File("list.txt");
    ASSERT_TRUE(testing_support::MakeFifo(fifo));
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 1);
    }
    // Killed after two minutes when it waits on the FIFO.
    Outcome run = Start("-source:" + fifo + " -start -exit");
    EXPECT_EQ(run.status, 0) << run.stderrText;
    std::string log = ReadFile(m_Dir.File("vantaq.log"));
    EXPECT_NE(log.find("  ERROR: The file (" + fifo + ") is not a regular file\r\n"),
              std::string::npos)
        << log;
}

// The program killed during an encode: the encode goes on, and the next start follows it to its
// end and finishes the job, never starting a second runner on it.
TEST_F(ProgramRun, KilledDuringAnEncodeIsFollowedByTheNextStartAndNeverEncodedTwice) {
    std::string source = m_Dir.File("long.avi");
    ASSERT_TRUE(media::MakeAvi(source, "176x144", "25", 6, "mjpeg", false));
    std::string paced = m_Dir.File("paced-ffmpeg");
    WriteFile(paced, "#!/bin/sh\nexec ffmpeg -re \"$@\"\n");
    fs::permissions(paced, fs::perms::owner_all);
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 1);
        jobs::JobRecord job = SmallJob("long", source);
        job.endFrame = 150;
        ASSERT_TRUE(jobs::WriteJobRecord(s, 0, job));
    }
    pid_t first = StartInBackground("-start", "CCE_FFMPEG=" + Quoted(paced));
    ASSERT_GT(first, 0);
    std::string handle;
    for (int i = 0; i < 1200 && handle.rfind("local ", 0) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        store::KeyStore s;
        if (s.Open(m_Dir.File("store.sqlite"))) {
            jobs::GetJobString(s, 0, "Run Handle", 255, handle);
        }
    }
    ASSERT_EQ(handle.rfind("local pid=", 0), 0u) << handle << ReadFile(m_Dir.File("first.txt"));
    pid_t runner = static_cast<pid_t>(std::stol(handle.substr(10)));
    ASSERT_EQ(kill(first, SIGKILL), 0);
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_EQ(kill(runner, 0), 0); // the encode outlives the program

    Outcome next = Start("-start -exit", "", "", "CCE_FFMPEG=" + Quoted(paced));
    EXPECT_EQ(next.status, 0) << next.stderrText;
    EXPECT_EQ(Status(0), "Complete");
    EXPECT_TRUE(FileExists(m_Dir.File("long.mpv")));
    std::string log = ReadFile(m_Dir.File("vantaq.log"));
    EXPECT_NE(log.find("Following Job: long"), std::string::npos) << log;
    // One runner only: the job started once.
    size_t starts = 0;
    for (size_t at = log.find("Starting Job: long"); at != std::string::npos;
         at = log.find("Starting Job: long", at + 1)) {
        ++starts;
    }
    EXPECT_EQ(starts, 1u) << log;
    // Gone, or a zombie nobody has reaped yet (the killed program was its parent).
    std::string stat = ReadFile("/proc/" + std::to_string(runner) + "/stat");
    size_t close = stat.rfind(')');
    EXPECT_TRUE(stat.empty() || (close != std::string::npos && stat[close + 2] == 'Z')) << stat;
}

namespace {

// Which of the source's `candidates` frames the stream's frame `frame` shows: the one the
// ffmpeg psnr filter finds nearest, the source scaled to the stream's size (a source that is
// no DVD picture is fitted to one).
int SourceFrameShown(const std::string& stream, int frame, const std::string& source,
                     const std::vector<int>& candidates) {
    int best = -1;
    double bestPsnr = -1;
    for (int k : candidates) {
        std::string out = media::Output(
            "ffmpeg -nostdin -v info -i '" + stream + "' -i '" + source +
            "' -filter_complex '[0]trim=start_frame=" + std::to_string(frame) +
            ":end_frame=" + std::to_string(frame + 1) +
            ",setpts=PTS-STARTPTS[a];[1]trim=start_frame=" + std::to_string(k) +
            ":end_frame=" + std::to_string(k + 1) +
            ",setpts=PTS-STARTPTS[b];[b][a]scale2ref[bs][as];[as][bs]psnr' -f null - 2>&1 | "
            "grep -o 'average:[0-9.inf]*'");
        double psnr = out.find("inf") != std::string::npos ? 1e9 : std::atof(out.c_str() + 8);
        if (out.size() > 8 && psnr > bestPsnr) {
            bestPsnr = psnr;
            best = k;
        }
    }
    return best;
}

} // namespace

// Video files of every container through the whole program: a job list names them (and a cut
// transport stream, a frame range and a text file named .mp4); every readable one becomes a
// job that ends "Complete" with as many frames as ffprobe counts in its source (a variable
// rate: as many as ffmpeg's fps filter makes at the nominal rate), its field order and
// display aspect kept; the text file adds no job and is named in the log.
TEST_F(ProgramRun, VideoFilesOfEveryContainerEncodeFrameExact) {
    if (!media::HaveFfmpeg()) {
        GTEST_SKIP() << "no ffmpeg";
    }
    std::string folder = m_Dir.File("media");
    fs::create_directories(folder);
    struct Job {
        std::string source;
        long long frames;
        std::string range; // fields 9 and 10 of the line
    };
    std::vector<Job> expected;
    for (const media::VideoSample& sample : media::VideoSamples()) {
        ASSERT_TRUE(media::MakeVideo(folder, sample)) << sample.file;
        std::string path = folder + "/" + sample.file;
        long long frames =
            sample.file == "variable.mp4"
                ? std::atoll(media::Output("ffmpeg -nostdin -v error -i '" + path +
                                           "' -vf fps=30 -f framecrc - | grep -c '^0,'")
                                 .c_str())
                : std::atoll(media::ProbeEntry(path, "nb_read_packets").c_str());
        expected.push_back({path, frames, "-1,0"});
    }
    std::string cut = folder + "/cut.ts";
    fs::copy_file(folder + "/interlaced.ts", cut);
    ASSERT_TRUE(media::CutFile(cut, fs::file_size(cut) / 2));
    expected.push_back(
        {cut, std::atoll(media::ProbeEntry(cut, "nb_read_packets").c_str()), "-1,0"});
    std::string ranged = folder + "/range.mkv";
    fs::copy_file(folder + "/matroska.mkv", ranged);
    expected.push_back({ranged, 15, "5,20"});
    std::string text = folder + "/notes.mp4";
    WriteFile(text, "Not a video at all.\n");

    std::string list = "; 1.0.1.5\r\n";
    for (const Job& job : expected) {
        list += "0," + job.source + ",0,6000,3000,3,1,-1,-1," + job.range + ",-1,-1,-1,-1\r\n";
    }
    list += "0," + text + ",0,6000,3000,3,1,-1,-1,-1,0,-1,-1,-1,-1\r\n";
    WriteFile(m_Dir.File("jobs.txt"), list);
    AddStoredJobs(0);

    Outcome run = Start("-clear -source:" + Quoted(m_Dir.File("jobs.txt")) + " -start -exit");
    EXPECT_EQ(run.status, 0) << run.stderrText;
    std::string log = ReadFile(m_Dir.File("vantaq.log"));
    ASSERT_EQ(StoredJobs(), static_cast<int>(expected.size())) << log;
    for (size_t i = 0; i < expected.size(); ++i) {
        const Job& job = expected[i];
        SCOPED_TRACE(job.source);
        EXPECT_EQ(Status(static_cast<int>(i)), "Complete");
        std::string stream = job.source.substr(0, job.source.rfind('.')) + ".mpv";
        EXPECT_EQ(std::atoll(media::ProbeEntry(stream, "nb_read_packets").c_str()), job.frames);
        if (job.source.find("interlaced") != std::string::npos) {
            EXPECT_EQ(media::ProbeEntry(stream, "field_order"), "tt");
            EXPECT_EQ(SourceFrameShown(stream, 0, job.source, {0, 1}), 0);
            EXPECT_EQ(SourceFrameShown(stream, 24, job.source, {23, 24}), 24);
        }
        if (job.source == ranged) {
            // The range's first and last frames, not their neighbours.
            EXPECT_EQ(SourceFrameShown(stream, 0, job.source, {4, 5, 6}), 5);
            EXPECT_EQ(SourceFrameShown(stream, 14, job.source, {18, 19, 20}), 19);
        }
        if (job.source.find("anamorphic") != std::string::npos) {
            EXPECT_EQ(media::ProbeEntry(stream, "display_aspect_ratio"), "16:9");
        }
    }
    EXPECT_NE(log.find("has a variable frame rate"), std::string::npos) << log;
    EXPECT_NE(log.find(text + " cannot be a source"), std::string::npos) << log;
}
