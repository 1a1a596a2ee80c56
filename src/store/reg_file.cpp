// Registry file export and import.
#include "store/reg_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace store {

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHiveName = "HKEY_CURRENT_USER";
constexpr std::string_view kHiveShort = "HKCU";

// ---- export ----

bool IsPlainText(const Value& v) {
    // A string that a quoted form can carry exactly: one terminator at the end, no line breaks.
    if (v.type != kTypeString || v.data.empty() || v.data.back() != '\0') {
        return false;
    }
    for (size_t i = 0; i + 1 < v.data.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(v.data[i]);
        if (c == '\0' || c == '\r' || c == '\n') {
            return false;
        }
    }
    return true;
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string HexBytes(const std::string& data) {
    std::string out;
    char byte[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(data[i]));
        if (i > 0) {
            out.push_back(',');
        }
        out += byte;
    }
    return out;
}

void ExportValue(const Value& v, std::string& out) {
    out += v.name.empty() ? std::string("@") : Quote(v.name);
    out.push_back('=');
    if (IsPlainText(v)) {
        out += Quote(std::string_view(v.data).substr(0, v.data.size() - 1));
    } else if (v.type == kTypeNumber && v.data.size() == 4) {
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i) {
            n |= static_cast<uint32_t>(static_cast<unsigned char>(v.data[i])) << (8 * i);
        }
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", n);
        out += text;
    } else if (v.type == kTypeBinary) {
        out += "hex:" + HexBytes(v.data);
    } else {
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, "hex(%x):", v.type);
        out += prefix + HexBytes(v.data);
    }
    out += "\r\n";
}

// How much of an export is gathered before it goes to the sink.
constexpr size_t kSinkChunk = 1 << 20;

bool Flush(std::string& out, const RegSink& sink, std::string& error) {
    if (!out.empty() && !sink(out)) {
        error = "the output cannot be written";
        return false;
    }
    out.clear();
    return true;
}

// The number of key names in "HKEY_CURRENT_USER\A\B" below the hive (2 here).
size_t LevelsBelowHive(const std::string& fullName) {
    return static_cast<size_t>(std::count(fullName.begin(), fullName.end(), '\\'));
}

bool ExportKey(KeyStore& store, Key top, const std::string& topName, std::string& out,
               const RegSink& sink, std::string& error) {
    // Depth first with a stack of its own, so a store of any depth is walked without recursion.
    // A key deeper than an import accepts is refused rather than written.
    std::vector<std::pair<Key, std::string>> pending{{top, topName}};
    std::vector<Value> values;
    std::vector<std::string> subKeys;
    while (!pending.empty()) {
        auto [key, fullName] = std::move(pending.back());
        pending.pop_back();
        if (!key || !store.EnumValues(key, values) || !store.EnumSubKeys(key, subKeys)) {
            error = "the store cannot be read";
            return false;
        }
        if (LevelsBelowHive(fullName) > kMaxKeyDepth) {
            error = "a key deeper than " + std::to_string(kMaxKeyDepth) + " levels below " +
                    fullName.substr(0, fullName.find('\\', 300)) + "... cannot be exported";
            return false;
        }
        out += "[" + fullName + "]\r\n";
        for (const Value& v : values) {
            ExportValue(v, out);
        }
        out += "\r\n";
        // Written out a piece at a time: the memory does not grow with the store.
        if (out.size() >= kSinkChunk && !Flush(out, sink, error)) {
            return false;
        }
        for (auto name = subKeys.rbegin(); name != subKeys.rend(); ++name) {
            pending.emplace_back(store.OpenKey(key, *name, Access::Read), fullName + "\\" + *name);
        }
    }
    return true;
}

// ---- import ----

