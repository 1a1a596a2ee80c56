// The stream report and its DVD-Video verdict on streams made by ffmpeg, judged against
// ffprobe's packets and frames; the report file, its JSON and vantaq-probe.
#include "pulldown/report_format.h"
#include "pulldown/stream_report.h"
#include "pulldown/stream_report_file.h"
#include "stream_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <sstream>
#include <sys/resource.h>

namespace {

using pulldown::StreamReport;
using pulldown_test::RunCommand;
using pulldown_test::ShellQuote;

std::string Program(const std::string& name) {
    return std::string(VANTAQ_PROGRAM_DIR) + "/" + name;
}

const testing_support::TempDir& Scratch() {
    static testing_support::TempDir dir;
    return dir;
}

// A stream made once per test program by ffmpeg (3 s of testsrc2), with the sequence end code
// that ffmpeg leaves out appended.
std::string MakeStream(const std::string& name, const std::string& input,
                       const std::string& encode) {
    static std::map<std::string, std::string> made;
    if (auto it = made.find(name); it != made.end()) {
        return it->second;
    }
    std::string path = Scratch().File(name + ".m2v");
    int status = 0;
    RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i " + ShellQuote(input) +
                   " -t 3 -c:v mpeg2video -bf 2 " + encode + " -f mpeg2video " + ShellQuote(path),
               status);
    EXPECT_EQ(status, 0) << name;
    std::string bytes = testing_support::ReadFile(path) + std::string("\x00\x00\x01\xB7", 4);
    testing_support::WriteFile(path, bytes);
    return made.emplace(name, path).first->second;
}

const char kNtscInput[] = "testsrc2=size=720x480:rate=30000/1001";
const char kDvdLimits[] = "-maxrate 9.8M -bufsize 1835008 ";

std::string NtscStream() {
    return MakeStream("ntsc", kNtscInput,
                      std::string("-b:v 6M ") + kDvdLimits + "-g 15 -aspect 4:3");
}
std::string FilmStream() {
    return MakeStream("film", "testsrc2=size=720x480:rate=24000/1001",
                      std::string("-b:v 5M ") + kDvdLimits + "-g 12 -aspect 16:9");
}
// The film stream after the project's own 2:3 pass.
std::string PulledDownFilm() {
    static std::string path;
    if (path.empty()) {
        path = Scratch().File("film-pulldown.m2v");
        int status = 0;
        RunCommand(ShellQuote(Program("vantaq-pulldown")) + " --drop-frame=1 " +
                       ShellQuote(FilmStream()) + " " + ShellQuote(path) + " >/dev/null",
                   status);
        EXPECT_EQ(status, 0);
    }
    return path;
}
// `source` through vantaq-pulldown with `options`, as `name`; its exit status in `status`.
std::string Passed(const std::string& source, const std::string& name, const std::string& options,
                   int& status) {
    std::string path = Scratch().File(name + ".m2v");
    RunCommand(ShellQuote(Program("vantaq-pulldown")) + " " + options + " " + ShellQuote(source) +
                   " " + ShellQuote(path) + " >/dev/null",
               status);
    return path;
}
// The first half of the NTSC stream: a picture cut in two and no end code.
std::string CutStream() {
    std::string path = Scratch().File("cut.m2v");
    std::string bytes = testing_support::ReadFile(NtscStream());
    testing_support::WriteFile(path, bytes.substr(0, bytes.size() / 2));
    return path;
}
// A copy of `source` named `name` that declares a buffer of `value` x 16 Kibit in every sequence
// header.
std::string WithBufferSize(const std::string& source, const std::string& name, unsigned value) {
    std::string path = Scratch().File(name + ".m2v");
    std::string bytes = testing_support::ReadFile(source);
    for (const pulldown_test::StartCode& sc : pulldown_test::FindStartCodes(bytes)) {
        if (sc.value == 0xB3) {
            // vbv_buffer_size_value: the low 5 bits of byte 10 and the top 5 of byte 11.
            size_t o = sc.offset;
            bytes[o + 10] = static_cast<char>((bytes[o + 10] & 0xE0) | (value >> 5));
            bytes[o + 11] = static_cast<char>((bytes[o + 11] & 0x07) | ((value & 0x1F) << 3));
        }
    }
    testing_support::WriteFile(path, bytes);
    return path;
}
// The PAL stream declaring a 16 KiB buffer: its I pictures do not fit.
std::string PalStream() {
    return MakeStream("pal", "testsrc2=size=720x576:rate=25",
                      std::string("-b:v 6M ") + kDvdLimits + "-g 12 -aspect 16:9");
}

