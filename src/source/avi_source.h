// `CAviSource`: a source video (AVI file, .avs script, or any video file libavformat reads) and
// its frame size, rate and length.
#pragma once

#include "platform/avi_file.h"
#include "platform/vantaq_fs.h"
#include "source/av_probe.h"

#include <string>

namespace source {

class CAviSource {
public:
    // Results of Open.
    enum { kOpenOk = 0, kOpenFailed = 1, kInfoFailed = 2 };

    // `path` may carry double quotes; every one is removed. `programDir` is the folder whose
    // system/ holds the frame-server module for .avs scripts; empty means the running
    // program's folder.
    explicit CAviSource(const std::string& path, std::string programDir = {});
    virtual ~CAviSource();
    CAviSource(const CAviSource&) = delete;
    CAviSource& operator=(const CAviSource&) = delete;

    // 0 success, 1 the file could not be opened (missing, neither AVI nor another video file,
    // truncated, no frame server), 2 its information could not be read (damaged headers, no
    // video, a rate or scale of 0, a script error). A file that is no AVI (by its content) and
    // no script is inspected through libavformat. The values below are valid only after a
    // successful Open.
    virtual int Open();
    virtual int Height() const;
    virtual int Width() const;
    virtual int Length() const;
    // Frames per second in thousandths, rounded: 29970 for 30000/1001.
    virtual int Rate() const;
    virtual std::string FileType() const;
    // Opens the first audio stream; false when the source has none.
    virtual bool OpenAudioStream();

    // Releases the open source; harmless when none is open.
    void Close();

    const std::string& Path() const { return m_Path; }
    const platform::AviFileInfo& FileInfo() const { return m_FileInfo; }
    // For a script: the AVI file it reads and the ffmpeg filters that play it.
    const vantaq_fs_info& ScriptInfo() const { return m_Script; }
    bool IsScript() const;
    // The libavformat facts of a source that is neither AVI nor script; null for those.
    const AvProbe* AvFacts() const { return m_IsAv ? &m_Av : nullptr; }
    // Why the last Open failed, for diagnostics.
    const std::string& Error() const { return m_Error; }
    // An AVI file cut short: Length() counts the whole frames before the cut, and
    // HeaderFrames() what its headers count.
    bool Truncated() const { return m_Truncated; }
    uint32_t HeaderFrames() const { return m_HeaderFrames; }

private:
    int OpenScript();
    int OpenAv();

    std::string m_Path;
    std::string m_ProgramDir;
    platform::AviFileInfo m_FileInfo;
    vantaq_fs_info m_Script{};
    bool m_HasAudio = false;
    bool m_AudioStream = false;
    bool m_File = false;
    bool m_Truncated = false;
    uint32_t m_HeaderFrames = 0;
    AvProbe m_Av;
    bool m_IsAv = false;
    std::string m_Error;
};

// Frames per second in thousandths: rate / scale * 1000 + 0.5, rounded down; 0 when either is 0.
int RateInThousandths(uint32_t rate, uint32_t scale);

} // namespace source
