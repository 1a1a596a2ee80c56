// Test helpers that write minimal PE and ELF files around a version block.
#pragma once

#include <cstdint>
#include <string>

namespace version_files {

// A PE file (PE32, or PE32+ when `plus`) with one ".rsrc" section holding `block` as the
// version resource (type 16, name 1, language 0x409).
std::string MakePe(const std::string& block, bool plus = false);

// An ELF file (64-bit little-endian, or 32-bit big-endian when `elf32BigEndian`) with the
// sections "", ".vsversion" (holding `block`) and ".shstrtab".
std::string MakeElf(const std::string& block, bool elf32BigEndian = false);

// Little-endian field writers for patching the files above.
void Put16(std::string& b, size_t at, uint32_t v);
void Put32(std::string& b, size_t at, uint32_t v);

} // namespace version_files