// Appends the UTF-8 form of whole UTF-16LE units of `bytes`; returns how many bytes were taken.
// A unit cut at the end, or a high surrogate whose partner may come in the next piece, is left
// for then unless `last`.
size_t AppendUtf16AsUtf8(std::string_view bytes, bool last, std::string& out) {
    auto unit = [&bytes](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) |
               (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 3 >= bytes.size() && !last) {
                break;
            }
            if (i + 3 < bytes.size()) {
                uint32_t low = unit(i + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return last ? bytes.size() : i;
}

struct Line {
    int number = 0;
    std::string text;
};

// The lines of a registry file read a piece at a time, decoded to UTF-8, with hex continuations
// joined (a line ending in "\" goes on in the next): memory holds a piece and a line, whatever
// the file's length.
class RegLines {
public:
    explicit RegLines(const RegSource& read) : m_Read(read) {}

    // The next line; false at the end of the file, or when it could not be read or is longer
    // than the limit (Failed(), TooLong()).
    bool Next(Line& line) {
        if (!NextRaw(line)) {
            return false;
        }
        while (line.text.size() > 0 && line.text.back() == '\\' &&
               line.text.find("=hex") != std::string::npos) {
            line.text.pop_back();
            Line more;
            if (!NextRaw(more)) {
                break;
            }
            size_t first = more.text.find_first_not_of(" \t");
            line.text += first == std::string::npos ? "" : more.text.substr(first);
            if (line.text.size() > m_Limit) {
                return TooLongAt(line.number);
            }
        }
        return !m_TooLong;
    }
    bool Failed() const { return m_Failed; }
    // Lines longer than `bytes` are refused as soon as that many are read of them.
    void SetLineLimit(size_t bytes) { m_Limit = bytes; }
    // The number of the line that went over the limit; 0 when none did.
    int TooLong() const { return m_TooLong; }
    size_t LineLimit() const { return m_Limit; }

private:
    enum class Encoding { kUnknown, kUtf8, kUtf16 };

    bool TooLongAt(int number) {
        m_TooLong = number;
        return false;
    }

    bool NextRaw(Line& line) {
        if (m_TooLong != 0 || m_Done) {
            return false;
        }
        for (;;) {
            size_t end = m_Text.find('\n', m_Pos);
            size_t length = (end == std::string::npos ? m_Text.size() : end) - m_Pos;
            if (length > m_Limit + 1) { // the CR before the LF is no part of the line
                return TooLongAt(m_Number + 1);
            }
            if (end != std::string::npos || m_Eof) {
                if (m_Done) {
                    return false;
                }
                if (end == std::string::npos) {
                    // The last line, empty when the file ends with a line end.
                    end = m_Text.size();
                    m_Done = true;
                }
                line.number = ++m_Number;
                line.text.assign(m_Text, m_Pos, end - m_Pos);
                if (!line.text.empty() && line.text.back() == '\r') {
                    line.text.pop_back();
                }
                m_Pos = end + 1;
                return true;
            }
            m_Text.erase(0, m_Pos);
            m_Pos = 0;
            if (!Fill()) {
                return false;
            }
        }
    }

    // Appends the next piece of the file to the text; false when it could not be read.
    bool Fill() {
        constexpr size_t kPiece = 1 << 20;
        std::string piece(kPiece, '\0');
        long got = m_Read(piece.data(), piece.size());
        if (got < 0) {
            m_Failed = true;
            return false;
        }
        piece.resize(static_cast<size_t>(got));
        m_Eof = got == 0;
        m_Raw += piece;
        if (m_Encoding == Encoding::kUnknown) {
            if (m_Raw.size() < 3 && !m_Eof) {
                return true;
            }
            if (m_Raw.size() >= 2 && static_cast<unsigned char>(m_Raw[0]) == 0xFF &&
                static_cast<unsigned char>(m_Raw[1]) == 0xFE) {
                m_Encoding = Encoding::kUtf16;
                m_Raw.erase(0, 2);
            } else {
                m_Encoding = Encoding::kUtf8;
                if (m_Raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
                    m_Raw.erase(0, 3);
                }
            }
        }
        if (m_Encoding == Encoding::kUtf16) {
            m_Raw.erase(0, AppendUtf16AsUtf8(m_Raw, m_Eof, m_Text));
        } else {
            m_Text += m_Raw;
            m_Raw.clear();
        }
        return true;
    }

    const RegSource& m_Read;
    Encoding m_Encoding = Encoding::kUnknown;
    std::string m_Raw;  // read, not yet decoded
    std::string m_Text; // decoded; lines start at m_Pos
    size_t m_Pos = 0;
    int m_Number = 0;
    bool m_Eof = false;
    bool m_Done = false;
    bool m_Failed = false;
    size_t m_Limit = kMaxRegLineBytes;
    int m_TooLong = 0;
};

// Parses a quoted text starting at `pos` (at the opening quote); `pos` ends after the close.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') {
        return false;
    }
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '\\' && pos + 1 < s.size()) {
            out.push_back(s[++pos]);
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out.push_back(c);
        }
    }
    return false;
}

