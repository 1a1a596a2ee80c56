// Reading and writing VS_VERSIONINFO blocks: nodes of length, value length, type, UTF-16 key,
// value and children, each aligned to four bytes.
#include "env/version_block.h"

#include <cctype>

namespace env {

namespace {

uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) |
                                 (static_cast<uint8_t>(b[at + 1]) << 8));
}

size_t Align4(size_t n) {
    return (n + 3) & ~size_t{3};
}

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void PutU16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

void Pad4(std::string& out) {
    while (out.size() % 4 != 0) {
        out += '\0';
    }
}

// One node: header, key, value, then the already built children. `valueLength` is what the
// header states (characters for text, bytes for binary).
std::string Node(std::string_view key, uint16_t type, const std::string& value,
                 uint16_t valueLength, const std::string& children) {
    std::string out(6, '\0');
    out += Utf8ToUtf16Le(key);
    PutU16(out, 0);
    Pad4(out);
    out += value;
    if (!children.empty()) {
        Pad4(out);
        out += children;
    }
    out[0] = static_cast<char>(out.size() & 0xFF);
    out[1] = static_cast<char>((out.size() >> 8) & 0xFF);
    out[2] = static_cast<char>(valueLength & 0xFF);
    out[3] = static_cast<char>(valueLength >> 8);
    out[4] = static_cast<char>(type);
    return out;
}

std::string TextNode(std::string_view key, std::string_view text) {
    std::string value = Utf8ToUtf16Le(text);
    PutU16(value, 0);
    std::string node = Node(key, 1, value, static_cast<uint16_t>(value.size() / 2), "");
    Pad4(node);
    return node;
}

} // namespace

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    size_t units = bytes.size() / 2;
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                     (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    };
    for (size_t i = 0; i < units; ++i) {
        uint32_t u = unit(i);
        if (u == 0) {
            break;
        }
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            PutUtf8(out, 0xFFFD);
        } else {
            PutUtf8(out, u);
        }
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<uint8_t>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            bool ok = i + len <= text.size();
            uint32_t v = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
            for (size_t k = 1; ok && k < len; ++k) {
                auto cc = static_cast<uint8_t>(text[i + k]);
                ok = (cc & 0xC0) == 0x80;
                v = (v << 6) | (cc & 0x3F);
            }
            if (ok && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
            } else {
                len = 1;
            }
        }
        if (cp >= 0x10000) {
            PutU16(out, 0xD800 + ((cp - 0x10000) >> 10));
            PutU16(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            PutU16(out, cp);
        }
        i += len;
    }
    return out;
}

bool VersionBlock::ParseNode(size_t offset, size_t limit, Node& node, int depth) const {
    // Depth is bounded by the format (root, table, strings); a deeper tree is not a version
    // resource, and the bound keeps recursion small on crafted input.
    if (depth > 8 || offset + 6 > limit) {
        return false;
    }
    const size_t length = U16(m_Bytes, offset);
    const size_t valueLength = U16(m_Bytes, offset + 2);
    node.type = U16(m_Bytes, offset + 4);
    if (length < 6 || length > limit - offset) {
        return false;
    }
    const size_t end = offset + length;
    size_t keyEnd = offset + 6;
    while (keyEnd + 1 < end && U16(m_Bytes, keyEnd) != 0) {
        keyEnd += 2;
    }
    if (keyEnd + 1 >= end) {
        return false; // no terminated key inside the node
    }
    node.key = Utf16LeToUtf8(std::string_view(m_Bytes).substr(offset + 6, keyEnd - offset - 6));
    size_t value = Align4(keyEnd + 2);
    size_t valueBytes = node.type == 1 ? valueLength * 2 : valueLength;
    if (value > end) {
        value = end;
    }
    // Text lengths are not always stated consistently; a value never runs past its node.
    if (valueBytes > end - value) {
        if (node.type != 1) {
            return false;
        }
        valueBytes = end - value;
    }
    node.valueOffset = value;
    node.valueSize = valueBytes;
    size_t child = Align4(value + valueBytes);
    while (child + 6 <= end) {
        Node c;
        if (!ParseNode(child, end, c, depth + 1)) {
            break;
        }
        size_t childLength = U16(m_Bytes, child);
        node.children.push_back(std::move(c));
        child = Align4(child + childLength);
    }
    return true;
}

