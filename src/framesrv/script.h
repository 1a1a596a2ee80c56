// The frame server's script subset: values, the clip a script builds, and evaluation.
#pragma once

#include "platform/vantaq_fs.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace framesrv {

// A clip as an AVI source plus the ffmpeg filters that produce it.
struct Clip {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t rate = 0; // reduced fraction rate / scale
    uint32_t scale = 1;
    uint32_t length = 0;
    bool hasAudio = false;
    std::string source; // absolute path of the AVI file
    std::vector<std::string> videoFilters;
    std::vector<std::string> audioFilters;
};

struct Value {
    enum Type { kNone, kClip, kInt, kFloat, kBool, kString };
    Type type = kNone;
    int64_t i = 0;
    double f = 0;
    bool b = false;
    std::string s;
    Clip clip;

    static Value OfClip(Clip c) {
        Value v;
        v.type = kClip;
        v.clip = std::move(c);
        return v;
    }
    // Ints widen to floats where a float is wanted.
    double AsFloat() const { return type == kInt ? static_cast<double>(i) : f; }
};

// One argument of a call; `name` is empty for a positional one.
struct Argument {
    std::string name;
    Value value;
};

// What a function needs of the script around it.
struct CallContext {
    std::string scriptDir; // folder that relative file names are taken from
    int sourceCalls = 0;   // AviSource calls so far
};

// Limits that keep any script, however hostile, a quick answer: the size of a script file, how
// deep brackets, arguments and signs may nest, and the length of a clip's filter chain (each
// chain must fit the module's result record).
inline constexpr size_t kMaxScriptSize = 1u << 20;
inline constexpr int kMaxNesting = 100;
inline constexpr size_t kMaxFilterChainLength = VANTAQ_FS_FILTER_MAX - 1;

enum ScriptCode { kScriptOk = 0, kScriptCannotRead = 1, kScriptError = 2, kScriptSourceError = 3 };

// `s` with its ASCII letters in lower case; names in a script are matched in any case.
std::string Lower(std::string s);

// True when `name` (any letter case) is a function of the subset.
bool IsFunction(const std::string& name);

// Calls function `name` with `args` (a clip argument first where the function takes one); the
// arguments are consumed. Returns kScriptOk and sets `out`, or an error code with a text that
// names the function. A clip whose filter chain would outgrow kMaxFilterChainLength is an error.
ScriptCode CallFunction(const std::string& name, std::vector<Argument> args, CallContext& context,
                        Value& out, std::string& error);

// Evaluates the script file at `path` into the clip it returns. On an error, `error` holds
// "line N: ..." for errors inside the script, or a plain text when the file cannot be read (it
// is no regular file, or larger than kMaxScriptSize). A FIFO or device is never opened.
ScriptCode EvaluateScript(const std::string& path, Clip& clip, std::string& error);

// Evaluates script text; `scriptDir` resolves relative file names.
ScriptCode EvaluateScriptText(const std::string& text, const std::string& scriptDir, Clip& clip,
                              std::string& error);

} // namespace framesrv
