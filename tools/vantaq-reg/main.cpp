// vantaq-reg: the key store to and from registry editor files.
#include "store/key_store.h"
#include "store/reg_file.h"

#include "platform/files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Usage() {
    std::fprintf(
        stderr, "usage: vantaq-reg export [KEY]   write the store, or KEY and its sub-keys,\n"
                "                                 to standard output\n"
                "       vantaq-reg import FILE    read a registry file (a regular file of at most\n"
                "                                 1 GiB) into the store\n"
                "KEY is below HKEY_CURRENT_USER, e.g. Software\\Pellmoor\\Vantaq\\Jobs.\n"
                "The store is $VANTAQ_STORE, else $XDG_CONFIG_HOME/vantaq/store.sqlite.\n");
    return 2;
}

// Opens an import file: only a regular file of bounded size, since a device or a pipe would
// never end, or block.
bool OpenImportFile(const char* path, platform::ReadOnlyFile& file) {
    platform::FileFacts facts;
    if (!platform::RegularFileFacts(path, facts)) {
        std::fprintf(stderr, "vantaq-reg: %s is not a regular file (nothing imported)\n", path);
        return false;
    }
    if (facts.size > store::kMaxRegFileBytes) {
        std::fprintf(stderr, "vantaq-reg: %s is larger than %llu MiB (nothing imported)\n", path,
                     static_cast<unsigned long long>(store::kMaxRegFileBytes >> 20));
        return false;
    }
    if (!file.Open(path) || file.Size() > store::kMaxRegFileBytes) {
        std::fprintf(stderr, "vantaq-reg: cannot read %s (nothing imported)\n", path);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (std::strcmp(argv[1], "export") != 0 && std::strcmp(argv[1], "import") != 0)) {
        return Usage();
    }
    bool exporting = std::strcmp(argv[1], "export") == 0;
    if ((exporting && argc > 3) || (!exporting && argc != 3)) {
        return Usage();
    }
    platform::ReadOnlyFile file;
    if (!exporting && !OpenImportFile(argv[2], file)) {
        return 1;
    }
    store::KeyStore store;
    if (!store.Open(store::KeyStore::DefaultPath())) {
        std::fprintf(stderr, "vantaq-reg: cannot open the store: %s\n", store.LastError().c_str());
        return 1;
    }
    std::string error;
    if (exporting) {
        auto write = [](std::string_view piece) {
            return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
        };
        if (!store::ExportRegFile(store, argc == 3 ? argv[2] : "", write, error)) {
            std::fprintf(stderr, "vantaq-reg: %s\n", error.c_str());
            return 1;
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // The file is read a piece at a time up to the size it had when opened.
    uint64_t offset = 0;
    std::string piece;
    store::RegSource read = [&](char* to, size_t most) -> long {
        uint64_t n = std::min<uint64_t>(most, file.Size() - offset);
        if (n > 0 && !file.ReadAt(offset, n, piece)) {
            return -1;
        }
        std::memcpy(to, piece.data(), n);
        offset += n;
        return static_cast<long>(n);
    };
    if (!store::ImportRegFile(store, read, error)) {
        std::fprintf(stderr, "vantaq-reg: %s: %s (nothing imported)\n", argv[2], error.c_str());
        return 1;
    }
    return 0;
}
