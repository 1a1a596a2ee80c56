// The fast processor against the bit-at-a-time reference on real and mutated streams.
#include "pulldown/pulldown.h"
#include "reference_pulldown.h"
#include "stream_fixtures.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

using namespace pulldown_test;
using pulldown::PulldownOptions;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kEndCode("\x00\x00\x01\xB7", 4);

// Seed of the random mutations; VANTAQ_SEED replays a reported failure.
uint32_t Seed() {
    static uint32_t seed = [] {
        const char* env = std::getenv("VANTAQ_SEED");
        return env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 10))
                   : static_cast<uint32_t>(std::random_device{}());
    }();
    return seed;
}

// Runs both passes on `bytes` and expects the same result code, lines, progress reports and
// output bytes, with the source untouched. Returns the result code.
int ExpectSameAsReference(const std::string& bytes, const PulldownOptions& options,
                          const std::string& label) {
    SCOPED_TRACE(label + " (VANTAQ_SEED=" + std::to_string(Seed()) + ")");
    TempDir dir;
    std::string src = dir.File("in.mpv");
    EXPECT_TRUE(WriteFile(src, bytes));
    RunRecord ref = RunReference(src, dir.File("ref.m2v"), options);
    RunRecord fast = RunFast(src, dir.File("fast.m2v"), options);
    EXPECT_EQ(fast.code, ref.code);
    EXPECT_EQ(fast.finishedCalls, 1);
    EXPECT_EQ(LinesWithoutTarget(fast), LinesWithoutTarget(ref));
    EXPECT_EQ(fast.updates, ref.updates);
    std::string a = ReadFile(dir.File("ref.m2v")), b = ReadFile(dir.File("fast.m2v"));
    if (a != b) {
        size_t i = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i]) {
            ++i;
        }
        ADD_FAILURE() << "outputs differ: reference " << a.size() << " bytes, fast " << b.size()
                      << " bytes, first difference at " << i;
    }
    EXPECT_EQ(ReadFile(src), bytes);
    return fast.code;
}

std::string Insert(std::string s, size_t at, const std::string& what) {
    s.insert(std::min(at, s.size()), what);
    return s;
}

// Offset just after the unit that starts at start code `index` (the next prefix).
size_t UnitEnd(const std::vector<StartCode>& codes, size_t index, size_t size) {
    return index + 1 < codes.size() ? codes[index + 1].offset : size;
}

// Offset of the first start code with `value` (after `skip` others), or npos.
size_t FindUnit(const std::string& s, int value, int skip = 0) {
    for (const StartCode& sc : FindStartCodes(s)) {
        if (sc.value == value && skip-- == 0) {
            return sc.offset;
        }
    }
    return std::string::npos;
}

std::string UserData(size_t payload, char fill = 0x55) {
    return std::string("\x00\x00\x01\xB2", 4) + std::string(payload, fill);
}

const StreamKind kAllKinds[] = {StreamKind::kFilmClosedGop12, StreamKind::kFilmOpenGop15,
                                StreamKind::kPal25, StreamKind::kMpeg1,
                                StreamKind::kFilmDisplayExt};

} // namespace

TEST(PulldownDifferential, WholeStreamsUnderEveryOptionSet) {
    std::vector<PulldownOptions> sets(12);
    sets[1] = WindowOptions();
    sets[2].m_SetFrameRate = true; // 23.976
    sets[3].m_SetFrameRate = true;
    sets[3].m_FrameRateIndex = 2;
    sets[4].m_SetFrameRate = true;
    sets[4].m_FrameRateIndex = 3;
    sets[4].m_DropFrame = 2;
    sets[5].m_NoRff = true;
    sets[5].m_FieldOrder = 1;
    sets[6].m_FieldOrder = 2;
    sets[6].m_ProgressiveFrame = 1;
    sets[7].m_ProgressiveSequence = 1;
    sets[7].m_ProgressiveFrame = 2;
    sets[7].m_AspectRatio = 4;
    sets[8].m_NoTimecodes = true;
    sets[8].m_AspectRatio = 1;
    sets[9].m_NoTimecodes = true;
    sets[9].m_DropFrame = 1;
    sets[9].m_ProgressiveSequence = 2;
    sets[10].m_SetFrameRate = true;
    sets[10].m_FrameRateIndex = 0; // the frame-rate error
    sets[11].m_AspectRatio = 7;    // out of range: left alone
    sets[11].m_FieldOrder = 5;
    for (StreamKind kind : kAllKinds) {
        for (size_t i = 0; i < sets.size(); ++i) {
            int code = ExpectSameAsReference(StreamBytes(kind), sets[i],
                                             "stream " + std::to_string(static_cast<int>(kind)) +
                                                 " options " + std::to_string(i));
            // 2:3 pulldown refuses the 25 fps stream.
            bool refused =
                kind == StreamKind::kPal25 && !sets[i].m_SetFrameRate && !sets[i].m_NoRff;
            EXPECT_EQ(code, i == 10 ? 1 : refused ? 10 : 0);
        }
    }
}