std::string UndersizedBufferStream() {
    return WithBufferSize(PalStream(), "small-buffer", 8);
}
// A constant-rate stream: ffmpeg codes vbv_delay.
std::string ConstantRateStream() {
    return MakeStream("cbr", kNtscInput,
                      "-b:v 5M -minrate 5M -maxrate 5M -bufsize 1835008 -g 15 -aspect 4:3");
}

StreamReport Report(const std::string& path) {
    StreamReport r;
    std::string error;
    EXPECT_TRUE(pulldown::ReportStreamFile(path, r, error)) << error;
    return r;
}

// ffprobe's packets (decode order) with their durations, and the repeat and top-field flags of
// its decoded frames.
struct Probe {
    std::vector<long long> sizes;
    std::vector<double> starts;
    double duration = 0;
    int repeatedFrames = 0;
    int topFirstFrames = 0;
    int frames = 0;
};

Probe RunFfprobe(const std::string& path) {
    Probe p;
    int status = 0;
    std::istringstream packets(RunCommand(
        "ffprobe -v error -select_streams v -show_entries packet=size,duration_time -of csv=p=0 " +
            ShellQuote(path),
        status));
    std::string line;
    while (std::getline(packets, line)) {
        double duration = 0;
        long long size = 0;
        if (std::sscanf(line.c_str(), "%lf,%lld", &duration, &size) == 2) {
            p.starts.push_back(p.duration);
            p.sizes.push_back(size);
            p.duration += duration;
        }
    }
    std::istringstream frames(RunCommand(
        "ffprobe -v error -select_streams v -show_entries frame=top_field_first,repeat_pict "
        "-of csv=p=0 " +
            ShellQuote(path) + " 2>/dev/null",
        status));
    while (std::getline(frames, line)) {
        int topFirst = 0;
        int repeat = 0;
        if (std::sscanf(line.c_str(), "%d,%d", &topFirst, &repeat) == 2) {
            ++p.frames;
            p.topFirstFrames += topFirst != 0;
            p.repeatedFrames += repeat != 0;
        }
    }
    return p;
}

// The most bits in a one-second window starting at a packet, from ffprobe's numbers alone.
double ProbePeak(const Probe& p) {
    double best = 0;
    for (size_t i = 0; i < p.sizes.size(); ++i) {
        double sum = 0;
        for (size_t j = i; j < p.sizes.size() && p.starts[j] < p.starts[i] + 1.0 - 1e-6; ++j) {
            sum += 8.0 * static_cast<double>(p.sizes[j]);
        }
        best = std::max(best, sum);
    }
    return best;
}

bool HasReason(const StreamReport& r, const std::string& part) {
    return std::any_of(r.dvd.reasons.begin(), r.dvd.reasons.end(),
                       [&](const std::string& s) { return s.find(part) != std::string::npos; });
}

struct VerdictCase {
    const char* name;
    std::string (*stream)();
    bool compliant;
    const char* reason; // part of the one reason expected, or "" for none
    const char* system;
};

class StreamVerdict : public testing::TestWithParam<VerdictCase> {};

