// Result codes, kept output on failure, block-end cases, time codes and the command-line tool.
#include "pulldown/pulldown.h"
#include "pulldown/stream_rewriter.h"
#include "reference_pulldown.h"
#include "stream_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace pulldown_test;
using pulldown::PulldownOptions;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

extern char** environ;

namespace {

// The last line of a run, which on failure is its only error line.
std::pair<std::string, int> LastLine(const RunRecord& run) {
    return run.lines.empty() ? std::pair<std::string, int>{} : run.lines.back();
}

std::string Tool() {
    return std::string(VANTAQ_PROGRAM_DIR) + "/vantaq-pulldown";
}

// Runs the tool with its standard output on a pipe whose reading end is already closed, as
// after `| head -1` has gone, and SIGPIPE at its default action. Returns the raw wait status.
int RunToolIntoClosedPipe(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    close(fds[0]);
    args.insert(args.begin(), Tool());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &pipeSignal);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int raw = -1;
    if (posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ) == 0) {
        waitpid(pid, &raw, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[1]);
    return raw;
}

} // namespace

TEST(PulldownTimeCode, CountsFiveFieldsPerFourPictures) {
    using pulldown::GopTimeCode;
    EXPECT_EQ(GopTimeCode(0, 30, 1), 0x1001000u); // bytes 80 08 00 and a clear top bit
    EXPECT_EQ(GopTimeCode(1, 30, 0) & 63, 0u);
    EXPECT_EQ(GopTimeCode(3, 30, 0) & 63, 2u);
    EXPECT_EQ(GopTimeCode(15, 30, 0) & 63, 17u);
    // 174316 film pictures are 217895 output pictures: 2:01:03 and 5 at 30 a second, with no
    // numbers skipped although the drop-frame flag is set.
    EXPECT_EQ(GopTimeCode(174316, 30, 1),
              (1u << 24) | (2u << 19) | (1u << 13) | (1u << 12) | (3u << 6) | 5u);
    // Hours wrap after a day; 25 and 24 pictures a second.
    EXPECT_EQ((GopTimeCode(int64_t{24} * 3600 * 30 * 4 / 5, 30, 0) >> 19) & 31, 0u);
    EXPECT_EQ(GopTimeCode(40, 25, 0), (1u << 12) | (2u << 6));
    EXPECT_EQ(GopTimeCode(40, 24, 0), (1u << 12) | (2u << 6) | 2u);
}

TEST(PulldownFailure, OptionAndFileErrorsHaveTheirCodesAndLines) {
    TempDir dir;
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    ASSERT_TRUE(WriteFile(dir.File("s.mpv"), s));

    PulldownOptions badRate;
    badRate.m_SetFrameRate = true;
    badRate.m_FrameRateIndex = 4;
    RunRecord run = RunFast(dir.File("s.mpv"), dir.File("a.m2v"), badRate);
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(LastLine(run), std::make_pair(std::string(" ERROR: Frame rate error (pulldown)"), 2));
    EXPECT_FALSE(FileExists(dir.File("a.m2v")));

    run = RunFast(dir.File("missing.mpv"), dir.File("b.m2v"), WindowOptions());
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(LastLine(run),
              std::make_pair(std::string("ERROR: Unable to open input file. (pulldown)"), 2));
    EXPECT_FALSE(FileExists(dir.File("b.m2v")));

    ASSERT_TRUE(WriteFile(dir.File("empty.mpv"), ""));
    run = RunFast(dir.File("empty.mpv"), dir.File("c.m2v"), WindowOptions());
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(LastLine(run),
              std::make_pair(std::string("ERROR: Unable to read from input file. (pulldown)"), 2));
    EXPECT_TRUE(FileExists(dir.File("c.m2v")));
    EXPECT_EQ(ReadFile(dir.File("c.m2v")), "");

    run = RunFast(dir.File("s.mpv"), dir.File("no/such/dir.m2v"), WindowOptions());
    EXPECT_EQ(run.code, 4);
    EXPECT_EQ(LastLine(run),
              std::make_pair(std::string("ERROR: Unable to open output file. (pulldown)"), 2));

    ASSERT_TRUE(WriteFile(dir.File("text.mpv"), std::string("\x00\x00\x01\xB8 not video", 15)));
    run = RunFast(dir.File("text.mpv"), dir.File("d.m2v"), WindowOptions());
    EXPECT_EQ(run.code, 6);
    EXPECT_EQ(LastLine(run),
              std::make_pair(std::string("ERROR: File is not an MPEG Video Stream (pulldown)"), 2));
    EXPECT_EQ(ReadFile(dir.File("d.m2v")), "");
    EXPECT_EQ(run.finishedCalls, 1);
}