TEST(PulldownDifferential, TruncationsAtHeadersAndBlockEnds) {
    for (StreamKind kind : {StreamKind::kFilmClosedGop12, StreamKind::kMpeg1}) {
        const std::string& s = StreamBytes(kind);
        std::vector<size_t> cuts = {0, 1, 3, 4, 5, 7, 12, s.size() - 1, s.size() - 4};
        std::vector<StartCode> codes = FindStartCodes(s);
        for (size_t i = 0; i < codes.size() && i < 30; ++i) {
            for (size_t d : {0, 1, 3, 4, 6, 9}) {
                cuts.push_back(codes[i].offset + d);
            }
        }
        for (size_t k = kBlock; k < s.size(); k += kBlock) {
            for (int d = -6; d <= 6; ++d) {
                cuts.push_back(k + d);
            }
        }
        for (size_t cut : cuts) {
            int code = ExpectSameAsReference(s.substr(0, cut), WindowOptions(),
                                             "cut at " + std::to_string(cut));
            EXPECT_TRUE(code == 3 || code == 6 || code == 9) << "cut at " << cut;
        }
    }
}

TEST(PulldownDifferential, HeadersStraddlingBlockEnds) {
    // Filler in front moves a header so that it ends j bytes into... or starts j bytes before the
    // end of the first block: every field of it then straddles the block end at some j.
    for (StreamKind kind : {StreamKind::kFilmClosedGop12, StreamKind::kMpeg1}) {
        const std::string& s = StreamBytes(kind);
        // Sequence header, sequence extension, first picture coding extension, GOP, picture.
        for (auto [value, skip] :
             {std::pair{0xB3, 0}, {0xB5, 0}, {0xB5, 1}, {0xB8, 0}, {0x00, 0}}) {
            size_t at = FindUnit(s, value, skip);
            if (at == std::string::npos) {
                continue; // MPEG-1 has no extensions
            }
            for (size_t j = 0; j <= 12; ++j) {
                if (at + j > kBlock) {
                    continue;
                }
                std::string moved = std::string(kBlock - at - j, '\xFF') + s;
                ExpectSameAsReference(moved, WindowOptions(),
                                      "unit " + std::to_string(value) + " at block end - " +
                                          std::to_string(j));
            }
        }
    }
}

TEST(PulldownDifferential, UserDataEverywhereAndAcrossBlockEnds) {
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    std::vector<StartCode> codes = FindStartCodes(s);
    // After the sequence extension, the first GOP header and the first picture coding extension.
    std::vector<size_t> spots = {UnitEnd(codes, 1, s.size()), UnitEnd(codes, 2, s.size()),
                                 UnitEnd(codes, 4, s.size())};
    int lookaheadMisses = 0;
    for (size_t spot : spots) {
        ExpectSameAsReference(Insert(s, spot, UserData(0)), WindowOptions(), "empty user data");
        ExpectSameAsReference(Insert(s, spot, UserData(3, 0)), WindowOptions(), "zero user data");
        // The next prefix lands at every position around the first block end.
        for (int d = -8; d <= 8; ++d) {
            size_t payload = kBlock - spot - 4 + static_cast<size_t>(d + 8) - 8;
            std::string t = Insert(s, spot, UserData(payload));
            int code =
                ExpectSameAsReference(t, WindowOptions(), "user data, d=" + std::to_string(d));
            EXPECT_EQ(code, 0);
            // Also with the file ending 1 to 5 bytes after that block end.
            size_t end = kBlock + static_cast<size_t>(1 + (d + 8) % 5);
            code = ExpectSameAsReference(t.substr(0, end), WindowOptions(),
                                         "user data cut, d=" + std::to_string(d));
            EXPECT_EQ(code, 9);
        }
        // A file that ends inside user data.
        int code = ExpectSameAsReference(Insert(s, spot, UserData(40000)).substr(0, spot + 20000),
                                         WindowOptions(), "ends in user data");
        EXPECT_EQ(code, 9);
    }
    // A prefix that straddles the block end with fewer than 4 bytes after it: the lookahead
    // sees 0 there and the walk runs on to the end of the input.
    std::string head = s.substr(0, UnitEnd(codes, 1, s.size()));
    std::string t = head + UserData(kBlock - head.size() - 4 - 1) + kEndCode;
    ASSERT_EQ(t.size(), kBlock + 3);
    if (ExpectSameAsReference(t, WindowOptions(), "prefix across the end, 3 bytes after") == 9) {
        ++lookaheadMisses;
    }
    EXPECT_EQ(lookaheadMisses, 1);
}

