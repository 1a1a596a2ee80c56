// Writing the encoder control list of a job.
#include "ecl/ecl_writer.h"

#include "jobs/job_store.h"
#include "platform/files.h"
#include "source/avi_source.h"
#include "source/dvd_fit.h"
#include "store/key_store.h"
#include "store/paths.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

using store::Access;
using store::Key;
using store::kHive;

namespace ecl {

namespace {

// Text values are read whole, however long.
constexpr size_t kWholeText = std::numeric_limits<size_t>::max();

// A value never adds a line of its own to the file.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

size_t FileNameStart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

class LineWriter {
public:
    explicit LineWriter(std::FILE* file) : m_File(file) {}
    // Whatever a line is made of, it stays one line.
    void Line(const std::string& text) {
        std::string line = OneLine(text);
        std::fwrite(line.data(), 1, line.size(), m_File);
        std::fputs("\r\n", m_File);
    }
    void Number(const char* key, int value) {
        Line(std::string(key) + "=" + std::to_string(value));
    }

private:
    std::FILE* m_File;
};

} // namespace

std::string EclPathFor(const std::string& input, int number) {
    return ReplaceExtension(input, number >= 2 ? "." + std::to_string(number) + ".ecl" : ".ecl");
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
    size_t nameStart = FileNameStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) {
        return path + extension;
    }
    return path.substr(0, dot) + extension;
}

int FrameRateIndex(int thousandths) {
    switch (thousandths) {
    case 23976:
        return 1;
    case 24000:
        return 2;
    case 25000:
        return 3;
    case 29970:
        return 4;
    case 30000:
        return 5;
    case 50000:
        return 6;
    case 59940:
        return 7;
    case 60000:
        return 8;
    default:
        return 0;
    }
}

bool FrameRateOfIndex(int index, int& num, int& den) {
    static const int kRates[9][2] = {{0, 1},  {24000, 1001}, {24, 1},       {25, 1}, {30000, 1001},
                                     {30, 1}, {50, 1},       {60000, 1001}, {60, 1}};
    if (index < 1 || index > 8) {
        return false;
    }
    num = kRates[index][0];
    den = kRates[index][1];
    return true;
}

SourceFacts ReadSourceFacts(const std::string& path, const std::string& programDir) {
    SourceFacts facts;
    source::CAviSource source(path, programDir);
    if (source.Open() != 0) {
        return facts;
    }
    facts.opened = true;
    facts.width = source.Width();
    facts.height = source.Height();
    facts.rate = source.FileInfo().rate;
    facts.scale = source.FileInfo().scale;
    facts.frames = source.Length();
    if (const source::AvProbe* av = source.AvFacts()) {
        facts.darNum = av->darNum;
        facts.darDen = av->darDen;
    }
    source.Close();
    return facts;
}

std::string OutputBase(const env::Settings& settings, const std::string& input, int number) {
    // Outputs go beside the ECL file unless a separate output folder is set; a folder that is
    // no full path counts as none. The paths are kept as the lines carry them.
    std::string eclPath = EclPathFor(input);
    const std::string& chosen = settings.m_OutputDirectory;
    std::string folder = settings.m_OutputSameDir || chosen.empty() || chosen[0] != '/'
                             ? eclPath.substr(0, FileNameStart(eclPath))
                             : chosen + "/";
    std::string name = input.substr(FileNameStart(input));
    if (number >= 2) {
        // "<stem>.<n>" keeps an extension for the outputs to replace: "." alone when the source
        // has none.
        size_t dot = name.rfind('.');
        std::string extension = dot == std::string::npos ? "." : name.substr(dot);
        name = name.substr(0, dot) + "." + std::to_string(number) + extension;
    }
    return OneLine(folder + name);
}

namespace {

int EclJobFileNumber(store::KeyStore& store, int job, const char* name) {
    int n = 0;
    jobs::GetJobNumber(store, job, name, n);
    return n;
}

std::string EclFullPathInput(store::KeyStore& store, int job) {
    std::string input;
    jobs::GetJobString(store, job, jobs::kInput, jobs::kWholeValue, input);
    return !input.empty() && input[0] == '/' ? input : std::string();
}

} // namespace

std::string JobEclPath(store::KeyStore& store, int job) {
    std::string input = EclFullPathInput(store, job);
    return input.empty() ? input
                         : EclPathFor(input, EclJobFileNumber(store, job, jobs::kEclNumber));
}

std::string JobOutputBase(store::KeyStore& store, const env::Settings& settings, int job) {
    std::string input = EclFullPathInput(store, job);
    return input.empty()
               ? input
               : OutputBase(settings, input, EclJobFileNumber(store, job, jobs::kOutputNumber));
}