TEST_P(StreamVerdict, AgreesWithFfprobeAndGivesItsReason) {
    const VerdictCase& c = GetParam();
    std::string path = c.stream();
    StreamReport r = Report(path);
    ASSERT_TRUE(r.readable);
    EXPECT_EQ(r.dvd.compliant, c.compliant) << testing::PrintToString(r.dvd.reasons);
    EXPECT_EQ(r.dvd.system, c.system);
    if (*c.reason != '\0') {
        EXPECT_EQ(r.dvd.reasons.size(), 1u) << testing::PrintToString(r.dvd.reasons);
        EXPECT_TRUE(HasReason(r, c.reason)) << testing::PrintToString(r.dvd.reasons);
    }

    Probe probe = RunFfprobe(path);
    ASSERT_EQ(r.pictures.size(), probe.sizes.size());
    for (size_t i = 0; i < probe.sizes.size(); ++i) {
        ASSERT_EQ(r.pictures[i].bytes, probe.sizes[i]) << "picture " << i;
    }
    EXPECT_NEAR(r.durationSeconds, probe.duration, probe.duration * 0.005);
    double bits = 0;
    for (long long s : probe.sizes) {
        bits += 8.0 * static_cast<double>(s);
    }
    EXPECT_NEAR(r.meanRate, bits / probe.duration, r.meanRate * 0.005);
    double peak = ProbePeak(probe);
    EXPECT_NEAR(r.peakRate, peak, peak * 0.005);
    EXPECT_EQ(static_cast<int>(r.repeatedPictures), probe.repeatedFrames);
    int topFirst = 0;
    for (const pulldown::ReportPicture& p : r.pictures) {
        topFirst += (p.flags & pulldown::kPictureTopFieldFirst) != 0;
    }
    // The decoder shows every picture but a cut one.
    EXPECT_GE(probe.frames + 1, static_cast<int>(r.pictures.size()));
    if (probe.frames == static_cast<int>(r.pictures.size())) {
        EXPECT_EQ(topFirst, probe.topFirstFrames);
    }
}

std::string PeakStream() {
    return MakeStream("peak", std::string(kNtscInput) + ",noise=alls=80:allf=t+u",
                      "-b:v 14M -maxrate 15M -bufsize 1835008 -g 15 -aspect 4:3");
}
std::string LongGopStream() {
    return MakeStream("gop30", kNtscInput,
                      std::string("-b:v 6M ") + kDvdLimits + "-g 30 -aspect 4:3");
}
std::string HalfWide169Stream() {
    return MakeStream("352x240-169", "testsrc2=size=352x240:rate=30000/1001",
                      std::string("-b:v 2M ") + kDvdLimits + "-g 15 -aspect 16:9");
}
INSTANTIATE_TEST_SUITE_P(
    FfmpegStreams, StreamVerdict,
    testing::Values(VerdictCase{"Ntsc", NtscStream, true, "", "NTSC"},
                    VerdictCase{"Pal", PalStream, true, "", "PAL"},
                    VerdictCase{"ConstantRate", ConstantRateStream, true, "", "NTSC"},
                    VerdictCase{"FilmBeforePulldown", FilmStream, false, "23.976", ""},
                    VerdictCase{"FilmAfterPulldown", PulledDownFilm, true, "", "NTSC"},
                    VerdictCase{"PeakOver98", PeakStream, false, "above 9.80 Mbit/s", "NTSC"},
                    VerdictCase{"Gop30", LongGopStream, false, "GOP of 30 pictures", "NTSC"},
                    VerdictCase{"HalfWide169", HalfWide169Stream, false, "16:9", "NTSC"},
                    VerdictCase{"Cut", CutStream, false, "no sequence end code", "NTSC"},
                    VerdictCase{"UndersizedBuffer", UndersizedBufferStream, false,
                                "buffer runs empty", "PAL"}),
    [](const testing::TestParamInfo<VerdictCase>& info) { return std::string(info.param.name); });