TEST(PulldownDifferential, EndCodesAndFileLengths) {
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    std::string noEnd = s.substr(0, s.size() - 4);
    EXPECT_EQ(ExpectSameAsReference(noEnd, WindowOptions(), "no end code"), 9);
    EXPECT_EQ(ExpectSameAsReference(s + std::string(100, '\x11'), WindowOptions(), "trailing"), 0);
    EXPECT_EQ(ExpectSameAsReference(s + s, WindowOptions(), "second sequence after the end"), 0);
    // End code finishing exactly at a block end, and 1 to 3 bytes after it.
    std::vector<StartCode> codes = FindStartCodes(s);
    size_t spot = UnitEnd(codes, 1, s.size());
    size_t target = (s.size() / kBlock + 2) * kBlock;
    for (size_t extra = 0; extra <= 3; ++extra) {
        std::string t = Insert(s, spot, UserData(target + extra - s.size() - 4));
        ASSERT_EQ(t.size(), target + extra);
        EXPECT_EQ(ExpectSameAsReference(t, WindowOptions(),
                                        "ends at block end + " + std::to_string(extra)),
                  0);
    }
}

TEST(PulldownDifferential, ZeroStuffingBeforeStartCodes) {
    // Zero bytes in front of every start code, of lengths that put the prefixes at every offset
    // of a scan step, and runs that cross block ends.
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    std::vector<StartCode> codes = FindStartCodes(s);
    for (size_t run : {1, 2, 3, 13, 62, 63, 64, 65, 66, 127, 129, 4097, 40000}) {
        std::string t;
        size_t last = 0;
        for (size_t i = 0; i < codes.size(); ++i) {
            t += s.substr(last, codes[i].offset - last) + std::string(run + i % 67, '\0');
            last = codes[i].offset;
        }
        t += s.substr(last);
        EXPECT_EQ(ExpectSameAsReference(t, WindowOptions(), "stuffing " + std::to_string(run)), 0);
    }
}

TEST(PulldownDifferential, StreamsLongerThanTheBuffers) {
    // Many sequences in a row: the pass reads and writes in large chunks through a few buffers
    // that it reuses, and a stream of some MiB goes through each of them several times.
    const std::string& s = StreamBytes(StreamKind::kFilmClosedGop12);
    std::string body = s.substr(0, s.size() - kEndCode.size());
    std::string t;
    while (t.size() < (4u << 20)) {
        t += body;
    }
    EXPECT_EQ(ExpectSameAsReference(t + kEndCode, WindowOptions(), "long stream"), 0);
    EXPECT_EQ(ExpectSameAsReference(t.substr(0, t.size() - 12345), WindowOptions(), "long cut"), 9);
}