std::string WriteEcl(store::KeyStore& store, int job, int cceVersion, const env::Settings& settings,
                     const SourceInspector& inspect, EclState& state) {
    if (cceVersion < 1 || cceVersion > 5) {
        return std::string();
    }
    Key jobs = store.OpenKey(kHive, store::kJobsPath, Access::Read);
    if (!jobs) {
        return std::string();
    }
    std::string position = std::to_string(job);
    auto jobNumber = [&](const char* name) {
        uint32_t n = 0;
        store.ReadNumber(jobs, position, name, n);
        return static_cast<int>(n);
    };
    auto jobText = [&](const char* name) {
        std::string text;
        store.ReadString(jobs, position, name, kWholeText, text);
        return text;
    };

    int method = jobNumber(jobs::kMethod);
    std::string input = jobText(jobs::kInput);
    state.m_SourcePath = input;
    // Only a full path says where the file goes; anything else would land in whatever folder
    // the program was started from.
    if (input.empty() || input[0] != '/') {
        return std::string();
    }
    // A list for a source that cannot be read would give the encoder a picture of 0 x 0.
    SourceFacts source = inspect ? inspect(input) : SourceFacts{};
    if (inspect && !source.opened) {
        state.m_SourceUnreadable = true;
        return std::string();
    }
    std::string eclPath = EclPathFor(input, jobNumber(jobs::kEclNumber));
    std::FILE* file = platform::CreateRegularFile(eclPath);
    if (!file) {
        return std::string();
    }
    Key templates = store.OpenKey(kHive, store::kTemplatePath, Access::Read);
    if (!templates) {
        std::fclose(file);
        return eclPath;
    }
    std::string templateKey = jobText(jobs::kTemplate);
    auto tpl = [&](const char* name) {
        uint32_t n = 0;
        store.ReadNumber(templates, templateKey, name, n);
        return static_cast<int>(n);
    };
    bool code1 = cceVersion == 1;
    LineWriter out(file);

    out.Line(code1 ? "; Cinema Craft Encoder SP -- Encoder Control List"
                   : "; CCE SP Trial Version -- Encoder Control List");
    out.Line("");
    out.Line("[item]");
    out.Line("title=" + jobText(jobs::kName));
    out.Number("vid_out", method == 0 ? 0 : tpl("Video out"));
    out.Number("vaf_out", tpl("Vaf out"));
    out.Number("aud_out", tpl("Audio out"));
    if (!code1) {
        out.Number("aud_mode", tpl("Audio mode"));
    }
    std::string base = OutputBase(settings, input, jobNumber(jobs::kOutputNumber));
    state.m_OutputPath = ReplaceExtension(base, ".mpv");
    out.Line("vid_file0=" + state.m_OutputPath);
    out.Line("vid_file1=" + state.m_OutputPath);
    state.m_VafPath = ReplaceExtension(base, ".vaf");
    state.m_VideoOut = method == 0 || tpl("Video out") != 0;
    state.m_VafOut = tpl("Vaf out") != 0;
    out.Line("vaf_file=" + state.m_VafPath);
    out.Line("aud_file=" + ReplaceExtension(base, ".mpa"));
    out.Line("file_focused=0");
    if (code1) {
        out.Number("encode_mode", tpl("Encode mode"));
    }
    out.Number("packet_size", tpl("Packet Size"));
    char hex[24];
    std::snprintf(hex, sizeof hex, "timecode=0x%x", static_cast<unsigned>(tpl("Timecode")));
    out.Line(hex);
    if (!code1) {
        out.Number("tc_ref_frm", tpl("TC ref frame"));
    }

    // A fitted job is encoded as a DVD frame: the encoder scales the source into it, pads it to
    // keep its display aspect and converts its rate, all in the filter chain it runs.
    const int fitChoice = jobNumber(jobs::kPictureFit);
    const int sourceRate = source::RateInThousandths(source.rate, source.scale);
    const bool fit = fitChoice == source::kFitNtsc || fitChoice == source::kFitPal;
    const source::DvdFit dvd =
        source::FitToDvd(static_cast<source::PictureFit>(fitChoice), source.width, source.height,
                         source.darNum, source.darDen, sourceRate);
    auto framesOut = [&](int64_t frames) {
        return fit ? static_cast<int>(source::FramesAtRate(frames, sourceRate, dvd.rateThousandths))
                   : static_cast<int>(frames);
    };
    out.Number("width", fit ? dvd.width : source.width);
    out.Number("height", fit ? dvd.height : source.height);
    if (code1) {
        out.Number("vmode", method == 0 ? 0 : tpl("Video mode"));
    } else {
        out.Number("video_type", method == 0 ? 2 : tpl("Video type"));
    }
    int index = FrameRateIndex(fit ? dvd.rateThousandths : sourceRate);
    state.m_FrameRateIndex = index;
    if (index != 0) {
        out.Number("frame_rate_idx", index);
    }
    if (!code1) {
        out.Line(index == 1 || index == 4 ? "drop_frame=1" : "drop_frame=0");
    }

    out.Number("cbr_brate", jobNumber(jobs::kBitrateAvg));
    if (method == 0 || method == 2) {
        out.Number("opv_q_factor", jobNumber(jobs::kQFactor));
        out.Number("vbr_bias", jobNumber(jobs::kBias));
    } else {
        out.Line("vbr_q_factor=60");
        out.Line("vbr_bias=30");
    }
    out.Number("opv_brate_min", jobNumber(jobs::kBitrateMin));
    out.Number("opv_brate_max", jobNumber(jobs::kBitrateMax));
    out.Number("vbr_brate_avg", jobNumber(jobs::kBitrateAvg));
    out.Number("vbr_brate_min", jobNumber(jobs::kBitrateMin));
    out.Number("vbr_brate_max", jobNumber(jobs::kBitrateMax));
    out.Number("vbr_pass", jobNumber(jobs::kPasses));
    out.Number("quality_prec", jobNumber(jobs::kQuality));
    if (!code1) {
        out.Number("create_new_vaf", tpl("Create new vaf"));
        out.Number("pulldown_detect", tpl("Pulldown detection"));
        out.Number("letter_box", tpl("Letterbox hint"));
        out.Number("panscan", tpl("PanScan"));
        out.Number("dither", tpl("dither"));
        out.Number("dither_max", tpl("dither_max"));
        out.Number("h_filter", tpl("h_filter"));
        out.Number("h_filter_idx", tpl("h_filter_idx"));
        out.Number("fix_vbv_delay", tpl("Fixed VBV delay"));
        out.Number("qmat_idx", 0);
    }
    out.Number("use_filter", tpl("Use filter"));
    out.Number("filter_val", tpl("Filter value"));
    out.Number("seq_endcode", tpl("Sequence Endcode"));
    out.Number("dvd", tpl("DVD compliant"));
    out.Number("half_width", tpl("Half width"));
    out.Number("half_height", tpl("Half height"));
    if (cceVersion >= 3) {
        out.Number("uscc", tpl("USCC"));
    }
    if (code1) {
        out.Number("fast_mode", tpl("Quick mode"));
    }
    // The 2:3 pass marks pictures as progressive frames that repeat a field, which a stream
    // coded with field prediction or field DCT cannot carry: such a job is coded progressive
    // whatever its field flags say.
    out.Number("progressive", jobNumber(jobs::kTelecide) == 1 ? 1 : jobNumber(jobs::kProgressive));
    out.Number("alternate_scan", jobNumber("Alternate scan"));
    out.Number("non_linear", tpl("Non linear"));
    out.Number("top_first", jobNumber(jobs::kTopFieldFirst));
    out.Number("lum_level", tpl("Luminance level"));
    out.Number("intra_dc_prec", tpl("Intra DC precision"));
    out.Number("aspect_ratio", fit ? dvd.aspectCode : jobNumber(jobs::kAspectRatio));
    if (fit) {
        out.Line("fit_picture=1");
    }
    int gopM = tpl("GOP (M)");
    int gopNM = tpl("GOP (N/M)");
    out.Number("gop_m", gopM);
    out.Number("gop_nm", gopNM);
    // Stored values are anyone's: the product wraps as 32-bit arithmetic does, never overflows.
    out.Number("gop_hdr",
               static_cast<int>(static_cast<uint32_t>(gopNM) * static_cast<uint32_t>(gopM)));
    out.Number("seq_hdr", tpl("Sequence header"));
    if (jobNumber(jobs::kAngle) != 0) {
        out.Line("all_closed_gop=1");
        out.Line("fix_gop_length=1");
    } else {
        out.Number("all_closed_gop", tpl("All closed GOP"));
        out.Number("fix_gop_length", tpl("Fixed GOP length"));
    }
    out.Number("mpeg1", tpl("MPEG-1"));
    out.Number("mpeg1_cps", tpl("MPEG-1 cps"));
    out.Line("samples_per_sec=44100");
    out.Number("stereo", tpl("Stereo mode"));
    out.Number("brate_idx", tpl("Audio bitrate index"));
    out.Number("crc", tpl("CRC"));
    out.Line("");
    out.Line("[file]");
    out.Line("name=" + input);
    out.Line("type=0");
    out.Number("frame_first", framesOut(source.frames));
    out.Number("frame_last", framesOut(source.frames));
    state.m_SourceFrames = framesOut(source.frames);
    state.m_EncodeFirst = framesOut(jobNumber(jobs::kStartFrame));
    state.m_EncodeLast = std::min(framesOut(jobNumber(jobs::kEndFrame)), state.m_SourceFrames);
    out.Number("encode_first", state.m_EncodeFirst);
    out.Number("encode_last", state.m_EncodeLast);

    std::string chapters = jobText(jobs::kChapters);
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= chapters.size()) {
        size_t comma = chapters.find(',', start);
        if (comma == std::string::npos) {
            comma = chapters.size();
        }
        if (comma > start) {
            entries.push_back(chapters.substr(start, comma - start));
        }
        start = comma + 1;
    }
    for (size_t i = 1; i < entries.size(); ++i) {
        // A chapter of a fitted job at another rate falls on the frame of the same time.
        if (fit && !entries[i].empty() &&
            entries[i].find_first_not_of("0123456789") == std::string::npos &&
            entries[i].size() < 10) {
            entries[i] = std::to_string(framesOut(std::stoll(entries[i])));
        }
        out.Line("chapter=" + entries[i] + ":");
        state.m_ChapterEntries.push_back(entries[i]);
    }
    bool ok = std::ferror(file) == 0;
    ok = std::fclose(file) == 0 && ok;
    return ok ? eclPath : std::string();
}

} // namespace ecl
