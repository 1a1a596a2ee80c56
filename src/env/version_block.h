// The VS_VERSIONINFO block of a version resource: reading values by sub-block path, and
// writing a block from a short description.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace env {

inline constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
inline constexpr size_t kFixedInfoSize = 52;

// A parsed copy of one block. Every node is checked when the block is parsed, so queries never
// read outside it.
class VersionBlock {
public:
    // Takes `bytes` as the whole block. False when the root node is malformed or truncated, or
    // is not "VS_VERSION_INFO"; children that do not fit their parent end the parent's list.
    bool Parse(std::string bytes);

    // The value at `subBlock`, a backslash-separated path of node names compared without
    // regard to ASCII case ("\" is the root's value, the fixed information). Binary values are
    // returned as their bytes; text values (type 1) as UTF-8 without the terminator, with
    // `isText` set. False when there is no such node.
    bool Query(std::string_view subBlock, std::string& value, bool* isText = nullptr) const;

private:
    struct Node {
        std::string key; // UTF-8
        uint16_t type = 0;
        size_t valueOffset = 0;
        size_t valueSize = 0; // bytes
        std::vector<Node> children;
    };
    bool ParseNode(size_t offset, size_t limit, Node& node, int depth) const;

    std::string m_Bytes;
    Node m_Root;
    bool m_Valid = false;
};

// Decodes UTF-16LE (up to the first zero unit) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);
// Encodes UTF-8 as UTF-16LE without a terminator; invalid bytes become U+FFFD.
std::string Utf8ToUtf16Le(std::string_view text);

// Four version numbers from a text such as "2, 67, 0, 23" or "0.1.0": the first four runs of
// digits, missing ones 0, each cut to 16 bits.
void ParseVersionNumbers(std::string_view text, uint16_t numbers[4]);

// What a generated block says about a program.
struct VersionDescription {
    std::string productName;
    std::string productVersion;
    std::string fileVersion;
    std::string fileDescription; // left out when empty
    std::vector<std::pair<std::string, std::string>> extraStrings;
    uint16_t language = 0x0409;
    uint16_t codePage = 1252;
    bool withTranslation = true; // write VarFileInfo\Translation
};

// A complete VS_VERSIONINFO block: the fixed information (versions from the version texts),
// one string table named by language and code page, and the translation table. Empty when the
// texts are too long for the format's 16-bit lengths.
std::string BuildVersionBlock(const VersionDescription& description);

} // namespace env