TEST(PulldownFailure, NeverOverwritesItsSource) {
    TempDir dir;
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    ASSERT_TRUE(WriteFile(dir.File("s.mpv"), s));
    ASSERT_EQ(link(dir.File("s.mpv").c_str(), dir.File("hard.mpv").c_str()), 0);
    for (const char* target : {"s.mpv", "hard.mpv", "./s.mpv"}) {
        RunRecord run = RunFast(dir.File("s.mpv"), dir.File(target), WindowOptions());
        EXPECT_EQ(run.code, 4) << target;
        EXPECT_EQ(ReadFile(dir.File("s.mpv")), s) << target;
    }
}

TEST(PulldownFailure, WriteErrorsAreNotSuccess) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("s.mpv"), StreamBytes(StreamKind::kFilmClosedGop12)));
    RunRecord run = RunFast(dir.File("s.mpv"), "/dev/full", WindowOptions());
    EXPECT_EQ(run.code, 4);
    EXPECT_EQ(LastLine(run),
              std::make_pair(std::string("ERROR: Unable to write to output file. (pulldown)"), 2));
}

TEST(PulldownFailure, PipeSourceFailsOnlyAtALookaheadAcrossABlockEnd) {
    std::signal(SIGPIPE, SIG_IGN);
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    std::vector<StartCode> codes = FindStartCodes(s);
    // User data after the sequence extension that runs across the first block end.
    std::string crossing = s;
    crossing.insert(codes[2].offset,
                    std::string("\x00\x00\x01\xB2", 4) + std::string(kBlock, '\x55'));
    const std::string* inputs[] = {&s, &crossing};
    for (const std::string* bytes : inputs) {
        bool crosses = bytes == &crossing;
        for (bool reference : {false, true}) {
            TempDir dir;
            std::string fifo = dir.File("pipe.mpv");
            ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
            std::thread writer([&] {
                int fd = open(fifo.c_str(), O_WRONLY);
                size_t done = 0;
                while (fd >= 0 && done < bytes->size()) {
                    ssize_t n = write(fd, bytes->data() + done, bytes->size() - done);
                    if (n <= 0) {
                        break;
                    }
                    done += static_cast<size_t>(n);
                }
                if (fd >= 0) {
                    close(fd);
                }
            });
            RunRecord run = reference ? RunReference(fifo, dir.File("out.m2v"), WindowOptions())
                                      : RunFast(fifo, dir.File("out.m2v"), WindowOptions());
            writer.join();
            if (crosses) {
                EXPECT_EQ(run.code, 7) << reference;
                EXPECT_EQ(LastLine(run),
                          std::make_pair(std::string("Unable to get file position."), 2));
                EXPECT_EQ(ReadFile(dir.File("out.m2v")), "");
            } else {
                EXPECT_EQ(run.code, 0) << reference;
                EXPECT_EQ(ReadFile(dir.File("out.m2v")).size(), s.size());
            }
        }
    }
}

TEST(PulldownFailure, KeptOutputFollowsTheBlocks) {
    TempDir dir;
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    ASSERT_GT(s.size(), 2 * kBlock);
    ASSERT_TRUE(WriteFile(dir.File("s.mpv"), s));
    ASSERT_EQ(RunFast(dir.File("s.mpv"), dir.File("full.m2v"), WindowOptions()).code, 0);
    std::string full = ReadFile(dir.File("full.m2v"));

    // Without the end code: code 9, and only the whole blocks passed are kept.
    std::string noEnd = s.substr(0, s.size() - 4);
    ASSERT_TRUE(WriteFile(dir.File("noend.mpv"), noEnd));
    RunRecord run = RunFast(dir.File("noend.mpv"), dir.File("noend.m2v"), WindowOptions());
    EXPECT_EQ(run.code, 9);
    EXPECT_EQ(LastLine(run),
              std::make_pair(std::string("ERROR: Next sequence error. (pulldown)"), 2));
    EXPECT_EQ(ReadFile(dir.File("noend.m2v")), full.substr(0, noEnd.size() / kBlock * kBlock));

    // Bytes after the end code are not copied; nor is a second sequence.
    ASSERT_TRUE(WriteFile(dir.File("tail.mpv"), s + s));
    ASSERT_EQ(RunFast(dir.File("tail.mpv"), dir.File("tail.m2v"), WindowOptions()).code, 0);
    EXPECT_EQ(ReadFile(dir.File("tail.m2v")), full);

    // An end code that finishes exactly at a block end: the output is complete.
    size_t target = (s.size() / kBlock + 1) * kBlock;
    std::string padded = s;
    padded.insert(FindStartCodes(s)[2].offset,
                  std::string("\x00\x00\x01\xB2", 4) + std::string(target - s.size() - 4, 'u'));
    ASSERT_EQ(padded.size() % kBlock, 0u);
    ASSERT_TRUE(WriteFile(dir.File("exact.mpv"), padded));
    ASSERT_EQ(RunFast(dir.File("exact.mpv"), dir.File("exact.m2v"), WindowOptions()).code, 0);
    EXPECT_EQ(ReadFile(dir.File("exact.m2v")).size(), padded.size());
}

