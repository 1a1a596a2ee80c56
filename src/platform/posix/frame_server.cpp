// The frame-server module loaded with dlopen for the length of one request.
#include "platform/frame_server.h"

#include "platform/files.h"

#include <dlfcn.h>

#include <memory>

namespace platform {
namespace {

struct ModuleCloser {
    void operator()(void* handle) const { ::dlclose(handle); }
};

} // namespace

std::string RunningProgramFolder() {
    std::string exe = ProgramFilePath();
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash == 0 ? 1 : slash);
}

std::string FrameServerModulePath(const std::string& programDir) {
    return programDir + "/system/libavisynth.so";
}

FrameServerResult OpenScriptClip(const std::string& modulePath, const std::string& scriptPath,
                                 vantaq_fs_info& info, int& code, std::string& error) {
    code = VANTAQ_FS_OK;
    std::unique_ptr<void, ModuleCloser> module(::dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!module) {
        const char* why = ::dlerror();
        error = "cannot load the frame server \"" + modulePath + "\"" +
                (why != nullptr ? std::string(": ") + why : std::string());
        return kFrameServerMissing;
    }
    auto version =
        reinterpret_cast<vantaq_fs_abi_version_fn>(::dlsym(module.get(), "vantaq_fs_abi_version"));
    auto open = reinterpret_cast<vantaq_fs_open_fn>(::dlsym(module.get(), "vantaq_fs_open"));
    if (version == nullptr || open == nullptr || version() != VANTAQ_FS_ABI_VERSION) {
        error = "the frame server \"" + modulePath + "\" is not a compatible module";
        return kFrameServerBadModule;
    }
    char text[512] = {};
    code = open(scriptPath.c_str(), &info, text, sizeof text);
    // A module of someone else's making still leaves us terminated texts.
    text[sizeof text - 1] = '\0';
    info.file_type[sizeof info.file_type - 1] = '\0';
    info.source[sizeof info.source - 1] = '\0';
    info.video_filter[sizeof info.video_filter - 1] = '\0';
    info.audio_filter[sizeof info.audio_filter - 1] = '\0';
    if (code != VANTAQ_FS_OK) {
        error = text;
        return kFrameServerFailed;
    }
    return kFrameServerOk;
}

} // namespace platform
