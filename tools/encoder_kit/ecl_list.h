// Reads an encoder control list (ECL) into checked key/value pairs, in either header variant.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace enc {

// The two header lines an ECL may start with. The classic header belongs to encoder
// release 2.50 (code 1); the trial header to releases 2.66 and 2.67 (codes 2 to 5). The
// variant decides which keys the list must carry.
enum class EclVariant { Classic, Trial };

inline constexpr const char* kClassicHeader = "; Cinema Craft Encoder SP -- Encoder Control List";
inline constexpr const char* kTrialHeader = "; CCE SP Trial Version -- Encoder Control List";

// A parsed list: every key once (keys compare in lower case), plus the chapter entries of the
// [file] section in order. Text values (title, paths) are kept byte for byte.
struct EclList {
    EclVariant variant = EclVariant::Trial;
    std::map<std::string, std::string> values;
    std::vector<std::string> chapters;

    bool Has(const std::string& key) const { return values.count(key) != 0; }
    // The value of a key, or empty text when it is absent.
    std::string Text(const std::string& key) const;
    // Parses a signed decimal value (or "0x" hexadecimal). False when absent or malformed;
    // `out` is left alone then.
    bool Number(const std::string& key, int64_t& out) const;
};

// Parses the text of a list. Lines may end in CR LF or LF. The checks: a known header on the
// first line; only the sections [item] and [file]; every key known and in its own section;
// no key twice (except `chapter`); every key that its variant always carries present; numeric
// keys hold numbers. On failure returns false and puts one readable sentence into `error`
// (naming the line), and `out` is unspecified.
bool ParseEcl(const std::string& text, EclList& out, std::string& error);

// The largest control list read: a list is a few kilobytes, even with thousands of chapters.
inline constexpr uint64_t kMaxEclBytes = 1024 * 1024;

// Reads the bytes of the list at `path`. Refuses, with one readable sentence in `error`, a
// path that is missing, unreadable, not a regular file (a device, a pipe, a folder) or longer
// than kMaxEclBytes.
bool ReadListFile(const std::string& path, std::string& text, std::string& error);

// Reads (as ReadListFile) and parses the list at `path`.
bool LoadEcl(const std::string& path, EclList& out, std::string& error);

} // namespace enc
