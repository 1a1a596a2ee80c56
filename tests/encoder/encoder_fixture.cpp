// Helpers of the encoder tests: control list texts, test sources made with ffmpeg, running
// programs, and a small MPEG video stream scanner that checks what ffprobe does not show.
#include "encoder_fixture.h"

#include "support/media.h"

#include "child_process.h"
#include "ecl_list.h"
#include "support/test_support.h"

#include <sstream>
#include <utility>

namespace encoder_test {

const std::string kProgramDir = VANTAQ_PROGRAM_DIR;
const std::string kEclCce = kProgramDir + "/EclCCE";
const std::string kCce = kProgramDir + "/cce";

namespace {

// The [item] keys in the order the job writer puts them; the flag says which header variant
// carries the key: 'b' both, 'c' classic only, 't' trial only.
const std::vector<std::pair<std::string, char>> kItemKeys = {
    {"title", 'b'},
    {"vid_out", 'b'},
    {"vaf_out", 'b'},
    {"aud_out", 'b'},
    {"aud_mode", 't'},
    {"vid_file0", 'b'},
    {"vid_file1", 'b'},
    {"vaf_file", 'b'},
    {"aud_file", 'b'},
    {"file_focused", 'b'},
    {"encode_mode", 'c'},
    {"packet_size", 'b'},
    {"timecode", 'b'},
    {"tc_ref_frm", 't'},
    {"width", 'b'},
    {"height", 'b'},
    {"vmode", 'c'},
    {"video_type", 't'},
    {"frame_rate_idx", 'b'},
    {"drop_frame", 't'},
    {"cbr_brate", 'b'},
    {"vbr_q_factor", 'b'},
    {"vbr_bias", 'b'},
    {"opv_brate_min", 'b'},
    {"opv_brate_max", 'b'},
    {"vbr_brate_avg", 'b'},
    {"vbr_brate_min", 'b'},
    {"vbr_brate_max", 'b'},
    {"vbr_pass", 'b'},
    {"quality_prec", 'b'},
    {"create_new_vaf", 't'},
    {"pulldown_detect", 't'},
    {"letter_box", 't'},
    {"panscan", 't'},
    {"dither", 't'},
    {"dither_max", 't'},
    {"h_filter", 't'},
    {"h_filter_idx", 't'},
    {"fix_vbv_delay", 't'},
    {"qmat_idx", 't'},
    {"use_filter", 'b'},
    {"filter_val", 'b'},
    {"seq_endcode", 'b'},
    {"dvd", 'b'},
    {"half_width", 'b'},
    {"half_height", 'b'},
    {"uscc", 't'},
    {"fast_mode", 'c'},
    {"progressive", 'b'},
    {"alternate_scan", 'b'},
    {"non_linear", 'b'},
    {"top_first", 'b'},
    {"lum_level", 'b'},
    {"intra_dc_prec", 'b'},
    {"aspect_ratio", 'b'},
    {"gop_m", 'b'},
    {"gop_nm", 'b'},
    {"gop_hdr", 'b'},
    {"seq_hdr", 'b'},
    {"all_closed_gop", 'b'},
    {"fix_gop_length", 'b'},
    {"mpeg1", 'b'},
    {"mpeg1_cps", 'b'},
    {"samples_per_sec", 'b'},
    {"stereo", 'b'},
    {"brate_idx", 'b'},
    {"crc", 'b'},
};

std::map<std::string, std::string> Defaults(const std::string& source, const std::string& base) {
    return {
        {"title", "Test Job"},
        {"vid_out", "1"},
        {"vaf_out", "1"},
        {"aud_out", "0"},
        {"aud_mode", "0"},
        {"vid_file0", base + ".mpv"},
        {"vid_file1", base + ".mpv"},
        {"vaf_file", base + ".vaf"},
        {"aud_file", base + ".mpa"},
        {"file_focused", "0"},
        {"encode_mode", "0"},
        {"packet_size", "2048"},
        {"timecode", "0x0"},
        {"tc_ref_frm", "0"},
        {"width", "176"},
        {"height", "144"},
        {"vmode", "1"},
        {"video_type", "1"},
        {"frame_rate_idx", "3"},
        {"drop_frame", "0"},
        {"cbr_brate", "3000"},
        {"vbr_q_factor", "60"},
        {"vbr_bias", "30"},
        {"opv_brate_min", "0"},
        {"opv_brate_max", "9000"},
        {"vbr_brate_avg", "3000"},
        {"vbr_brate_min", "0"},
        {"vbr_brate_max", "9000"},
        {"vbr_pass", "2"},
        {"quality_prec", "16"},
        {"create_new_vaf", "1"},
        {"pulldown_detect", "0"},
        {"letter_box", "0"},
        {"panscan", "0"},
        {"dither", "0"},
        {"dither_max", "8"},
        {"h_filter", "0"},
        {"h_filter_idx", "8"},
        {"fix_vbv_delay", "0"},
        {"qmat_idx", "0"},
        {"use_filter", "0"},
        {"filter_val", "6"},
        {"seq_endcode", "1"},
        {"dvd", "0"},
        {"half_width", "0"},
        {"half_height", "0"},
        {"uscc", "0"},
        {"fast_mode", "0"},
        {"progressive", "1"},
        {"alternate_scan", "0"},
        {"non_linear", "1"},
        {"top_first", "1"},
        {"lum_level", "1"},
        {"intra_dc_prec", "2"},
        {"aspect_ratio", "2"},
        {"gop_m", "3"},
        {"gop_nm", "4"},
        {"gop_hdr", "12"},
        {"seq_hdr", "1"},
        {"all_closed_gop", "1"},
        {"fix_gop_length", "0"},
        {"mpeg1", "0"},
        {"mpeg1_cps", "0"},
        {"samples_per_sec", "44100"},
        {"stereo", "2"},
        {"brate_idx", "7"},
        {"crc", "1"},
        {"name", source},
        {"type", "0"},
        {"frame_first", "0"},
        {"frame_last", "0"},
        {"encode_first", "0"},
        {"encode_last", "0"},
    };
}

// A most-significant-bit-first reader over the bytes after a start code.
class Bits {
public:
    Bits(const std::string& data, size_t pos) : m_Data(data), m_Bit(pos * 8) {}
    uint32_t Get(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const size_t byte = m_Bit / 8;
            const int bit = byte < m_Data.size() ? (m_Data[byte] >> (7 - m_Bit % 8)) & 1 : 0;
            v = (v << 1) | static_cast<uint32_t>(bit);
            ++m_Bit;
        }
        return v;
    }

private:
    const std::string& m_Data;
    size_t m_Bit;
};

} // namespace

