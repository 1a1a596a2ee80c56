// Minimal PE and ELF files around a version block, laid out by hand for the reader's tests.
#include "version_files.h"

namespace version_files {

void Put16(std::string& b, size_t at, uint32_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

namespace {

void PutN(std::string& b, size_t at, uint64_t v, int size, bool bigEndian) {
    for (int k = 0; k < size; ++k) {
        int shift = bigEndian ? 8 * (size - 1 - k) : 8 * k;
        b[at + static_cast<size_t>(k)] = static_cast<char>((v >> shift) & 0xFF);
    }
}

} // namespace

std::string MakePe(const std::string& block, bool plus) {
    const size_t peAt = 0x40;
    const size_t optSize = plus ? 240 : 224;
    const size_t sectionsAt = peAt + 24 + optSize;
    const size_t rawAt = 0x200;
    const uint32_t rva = 0x1000;
    // Resource tree: three directories of one entry each, a data entry, then the block.
    const size_t dir1 = 0, dir2 = 24, dir3 = 48, dataEntry = 72, blockAt = 88;
    std::string rsrc(blockAt, '\0');
    Put16(rsrc, dir1 + 14, 1);
    Put32(rsrc, dir1 + 16, 16); // RT_VERSION
    Put32(rsrc, dir1 + 20, 0x80000000u | dir2);
    Put16(rsrc, dir2 + 14, 1);
    Put32(rsrc, dir2 + 16, 1);
    Put32(rsrc, dir2 + 20, 0x80000000u | dir3);
    Put16(rsrc, dir3 + 14, 1);
    Put32(rsrc, dir3 + 16, 0x409);
    Put32(rsrc, dir3 + 20, dataEntry);
    Put32(rsrc, dataEntry, rva + blockAt);
    Put32(rsrc, dataEntry + 4, static_cast<uint32_t>(block.size()));
    rsrc += block;

    std::string f(rawAt, '\0');
    f[0] = 'M';
    f[1] = 'Z';
    Put32(f, 0x3C, peAt);
    f.replace(peAt, 4, std::string("PE\0\0", 4));
    Put16(f, peAt + 4, plus ? 0x8664 : 0x14c);
    Put16(f, peAt + 6, 1); // one section
    Put16(f, peAt + 20, static_cast<uint32_t>(optSize));
    const size_t opt = peAt + 24;
    Put16(f, opt, plus ? 0x20b : 0x10b);
    const size_t count = opt + (plus ? 108 : 92);
    Put32(f, count, 16);
    Put32(f, count + 4 + 16, rva); // data directory 2: resources
    Put32(f, count + 4 + 20, static_cast<uint32_t>(rsrc.size()));
    f.replace(sectionsAt, 5, ".rsrc");
    Put32(f, sectionsAt + 8, static_cast<uint32_t>(rsrc.size()));
    Put32(f, sectionsAt + 12, rva);
    Put32(f, sectionsAt + 16, static_cast<uint32_t>(rsrc.size()));
    Put32(f, sectionsAt + 20, rawAt);
    return f + rsrc;
}

std::string MakeElf(const std::string& block, bool elf32BigEndian) {
    const bool is64 = !elf32BigEndian;
    const bool be = elf32BigEndian;
    const size_t headerSize = is64 ? 64 : 52;
    const size_t entSize = is64 ? 64 : 40;
    const std::string names = std::string("\0.vsversion\0.shstrtab\0", 22);
    const size_t blockAt = headerSize;
    const size_t namesAt = blockAt + block.size();
    size_t tableAt = (namesAt + names.size() + 7) & ~size_t{7};

    std::string f(tableAt + 3 * entSize, '\0');
    f.replace(0, 4,
              "\x7f"
              "ELF");
    f[4] = is64 ? 2 : 1;
    f[5] = be ? 2 : 1;
    f[6] = 1;
    PutN(f, 16, 2, 2, be); // executable
    if (is64) {
        PutN(f, 0x28, tableAt, 8, be);
        PutN(f, 0x3A, entSize, 2, be);
        PutN(f, 0x3C, 3, 2, be);
        PutN(f, 0x3E, 2, 2, be);
    } else {
        PutN(f, 0x20, tableAt, 4, be);
        PutN(f, 0x2E, entSize, 2, be);
        PutN(f, 0x30, 3, 2, be);
        PutN(f, 0x32, 2, 2, be);
    }
    f.replace(blockAt, block.size(), block);
    f.replace(namesAt, names.size(), names);
    auto section = [&](size_t k, uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
        size_t s = tableAt + k * entSize;
        PutN(f, s, name, 4, be);
        PutN(f, s + 4, type, 4, be);
        PutN(f, s + (is64 ? 0x18 : 0x10), offset, is64 ? 8 : 4, be);
        PutN(f, s + (is64 ? 0x20 : 0x14), size, is64 ? 8 : 4, be);
    };
    section(1, 1, 1, blockAt, block.size());  // .vsversion, PROGBITS
    section(2, 12, 3, namesAt, names.size()); // .shstrtab, STRTAB
    return f;
}

} // namespace version_files
