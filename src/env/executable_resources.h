// Finding the version resource inside a program file: a PE file's RT_VERSION resource or an
// ELF file's ".vsversion" section.
#pragma once

#include "platform/files.h"

#include <string>

namespace env {

// Largest version block accepted; the format's own lengths are 16-bit.
inline constexpr uint64_t kMaxVersionBlock = 0x10000;

// Copies the raw VS_VERSIONINFO block of `file` into `block`. False for files that are neither
// PE nor ELF, have no version resource, or whose headers, tables or offsets point outside the
// file or contradict each other.
bool ReadVersionResource(const platform::ReadOnlyFile& file, std::string& block);

} // namespace env
