// The functions of the script subset: AviSource, Trim, AssumeFPS, Crop and the resizers, each
// computing the clip it returns and the ffmpeg filters that produce it.
#include "framesrv/script.h"
#include "platform/avi_file.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>

namespace framesrv {
namespace {

constexpr int64_t kMaxDimension = 1 << 16;

// A parameter of a function; `type` kNone accepts any value.
struct Param {
    const char* name;
    Value::Type type;
    bool required;
};

using Bound = std::map<std::string, Value>;
using Body = ScriptCode (*)(const std::string& name, Bound& args, CallContext& context, Value& out,
                            std::string& error);

struct Function {
    const char* displayName;
    std::vector<Param> params;
    Body body;
};

const char* TypeName(Value::Type type) {
    switch (type) {
    case Value::kClip:
        return "a clip";
    case Value::kInt:
        return "an integer";
    case Value::kFloat:
        return "a number";
    case Value::kBool:
        return "true or false";
    case Value::kString:
        return "a string";
    case Value::kNone:
        break;
    }
    return "a value";
}

// Binds positional arguments in order and named ones by name, checking types.
bool Bind(const Function& f, std::vector<Argument>& args, Bound& bound, std::string& error) {
    size_t next = 0;
    for (Argument& arg : args) {
        const Param* param = nullptr;
        if (arg.name.empty()) {
            if (next >= f.params.size()) {
                error = std::string(f.displayName) + ": too many arguments";
                return false;
            }
            param = &f.params[next++];
        } else {
            for (const Param& p : f.params) {
                if (Lower(p.name) == arg.name) {
                    param = &p;
                }
            }
            if (param == nullptr) {
                error = std::string(f.displayName) + ": unknown argument '" + arg.name + "'";
                return false;
            }
        }
        Value& v = arg.value;
        bool fits = param->type == Value::kNone || v.type == param->type ||
                    (param->type == Value::kFloat && v.type == Value::kInt);
        if (!fits) {
            error = std::string(f.displayName) + ": '" + param->name + "' must be " +
                    TypeName(param->type);
            return false;
        }
        if (!bound.emplace(param->name, std::move(v)).second) {
            error = std::string(f.displayName) + ": '" + param->name + "' given twice";
            return false;
        }
    }
    for (const Param& p : f.params) {
        if (p.required && bound.count(p.name) == 0) {
            error = std::string(f.displayName) + ": '" + p.name + "' is missing";
            return false;
        }
    }
    return true;
}

std::string Seconds(double s) {
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", s);
    return text;
}

ScriptCode AviSource(const std::string& name, Bound& args, CallContext& context, Value& out,
                     std::string& error) {
    if (context.sourceCalls++ > 0) {
        error = name + ": a script may open one source only";
        return kScriptError;
    }
    std::string file = args["filename"].s;
    if (file.empty()) {
        error = name + ": no file name";
        return kScriptError;
    }
    if (file[0] != '/') {
        file = context.scriptDir + "/" + file;
    }
    char resolved[PATH_MAX];
    if (::realpath(file.c_str(), resolved) != nullptr) {
        file = resolved;
    }
    platform::AviHeaders headers;
    platform::AviError result = platform::ReadAviHeaders(file, headers);
    if (result != platform::kAviOk) {
        error = name + ": cannot open \"" + file + "\": " + platform::AviErrorText(result);
        return kScriptSourceError;
    }
    Clip clip;
    const platform::AviFileInfo& info = headers.info;
    uint32_t common = std::gcd(info.rate, info.scale);
    clip.width = info.width;
    clip.height = info.height;
    clip.rate = info.rate / common;
    clip.scale = info.scale / common;
    clip.length = info.length;
    clip.hasAudio = headers.hasAudio && (args.count("audio") == 0 || args["audio"].b);
    clip.source = file;
    out = Value::OfClip(std::move(clip));
    return kScriptOk;
}

ScriptCode Trim(const std::string& name, Bound& args, CallContext&, Value& out,
                std::string& error) {
    Clip clip = std::move(args["clip"].clip);
    int64_t first = args["first_frame"].i;
    int64_t last = args["last_frame"].i;
    if (first < 0 || first >= clip.length) {
        error = name + ": first frame " + std::to_string(first) + " is outside the clip (0 to " +
                std::to_string(static_cast<int64_t>(clip.length) - 1) + ")";
        return kScriptError;
    }
    // 0 means "to the end", a negative number is a frame count.
    if (last == 0) {
        last = clip.length - 1;
    } else if (last < 0) {
        last = first - last - 1;
    }
    last = std::min<int64_t>(last, clip.length - 1);
    if (last < first) {
        error = name + ": last frame " + std::to_string(last) + " is before the first";
        return kScriptError;
    }
    clip.videoFilters.push_back("trim=start_frame=" + std::to_string(first) +
                                ":end_frame=" + std::to_string(last + 1));
    clip.videoFilters.push_back("setpts=PTS-STARTPTS");
    if (clip.hasAudio) {
        double fps = static_cast<double>(clip.rate) / clip.scale;
        clip.audioFilters.push_back("atrim=start=" + Seconds(first / fps) +
                                    ":end=" + Seconds((last + 1) / fps));
        clip.audioFilters.push_back("asetpts=PTS-STARTPTS");
    }
    clip.length = static_cast<uint32_t>(last - first + 1);
    out = Value::OfClip(std::move(clip));
    return kScriptOk;
}

// Named frame rates that AssumeFPS accepts as text.
bool PresetRate(const std::string& preset, int64_t& rate, int64_t& scale) {
    static const std::map<std::string, std::pair<int64_t, int64_t>> kPresets = {
        {"ntsc_film", {24000, 1001}},
        {"ntsc_video", {30000, 1001}},
        {"ntsc_double", {60000, 1001}},
        {"ntsc_quad", {120000, 1001}},
        {"film", {24, 1}},
        {"pal_film", {25, 1}},
        {"pal_video", {25, 1}},
        {"pal_double", {50, 1}},
        {"pal_quad", {100, 1}}};
    auto it = kPresets.find(Lower(preset));
    if (it == kPresets.end()) {
        return false;
    }
    rate = it->second.first;
    scale = it->second.second;
    return true;
}

ScriptCode AssumeFps(const std::string& name, Bound& args, CallContext&, Value& out,
                     std::string& error) {
    Clip clip = std::move(args["clip"].clip);
    const Value& fps = args["fps"];
    int64_t rate = 0, scale = 1;
    bool syncAudio = false;
    if (args.count("den") != 0) {
        const Value& den = args["den"];
        if (den.type == Value::kBool) {
            syncAudio = den.b;
        } else if (den.type == Value::kInt && fps.type == Value::kInt) {
            scale = den.i;
        } else {
            error = name + ": the denominator must be an integer after an integer numerator";
            return kScriptError;
        }
    }
    if (args.count("sync_audio") != 0) {
        syncAudio = args["sync_audio"].b;
    }
    if (fps.type == Value::kInt) {
        rate = fps.i;
    } else if (fps.type == Value::kFloat) {
        // Three decimals cover every rate in use (23.976, 29.97, 59.94).
        if (!(fps.f > 0 && fps.f < 1e6)) {
            error = name + ": the frame rate must be above 0";
            return kScriptError;
        }
        rate = std::llround(fps.f * 1000);
        scale = 1000;
    } else if (fps.type == Value::kString) {
        if (!PresetRate(fps.s, rate, scale)) {
            error = name + ": unknown frame rate name \"" + fps.s + "\"";
            return kScriptError;
        }
    } else {
        error = name + ": the frame rate must be a number or a name";
        return kScriptError;
    }
    if (rate <= 0 || scale <= 0 || rate > UINT32_MAX || scale > UINT32_MAX ||
        static_cast<double>(rate) / scale > 1e6) {
        error = name + ": the frame rate must be above 0";
        return kScriptError;
    }
    if (syncAudio) {
        error = name + ": sync_audio is not supported";
        return kScriptError;
    }
    int64_t common = std::gcd(rate, scale);
    clip.rate = static_cast<uint32_t>(rate / common);
    clip.scale = static_cast<uint32_t>(scale / common);
    std::string tb = std::to_string(clip.scale) + "/" + std::to_string(clip.rate);
    // Frame n is shown at n / fps; the fps filter only carries the rate, as no time is off-grid.
    clip.videoFilters.push_back("settb=" + tb);
    clip.videoFilters.push_back("setpts=N");
    clip.videoFilters.push_back("fps=" + std::to_string(clip.rate) + "/" +
                                std::to_string(clip.scale));
    out = Value::OfClip(std::move(clip));
    return kScriptOk;
}

// Crops `clip` to the window given by left, top and a width and height that count from the
// right and bottom edges when not positive.
bool CropWindow(Clip& clip, const std::string& name, int64_t left, int64_t top, int64_t width,
                int64_t height, std::string& error) {
    if (width <= 0) {
        width = static_cast<int64_t>(clip.width) - left + width;
    }
    if (height <= 0) {
        height = static_cast<int64_t>(clip.height) - top + height;
    }
    if (left < 0 || top < 0 || width <= 0 || height <= 0 || left + width > clip.width ||
        top + height > clip.height) {
        error = name + ": the window lies outside the " + std::to_string(clip.width) + "x" +
                std::to_string(clip.height) + " picture";
        return false;
    }
    if (left == 0 && top == 0 && width == clip.width && height == clip.height) {
        return true;
    }
    clip.videoFilters.push_back("crop=" + std::to_string(width) + ":" + std::to_string(height) +
                                ":" + std::to_string(left) + ":" + std::to_string(top));
    clip.width = static_cast<uint32_t>(width);
    clip.height = static_cast<uint32_t>(height);
    return true;
}

ScriptCode Crop(const std::string& name, Bound& args, CallContext&, Value& out,
                std::string& error) {
    Clip clip = std::move(args["clip"].clip);
    if (!CropWindow(clip, name, args["left"].i, args["top"].i, args["width"].i, args["height"].i,
                    error)) {
        return kScriptError;
    }
    out = Value::OfClip(std::move(clip));
    return kScriptOk;
}

// The ffmpeg scaler flags that match each resizer.
std::string ScaleFlags(const std::string& lowerName, Bound& args) {
    if (lowerName == "bilinearresize") {
        return "bilinear";
    }
    if (lowerName == "bicubicresize") {
        double b = args.count("b") ? args["b"].AsFloat() : 1.0 / 3;
        double c = args.count("c") ? args["c"].AsFloat() : 1.0 / 3;
        return "bicubic:param0=" + Seconds(b) + ":param1=" + Seconds(c);
    }
    if (lowerName == "lanczosresize") {
        int64_t taps = args.count("taps") ? args["taps"].i : 3;
        return "lanczos:param0=" + std::to_string(taps);
    }
    if (lowerName == "lanczos4resize") {
        return "lanczos:param0=4";
    }
    if (lowerName == "pointresize") {
        return "neighbor";
    }
    if (lowerName == "gaussresize") {
        return args.count("p") ? "gauss:param0=" + Seconds(args["p"].AsFloat()) : "gauss";
    }
    return "spline"; // Spline16, Spline36 and Spline64
}

ScriptCode Resize(const std::string& name, Bound& args, CallContext&, Value& out,
                  std::string& error) {
    Clip clip = std::move(args["clip"].clip);
    int64_t width = args["target_width"].i;
    int64_t height = args["target_height"].i;
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) {
        error = name + ": the target size " + std::to_string(width) + "x" + std::to_string(height) +
                " is not possible";
        return kScriptError;
    }
    if (args.count("taps") && (args["taps"].i < 1 || args["taps"].i > 100)) {
        error = name + ": taps must be 1 to 100";
        return kScriptError;
    }
    // A source window is cropped first; only whole pixels can be cropped.
    const char* window[] = {"src_left", "src_top", "src_width", "src_height"};
    int64_t edges[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; ++k) {
        if (args.count(window[k]) != 0) {
            double v = args[window[k]].AsFloat();
            if (v != std::floor(v) || std::fabs(v) > kMaxDimension) {
                error = name + ": " + window[k] + " must be a whole number of pixels";
                return kScriptError;
            }
            edges[k] = static_cast<int64_t>(v);
        }
    }
    if (!CropWindow(clip, name, edges[0], edges[1], edges[2], edges[3], error)) {
        return kScriptError;
    }
    clip.videoFilters.push_back("scale=w=" + std::to_string(width) + ":h=" +
                                std::to_string(height) + ":flags=" + ScaleFlags(Lower(name), args));
    clip.width = static_cast<uint32_t>(width);
    clip.height = static_cast<uint32_t>(height);
    out = Value::OfClip(std::move(clip));
    return kScriptOk;
}

const std::map<std::string, Function>& Functions() {
    static const std::map<std::string, Function> kFunctions = [] {
        const Param clip{"clip", Value::kClip, true};
        const std::vector<Param> window = {{"src_left", Value::kFloat, false},
                                           {"src_top", Value::kFloat, false},
                                           {"src_width", Value::kFloat, false},
                                           {"src_height", Value::kFloat, false}};
        std::map<std::string, Function> f;
        f["avisource"] = {"AviSource",
                          {{"filename", Value::kString, true},
                           {"audio", Value::kBool, false},
                           {"pixel_type", Value::kString, false},
                           {"fourcc", Value::kString, false}},
                          AviSource};
        f["trim"] = {"Trim",
                     {clip,
                      {"first_frame", Value::kInt, true},
                      {"last_frame", Value::kInt, true},
                      {"pad", Value::kBool, false}},
                     Trim};
        f["assumefps"] = {"AssumeFPS",
                          {clip,
                           {"fps", Value::kNone, true},
                           {"den", Value::kNone, false},
                           {"sync_audio", Value::kBool, false}},
                          AssumeFps};
        f["crop"] = {"Crop",
                     {clip,
                      {"left", Value::kInt, true},
                      {"top", Value::kInt, true},
                      {"width", Value::kInt, true},
                      {"height", Value::kInt, true},
                      {"align", Value::kBool, false}},
                     Crop};
        auto resizer = [&](const char* display, std::vector<Param> extraBefore,
                           std::vector<Param> extraAfter) {
            Function r{
                display,
                {clip, {"target_width", Value::kInt, true}, {"target_height", Value::kInt, true}},
                Resize};
            r.params.insert(r.params.end(), extraBefore.begin(), extraBefore.end());
            r.params.insert(r.params.end(), window.begin(), window.end());
            r.params.insert(r.params.end(), extraAfter.begin(), extraAfter.end());
            f[Lower(display)] = r;
        };
        resizer("BilinearResize", {}, {});
        resizer("BicubicResize", {{"b", Value::kFloat, false}, {"c", Value::kFloat, false}}, {});
        resizer("LanczosResize", {}, {{"taps", Value::kInt, false}});
        resizer("Lanczos4Resize", {}, {});
        resizer("Spline16Resize", {}, {});
        resizer("Spline36Resize", {}, {});
        resizer("Spline64Resize", {}, {});
        resizer("PointResize", {}, {});
        resizer("GaussResize", {}, {{"p", Value::kFloat, false}});
        return f;
    }();
    return kFunctions;
}

// The length of `filters` joined with commas, as the module hands the chain on.
size_t ChainLength(const std::vector<std::string>& filters) {
    size_t length = filters.empty() ? 0 : filters.size() - 1;
    for (const std::string& f : filters) {
        length += f.size();
    }
    return length;
}

} // namespace

bool IsFunction(const std::string& name) {
    return Functions().count(Lower(name)) != 0;
}

ScriptCode CallFunction(const std::string& name, std::vector<Argument> args, CallContext& context,
                        Value& out, std::string& error) {
    auto it = Functions().find(Lower(name));
    if (it == Functions().end()) {
        error = "unknown function '" + name + "'";
        return kScriptError;
    }
    Bound bound;
    if (!Bind(it->second, args, bound, error)) {
        return kScriptError;
    }
    ScriptCode code = it->second.body(it->second.displayName, bound, context, out, error);
    // The chain only grows: stopping here keeps every later copy of the clip small.
    if (code == kScriptOk && out.type == Value::kClip &&
        (ChainLength(out.clip.videoFilters) > kMaxFilterChainLength ||
         ChainLength(out.clip.audioFilters) > kMaxFilterChainLength)) {
        error = std::string(it->second.displayName) + ": the filter chain is longer than " +
                std::to_string(kMaxFilterChainLength) + " characters";
        return kScriptError;
    }
    return code;
}

} // namespace framesrv