bool VersionBlock::Parse(std::string bytes) {
    m_Bytes = std::move(bytes);
    m_Root = Node{};
    m_Valid = ParseNode(0, m_Bytes.size(), m_Root, 0) && m_Root.key == "VS_VERSION_INFO";
    return m_Valid;
}

bool VersionBlock::Query(std::string_view subBlock, std::string& value, bool* isText) const {
    if (!m_Valid) {
        return false;
    }
    const Node* node = &m_Root;
    size_t pos = 0;
    while (pos < subBlock.size()) {
        size_t next = subBlock.find('\\', pos);
        std::string_view part =
            subBlock.substr(pos, next == std::string_view::npos ? subBlock.npos : next - pos);
        pos = next == std::string_view::npos ? subBlock.size() : next + 1;
        if (part.empty()) {
            continue;
        }
        const Node* found = nullptr;
        for (const Node& c : node->children) {
            if (SameKey(c.key, part)) {
                found = &c;
                break;
            }
        }
        if (found == nullptr) {
            return false;
        }
        node = found;
    }
    std::string_view raw = std::string_view(m_Bytes).substr(node->valueOffset, node->valueSize);
    if (node->type == 1) {
        value = Utf16LeToUtf8(raw);
    } else {
        value = std::string(raw);
    }
    if (isText != nullptr) {
        *isText = node->type == 1;
    }
    return true;
}

void ParseVersionNumbers(std::string_view text, uint16_t numbers[4]) {
    int count = 0;
    size_t i = 0;
    for (int k = 0; k < 4; ++k) {
        numbers[k] = 0;
    }
    while (i < text.size() && count < 4) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        uint32_t v = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            v = (v * 10 + static_cast<uint32_t>(text[i] - '0')) & 0xFFFFF;
            ++i;
        }
        numbers[count++] = static_cast<uint16_t>(v);
    }
}

std::string BuildVersionBlock(const VersionDescription& d) {
    uint16_t file[4], product[4];
    ParseVersionNumbers(d.fileVersion, file);
    ParseVersionNumbers(d.productVersion, product);
    std::string fixed;
    PutU32(fixed, kFixedInfoSignature);
    PutU32(fixed, 0x00010000); // structure version 1.0
    PutU32(fixed, (uint32_t{file[0]} << 16) | file[1]);
    PutU32(fixed, (uint32_t{file[2]} << 16) | file[3]);
    PutU32(fixed, (uint32_t{product[0]} << 16) | product[1]);
    PutU32(fixed, (uint32_t{product[2]} << 16) | product[3]);
    PutU32(fixed, 0x3F);    // flags mask
    PutU32(fixed, 0);       // flags
    PutU32(fixed, 0x40004); // operating system: 32-bit NT
    PutU32(fixed, 1);       // type: application
    PutU32(fixed, 0);       // subtype
    PutU32(fixed, 0);       // date, high
    PutU32(fixed, 0);       // date, low

    std::string strings;
    auto add = [&](const char* key, const std::string& text) { strings += TextNode(key, text); };
    if (!d.fileDescription.empty()) {
        add("FileDescription", d.fileDescription);
    }
    add("FileVersion", d.fileVersion);
    add("ProductName", d.productName);
    add("ProductVersion", d.productVersion);
    for (const auto& [key, text] : d.extraStrings) {
        strings += TextNode(key, text);
    }
    char tableName[9];
    static const char* const kHex = "0123456789abcdef";
    uint32_t langCp = (uint32_t{d.language} << 16) | d.codePage;
    for (int k = 0; k < 8; ++k) {
        tableName[k] = kHex[(langCp >> (28 - 4 * k)) & 0xF];
    }
    tableName[8] = '\0';
    std::string table = Node(tableName, 1, "", 0, strings);
    Pad4(table);
    std::string children = Node("StringFileInfo", 1, "", 0, table);
    Pad4(children);
    if (d.withTranslation) {
        std::string translation;
        PutU16(translation, d.language);
        PutU16(translation, d.codePage);
        std::string var = Node("Translation", 0, translation, 4, "");
        Pad4(var);
        children += Node("VarFileInfo", 1, "", 0, var);
        Pad4(children);
    }
    std::string block =
        Node("VS_VERSION_INFO", 0, fixed, static_cast<uint16_t>(fixed.size()), children);
    // Every node's length is a 16-bit field and no node is longer than the root.
    return block.size() <= 0xFFFF ? block : std::string();
}

} // namespace env
