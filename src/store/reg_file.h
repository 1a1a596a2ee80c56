// Registry editor files ("Windows Registry Editor Version 5.00" and "REGEDIT4") to and from the
// key store, so queues and templates move between machines and into backups.
#pragma once

#include "store/key_store.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace store {

// Limits of an imported file: the registry's own for keys, and a size for the whole file.
inline constexpr size_t kMaxKeyDepth = 512;
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr uint64_t kMaxRegFileBytes = 1024ull * 1024 * 1024;
// The longest line (hex continuations joined) an import reads; a value's text is far shorter.
inline constexpr size_t kMaxRegLineBytes = 16u << 20;
// An import longer than this (and than an eighth of the store) rebuilds the store's indexes once
// at its end instead of keeping them current.
inline constexpr uint64_t kBulkImportBytes = 1024 * 1024;

// Takes the next piece of an export; false when it could not be written.
using RegSink = std::function<bool(std::string_view piece)>;

// Writes the key at `path` (below HKEY_CURRENT_USER; empty: the whole store) with all its
// sub-keys to `sink`, a piece of about 1 MiB at a time, so that memory does not grow with the
// store. Fails when the key is missing or the sink refuses a piece.
bool ExportRegFile(KeyStore& store, std::string_view path, const RegSink& sink, std::string& error);

// Writes the key at `path` (below HKEY_CURRENT_USER; empty: the whole store) with all its
// sub-keys as a version 5.00 file in UTF-8 with CR LF line ends. Fails when the key is missing.
bool ExportRegFile(KeyStore& store, std::string_view path, std::string& out, std::string& error);

// Reads a registry file (version 5.00 or REGEDIT4; UTF-8, or UTF-16LE with a byte order mark;
// CR LF or LF) into the store as one atomic unit. Only HKEY_CURRENT_USER keys are accepted.
// Keys deeper than kMaxKeyDepth levels or with a name longer than kMaxKeyNameLength characters
// are refused, as are lines longer than kMaxRegLineBytes, and a file whose first line that is
// not blank is no header, as soon as it is longer than a header. On failure nothing is changed
// and `error` names the line ("line 7: ...").
bool ImportRegFile(KeyStore& store, std::string_view bytes, std::string& error);

// Gives the next piece of a file to import into `to` (at most `most` bytes): the number of bytes
// given, 0 at the end, negative when the file cannot be read.
using RegSource = std::function<long(char* to, size_t most)>;
// The same, reading the file a piece at a time, so that memory does not grow with it.
bool ImportRegFile(KeyStore& store, const RegSource& read, std::string& error);

} // namespace store