std::string MakeEcl(bool classic, const std::string& source, const std::string& outBase,
                    const std::map<std::string, std::string>& changes,
                    const std::vector<int>& chapters) {
    std::map<std::string, std::string> v = Defaults(source, outBase);
    std::vector<std::string> extra;
    auto carried = [classic](const std::string& key) {
        for (const auto& [name, where] : kItemKeys) {
            if (name == key) {
                return where == 'b' || where == (classic ? 'c' : 't');
            }
        }
        return key == "name" || key == "type" || key.rfind("frame_", 0) == 0 ||
               key.rfind("encode_", 0) == 0;
    };
    for (const auto& [key, value] : changes) {
        if (!carried(key)) {
            extra.push_back(key); // a key this variant does not carry, or an unknown one
        }
        v[key] = value;
    }
    std::ostringstream out;
    auto line = [&](const std::string& key) {
        if (v[key] != "<drop>") {
            out << key << "=" << v[key] << "\r\n";
        }
    };
    out << (classic ? enc::kClassicHeader : enc::kTrialHeader) << "\r\n\r\n[item]\r\n";
    for (const auto& [key, where] : kItemKeys) {
        if (where == 'b' || where == (classic ? 'c' : 't')) {
            line(key);
        }
    }
    for (const std::string& key : extra) {
        line(key);
    }
    out << "\r\n[file]\r\n";
    for (const char* key :
         {"name", "type", "frame_first", "frame_last", "encode_first", "encode_last"}) {
        line(key);
    }
    for (int c : chapters) {
        out << "chapter=" << c << ":\r\n";
    }
    return out.str();
}

