// `CFileVersionInfo`: reads a file's version block and answers fixed-information and string
// queries from it.
#include "env/file_version_info.h"

#include "env/executable_resources.h"
#include "platform/files.h"

#include <cstdio>
#include <cstring>

namespace env {

void CFileVersionInfo::Reset() {
    std::memset(m_FixedInfo, 0, sizeof m_FixedInfo);
    m_Block = VersionBlock();
    m_HasResource = false;
    m_Language = kDefaultLanguage;
    m_CodePage = 1252;
}

uint32_t CFileVersionInfo::Field(int index) const {
    const uint8_t* p = m_FixedInfo + 4 * index;
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool CFileVersionInfo::OpenFile(const std::string& path) {
    Reset();
    platform::ReadOnlyFile file;
    std::string bytes;
    if (!file.Open(path) || !ReadVersionResource(file, bytes) || !m_Block.Parse(std::move(bytes))) {
        return false;
    }
    m_HasResource = true;
    std::string fixed;
    bool isText = false;
    if (!m_Block.Query("\\", fixed, &isText) || isText || fixed.size() < kFixedInfoSize) {
        return false;
    }
    std::memcpy(m_FixedInfo, fixed.data(), kFixedInfoSize);
    std::string translation;
    if (m_Block.Query("\\VarFileInfo\\Translation", translation) && translation.size() >= 4) {
        auto byte = [&](size_t i) { return static_cast<uint8_t>(translation[i]); };
        m_Language = static_cast<uint16_t>(byte(0) | (byte(1) << 8));
        m_CodePage = static_cast<uint16_t>(byte(2) | (byte(3) << 8));
    }
    return Signature() == kFixedInfoSignature;
}

bool CFileVersionInfo::OpenModule(const std::string& name) {
    std::string path;
    if (name.empty()) {
        path = platform::ProgramFilePath();
    } else if (!platform::LoadedModulePath(name, path)) {
        path.clear();
    }
    if (path.empty()) {
        Reset();
        return false;
    }
    return OpenFile(path);
}

std::string CFileVersionInfo::QueryString(const std::string& name) const {
    if (!m_HasResource) {
        return std::string();
    }
    char table[16];
    std::snprintf(table, sizeof table, "%04x%04x", m_Language, m_CodePage);
    std::string value;
    bool isText = false;
    if (!m_Block.Query(std::string("\\StringFileInfo\\") + table + "\\" + name, value, &isText) ||
        !isText) {
        return std::string();
    }
    return value;
}

} // namespace env
