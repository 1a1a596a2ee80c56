// Private profile (.ini) files: reading one key, and writing one key in place.
#pragma once

#include <cstddef>
#include <string>

namespace env {

// Reads `key` of `section` from the file at `path`. Section and key names compare without
// regard to letter case; blanks around names and values are dropped, and one pair of enclosing
// double quotes is removed from the value. Returns false when the file cannot be read or holds
// no such key; `value` is left alone then.
bool ReadProfileString(const std::string& path, const std::string& section, const std::string& key,
                       std::string& value);

// The value as a reader with a buffer of `capacity` bytes sees it: `fallback` when missing,
// cut to `capacity` - 1 characters.
std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& fallback, size_t capacity);

// Sets `key` of `section` to `value`, keeping every other line of the file as it was (and its
// line ends; a new file gets CR LF). Creates the file, the section or the key when missing. The
// new text replaces the file in one rename, so a reader never sees half a file. Returns false
// with a readable reason in `error` on failure. `value` must not hold CR or LF (refused).
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, std::string& error);

} // namespace env
