// `CFileVersionInfo`: the version resource of one program file, its fixed information and its
// strings.
#pragma once

#include "env/version_block.h"

#include <cstdint>
#include <string>

namespace env {

class CFileVersionInfo {
public:
    // The language used for string look-ups when a resource has no translation table.
    static constexpr uint16_t kDefaultLanguage = 0x0409;

    // Reads the version resource of the file at `path` (PE or ELF). Resets the object first:
    // code page 1252, language kDefaultLanguage, fixed information all zero, no resource. Succeeds
    // exactly when a resource was read whose fixed information (52 bytes at "\") carries the
    // signature 0xFEEF04BD; the translation comes from the first entry of
    // "\VarFileInfo\Translation" when that holds at least 4 bytes. Never throws; any malformed file
    // is a plain failure.
    bool OpenFile(const std::string& path);

    // The same for a module loaded into this process, named by path or file name, or for the
    // running program when `name` is empty. False when no such module is loaded.
    bool OpenModule(const std::string& name = std::string());

    // The string `name` of the string table "\StringFileInfo\<language><code page>\" (each as
    // four lower-case hex digits), or the empty string when no resource was read or there is
    // no such string.
    std::string QueryString(const std::string& name) const;

    // The 52 bytes of fixed information as read (all zero until a file was read).
    const uint8_t* FixedInfo() const { return m_FixedInfo; }
    uint32_t Signature() const { return Field(0); }
    uint32_t FileVersionMs() const { return Field(2); }
    uint32_t FileVersionLs() const { return Field(3); }
    uint16_t Language() const { return m_Language; }
    uint16_t CodePage() const { return m_CodePage; }

private:
    uint32_t Field(int index) const;
    void Reset();

    uint8_t m_FixedInfo[kFixedInfoSize] = {};
    VersionBlock m_Block;
    bool m_HasResource = false;
    uint16_t m_Language = kDefaultLanguage;
    uint16_t m_CodePage = 1252;
};

} // namespace env