bool ParseHexList(std::string_view s, std::string& out) {
    out.clear();
    size_t pos = 0;
    while (pos < s.size()) {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) {
            ++pos;
        }
        if (pos >= s.size()) {
            break;
        }
        size_t end = s.find(',', pos);
        std::string_view item = s.substr(pos, end == std::string_view::npos ? s.npos : end - pos);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) {
            item.remove_suffix(1);
        }
        if (item.empty() || item.size() > 2 ||
            !std::isxdigit(static_cast<unsigned char>(item[0])) ||
            (item.size() == 2 && !std::isxdigit(static_cast<unsigned char>(item[1])))) {
            return false;
        }
        out.push_back(static_cast<char>(std::stoul(std::string(item), nullptr, 16)));
        if (end == std::string_view::npos) {
            break;
        }
        pos = end + 1;
        if (pos >= s.size()) {
            return false; // a trailing comma
        }
    }
    return true;
}

bool ParseData(const std::string& s, Value& v, std::string& why) {
    if (!s.empty() && s[0] == '"') {
        size_t pos = 0;
        std::string text;
        if (!ParseQuoted(s, pos, text) || pos != s.size()) {
            why = "unterminated or malformed text";
            return false;
        }
        v.type = kTypeString;
        v.data = text + '\0';
        return true;
    }
    if (s.rfind("dword:", 0) == 0) {
        std::string digits = s.substr(6);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            why = "a dword needs 1 to 8 hexadecimal digits";
            return false;
        }
        uint32_t n = static_cast<uint32_t>(std::stoul(digits, nullptr, 16));
        v.type = kTypeNumber;
        v.data.clear();
        for (int i = 0; i < 4; ++i) {
            v.data.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
        }
        return true;
    }
    if (s.rfind("hex", 0) == 0) {
        size_t colon = s.find(':');
        if (colon == std::string::npos) {
            why = "hex data without ':'";
            return false;
        }
        std::string kind = s.substr(3, colon - 3);
        v.type = kTypeBinary;
        if (!kind.empty()) {
            if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' ||
                kind.find_first_not_of("0123456789abcdefABCDEF", 1) != kind.size() - 1 ||
                kind.size() > 10) {
                why = "malformed hex type";
                return false;
            }
            v.type =
                static_cast<uint32_t>(std::stoul(kind.substr(1, kind.size() - 2), nullptr, 16));
        }
        if (!ParseHexList(std::string_view(s).substr(colon + 1), v.data)) {
            why = "malformed hex bytes";
            return false;
        }
        return true;
    }
    if (s == "-") {
        why = "deleting a value is not supported";
        return false;
    }
    why = "unknown value data";
    return false;
}

// "HKEY_CURRENT_USER\A\B" to "A\B"; false for other hives.
bool KeyBelowHive(const std::string& full, std::string& path) {
    for (std::string_view hive : {kHiveName, kHiveShort}) {
        if (full.size() >= hive.size() &&
            std::equal(hive.begin(), hive.end(), full.begin(),
                       [](char a, char b) { return std::toupper(a) == std::toupper(b); }) &&
            (full.size() == hive.size() || full[hive.size()] == '\\')) {
            path = full.size() == hive.size() ? std::string() : full.substr(hive.size() + 1);
            return true;
        }
    }
    return false;
}

