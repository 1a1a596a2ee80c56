// The processor on real ffmpeg streams, checked with ffprobe/ffmpeg and by reading the fields.
#include "pulldown/picture_count.h"
#include "pulldown/pulldown.h"
#include "reference_pulldown.h"
#include "stream_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace pulldown_test;
using pulldown::PulldownOptions;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Expected 25-bit time code, built field by field: drop flag, hh, mm, marker, ss, ff.
uint32_t TimeCode(int drop, int hh, int mm, int ss, int ff) {
    return (uint32_t(drop) << 24) | (uint32_t(hh) << 19) | (uint32_t(mm) << 13) | (1u << 12) |
           (uint32_t(ss) << 6) | uint32_t(ff);
}

// Number of coded pictures before each GOP header of `s`.
std::vector<int64_t> PicturesBeforeGops(const std::string& s) {
    std::vector<int64_t> out;
    int64_t pictures = 0;
    for (const StartCode& sc : FindStartCodes(s)) {
        if (sc.value == 0xB8) {
            out.push_back(pictures);
        } else if (sc.value == 0x00) {
            ++pictures;
        }
    }
    return out;
}

// Offsets of the bytes a pulldown may change: sequence header byte 7, sequence extension byte
// 5, GOP bytes 4-7, picture header bytes 5-7 (vbv_delay), picture coding extension bytes 7-8.
std::set<size_t> ChangeableBytes(const std::string& s) {
    std::set<size_t> out;
    for (const StartCode& sc : FindStartCodes(s)) {
        size_t o = sc.offset;
        int id = o + 4 < s.size() ? static_cast<uint8_t>(s[o + 4]) >> 4 : -1;
        if (sc.value == 0xB3) {
            out.insert(o + 7);
        } else if (sc.value == 0xB5 && id == 1) {
            out.insert(o + 5);
        } else if (sc.value == 0xB8) {
            out.insert({o + 4, o + 5, o + 6, o + 7});
        } else if (sc.value == 0x00) {
            out.insert({o + 5, o + 6, o + 7});
        } else if (sc.value == 0xB5 && id == 8) {
            out.insert({o + 7, o + 8});
        }
    }
    return out;
}

void ExpectOnlyHeaderBytesChanged(const std::string& in, const std::string& out) {
    ASSERT_EQ(in.size(), out.size());
    std::set<size_t> allowed = ChangeableBytes(in);
    size_t changed = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != out[i]) {
            ++changed;
            EXPECT_TRUE(allowed.count(i)) << "byte " << i << " changed";
        }
    }
    EXPECT_GT(changed, 0u);
}

struct ProbedFrame {
    int duration;
    int topFieldFirst;
    int repeatPict;
};

// Frames as ffprobe decodes them, in display order.
std::vector<ProbedFrame> ProbeFrames(const std::string& path) {
    int status = 0;
    std::string out = RunCommand("ffprobe -v error -show_entries "
                                 "frame=pkt_duration,top_field_first,repeat_pict -of csv=p=0 " +
                                     ShellQuote(path),
                                 status);
    EXPECT_EQ(status, 0);
    std::vector<ProbedFrame> frames;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        ProbedFrame f{};
        if (std::sscanf(line.c_str(), "%d,%d,%d", &f.duration, &f.topFieldFirst, &f.repeatPict) ==
            3) {
            frames.push_back(f);
        }
    }
    return frames;
}

// The GOP time codes that ffmpeg's decoder reports, as "hh:mm:ss;ff" (";" with drop flag).
std::vector<std::string> DecodedTimeCodes(const std::string& path) {
    int status = 0;
    std::string out = RunCommand("ffmpeg -nostdin -hide_banner -debug pict -i " + ShellQuote(path) +
                                     " -f null - 2>&1",
                                 status);
    EXPECT_EQ(status, 0);
    std::vector<std::string> codes;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        size_t at = line.find("GOP (");
        if (line.find("[mpeg2video @") != std::string::npos && at != std::string::npos) {
            codes.push_back(line.substr(at + 5, 11));
        }
    }
    return codes;
}

std::string FormatTimeCode(uint32_t tc) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u%c%02u", (tc >> 19) & 31, (tc >> 13) & 63,
                  (tc >> 6) & 63, (tc >> 24) ? ';' : ':', tc & 63);
    return text;
}

class FilmStream : public ::testing::TestWithParam<StreamKind> {};

} // namespace