TEST(StreamReport, PulldownKeepsDurationAndGivesAnUnbrokenCadence) {
    StreamReport before = Report(FilmStream());
    StreamReport after = Report(PulledDownFilm());
    EXPECT_FALSE(before.cadenceChecked); // a progressive sequence
    EXPECT_EQ(before.repeatedPictures, 0u);
    ASSERT_TRUE(after.cadenceChecked);
    EXPECT_EQ(after.cadenceBreaks, 0u);
    EXPECT_EQ(after.repeatedPictures, after.pictures.size() / 2);
    // 4 pictures of film become 10 fields of video: the same time.
    EXPECT_EQ(after.fields, after.pictures.size() / 4 * 10 + after.pictures.size() % 4 * 5 / 2);
    EXPECT_NEAR(before.durationSeconds, after.durationSeconds, 1 / 59.94);
    EXPECT_EQ(before.totalBytes, after.totalBytes);
}

TEST(StreamReport, AConstantRateFilmKeepsALegalBufferThroughThePass) {
    const std::string film = MakeStream("film-cbr", "testsrc2=size=720x480:rate=24000/1001",
                                        "-b:v 6M -minrate 6M -maxrate 6M -bufsize 1835008 -g 12 "
                                        "-aspect 16:9");
    int status = -1;
    StreamReport after = Report(Passed(film, "film-cbr-pulldown", "--drop-frame=1", status));
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(Report(film).sequence.vbvDelayCoded);
    // Repeated fields keep pictures in the buffer longer than a constant rate allows for, so
    // the pass marks the stream as variable rate, which has no overflows by definition.
    EXPECT_FALSE(after.sequence.vbvDelayCoded);
    EXPECT_EQ(after.overflows, 0u);
    EXPECT_EQ(after.illegalFieldFlags, 0u);
    EXPECT_TRUE(after.dvd.compliant) << testing::PrintToString(after.dvd.reasons);
}

TEST(StreamReport, FieldFlagsTheCodingCannotCarryFailTheVerdict) {
    // Pictures coded with field DCT, then marked progressive by the pass's own options.
    const std::string fields =
        MakeStream("ntsc-fields", kNtscInput,
                   std::string("-b:v 6M ") + kDvdLimits + "-g 15 -aspect 4:3 -flags +ildct+ilme");
    int status = -1;
    StreamReport marked =
        Report(Passed(fields, "ntsc-marked", "--no-rff --progressive-frame=1", status));
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Report(fields).illegalFieldFlags, 0u);
    EXPECT_EQ(marked.illegalFieldFlags, marked.pictures.size());
    EXPECT_FALSE(marked.dvd.compliant);
    EXPECT_NE(testing::PrintToString(marked.dvd.reasons).find("field coding does not allow"),
              std::string::npos);
    EXPECT_EQ(Report(PulledDownFilm()).illegalFieldFlags, 0u);
}

TEST(StreamReport, RepeatsAreCountedPastTheFirstFieldPicture) {
    // Frame pictures with repeat_first_field around a pair of field pictures: every repeat
    // counts, and the cadence is left unchecked.
    StreamReport r;
    r.readable = true;
    r.sequence.mpeg2 = true;
    r.sequence.frameRate = 30000.0 / 1001;
    r.gops.push_back(pulldown::ReportGop{});
    for (uint8_t structure : {3, 3, 1, 2, 3, 3}) {
        pulldown::ReportPicture p;
        p.bytes = 1000;
        p.type = 1;
        p.structure = structure;
        p.flags = structure == 3 ? pulldown::kPictureRepeatFirstField : 0;
        r.pictures.push_back(p);
    }
    CompleteReport(r);
    EXPECT_EQ(r.repeatedPictures, 4u);
    EXPECT_FALSE(r.cadenceChecked);
}

