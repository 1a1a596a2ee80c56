// Private profile (.ini) files: one string from a section and key, and writing one key.
#pragma once

#include <cstddef>
#include <string>

namespace env {

// The value of `key` in `section` of the file at `path`, or `fallback` when the file, section or
// key is missing. Names compare without ASCII case; blanks around names and values are dropped,
// and one pair of enclosing double quotes is removed. The result is cut to `capacity` - 1
// characters, as a reader with a buffer of `capacity` bytes sees it.
std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& fallback, size_t capacity);

// Sets `key` in `section`, creating the file and the section when missing and keeping every
// other line as it was. The file is replaced atomically. Returns false when it cannot be
// written.
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

} // namespace env