TEST_P(FilmStream, WindowRunGivesCadenceRateAndTimeCodes) {
    TempDir dir;
    const std::string& input = StreamBytes(GetParam());
    std::string src = dir.File("film.mpv"), dst = dir.File("film.mpv.m2v");
    ASSERT_TRUE(WriteFile(src, input));
    RunRecord run = RunFast(src, dst, WindowOptions());
    ASSERT_EQ(run.code, 0);
    EXPECT_EQ(run.finishedCalls, 1);
    std::string output = ReadFile(dst);
    ExpectOnlyHeaderBytesChanged(input, output);
    EXPECT_EQ(ReadFile(src), input);

    StreamFields in = ReadFields(input), out = ReadFields(output);
    std::vector<int64_t> gopStarts = PicturesBeforeGops(input);
    ASSERT_GE(gopStarts.size(), 4u);
    ASSERT_EQ(out.timeCodes.size(), gopStarts.size());

    ASSERT_EQ(run.lines.size(), 10u);
    EXPECT_EQ(run.lines[0].first, "Pulldown Started");
    EXPECT_EQ(run.lines[1].first, "  SOURCE = " + src);
    EXPECT_EQ(run.lines[2].first, "  TARGET = " + dst);
    EXPECT_EQ(run.lines[3].first, " - enabling 2:3 pulldown");
    EXPECT_EQ(run.lines[4].first, " - enabling drop frame flag.");
    EXPECT_EQ(run.lines[5].first, "  Total Frames = " + std::to_string(in.pictures.size()));
    // The count the window's progress bar takes as the pass's end.
    EXPECT_EQ(pulldown::CountPictures(src), static_cast<int64_t>(in.pictures.size()));
    EXPECT_EQ(run.lines[6].first, "  Total GOPS = " + std::to_string(gopStarts.size()));
    long long bits = static_cast<long long>(input.size()) * 8;
    long long average = static_cast<long long>(bits / (in.pictures.size() * 0.04170837504170838));
    EXPECT_EQ(run.lines[7].first, "  Average bitrate = " + std::to_string(average) + " bits/sec");
    EXPECT_EQ(run.lines[9].first, "  Time taken = 0 seconds...");
    for (const auto& line : run.lines) {
        EXPECT_EQ(line.second, 0) << line.first;
    }
    EXPECT_FALSE(run.updates.empty());
    EXPECT_EQ(run.updates.back(), static_cast<int64_t>(in.pictures.size()));

    for (int code : out.frameRateCodes) {
        EXPECT_EQ(code, 4);
    }
    EXPECT_EQ(out.aspectCodes, in.aspectCodes);
    for (int p : out.progressiveSequence) {
        EXPECT_EQ(p, 0);
    }
    // Time codes count 5 output pictures for every 4 film pictures, at 30 a second, drop flag on.
    for (size_t g = 0; g < gopStarts.size(); ++g) {
        int64_t v = gopStarts[g] / 2 * 5 / 2;
        EXPECT_EQ(out.timeCodes[g],
                  TimeCode(1, 0, 0, static_cast<int>(v / 30), static_cast<int>(v % 30)))
            << "GOP " << g;
    }
    EXPECT_EQ(out.timeCodes[0], TimeCode(1, 0, 0, 0, 0));
    for (const StartCode& sc : FindStartCodes(output)) {
        if (sc.value == 0xB8) { // the first GOP header's time-code bytes
            EXPECT_EQ(output.substr(sc.offset + 4, 3), std::string("\x80\x08\x00", 3));
            EXPECT_EQ(output[sc.offset + 7] & 0x80, 0);
            break;
        }
    }

    // ffprobe, in display order: 29.97 frame periods (a repeated field adds half a period)
    // and the cadence (1,0), (1,1), (0,0), (0,1).
    std::vector<ProbedFrame> frames = ProbeFrames(dst);
    ASSERT_EQ(frames.size(), in.pictures.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        int tff = (i % 4) < 2 ? 1 : 0, repeat = static_cast<int>(i % 2);
        EXPECT_EQ(frames[i].topFieldFirst, tff) << "frame " << i;
        EXPECT_EQ(frames[i].repeatPict, repeat) << "frame " << i;
        EXPECT_EQ(frames[i].duration, repeat ? 60060 : 40040) << "frame " << i;
    }
    int status = 0;
    std::string errors = RunCommand(
        "ffmpeg -nostdin -v error -xerror -i " + ShellQuote(dst) + " -f null - 2>&1", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(errors, "");
    std::vector<std::string> decoded = DecodedTimeCodes(dst);
    ASSERT_EQ(decoded.size(), out.timeCodes.size());
    for (size_t g = 0; g < decoded.size(); ++g) {
        EXPECT_EQ(decoded[g], FormatTimeCode(out.timeCodes[g]));
    }

    // The plain reference agrees to the byte.
    RunRecord ref = RunReference(src, dir.File("ref.m2v"), WindowOptions());
    EXPECT_EQ(ref.code, 0);
    EXPECT_EQ(LinesWithoutTarget(ref), LinesWithoutTarget(run));
    EXPECT_EQ(ref.updates, run.updates);
    EXPECT_EQ(ReadFile(dir.File("ref.m2v")), output);
}

INSTANTIATE_TEST_SUITE_P(RealStreams, FilmStream,
                         ::testing::Values(StreamKind::kFilmClosedGop12, StreamKind::kFilmOpenGop15,
                                           StreamKind::kFilmDisplayExt));

TEST(PulldownStream, OpenGopPicturesFollowTemporalReference) {
    TempDir dir;
    const std::string& input = StreamBytes(StreamKind::kFilmOpenGop15);
    ASSERT_TRUE(WriteFile(dir.File("a.mpv"), input));
    ASSERT_EQ(RunFast(dir.File("a.mpv"), dir.File("a.m2v"), WindowOptions()).code, 0);
    StreamFields out = ReadFields(ReadFile(dir.File("a.m2v")));
    std::vector<int64_t> gopStarts = PicturesBeforeGops(input);
    // Walk the pictures in coded order; each gets the cadence of GOP start + temporal_reference.
    size_t gop = 0;
    int64_t coded = 0;
    bool sawLateIntra = false;
    for (size_t i = 0; i < out.pictures.size(); ++i, ++coded) {
        while (gop + 1 < gopStarts.size() && gopStarts[gop + 1] <= coded) {
            ++gop;
        }
        const PictureFlags& p = out.pictures[i];
        int64_t n = gopStarts[gop] + p.temporalReference;
        EXPECT_EQ(p.topFieldFirst, n % 4 < 2 ? 1 : 0) << "coded picture " << i;
        EXPECT_EQ(p.repeatFirstField, static_cast<int>(n % 2)) << "coded picture " << i;
        EXPECT_EQ(p.progressiveFrame, p.repeatFirstField);
        EXPECT_EQ(p.chroma420Type, p.repeatFirstField);
        if (gop > 0 && gopStarts[gop] == coded && p.temporalReference == 2) {
            sawLateIntra = true; // an open GOP's I-picture, shown after two B-pictures
        }
    }
    EXPECT_TRUE(sawLateIntra);
}

TEST(PulldownStream, Mpeg1GetsRateAndTimeCodesButNoPictureFlags) {
    TempDir dir;
    const std::string& input = StreamBytes(StreamKind::kMpeg1);
    ASSERT_TRUE(WriteFile(dir.File("m1.mpv"), input));
    RunRecord run = RunFast(dir.File("m1.mpv"), dir.File("m1.m2v"), WindowOptions());
    ASSERT_EQ(run.code, 0);
    std::string output = ReadFile(dir.File("m1.m2v"));
    ExpectOnlyHeaderBytesChanged(input, output);
    StreamFields out = ReadFields(output);
    EXPECT_TRUE(out.pictures.empty());
    for (int code : out.frameRateCodes) {
        EXPECT_EQ(code, 4);
    }
    ASSERT_GE(out.timeCodes.size(), 2u);
    for (uint32_t tc : out.timeCodes) {
        EXPECT_EQ(tc, TimeCode(1, 0, 0, 0, 0)); // no picture is ever counted
    }
    EXPECT_EQ(run.lines[5].first, "  Total Frames = 0");
    EXPECT_EQ(run.lines[7].first, "  Average bitrate = 0 bits/sec");
    EXPECT_EQ(out.aspectCodes, ReadFields(input).aspectCodes);
}

TEST(PulldownStream, FrameRateModeStampsTheRateAndLeavesFlags) {
    TempDir dir;
    const std::string& input = StreamBytes(StreamKind::kPal25);
    ASSERT_TRUE(WriteFile(dir.File("p.mpv"), input));
    PulldownOptions o;
    o.m_SetFrameRate = true;
    o.m_FrameRateIndex = 2;
    RunRecord run = RunFast(dir.File("p.mpv"), dir.File("p.m2v"), o);
    ASSERT_EQ(run.code, 0);
    EXPECT_EQ(run.lines[3].first, " - disableing 2:3 pulldown");
    EXPECT_EQ(run.lines[4].first, " - setting frame rate to 25.000000");
    StreamFields in = ReadFields(input), out = ReadFields(ReadFile(dir.File("p.m2v")));
    for (int code : out.frameRateCodes) {
        EXPECT_EQ(code, 3);
    }
    EXPECT_EQ(out.timeCodes, in.timeCodes);
    ASSERT_EQ(out.pictures.size(), in.pictures.size());
    for (size_t i = 0; i < in.pictures.size(); ++i) {
        EXPECT_EQ(out.pictures[i].topFieldFirst, in.pictures[i].topFieldFirst);
        EXPECT_EQ(out.pictures[i].repeatFirstField, in.pictures[i].repeatFirstField);
        EXPECT_EQ(out.pictures[i].progressiveFrame, in.pictures[i].progressiveFrame);
    }
    for (const ProbedFrame& f : ProbeFrames(dir.File("p.m2v"))) {
        EXPECT_EQ(f.duration, 48000); // 1/25 s in ffprobe's 1/1200000 time base
        EXPECT_EQ(f.repeatPict, 0);
    }
}

TEST(PulldownStream, FieldOptionsOverrideTheCadence) {
    TempDir dir;
    const std::string& input = StreamBytes(StreamKind::kFilmClosedGop12);
    ASSERT_TRUE(WriteFile(dir.File("f.mpv"), input));
    StreamFields in = ReadFields(input);

    PulldownOptions evenNoRff;
    evenNoRff.m_NoRff = true;
    evenNoRff.m_FieldOrder = 2;
    evenNoRff.m_ProgressiveSequence = 1;
    evenNoRff.m_AspectRatio = 3;
    evenNoRff.m_NoTimecodes = true;
    ASSERT_EQ(RunFast(dir.File("f.mpv"), dir.File("a.m2v"), evenNoRff).code, 0);
    StreamFields a = ReadFields(ReadFile(dir.File("a.m2v")));
    ASSERT_EQ(a.pictures.size(), in.pictures.size());
    for (size_t i = 0; i < a.pictures.size(); ++i) {
        EXPECT_EQ(a.pictures[i].topFieldFirst, 0);
        EXPECT_EQ(a.pictures[i].repeatFirstField, 0);
        EXPECT_EQ(a.pictures[i].progressiveFrame, in.pictures[i].progressiveFrame);
        EXPECT_EQ(a.pictures[i].chroma420Type, in.pictures[i].chroma420Type);
    }
    for (int p : a.progressiveSequence) {
        EXPECT_EQ(p, 1);
    }
    for (int code : a.aspectCodes) {
        EXPECT_EQ(code, 3);
    }
    EXPECT_EQ(a.timeCodes, in.timeCodes);

    PulldownOptions oddInterlaced;
    oddInterlaced.m_FieldOrder = 1;
    oddInterlaced.m_ProgressiveFrame = 2;
    ASSERT_EQ(RunFast(dir.File("f.mpv"), dir.File("b.m2v"), oddInterlaced).code, 0);
    StreamFields b = ReadFields(ReadFile(dir.File("b.m2v")));
    int repeats = 0;
    for (const PictureFlags& p : b.pictures) {
        EXPECT_EQ(p.topFieldFirst, 1);
        EXPECT_EQ(p.progressiveFrame, 0);
        EXPECT_EQ(p.chroma420Type, 0);
        repeats += p.repeatFirstField;
    }
    EXPECT_EQ(repeats, static_cast<int>(b.pictures.size()) / 2); // the cadence still repeats
    // Without the drop-frame option the flag stays clear.
    EXPECT_EQ(b.timeCodes[0], TimeCode(0, 0, 0, 0, 0));
}

TEST(PictureCount, StartCodesAcrossReadSeamsAndWhatIsNoFile) {
    TempDir dir;
    const std::string code("\0\0\1\0", 4);
    const size_t seam = size_t{1} << 20; // the counter's read size
    // A start code cut by each seam position, one well inside, and a sequence start code.
    for (size_t cut : {1u, 2u, 3u}) {
        std::string bytes(seam - cut, 'x');
        bytes += code + std::string(100, 'y') + code + std::string("\0\0\1\xb3", 4);
        ASSERT_TRUE(WriteFile(dir.File("s.mpv"), bytes));
        EXPECT_EQ(pulldown::CountPictures(dir.File("s.mpv")), 2) << cut;
    }
    EXPECT_EQ(pulldown::CountPictures(dir.File("missing.mpv")), -1);
    EXPECT_EQ(pulldown::CountPictures(dir.Path()), -1);
}