TEST(StreamReport, SwappedFieldOrderIsACadenceBreak) {
    std::string bytes = testing_support::ReadFile(PulledDownFilm());
    // Flip top_field_first of the fifth picture coding extension (byte 7 of it, mask 0x80).
    int seen = 0;
    for (const pulldown_test::StartCode& sc : pulldown_test::FindStartCodes(bytes)) {
        if (sc.value == 0xB5 && (static_cast<uint8_t>(bytes[sc.offset + 4]) >> 4) == 8 &&
            ++seen == 5) {
            bytes[sc.offset + 7] = static_cast<char>(bytes[sc.offset + 7] ^ 0x80);
        }
    }
    std::string path = Scratch().File("broken-cadence.m2v");
    testing_support::WriteFile(path, bytes);
    StreamReport r = Report(path);
    ASSERT_TRUE(r.cadenceChecked);
    // The flipped picture breaks with the one before and the one after it (in display order).
    EXPECT_EQ(r.cadenceBreaks, 2u);
    ASSERT_EQ(r.cadenceBreakTimes.size(), 2u);
    EXPECT_LT(r.cadenceBreakTimes[0], 0.5);
}

TEST(StreamReport, UnderflowsAreListedByTimeAtTheIPictures) {
    StreamReport r = Report(UndersizedBufferStream());
    EXPECT_EQ(r.sequence.vbvBufferBits, 8u * 16384);
    ASSERT_GT(r.underflows, 0u);
    ASSERT_EQ(r.vbvEvents.size(), r.underflows + r.overflows);
    for (const pulldown::VbvEvent& e : r.vbvEvents) {
        ASSERT_LT(e.picture, r.pictures.size());
        EXPECT_TRUE(e.underflow);
        EXPECT_GT(8u * r.pictures[e.picture].bytes, r.sequence.vbvBufferBits);
        EXPECT_GT(e.bits, 0);
    }
    EXPECT_LT(r.minBufferFill, 0);
}

TEST(StreamReport, ConstantRateBufferHoldsAndOverflowsWhenDeclaredSmaller) {
    StreamReport r = Report(ConstantRateStream());
    ASSERT_TRUE(r.sequence.vbvDelayCoded);
    EXPECT_GT(r.sequence.vbvDelaySeconds, 0);
    EXPECT_EQ(r.underflows + r.overflows, 0u);
    // Never empty while the stream is still coming in (the end drains it, which is no fault).
    EXPECT_GT(r.minBufferFill, 0);
    // Declared at 40 KiB, the data that arrives during the first picture's vbv_delay does not fit.
    StreamReport small = Report(WithBufferSize(ConstantRateStream(), "cbr-small", 20));
    ASSERT_GT(small.overflows, 0u);
    EXPECT_FALSE(small.vbvEvents.front().underflow);
    EXPECT_EQ(small.vbvEvents.front().picture, 0u);
    EXPECT_FALSE(small.dvd.compliant);
    EXPECT_TRUE(HasReason(small, "runs over"));
}

TEST(StreamReport, PiecesOfAnySizeGiveTheSameReport) {
    std::string bytes = testing_support::ReadFile(PulledDownFilm());
    StreamReport whole = Report(PulledDownFilm());
    for (size_t piece : {size_t{1}, size_t{3}, size_t{11}, size_t{4093}}) {
        pulldown::StreamReportBuilder b;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            size_t n = std::min(piece, bytes.size() - at);
            b.Feed(reinterpret_cast<const uint8_t*>(bytes.data() + at), n);
        }
        StreamReport r = b.Finish();
        ASSERT_EQ(r.pictures.size(), whole.pictures.size()) << piece;
        for (size_t i = 0; i < r.pictures.size(); ++i) {
            ASSERT_EQ(r.pictures[i].bytes, whole.pictures[i].bytes) << piece << " " << i;
            ASSERT_EQ(r.pictures[i].flags, whole.pictures[i].flags) << piece << " " << i;
        }
        EXPECT_EQ(r.gops.size(), whole.gops.size());
        EXPECT_EQ(r.endCode, whole.endCode);
        EXPECT_EQ(r.dvd.compliant, whole.dvd.compliant);
    }
}

