// Reads and writes one key of a Windows-style profile file ("[section]" and "key=value" lines).
#pragma once

#include <string>

namespace enc {

// Reads `key` of `section` from the profile file at `path`. Section and key names compare
// without regard to letter case; blanks around names and values are dropped, and one pair of
// enclosing double quotes is removed from the value. Returns false when the file cannot be
// read or holds no such key; `value` is left alone then.
bool ReadProfileString(const std::string& path, const std::string& section, const std::string& key,
                       std::string& value);

// Sets `key` of `section` to `value`, keeping every other line of the file as it was (and its
// line ends). Creates the file, the section or the key when missing. The new text replaces the
// file in one rename, so a reader never sees half a file. Returns false with a readable
// reason in `error` on failure. `value` must not hold CR or LF (refused).
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, std::string& error);

// The path of a file derived from a program path: a trailing ".exe" (any case) is replaced by
// `extension` (which starts with "."), otherwise `extension` is appended, so the result is never
// the program file itself.
std::string DerivedPath(const std::string& programPath, const std::string& extension);

// The running program's own path (from /proc/self/exe), or empty text when unknown.
std::string SelfPath();

} // namespace enc
