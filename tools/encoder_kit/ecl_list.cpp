// Reads an encoder control list (ECL) into checked key/value pairs, in either header variant.
#include "ecl_list.h"

#include "platform/files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace enc {

namespace {

enum class Section { None, Item, File };
enum class Kind { Text, Number };

// Which lists carry a key: every list, only one header variant, or lists that may leave it out.
enum class Presence { Always, ClassicOnly, TrialOnly, Optional, TrialOptional };

struct KeySpec {
    const char* name;
    Section section;
    Kind kind;
    Presence presence;
};

constexpr KeySpec kKeys[] = {
    {"title", Section::Item, Kind::Text, Presence::Always},
    {"vid_out", Section::Item, Kind::Number, Presence::Always},
    {"vaf_out", Section::Item, Kind::Number, Presence::Always},
    {"aud_out", Section::Item, Kind::Number, Presence::Always},
    {"aud_mode", Section::Item, Kind::Number, Presence::TrialOnly},
    {"vid_file0", Section::Item, Kind::Text, Presence::Always},
    {"vid_file1", Section::Item, Kind::Text, Presence::Always},
    {"vaf_file", Section::Item, Kind::Text, Presence::Always},
    {"aud_file", Section::Item, Kind::Text, Presence::Always},
    {"file_focused", Section::Item, Kind::Number, Presence::Always},
    {"encode_mode", Section::Item, Kind::Number, Presence::ClassicOnly},
    {"packet_size", Section::Item, Kind::Number, Presence::Always},
    {"timecode", Section::Item, Kind::Number, Presence::Always},
    {"tc_ref_frm", Section::Item, Kind::Number, Presence::TrialOnly},
    {"width", Section::Item, Kind::Number, Presence::Always},
    {"height", Section::Item, Kind::Number, Presence::Always},
    {"vmode", Section::Item, Kind::Number, Presence::ClassicOnly},
    {"video_type", Section::Item, Kind::Number, Presence::TrialOnly},
    {"frame_rate_idx", Section::Item, Kind::Number, Presence::Optional},
    {"drop_frame", Section::Item, Kind::Number, Presence::TrialOnly},
    {"cbr_brate", Section::Item, Kind::Number, Presence::Always},
    {"opv_q_factor", Section::Item, Kind::Number, Presence::Optional},
    {"vbr_q_factor", Section::Item, Kind::Number, Presence::Optional},
    {"vbr_bias", Section::Item, Kind::Number, Presence::Always},
    {"opv_brate_min", Section::Item, Kind::Number, Presence::Always},
    {"opv_brate_max", Section::Item, Kind::Number, Presence::Always},
    {"vbr_brate_avg", Section::Item, Kind::Number, Presence::Always},
    {"vbr_brate_min", Section::Item, Kind::Number, Presence::Always},
    {"vbr_brate_max", Section::Item, Kind::Number, Presence::Always},
    {"vbr_pass", Section::Item, Kind::Number, Presence::Always},
    {"quality_prec", Section::Item, Kind::Number, Presence::Always},
    {"create_new_vaf", Section::Item, Kind::Number, Presence::TrialOnly},
    {"pulldown_detect", Section::Item, Kind::Number, Presence::TrialOnly},
    {"letter_box", Section::Item, Kind::Number, Presence::TrialOnly},
    {"panscan", Section::Item, Kind::Number, Presence::TrialOnly},
    {"dither", Section::Item, Kind::Number, Presence::TrialOnly},
    {"dither_max", Section::Item, Kind::Number, Presence::TrialOnly},
    {"h_filter", Section::Item, Kind::Number, Presence::TrialOnly},
    {"h_filter_idx", Section::Item, Kind::Number, Presence::TrialOnly},
    {"fix_vbv_delay", Section::Item, Kind::Number, Presence::TrialOnly},
    {"qmat_idx", Section::Item, Kind::Number, Presence::TrialOnly},
    {"use_filter", Section::Item, Kind::Number, Presence::Always},
    {"filter_val", Section::Item, Kind::Number, Presence::Always},
    {"seq_endcode", Section::Item, Kind::Number, Presence::Always},
    {"dvd", Section::Item, Kind::Number, Presence::Always},
    {"half_width", Section::Item, Kind::Number, Presence::Always},
    {"half_height", Section::Item, Kind::Number, Presence::Always},
    {"uscc", Section::Item, Kind::Number, Presence::TrialOptional},
    {"fast_mode", Section::Item, Kind::Number, Presence::ClassicOnly},
    {"progressive", Section::Item, Kind::Number, Presence::Always},
    {"alternate_scan", Section::Item, Kind::Number, Presence::Always},
    {"non_linear", Section::Item, Kind::Number, Presence::Always},
    {"top_first", Section::Item, Kind::Number, Presence::Always},
    {"lum_level", Section::Item, Kind::Number, Presence::Always},
    {"intra_dc_prec", Section::Item, Kind::Number, Presence::Always},
    {"aspect_ratio", Section::Item, Kind::Number, Presence::Always},
    {"fit_picture", Section::Item, Kind::Number, Presence::Optional},
    {"gop_m", Section::Item, Kind::Number, Presence::Always},
    {"gop_nm", Section::Item, Kind::Number, Presence::Always},
    {"gop_hdr", Section::Item, Kind::Number, Presence::Always},
    {"seq_hdr", Section::Item, Kind::Number, Presence::Always},
    {"all_closed_gop", Section::Item, Kind::Number, Presence::Always},
    {"fix_gop_length", Section::Item, Kind::Number, Presence::Always},
    {"mpeg1", Section::Item, Kind::Number, Presence::Always},
    {"mpeg1_cps", Section::Item, Kind::Number, Presence::Always},
    {"samples_per_sec", Section::Item, Kind::Number, Presence::Always},
    {"stereo", Section::Item, Kind::Number, Presence::Always},
    {"brate_idx", Section::Item, Kind::Number, Presence::Always},
    {"crc", Section::Item, Kind::Number, Presence::Always},
    {"name", Section::File, Kind::Text, Presence::Always},
    {"type", Section::File, Kind::Number, Presence::Always},
    {"frame_first", Section::File, Kind::Number, Presence::Always},
    {"frame_last", Section::File, Kind::Number, Presence::Always},
    {"encode_first", Section::File, Kind::Number, Presence::Always},
    {"encode_last", Section::File, Kind::Number, Presence::Always},
};

const KeySpec* FindKey(const std::string& name) {
    for (const KeySpec& k : kKeys) {
        if (name == k.name) {
            return &k;
        }
    }
    return nullptr;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool ParseNumber(const std::string& text, int64_t& out) {
    if (text.empty()) {
        return false;
    }
    int base = 10;
    const char* begin = text.c_str();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
        if (!std::isxdigit(static_cast<unsigned char>(*begin))) {
            return false;
        }
    }
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(begin, &end, base);
    if (errno != 0 || end == begin || *end != '\0') {
        return false;
    }
    out = v;
    return true;
}

bool Belongs(Presence p, EclVariant v) {
    switch (p) {
    case Presence::ClassicOnly:
        return v == EclVariant::Classic;
    case Presence::TrialOnly:
    case Presence::TrialOptional:
        return v == EclVariant::Trial;
    default:
        return true;
    }
}

bool Required(Presence p, EclVariant v) {
    return p == Presence::Always || (p == Presence::ClassicOnly && v == EclVariant::Classic) ||
           (p == Presence::TrialOnly && v == EclVariant::Trial);
}

std::string LineRef(size_t number) {
    return "line " + std::to_string(number) + ": ";
}

} // namespace