TEST(PulldownDifferential, StructuralOddities) {
    const std::string& s = StreamBytes(StreamKind::kFilmOpenGop15);
    // No GOP headers at all.
    std::string noGops;
    std::vector<StartCode> codes = FindStartCodes(s);
    size_t last = 0;
    for (size_t i = 0; i < codes.size(); ++i) {
        if (codes[i].value == 0xB8) {
            noGops += s.substr(last, codes[i].offset - last);
            last = UnitEnd(codes, i, s.size());
        }
    }
    noGops += s.substr(last);
    EXPECT_EQ(ExpectSameAsReference(noGops, WindowOptions(), "no GOP headers"), 0);
    // An extension straight after a GOP header, and one after the GOP's user data.
    size_t gopEnd = UnitEnd(codes, 2, s.size());
    std::string ext = std::string("\x00\x00\x01\xB5\x2A\x00\x00\x00", 8);
    EXPECT_EQ(ExpectSameAsReference(Insert(s, gopEnd, ext), WindowOptions(), "ext after GOP"), 9);
    EXPECT_EQ(ExpectSameAsReference(Insert(s, gopEnd, UserData(9) + ext), WindowOptions(),
                                    "ext after GOP user data"),
              9);
    // Sequence-level extensions with other identifiers, and picture-level extensions.
    size_t seqEnd = UnitEnd(codes, 1, s.size());
    for (int id : {2, 3, 5, 8, 15}) {
        std::string unit = std::string("\x00\x00\x01\xB5", 4) + char(id << 4) + std::string(6, 1);
        ExpectSameAsReference(Insert(s, seqEnd, unit), WindowOptions(), "sequence ext id");
        ExpectSameAsReference(Insert(s, UnitEnd(codes, 4, s.size()), unit), WindowOptions(),
                              "picture ext id");
    }
    // Garbage before the first start code, and a first unit that is not a sequence header.
    EXPECT_EQ(ExpectSameAsReference(std::string(5000, '\x07') + s, WindowOptions(), "lead-in"), 0);
    EXPECT_EQ(ExpectSameAsReference(s.substr(codes[2].offset), WindowOptions(), "no seq"), 6);
    EXPECT_EQ(ExpectSameAsReference(std::string("MPEG? no\n"), WindowOptions(), "text"), 9);
}

TEST(PulldownDifferential, RandomFlipsAndInsertedStartCodes) {
    std::mt19937 rng(Seed());
    std::map<int, int> codesSeen;
    for (StreamKind kind :
         {StreamKind::kFilmClosedGop12, StreamKind::kMpeg1, StreamKind::kFilmDisplayExt}) {
        const std::string& s = StreamBytes(kind);
        std::vector<StartCode> codes = FindStartCodes(s);
        for (int round = 0; round < 40; ++round) {
            std::string t = s;
            int flips = 1 + static_cast<int>(rng() % 3);
            for (int f = 0; f < flips; ++f) {
                // Half the flips land in the first bytes of a unit, where the headers are.
                size_t at =
                    rng() % 2 ? codes[rng() % codes.size()].offset + rng() % 12 : rng() % t.size();
                at = std::min(at, t.size() - 1);
                t[at] = static_cast<char>(t[at] ^ static_cast<char>(1 + rng() % 255));
            }
            ++codesSeen[ExpectSameAsReference(t, WindowOptions(),
                                              "flips round " + std::to_string(round))];
        }
        static const int kValues[] = {0x00, 0x01, 0x2F, 0xAF, 0xB0, 0xB2,
                                      0xB3, 0xB5, 0xB7, 0xB8, 0xB9, 0xFF};
        for (int round = 0; round < 30; ++round) {
            std::string code = std::string("\x00\x00\x01", 3) + char(kValues[rng() % 12]);
            if (rng() % 2) {
                code += std::string(rng() % 20, static_cast<char>(rng()));
            }
            size_t at = rng() % 2 ? codes[rng() % codes.size()].offset : rng() % s.size();
            ++codesSeen[ExpectSameAsReference(Insert(s, at, code), WindowOptions(),
                                              "inserted round " + std::to_string(round))];
        }
    }
    // Random bytes with start codes sprinkled in.
    for (int round = 0; round < 30; ++round) {
        std::string t(rng() % 70000, '\0');
        for (char& c : t) {
            c = static_cast<char>(rng() % 4 == 0 ? 0 : rng());
        }
        if (round % 2 == 0) {
            t = StreamBytes(StreamKind::kFilmClosedGop12).substr(0, 30) + t; // a real start
        }
        for (int k = 0; k < 40 && t.size() > 8; ++k) {
            size_t at = rng() % (t.size() - 4);
            t.replace(at, 4, std::string("\x00\x00\x01", 3) + char(0xB0 + rng() % 10));
        }
        ++codesSeen[ExpectSameAsReference(t, WindowOptions(), "random " + std::to_string(round))];
    }
    std::string seen;
    for (auto [code, count] : codesSeen) {
        seen += " " + std::to_string(code) + ":" + std::to_string(count);
    }
    EXPECT_GT(codesSeen[0], 0) << seen;
    EXPECT_GT(codesSeen[9], 0) << seen;
}
