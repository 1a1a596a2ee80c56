// `CAviSource` over the AVI header reader and, for scripts, the frame-server module.
#include "source/avi_source.h"

#include "platform/frame_server.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace source {
namespace {

constexpr uint32_t kMaxDimension = 1u << 16;

bool EndsWithAvs(const std::string& path) {
    if (path.size() < 4) {
        return false;
    }
    std::string end = path.substr(path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    size_t slash = path.rfind('/');
    // ".avs" alone is a hidden file's name, not an extension.
    return end == ".avs" && (slash == std::string::npos || slash < path.size() - 5);
}

// The values every later computation divides by or prints; the bounds keep them in an int.
bool UsableInfo(const platform::AviFileInfo& info) {
    if (info.rate == 0 || info.scale == 0 || info.width == 0 || info.height == 0 ||
        info.width > kMaxDimension || info.height > kMaxDimension ||
        info.length > static_cast<uint32_t>(INT32_MAX)) {
        return false;
    }
    double fps = static_cast<double>(info.rate) / static_cast<double>(info.scale);
    return fps >= 0.001 && fps <= 1000000.0;
}

} // namespace

int RateInThousandths(uint32_t rate, uint32_t scale) {
    if (rate == 0 || scale == 0) {
        return 0;
    }
    double thousandths = static_cast<double>(rate) / static_cast<double>(scale) * 1000.0 + 0.5;
    return thousandths >= static_cast<double>(INT32_MAX) ? INT32_MAX
                                                         : static_cast<int>(thousandths);
}

CAviSource::CAviSource(const std::string& path, std::string programDir)
    : m_ProgramDir(std::move(programDir)) {
    m_Path.reserve(path.size());
    std::copy_if(path.begin(), path.end(), std::back_inserter(m_Path),
                 [](char c) { return c != '"'; });
}

CAviSource::~CAviSource() {
    Close();
}

bool CAviSource::IsScript() const {
    return EndsWithAvs(m_Path);
}

int CAviSource::Open() {
    Close();
    m_Error.clear();
    if (IsScript()) {
        return OpenScript();
    }
    platform::AviHeaders headers;
    platform::AviError result = platform::ReadAviHeaders(m_Path, headers);
    if (result == platform::kAviNotAvi) {
        return OpenAv();
    }
    if (result != platform::kAviOk) {
        m_Error = platform::AviErrorText(result);
        bool opened = result == platform::kAviBadHeader || result == platform::kAviNoVideo;
        return opened ? kInfoFailed : kOpenFailed;
    }
    if (!UsableInfo(headers.info)) {
        m_Error = platform::AviErrorText(platform::kAviBadHeader);
        return kInfoFailed;
    }
    m_FileInfo = headers.info;
    m_HasAudio = headers.hasAudio;
    m_Truncated = headers.truncated;
    m_HeaderFrames = headers.headerFrames;
    m_File = true;
    return kOpenOk;
}

int CAviSource::OpenScript() {
    std::string programDir = m_ProgramDir.empty() ? platform::RunningProgramFolder() : m_ProgramDir;
    int code = 0;
    std::memset(&m_Script, 0, sizeof m_Script);
    platform::FrameServerResult result = platform::OpenScriptClip(
        platform::FrameServerModulePath(programDir), m_Path, m_Script, code, m_Error);
    if (result != platform::kFrameServerOk) {
        bool opened = result == platform::kFrameServerFailed && code != VANTAQ_FS_CANNOT_READ;
        return opened ? kInfoFailed : kOpenFailed;
    }
    platform::AviFileInfo info;
    info.caps = platform::kAviCapsCanRead;
    info.streams = m_Script.has_audio != 0 ? 2 : 1;
    info.width = m_Script.width;
    info.height = m_Script.height;
    info.scale = m_Script.scale;
    info.rate = m_Script.rate;
    info.length = m_Script.length;
    info.fileType = m_Script.file_type;
    if (!UsableInfo(info)) {
        m_Error = "the script's clip has an impossible size or frame rate";
        return kInfoFailed;
    }
    m_FileInfo = info;
    m_HasAudio = m_Script.has_audio != 0;
    m_File = true;
    return kOpenOk;
}

int CAviSource::OpenAv() {
    AvProbe probe;
    AvProbeError result = ProbeAvSource(m_Path, probe, m_Error);
    if (result != kAvOk) {
        return result == kAvCannotOpen || result == kAvNotMedia ? kOpenFailed : kInfoFailed;
    }
    platform::AviFileInfo info;
    info.caps = platform::kAviCapsCanRead;
    info.streams = probe.hasAudio ? 2 : 1;
    info.width = static_cast<uint32_t>(probe.width);
    info.height = static_cast<uint32_t>(probe.height);
    info.rate = probe.rate;
    info.scale = probe.scale;
    info.length = static_cast<uint32_t>(probe.frames);
    info.fileType = probe.fileType;
    if (!UsableInfo(info)) {
        m_Error = "the video stream has an impossible size, frame rate or length";
        return kInfoFailed;
    }
    m_FileInfo = info;
    m_HasAudio = probe.hasAudio;
    m_Truncated = probe.truncated;
    m_HeaderFrames = static_cast<uint32_t>(std::min<int64_t>(probe.headerFrames, UINT32_MAX));
    m_Av = probe;
    m_IsAv = true;
    m_File = true;
    return kOpenOk;
}

int CAviSource::Height() const {
    return static_cast<int>(m_FileInfo.height);
}
int CAviSource::Width() const {
    return static_cast<int>(m_FileInfo.width);
}
int CAviSource::Length() const {
    return static_cast<int>(m_FileInfo.length);
}
int CAviSource::Rate() const {
    return RateInThousandths(m_FileInfo.rate, m_FileInfo.scale);
}
std::string CAviSource::FileType() const {
    return m_FileInfo.fileType;
}

bool CAviSource::OpenAudioStream() {
    m_AudioStream = m_File && m_HasAudio;
    return m_AudioStream;
}

void CAviSource::Close() {
    m_AudioStream = false;
    m_IsAv = false;
    m_Truncated = false;
    m_File = false;
}

} // namespace source