TEST(PulldownFailure, TimeCodeAcrossABlockEndIsRewrittenAlike) {
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    size_t gop = 0;
    for (const StartCode& sc : FindStartCodes(s)) {
        if (sc.value == 0xB8) {
            gop = sc.offset;
            break;
        }
    }
    TempDir plain;
    ASSERT_TRUE(WriteFile(plain.File("s.mpv"), s));
    ASSERT_EQ(RunFast(plain.File("s.mpv"), plain.File("s.m2v"), WindowOptions()).code, 0);
    std::vector<uint32_t> expected = ReadFields(ReadFile(plain.File("s.m2v"))).timeCodes;
    ASSERT_NE(expected, ReadFields(s).timeCodes);
    // Filler in front puts the block end inside the time code (bytes 4 to 7 of the header).
    for (size_t split = 4; split <= 7; ++split) {
        TempDir dir;
        std::string moved = std::string(kBlock - gop - split, '\xFF') + s;
        ASSERT_TRUE(WriteFile(dir.File("m.mpv"), moved));
        ASSERT_EQ(RunFast(dir.File("m.mpv"), dir.File("m.m2v"), WindowOptions()).code, 0);
        std::string out = ReadFile(dir.File("m.m2v"));
        EXPECT_EQ(out.substr(kBlock - split + 4, 3), std::string("\x80\x08\x00", 3)) << split;
        EXPECT_EQ(ReadFields(out).timeCodes, expected) << split;
    }
}

