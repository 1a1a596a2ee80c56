// The version resource of a PE file (resource directory, type 16) or of an ELF file
// (".vsversion" section), with every header field checked against the file.
#include "env/executable_resources.h"

#include <algorithm>
#include <vector>

namespace env {

namespace {

// Little- or big-endian fields of a byte string; callers check the bounds first.
struct Fields {
    const std::string& b;
    bool bigEndian = false;

    uint64_t Get(size_t at, int size) const {
        uint64_t v = 0;
        for (int k = 0; k < size; ++k) {
            uint64_t byte = static_cast<uint8_t>(b[at + static_cast<size_t>(k)]);
            v |= bigEndian ? byte << (8 * (size - 1 - k)) : byte << (8 * k);
        }
        return v;
    }
    uint16_t U16(size_t at) const { return static_cast<uint16_t>(Get(at, 2)); }
    uint32_t U32(size_t at) const { return static_cast<uint32_t>(Get(at, 4)); }
    uint64_t U64(size_t at) const { return Get(at, 8); }
    bool Has(size_t at, size_t size) const { return at <= b.size() && size <= b.size() - at; }
};

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kSubdirectory = 0x80000000u;

struct PeSection {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

// File offset and the bytes available there for a relative virtual address.
bool MapRva(const std::vector<PeSection>& sections, uint32_t rva, uint64_t& offset,
            uint64_t& available) {
    for (const PeSection& s : sections) {
        uint64_t span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
            uint64_t delta = rva - s.virtualAddress;
            if (delta >= s.rawSize) {
                return false; // uninitialised data has no bytes in the file
            }
            offset = uint64_t{s.rawOffset} + delta;
            available = s.rawSize - delta;
            return true;
        }
    }
    return false;
}

// The entry of a resource directory at `dir` chosen by id (or the first one when `id` is 0 or
// absent); false when the directory does not fit.
bool PickEntry(const Fields& f, size_t dir, uint32_t id, bool firstIfMissing, uint32_t& target) {
    if (!f.Has(dir, 16)) {
        return false;
    }
    size_t count = size_t{f.U16(dir + 12)} + f.U16(dir + 14);
    if (count == 0 || !f.Has(dir + 16, count * 8)) {
        return false;
    }
    for (size_t k = 0; k < count; ++k) {
        size_t e = dir + 16 + k * 8;
        if (id != 0 && f.U32(e) == id) {
            target = f.U32(e + 4);
            return true;
        }
    }
    if (!firstIfMissing) {
        return false;
    }
    target = f.U32(dir + 16 + 4);
    return true;
}

bool ReadPe(const platform::ReadOnlyFile& file, const std::string& head, std::string& block) {
    Fields h{head};
    const uint64_t peOffset = h.U32(0x3C);
    std::string coff;
    if (!file.ReadAt(peOffset, 24, coff) || coff.compare(0, 4, std::string("PE\0\0", 4)) != 0) {
        return false;
    }
    Fields c{coff};
    const uint16_t sectionCount = c.U16(6);
    const uint16_t optionalSize = c.U16(20);
    std::string opt;
    if (optionalSize < 2 || !file.ReadAt(peOffset + 24, optionalSize, opt)) {
        return false;
    }
    Fields o{opt};
    const uint16_t magic = o.U16(0);
    size_t countAt = magic == 0x10b ? 92 : magic == 0x20b ? 108 : 0;
    if (countAt == 0 || !o.Has(countAt, 4)) {
        return false;
    }
    const size_t dirs = countAt + 4;
    if (o.U32(countAt) <= 2 || !o.Has(dirs + 16, 8)) {
        return false; // no resource directory entry
    }
    const uint32_t rsrcRva = o.U32(dirs + 16);
    const uint32_t rsrcSize = o.U32(dirs + 20);

    std::string table;
    if (sectionCount == 0 ||
        !file.ReadAt(peOffset + 24 + optionalSize, sectionCount * 40ull, table)) {
        return false;
    }
    Fields t{table};
    std::vector<PeSection> sections;
    for (size_t k = 0; k < sectionCount; ++k) {
        size_t s = k * 40;
        sections.push_back({t.U32(s + 12), t.U32(s + 8), t.U32(s + 16), t.U32(s + 20)});
    }
    uint64_t rsrcOffset = 0, rsrcAvailable = 0;
    if (rsrcRva == 0 || !MapRva(sections, rsrcRva, rsrcOffset, rsrcAvailable)) {
        return false;
    }
    // The directory tables are small; a size beyond the section or a few megabytes is bogus.
    uint64_t rsrcBytes = std::min<uint64_t>({rsrcSize, rsrcAvailable, 16u << 20});
    std::string rsrc;
    if (!file.ReadAt(rsrcOffset, rsrcBytes, rsrc)) {
        return false;
    }
    Fields r{rsrc};
    // Three levels: type, name, language. Each level must lead to the next kind of entry.
    uint32_t entry = 0;
    if (!PickEntry(r, 0, kRtVersion, false, entry) || !(entry & kSubdirectory) ||
        !PickEntry(r, entry & ~kSubdirectory, 1, true, entry) || !(entry & kSubdirectory) ||
        !PickEntry(r, entry & ~kSubdirectory, 0, true, entry) || (entry & kSubdirectory) ||
        !r.Has(entry, 16)) {
        return false;
    }
    const uint32_t dataRva = r.U32(entry);
    const uint32_t dataSize = r.U32(entry + 4);
    uint64_t dataOffset = 0, dataAvailable = 0;
    if (dataSize == 0 || dataSize > kMaxVersionBlock ||
        !MapRva(sections, dataRva, dataOffset, dataAvailable) || dataSize > dataAvailable) {
        return false;
    }
    return file.ReadAt(dataOffset, dataSize, block);
}

bool ReadElf(const platform::ReadOnlyFile& file, const std::string& head, std::string& block) {
    const bool is64 = head[4] == 2;
    if ((is64 && head.size() < 0x40) || (head[4] != 1 && head[4] != 2) ||
        (head[5] != 1 && head[5] != 2)) {
        return false;
    }
    Fields h{head, head[5] == 2};
    uint64_t shoff = is64 ? h.U64(0x28) : h.U32(0x20);
    size_t entSize = h.U16(is64 ? 0x3A : 0x2E);
    uint64_t count = h.U16(is64 ? 0x3C : 0x30);
    uint32_t strIndex = h.U16(is64 ? 0x3E : 0x32);
    const size_t needed = is64 ? 0x40 : 0x28;
    if (shoff == 0 || entSize < needed) {
        return false;
    }
    std::string first;
    if (!file.ReadAt(shoff, entSize, first)) {
        return false;
    }
    Fields f0{first, h.bigEndian};
    // Extended numbering: the real counts live in the first section header.
    if (count == 0) {
        count = is64 ? f0.U64(0x20) : f0.U32(0x14);
    }
    if (strIndex == 0xFFFF) {
        strIndex = f0.U32(is64 ? 0x28 : 0x18);
    }
    if (count == 0 || count > file.Size() / entSize || strIndex >= count) {
        return false;
    }
    std::string table;
    if (!file.ReadAt(shoff, count * entSize, table)) {
        return false;
    }
    Fields t{table, h.bigEndian};
    auto offsetOf = [&](uint64_t k) {
        return is64 ? t.U64(k * entSize + 0x18) : t.U32(k * entSize + 0x10);
    };
    auto sizeOf = [&](uint64_t k) {
        return is64 ? t.U64(k * entSize + 0x20) : t.U32(k * entSize + 0x14);
    };
    std::string names;
    if (sizeOf(strIndex) > (16u << 20) ||
        !file.ReadAt(offsetOf(strIndex), sizeOf(strIndex), names)) {
        return false;
    }
    const std::string wanted(".vsversion");
    for (uint64_t k = 0; k < count; ++k) {
        uint32_t name = t.U32(k * entSize);
        if (name >= names.size() ||
            names.compare(name, wanted.size() + 1,
                          std::string(wanted.c_str(), wanted.size() + 1)) != 0) {
            continue;
        }
        const uint32_t type = t.U32(k * entSize + 4);
        const uint64_t size = sizeOf(k);
        if (type == 8 || size == 0 || size > kMaxVersionBlock) {
            return false; // no bytes in the file, or not a version block
        }
        return file.ReadAt(offsetOf(k), size, block);
    }
    return false;
}

} // namespace

bool ReadVersionResource(const platform::ReadOnlyFile& file, std::string& block) {
    std::string head;
    if (!file.ReadAt(0, std::min<uint64_t>(file.Size(), 64), head) || head.size() < 16) {
        return false;
    }
    if (head.compare(0, 4,
                     "\x7f"
                     "ELF") == 0) {
        return head.size() >= 0x34 && ReadElf(file, head, block);
    }
    if (head.compare(0, 2, "MZ") == 0 && head.size() >= 0x40) {
        return ReadPe(file, head, block);
    }
    return false;
}

} // namespace env