// The registry's own limits: key names of at most 255 characters, at most 512 levels.
bool WithinKeyLimits(const std::string& path, std::string& why) {
    std::vector<std::string_view> names = SplitKeyPath(path);
    if (names.size() > kMaxKeyDepth) {
        why = "the key is " + std::to_string(names.size()) + " levels deep; at most " +
              std::to_string(kMaxKeyDepth) + " are allowed";
        return false;
    }
    for (std::string_view name : names) {
        // Characters, not bytes: UTF-8 continuation bytes do not count.
        size_t characters = static_cast<size_t>(std::count_if(name.begin(), name.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
        if (characters > kMaxKeyNameLength) {
            why = "a key name of " + std::to_string(characters) + " characters; at most " +
                  std::to_string(kMaxKeyNameLength) + " are allowed";
            return false;
        }
    }
    return true;
}

} // namespace

bool ExportRegFile(KeyStore& store, std::string_view path, const RegSink& sink,
                   std::string& error) {
    std::string out;
    std::string relative(path);
    std::string below;
    if (KeyBelowHive(relative, below)) {
        relative = below;
    }
    Key key = store.OpenKey(kHive, relative, Access::Read);
    if (!key) {
        error = relative.empty() ? "the store cannot be read" : "no key " + relative;
        return false;
    }
    out = std::string(kHeader5) + "\r\n\r\n";
    if (relative.empty()) {
        std::vector<std::string> top;
        if (!store.EnumSubKeys(key, top)) {
            error = "the store cannot be read";
            return false;
        }
        for (const std::string& name : top) {
            if (!ExportKey(store, store.OpenKey(key, name, Access::Read),
                           std::string(kHiveName) + "\\" + name, out, sink, error)) {
                return false;
            }
        }
        return Flush(out, sink, error);
    }
    std::string fullName = std::string(kHiveName);
    for (std::string_view name : SplitKeyPath(relative)) {
        fullName += "\\" + std::string(name);
    }
    if (!ExportKey(store, key, fullName, out, sink, error)) {
        return false;
    }
    return Flush(out, sink, error);
}

bool ExportRegFile(KeyStore& store, std::string_view path, std::string& out, std::string& error) {
    out.clear();
    return ExportRegFile(
        store, path,
        [&out](std::string_view piece) {
            out.append(piece);
            return true;
        },
        error);
}

bool ImportRegFile(KeyStore& store, std::string_view bytes, std::string& error) {
    size_t taken = 0;
    RegSource read = [&bytes, &taken](char* to, size_t most) {
        size_t n = std::min(most, bytes.size() - taken);
        std::memcpy(to, bytes.data() + taken, n);
        taken += n;
        return static_cast<long>(n);
    };
    return ImportRegFile(store, read, error);
}

bool ImportRegFile(KeyStore& store, const RegSource& read, std::string& error) {
    RegLines lines(read);
    Line line;
    // Up to the header no line may be longer than the header, so a file that is none is told
    // from its first bytes, not after reading a line of any length.
    lines.SetLineLimit(std::max(kHeader5.size(), kHeader4.size()));
    bool more = lines.Next(line);
    while (more && line.text.find_first_not_of(" \t") == std::string::npos) {
        more = lines.Next(line);
    }
    if (lines.Failed()) {
        error = "the file cannot be read";
        return false;
    }
    if (!more || (line.text != kHeader5 && line.text != kHeader4)) {
        int number = lines.TooLong() != 0 ? lines.TooLong() : more ? line.number : 1;
        error = "line " + std::to_string(number) + ": not a registry file (expected \"" +
                std::string(kHeader5) + "\")";
        return false;
    }
    lines.SetLineLimit(kMaxRegLineBytes);
    // A long file's keys and indexes stay in memory until the one commit.
    KeyStore::WideCache wide(store);
    KeyStore::Transaction unit(store);
    if (!unit.Ok()) {
        error = "the store cannot be written: " + store.LastError();
        return false;
    }
    // Past a share of the store's own size, a file is cheaper to import with the file's derived
    // indexes set aside and rebuilt once at the commit than kept current value by value.
    constexpr size_t kValuesPerWrite = 256;
    const uint64_t bulkBytes =
        std::max<uint64_t>(kBulkImportBytes, static_cast<uint64_t>(store.FileBytes()) / 8);
    uint64_t bytesRead = 0;
    bool haveKey = false;
    std::string keyPath;
    Key key;
    // The parent of the last key created: a file lists siblings one after another (a queue's
    // jobs), and each then costs one lookup instead of one per level.
    std::string parentPath;
    Key parent;
    // The current key's values, written together with one lookup of the key.
    std::vector<Value> values;
    std::vector<int> valueLines;
    auto flush = [&store, &key, &values, &valueLines, &error] {
        size_t failed = 0;
        if (!values.empty() && !store.WriteValues(key, values, &failed)) {
            error = "line " + std::to_string(valueLines[failed]) +
                    ": cannot write the value: " + store.LastError();
            return false;
        }
        values.clear();
        valueLines.clear();
        return true;
    };
    while (lines.Next(line)) {
        const std::string& text = line.text;
        bytesRead += text.size();
        if (bytesRead >= bulkBytes && bytesRead - text.size() < bulkBytes &&
            !store.DeferDerived()) {
            error = "the store cannot be written: " + store.LastError();
            return false;
        }
        std::string where = "line " + std::to_string(line.number) + ": ";
        size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos || text[first] == ';') {
            continue;
        }
        if (text[0] == '[') {
            if (!flush()) {
                return false;
            }
            size_t close = text.rfind(']');
            if (close == std::string::npos || close < 2) {
                error = where + "malformed key line";
                return false;
            }
            std::string name = text.substr(1, close - 1);
            bool remove = name[0] == '-';
            if (remove) {
                name.erase(0, 1);
            }
            if (!KeyBelowHive(name, keyPath) || keyPath.empty()) {
                error = where + "only keys below HKEY_CURRENT_USER can be imported";
                return false;
            }
            std::string why;
            if (!WithinKeyLimits(keyPath, why)) {
                error = where + why;
                return false;
            }
            if (remove) {
                store.DeleteTree(kHive, keyPath);
                haveKey = false;
                parentPath.clear();
                parent = Key();
                continue;
            }
            size_t cut = keyPath.rfind('\\');
            if (cut == std::string::npos) {
                key = store.CreateKey(kHive, keyPath);
            } else {
                if (!parent || keyPath.compare(0, cut, parentPath) != 0) {
                    parentPath = keyPath.substr(0, cut);
                    parent = store.CreateKey(kHive, parentPath);
                }
                key = parent ? store.CreateKey(parent, keyPath.substr(cut + 1)) : Key();
            }
            if (!key) {
                error = where + "cannot create the key: " + store.LastError();
                return false;
            }
            haveKey = true;
            continue;
        }
        if (!haveKey) {
            error = where + "a value outside of any key";
            return false;
        }
        Value v;
        size_t pos = 0;
        if (text[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(text, pos, v.name)) {
            error = where + "malformed value name";
            return false;
        }
        if (pos >= text.size() || text[pos] != '=') {
            error = where + "'=' expected after the value name";
            return false;
        }
        std::string why;
        if (!ParseData(text.substr(pos + 1), v, why)) {
            error = where + why;
            return false;
        }
        values.push_back(std::move(v));
        valueLines.push_back(line.number);
        if (values.size() >= kValuesPerWrite && !flush()) {
            return false;
        }
    }
    if (!flush()) {
        return false;
    }
    if (lines.Failed()) {
        error = "the file cannot be read";
        return false;
    }
    if (lines.TooLong() != 0) {
        error = "line " + std::to_string(lines.TooLong()) + ": longer than " +
                std::to_string(lines.LineLimit()) + " bytes";
        return false;
    }
    if (!unit.Commit()) {
        error = "the store cannot be written: " + store.LastError();
        return false;
    }
    return true;
}

} // namespace store
