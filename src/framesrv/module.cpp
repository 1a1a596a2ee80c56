// The frame-server module's exported C functions over the script evaluator.
#include "framesrv/script.h"
#include "platform/vantaq_fs.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// Copies `text` into `out[capacity]`, always terminated; false when it had to be cut.
bool CopyText(const std::string& text, char* out, size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return n == text.size();
}

std::string Join(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& p : parts) {
        joined += (joined.empty() ? "" : ",") + p;
    }
    return joined;
}

int Fail(int code, const std::string& text, char* error, size_t errorLen) {
    if (error != nullptr) {
        CopyText(text, error, errorLen);
    }
    return code;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int vantaq_fs_abi_version(void) {
    return VANTAQ_FS_ABI_VERSION;
}

__attribute__((visibility("default"))) int
vantaq_fs_open(const char* script_path, vantaq_fs_info* info, char* error, size_t error_len) {
    if (error != nullptr && error_len > 0) {
        error[0] = '\0';
    }
    if (script_path == nullptr || info == nullptr) {
        return Fail(VANTAQ_FS_BAD_CALL, "no script or no result record", error, error_len);
    }
    std::memset(info, 0, sizeof *info);
    struct stat st {};
    if (::stat(script_path, &st) != 0 || !S_ISREG(st.st_mode)) {
        return Fail(VANTAQ_FS_CANNOT_READ,
                    std::string("cannot read the script \"") + script_path + "\"", error,
                    error_len);
    }
    // Relative names in the script are taken from the script's real folder.
    char resolved[PATH_MAX];
    std::string path = ::realpath(script_path, resolved) != nullptr ? resolved : script_path;
    framesrv::Clip clip;
    std::string message;
    framesrv::ScriptCode code = framesrv::EvaluateScript(path, clip, message);
    if (code != framesrv::kScriptOk) {
        int result = code == framesrv::kScriptCannotRead    ? VANTAQ_FS_CANNOT_READ
                     : code == framesrv::kScriptSourceError ? VANTAQ_FS_SOURCE_ERROR
                                                            : VANTAQ_FS_SCRIPT_ERROR;
        return Fail(result, message, error, error_len);
    }
    info->width = clip.width;
    info->height = clip.height;
    info->rate = clip.rate;
    info->scale = clip.scale;
    info->length = clip.length;
    info->has_audio = clip.hasAudio ? 1 : 0;
    CopyText("Avisynth script", info->file_type, sizeof info->file_type);
    bool whole = CopyText(clip.source, info->source, sizeof info->source) &&
                 CopyText(Join(clip.videoFilters), info->video_filter, sizeof info->video_filter) &&
                 CopyText(Join(clip.audioFilters), info->audio_filter, sizeof info->audio_filter);
    if (!whole) {
        std::memset(info, 0, sizeof *info);
        return Fail(VANTAQ_FS_SCRIPT_ERROR, "the source path or the filter chain is too long",
                    error, error_len);
    }
    return VANTAQ_FS_OK;
}

} // extern "C"
