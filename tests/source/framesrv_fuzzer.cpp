// libFuzzer target: frame-server scripts, through the module's entry point as a source opens
// them. The script's folder holds "src.avi" (a 16x16 clip of two frames with audio), so the
// clip functions get a real clip to work on.
#include "platform/vantaq_fs.h"
#include "support/fuzz_support.h"

#include <cstring>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool copied = [] {
        std::error_code error;
        std::filesystem::copy_file(VANTAQ_FUZZ_SCRIPT_SOURCE,
                                   fuzz_support::ScratchDir() + "/src.avi",
                                   std::filesystem::copy_options::overwrite_existing, error);
        return !error;
    }();
    fuzz_support::Check(copied, "the script's source is in place");
    std::string path = fuzz_support::WriteInput("input.avs", data, size);
    vantaq_fs_info info;
    std::memset(&info, 0x55, sizeof info);
    char error[256];
    std::memset(error, 0x55, sizeof error);
    int code = vantaq_fs_open(path.c_str(), &info, error, sizeof error);
    fuzz_support::Check(code >= VANTAQ_FS_OK && code <= VANTAQ_FS_SOURCE_ERROR, "a known code");
    if (code == VANTAQ_FS_OK) {
        fuzz_support::Check(
            std::memchr(info.video_filter, 0, sizeof info.video_filter) != nullptr &&
                std::memchr(info.audio_filter, 0, sizeof info.audio_filter) != nullptr &&
                std::memchr(info.source, 0, sizeof info.source) != nullptr &&
                std::memchr(info.file_type, 0, sizeof info.file_type) != nullptr,
            "every text of the record is terminated");
        fuzz_support::Check(info.rate > 0 && info.scale > 0, "a frame rate");
    } else {
        fuzz_support::Check(std::memchr(error, 0, sizeof error) != nullptr && error[0] != 0,
                            "an error has a terminated text");
    }
    return 0;
}