std::string EclList::Text(const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}

bool EclList::Number(const std::string& key, int64_t& out) const {
    auto it = values.find(key);
    return it != values.end() && ParseNumber(it->second, out);
}

bool ParseEcl(const std::string& text, EclList& out, std::string& error) {
    out = EclList();
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    if (lines.empty()) {
        error = "the control list is empty";
        return false;
    }
    if (lines[0] == kClassicHeader) {
        out.variant = EclVariant::Classic;
    } else if (lines[0] == kTrialHeader) {
        out.variant = EclVariant::Trial;
    } else {
        error = "line 1: not an encoder control list header: \"" + lines[0] + "\"";
        return false;
    }
    const char* variantName =
        out.variant == EclVariant::Classic ? "the 2.50 header" : "the trial header";

    Section section = Section::None;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.empty() || l[0] == ';') {
            continue;
        }
        if (l[0] == '[') {
            std::string name = Lower(l);
            if (name == "[item]") {
                section = Section::Item;
            } else if (name == "[file]") {
                section = Section::File;
            } else {
                error = LineRef(i + 1) + "unknown section " + l;
                return false;
            }
            continue;
        }
        size_t eq = l.find('=');
        if (eq == std::string::npos || eq == 0) {
            error = LineRef(i + 1) + "expected key=value, found \"" + l + "\"";
            return false;
        }
        std::string key = Lower(l.substr(0, eq));
        std::string value = l.substr(eq + 1);
        if (section == Section::None) {
            error = LineRef(i + 1) + "key " + key + " comes before any section";
            return false;
        }
        if (key == "chapter") {
            if (section != Section::File) {
                error = LineRef(i + 1) + "chapter lines belong in the [file] section";
                return false;
            }
            out.chapters.push_back(value);
            continue;
        }
        const KeySpec* spec = FindKey(key);
        if (!spec) {
            error = LineRef(i + 1) + "unknown key " + key;
            return false;
        }
        if (spec->section != section) {
            error = LineRef(i + 1) + "key " + key + " belongs in the " +
                    (spec->section == Section::Item ? "[item]" : "[file]") + " section";
            return false;
        }
        if (!Belongs(spec->presence, out.variant)) {
            error =
                LineRef(i + 1) + "key " + key + " does not belong in a list with " + variantName;
            return false;
        }
        if (out.values.count(key)) {
            error = LineRef(i + 1) + "key " + key + " appears twice";
            return false;
        }
        int64_t n = 0;
        if (spec->kind == Kind::Number && !ParseNumber(value, n)) {
            error = LineRef(i + 1) + "key " + key + " needs a number, found \"" + value + "\"";
            return false;
        }
        out.values[key] = value;
    }

    std::string missing;
    for (const KeySpec& k : kKeys) {
        if (Required(k.presence, out.variant) && !out.values.count(k.name)) {
            missing += missing.empty() ? k.name : std::string(", ") + k.name;
        }
    }
    if (!out.values.count("opv_q_factor") && !out.values.count("vbr_q_factor")) {
        missing += missing.empty() ? "opv_q_factor" : ", opv_q_factor";
    }
    if (!missing.empty()) {
        error = "the control list lacks the key(s) " + missing;
        return false;
    }
    return true;
}

bool LoadEcl(const std::string& path, EclList& out, std::string& error) {
    std::string text;
    if (!ReadListFile(path, text, error)) {
        return false;
    }
    return ParseEcl(text, out, error);
}

bool ReadListFile(const std::string& path, std::string& text, std::string& error) {
    // A device or a pipe is refused before it is opened: opening a pipe blocks, and a device
    // such as /dev/zero never ends.
    platform::FileFacts facts;
    if (!platform::RegularFileFacts(path, facts)) {
        const bool exists = access(path.c_str(), F_OK) == 0;
        error = "cannot read the control list \"" + path +
                "\": " + (exists ? std::string("not a regular file") : std::strerror(errno));
        return false;
    }
    if (facts.size > kMaxEclBytes) {
        error = "the control list \"" + path + "\" is " + std::to_string(facts.size) +
                " bytes long; a control list has at most " + std::to_string(kMaxEclBytes);
        return false;
    }
    platform::ReadOnlyFile file;
    if (!file.Open(path) || !file.ReadAt(0, file.Size(), text)) {
        error = "cannot read the control list \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace enc