// A sequence header of 720 x 480 at 29.97, one picture and the end code.
const std::string kTinyStream("\x00\x00\x01\xB3\x2D\x01\xE0\x24\xFF\xFF\xE0\x00"
                              "\x00\x00\x01\x00\x00\x0F\xFF\xF8"
                              "\x00\x00\x01\xB7",
                              24);

TEST(StreamReport, NotAStream) {
    auto report = [](const std::string& bytes) {
        pulldown::StreamReportBuilder b;
        b.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        return b.Finish();
    };
    // Zero bytes before the first start code are stuffing; anything else is another kind of
    // file that merely holds the bytes of a sequence header (an MP4's length fields do).
    EXPECT_TRUE(report(std::string(5, '\0') + kTinyStream).readable);
    EXPECT_EQ(report(kTinyStream).pictures.size(), 1u);
    for (const std::string& bytes :
         {std::string(), std::string("hello, world\n"), std::string("\x00\x00\x01\xB7", 4),
          std::string("\x00\x00\x00\x18"
                      "ftypisom",
                      12) +
              kTinyStream,
          std::string("\x00\x00\x01\x00\x00\x0F\xFF\xF8", 8) + kTinyStream}) {
        pulldown::StreamReportBuilder b;
        b.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        StreamReport r = b.Finish();
        EXPECT_FALSE(r.readable);
        EXPECT_FALSE(r.dvd.compliant);
        EXPECT_TRUE(r.pictures.empty());
        EXPECT_EQ(r.totalBytes, bytes.size());
    }
}