bool MakeSource(const std::string& path, const std::string& rate, int seconds, bool audio) {
    return media::MakeAvi(path, "176x144", rate, seconds, "mpeg4", audio);
}

RunResult RunProgram(const std::vector<std::string>& argv) {
    RunResult r;
    enc::ChildProcess child;
    enc::SpawnOptions options;
    options.captureOutput = true;
    options.mergeStderr = true;
    std::string error;
    if (!child.Start(argv, options, error)) {
        r.output = error;
        return r;
    }
    child.ReadLines([&r](const std::string& line) { r.output += line + "\n"; });
    r.status = child.Wait();
    return r;
}

std::map<std::string, std::string> ProbeStream(const std::string& path,
                                               const std::string& entries) {
    std::map<std::string, std::string> fields;
    RunResult r = RunProgram({"ffprobe", "-v", "error", "-select_streams", "0", "-show_entries",
                              "stream=" + entries, "-of", "default=noprint_wrappers=1", path});
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            fields[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return fields;
}

StreamFacts ScanStream(const std::string& path) {
    StreamFacts f;
    const std::string data = testing_support::ReadFile(path);
    bool firstPicture = true;
    for (size_t i = 0; i + 4 <= data.size(); ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) {
            continue;
        }
        const unsigned char code = static_cast<unsigned char>(data[i + 3]);
        Bits b(data, i + 4);
        if (code == 0xB3 && !f.valid) { // sequence_header
            f.valid = true;
            f.width = static_cast<int>(b.Get(12));
            f.height = static_cast<int>(b.Get(12));
            f.aspectCode = static_cast<int>(b.Get(4));
            f.frameRateCode = static_cast<int>(b.Get(4));
            f.bitRateBps = int64_t{b.Get(18)} * 400;
            b.Get(1); // marker_bit
            f.vbvBits = int64_t{b.Get(10)} * 16 * 1024;
        } else if (code == 0xB5) { // extension_start_code
            const uint32_t id = b.Get(4);
            if (id == 1) { // sequence_extension
                b.Get(8);  // profile_and_level_indication
                f.progressiveSequence = b.Get(1) == 1;
            } else if (id == 8 && firstPicture) { // picture_coding_extension
                b.Get(16);                        // f_codes
                f.intraDcBits = 8 + static_cast<int>(b.Get(2));
                b.Get(2); // picture_structure
                f.topFieldFirst = b.Get(1) == 1;
                b.Get(2); // frame_pred_frame_dct, concealment_motion_vectors
                f.nonLinearQuant = b.Get(1) == 1;
                b.Get(1); // intra_vlc_format
                f.alternateScan = b.Get(1) == 1;
                firstPicture = false;
            }
        } else if (code == 0xB8) { // group_of_pictures_header
            b.Get(25);             // time_code
            GopFacts g;
            g.closed = b.Get(1) == 1;
            f.gops.push_back(g);
        } else if (code == 0x00) { // picture_header
            b.Get(10);             // temporal_reference
            const uint32_t type = b.Get(3);
            ++f.pictures;
            if (!f.gops.empty()) {
                GopFacts& g = f.gops.back();
                if (g.pictures++ == 0) {
                    g.firstType = type == 1 ? 'I' : type == 2 ? 'P' : 'B';
                }
            }
        }
    }
    f.endsWithSequenceEnd =
        data.size() >= 4 && data.compare(data.size() - 4, 4, std::string("\0\0\1\xB7", 4)) == 0;
    return f;
}

} // namespace encoder_test