TEST(PulldownTool, RunsWritesLogsAndExitsWithTheCode) {
    TempDir dir;
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    ASSERT_TRUE(WriteFile(dir.File("movie.mpv"), s));
    int status = -1;
    std::string out =
        RunCommand(ShellQuote(Tool()) + " --drop-frame=1 " + ShellQuote(dir.File("movie.mpv")) +
                       " 2>" + ShellQuote(dir.File("err.txt")),
                   status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.rfind("Pulldown Started\n  SOURCE = " + dir.File("movie.mpv") +
                            "\n  TARGET = " + dir.File("movie.mpv.m2v") +
                            "\n - enabling 2:3 pulldown\n - enabling drop frame flag.\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("  Time taken = "), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("err.txt")), ""); // no progress when stderr is not a terminal
    std::string m2v = ReadFile(dir.File("movie.mpv.m2v"));
    ASSERT_EQ(m2v.size(), s.size());
    RunRecord same = RunFast(dir.File("movie.mpv"), dir.File("api.m2v"), WindowOptions());
    EXPECT_EQ(ReadFile(dir.File("api.m2v")), m2v);

    // An explicit target, options of every kind, and the failure codes as exit statuses.
    RunCommand(ShellQuote(Tool()) +
                   " --set-frame-rate=2 --aspect=3 --field-order=1 --no-rff --no-timecodes"
                   " --progressive-sequence=1 --progressive-frame=2 " +
                   ShellQuote(dir.File("movie.mpv")) + " " + ShellQuote(dir.File("x.m2v")),
               status);
    EXPECT_EQ(status, 0);
    PulldownOptions o;
    o.m_SetFrameRate = true;
    o.m_FrameRateIndex = 2;
    o.m_AspectRatio = 3;
    o.m_FieldOrder = 1;
    o.m_NoRff = true;
    o.m_NoTimecodes = true;
    o.m_ProgressiveSequence = 1;
    o.m_ProgressiveFrame = 2;
    RunFast(dir.File("movie.mpv"), dir.File("y.m2v"), o);
    EXPECT_EQ(ReadFile(dir.File("x.m2v")), ReadFile(dir.File("y.m2v")));

    RunCommand(ShellQuote(Tool()) + " " + ShellQuote(dir.File("none.mpv")) + " >/dev/null", status);
    EXPECT_EQ(status, 2);
    RunCommand(ShellQuote(Tool()) + " --set-frame-rate=9 " + ShellQuote(dir.File("movie.mpv")) +
                   " >/dev/null",
               status);
    EXPECT_EQ(status, 1);
}

TEST(PulldownFailure, TheTwoThreePassTakesOnlyFilmCodedAsProgressiveFrames) {
    TempDir dir;
    const std::string& film = StreamBytes(StreamKind::kFilmClosedGop12);
    ASSERT_TRUE(WriteFile(dir.File("film.mpv"), film));
    RunRecord once = RunFast(dir.File("film.mpv"), dir.File("film.mpv.m2v"), WindowOptions());
    ASSERT_EQ(once.code, 0);
    struct Case {
        const char* name;
        std::string bytes;
        int code;
        const char* line;
    };
    const Case cases[] = {
        {"a second pass", ReadFile(dir.File("film.mpv.m2v")), 10,
         "ERROR: The stream is at 29.97 frames a second; 2:3 pulldown takes 23.976 film "
         "streams only. (pulldown)"},
        {"PAL", StreamBytes(StreamKind::kPal25), 10, "ERROR: The stream is at 25 frames a second"},
        {"field-coded film", StreamBytes(StreamKind::kFilmInterlaced), 11,
         "ERROR: Picture 1 is coded with field prediction or DCT; 2:3 pulldown needs a stream "
         "coded as progressive frames. (pulldown)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFile(dir.File("in.mpv"), c.bytes));
        RunRecord run = RunFast(dir.File("in.mpv"), dir.File("out.m2v"), WindowOptions());
        EXPECT_EQ(run.code, c.code);
        EXPECT_EQ(LastLine(run).first.rfind(c.line, 0), 0u) << LastLine(run).first;
        EXPECT_EQ(LastLine(run).second, 2);
        int status = -1;
        RunCommand(ShellQuote(Tool()) + " " + ShellQuote(dir.File("in.mpv")) + " " +
                       ShellQuote(dir.File("tool.m2v")) + " >/dev/null",
                   status);
        EXPECT_EQ(status, c.code);
    }
    // Stamping a rate or stripping flags is no 2:3 pass: any stream goes.
    PulldownOptions stamp;
    stamp.m_SetFrameRate = true;
    stamp.m_FrameRateIndex = 3;
    EXPECT_EQ(RunFast(dir.File("in.mpv"), dir.File("stamp.m2v"), stamp).code, 0);

    // Every picture of the pass's output is marked variable rate.
    std::vector<uint32_t> before = ReadFields(film).vbvDelays;
    std::vector<uint32_t> after = ReadFields(ReadFile(dir.File("film.mpv.m2v"))).vbvDelays;
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::count(after.begin(), after.end(), 0xFFFFu),
              static_cast<std::ptrdiff_t>(after.size()));
}

TEST(PulldownTool, FinishesWithItsCodeWhenStandardOutputIsClosed) {
    TempDir dir;
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    ASSERT_TRUE(WriteFile(dir.File("m.mpv"), s));
    int raw = RunToolIntoClosedPipe({"--drop-frame=1", dir.File("m.mpv")});
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    EXPECT_EQ(WEXITSTATUS(raw), 0);
    RunFast(dir.File("m.mpv"), dir.File("api.m2v"), WindowOptions());
    EXPECT_EQ(ReadFile(dir.File("m.mpv.m2v")), ReadFile(dir.File("api.m2v")));
    raw = RunToolIntoClosedPipe({dir.File("none.mpv")});
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 2);
}

TEST(PulldownTool, RefusesItsSourceAndBadCommandLines) {
    TempDir dir;
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    ASSERT_TRUE(WriteFile(dir.File("m.mpv"), s));
    int status = -1;
    for (const std::string& target :
         {dir.File("m.mpv"),
          dir.Path() + "/../" + dir.Path().substr(dir.Path().rfind('/') + 1) + "/m.mpv"}) {
        RunCommand(ShellQuote(Tool()) + " " + ShellQuote(dir.File("m.mpv")) + " " +
                       ShellQuote(target) + " 2>/dev/null",
                   status);
        EXPECT_EQ(status, 4) << target;
        EXPECT_EQ(ReadFile(dir.File("m.mpv")), s);
    }
    // A device has no end: refused before anything is read or written.
    RunCommand(ShellQuote(Tool()) + " /dev/zero " + ShellQuote(dir.File("zero.m2v")) +
                   " 2>/dev/null",
               status);
    EXPECT_EQ(status, 2);
    EXPECT_FALSE(testing_support::FileExists(dir.File("zero.m2v")));
    for (const char* args : {"", "--aspect=9 m.mpv", "--bogus m.mpv", "a b c"}) {
        RunCommand(ShellQuote(Tool()) + " " + args + " 2>/dev/null", status);
        EXPECT_EQ(status, 64) << args;
    }
    std::string help = RunCommand(ShellQuote(Tool()) + " --help", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(help.find("--drop-frame=N"), std::string::npos);
    EXPECT_NE(help.find("--drop-frame=1"), std::string::npos); // says what the program uses
}