// A 4 MiB flood of picture start codes: a million pictures of four bytes. The report and its
// JSON take a fixed amount per picture, and no tree of them (that took some 250 bytes a
// picture, 1.1 GB for a flood of 16 MiB).
TEST(StreamReportFlood, PictureStartCodesCostAFixedAmountEach) {
    constexpr size_t kPictures = 1u << 20;
    std::string flood = kTinyStream.substr(0, 12);
    for (size_t i = 0; i < kPictures; ++i) {
        flood.append("\x00\x00\x01\x00", 4);
    }
    auto start = std::chrono::steady_clock::now();
    pulldown::StreamReportBuilder b;
    b.Feed(reinterpret_cast<const uint8_t*>(flood.data()), flood.size());
    StreamReport r = b.Finish();
    ASSERT_EQ(r.pictures.size(), kPictures);
    std::string json = pulldown::ReportToJson(r);
    EXPECT_LT(json.size(), kPictures * 20);
    EXPECT_NE(json.find(",\"pictures\":[[16,\"?\",5,0,2,3],[4,\"?\",5,0,2,3],"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    rusage usage{};
    ASSERT_EQ(getrusage(RUSAGE_SELF, &usage), 0);
    EXPECT_LT(usage.ru_maxrss, 200 * 1024) << "peak KiB";
}

TEST(StreamReportFile, JsonRoundTripAndTheVerdictFromTheHead) {
    StreamReport r = Report(LongGopStream());
    StreamReport back;
    std::string error;
    ASSERT_TRUE(pulldown::ReportFromJson(pulldown::ReportToJson(r), back, error)) << error;
    EXPECT_EQ(back.pictures.size(), r.pictures.size());
    EXPECT_EQ(back.pictures.back().bytes, r.pictures.back().bytes);
    EXPECT_EQ(back.pictures.back().type, r.pictures.back().type);
    EXPECT_EQ(back.gops.size(), r.gops.size());
    EXPECT_EQ(back.perSecond, r.perSecond);
    EXPECT_EQ(back.bufferFill, r.bufferFill);
    EXPECT_DOUBLE_EQ(back.peakRate, r.peakRate);
    EXPECT_EQ(back.sequence.bitRate, r.sequence.bitRate);
    EXPECT_EQ(back.dvd.reasons, r.dvd.reasons);

    for (const char* bad : {"", "[1]", "{\"format\":\"other\"}",
                            "{\"format\":\"vantaq-stream-report\",\"pictures\":[[1]]}",
                            "{\"format\":\"vantaq-stream-report\",\"mean_rate\":\"x\"}"}) {
        EXPECT_FALSE(pulldown::ReportFromJson(bad, back, error)) << bad;
    }

    // The run's call: one log line, the file beside the stream, the verdict read back.
    testing_support::TempDir dir;
    std::string stream = dir.File("movie.mpv.m2v");
    testing_support::WriteFile(stream, testing_support::ReadFile(LongGopStream()));
    testing_support::LogLines lines;
    logging::Log log(lines, "");
    ASSERT_TRUE(pulldown::WriteStreamReport(stream, log));
    ASSERT_EQ(lines.rows.size(), 1u);
    EXPECT_EQ(lines.rows[0], "0   " + pulldown::ReportSummaryLine(r));
    EXPECT_NE(lines.rows[0].find(", longest GOP 30, DVD-Video: no"), std::string::npos);
    std::string reportPath = dir.File("movie.mpv.report.json");
    EXPECT_EQ(pulldown::ReportPathFor(stream), reportPath);
    pulldown::DvdVerdict v;
    ASSERT_TRUE(pulldown::ReadDvdVerdict(reportPath, v));
    EXPECT_FALSE(v.compliant);
    EXPECT_EQ(v.reasons, r.dvd.reasons);
    EXPECT_FALSE(pulldown::ReadDvdVerdict(dir.File("none.report.json"), v));

    // A stream that is not there: an error line and no report.
    EXPECT_FALSE(pulldown::WriteStreamReport(dir.File("gone.m2v"), log));
    EXPECT_EQ(lines.rows.back().rfind("2 ", 0), 0u);
    EXPECT_FALSE(testing_support::FileExists(dir.File("gone.report.json")));
}

TEST(VantaqProbe, ExitStatusTextAndJson) {
    auto run = [](const std::string& args, int& status) {
        return RunCommand(ShellQuote(Program("vantaq-probe")) + " " + args + " 2>/dev/null",
                          status);
    };
    int status = -1;
    std::string text = run(ShellQuote(NtscStream()), status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(text.find("DVD-Video:          yes (NTSC)"), std::string::npos) << text;
    text = run(ShellQuote(LongGopStream()), status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(text.find("- GOP of 30 pictures"), std::string::npos) << text;
    std::string json = run("--json " + ShellQuote(HalfWide169Stream()), status);
    EXPECT_EQ(status, 1);
    StreamReport r;
    std::string error;
    ASSERT_TRUE(pulldown::ReportFromJson(json, r, error)) << error;
    EXPECT_EQ(r.sequence.width, 352);
    EXPECT_EQ(r.pictures.size(), 90u);
    run(ShellQuote(Scratch().File("missing.m2v")), status);
    EXPECT_EQ(status, 2);
    std::string notVideo = Scratch().File("text.m2v");
    testing_support::WriteFile(notVideo, "not a stream\n");
    run(ShellQuote(notVideo), status);
    EXPECT_EQ(status, 2);
    // An H.264 MP4 (the bytes of a sequence header inside it) and a device.
    std::string mp4 = Scratch().File("clip.mp4");
    testing_support::WriteFile(mp4, std::string("\x00\x00\x00\x18"
                                                "ftypisom",
                                                12) +
                                        kTinyStream);
    std::string said = RunCommand(
        ShellQuote(Program("vantaq-probe")) + " " + ShellQuote(mp4) + " 2>&1 >/dev/null", status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(said, "vantaq-probe: " + mp4 + " is not an MPEG-1/2 video elementary stream\n");
    said = RunCommand(ShellQuote(Program("vantaq-probe")) + " /dev/zero 2>&1", status);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(said, "vantaq-probe: /dev/zero is not a regular file\n");
    run("--bogus x", status);
    EXPECT_EQ(status, 64);
}

} // namespace
