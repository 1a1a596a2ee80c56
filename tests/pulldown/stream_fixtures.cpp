// Test streams made with ffmpeg, a small field reader for checking output, and shell helpers.
#include "stream_fixtures.h"

#include "support/media.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <sys/wait.h>

namespace pulldown_test {

namespace {

std::string EncoderArgs(StreamKind kind) {
    const std::string film = "-f lavfi -i testsrc=size=160x120:rate=24000/1001 -t 3 ";
    switch (kind) {
    case StreamKind::kFilmClosedGop12:
        return film +
               "-c:v mpeg2video -g 12 -bf 2 -flags +cgop -sc_threshold 1000000000 -b:v 1200k";
    case StreamKind::kFilmOpenGop15:
        return film + "-c:v mpeg2video -g 15 -bf 2 -b:v 800k";
    case StreamKind::kPal25:
        return "-f lavfi -i testsrc=size=160x120:rate=25 -t 2 -c:v mpeg2video -g 12 -bf 2 "
               "-b:v 600k";
    case StreamKind::kMpeg1:
        return film + "-c:v mpeg1video -g 12 -bf 2 -b:v 800k";
    case StreamKind::kFilmDisplayExt:
        return "-f lavfi -i testsrc=size=160x120:rate=24000/1001 -t 2 -c:v mpeg2video -g 12 "
               "-bf 2 -seq_disp_ext always -color_primaries bt709 -color_trc bt709 "
               "-colorspace bt709 -b:v 600k";
    case StreamKind::kFilmInterlaced:
        return film + "-c:v mpeg2video -g 12 -bf 2 -flags +ildct+ilme -b:v 800k";
    case StreamKind::kFilmConstant:
        return film + "-c:v mpeg2video -g 12 -bf 2 -b:v 800k -minrate 800k -maxrate 800k "
                      "-bufsize 1835008";
    }
    return {};
}

} // namespace

const std::string& StreamBytes(StreamKind kind) {
    static testing_support::TempDir dir;
    static std::map<StreamKind, std::string> cache;
    auto it = cache.find(kind);
    if (it != cache.end()) {
        return it->second;
    }
    std::string path = dir.File("stream" + std::to_string(static_cast<int>(kind)) + ".mpv");
    bool made =
        media::MakeOnce("-v error -nostdin -y " + EncoderArgs(kind) + " -f mpeg2video", path);
    std::string bytes = testing_support::ReadFile(path);
    EXPECT_TRUE(made) << "ffmpeg failed for stream kind " << static_cast<int>(kind);
    EXPECT_GT(bytes.size(), 1000u);
    bytes += std::string("\x00\x00\x01\xB7", 4);
    return cache.emplace(kind, bytes).first->second;
}

std::vector<StartCode> FindStartCodes(const std::string& s) {
    std::vector<StartCode> out;
    for (size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
            out.push_back({i, static_cast<uint8_t>(s[i + 3])});
        }
    }
    return out;
}

StreamFields ReadFields(const std::string& s) {
    StreamFields f;
    auto byte = [&s](size_t i) -> unsigned {
        return i < s.size() ? static_cast<uint8_t>(s[i]) : 0;
    };
    int lastTemporalReference = 0;
    for (const StartCode& sc : FindStartCodes(s)) {
        size_t o = sc.offset;
        if (sc.value == 0xB3) {
            f.aspectCodes.push_back(static_cast<int>(byte(o + 7) >> 4));
            f.frameRateCodes.push_back(static_cast<int>(byte(o + 7) & 0x0F));
        } else if (sc.value == 0xB8) {
            uint32_t v =
                (byte(o + 4) << 24) | (byte(o + 5) << 16) | (byte(o + 6) << 8) | byte(o + 7);
            f.timeCodes.push_back(v >> 7);
        } else if (sc.value == 0x00) {
            lastTemporalReference = static_cast<int>((byte(o + 4) << 2) | (byte(o + 5) >> 6));
            // vbv_delay: the last 3 bits of byte 5, byte 6 and the first 5 bits of byte 7.
            f.vbvDelays.push_back(((byte(o + 5) & 0x07) << 13) | (byte(o + 6) << 5) |
                                  (byte(o + 7) >> 3));
        } else if (sc.value == 0xB5) {
            int id = static_cast<int>(byte(o + 4) >> 4);
            if (id == 1) {
                f.progressiveSequence.push_back((byte(o + 5) & 0x08) ? 1 : 0);
            } else if (id == 8) {
                PictureFlags p;
                p.temporalReference = lastTemporalReference;
                p.topFieldFirst = (byte(o + 7) & 0x80) ? 1 : 0;
                p.repeatFirstField = (byte(o + 7) & 0x02) ? 1 : 0;
                p.chroma420Type = (byte(o + 7) & 0x01) ? 1 : 0;
                p.progressiveFrame = (byte(o + 8) & 0x80) ? 1 : 0;
                f.pictures.push_back(p);
            }
        }
    }
    return f;
}

std::string RunCommand(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    std::array<char, 4096> buf{};
    size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) {
        out.append(buf.data(), n);
    }
    int raw = pclose(pipe);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') {
            q += "'\\''";
        } else {
            q += c;
        }
    }
    return q + "'";
}

pulldown::PulldownOptions WindowOptions() {
    pulldown::PulldownOptions o;
    o.m_DropFrame = 1;
    return o;
}

} // namespace pulldown_test
