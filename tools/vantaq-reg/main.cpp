// vantaq-reg: the key store to and from registry editor files.
#include "store/key_store.h"
#include "store/reg_file.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: vantaq-reg export [KEY]   write the store, or KEY and its sub-keys,\n"
                 "                                 to standard output\n"
                 "       vantaq-reg import FILE    read a registry file into the store\n"
                 "KEY is below HKEY_CURRENT_USER, e.g. Software\\Pellmoor\\Vantaq\\Jobs.\n"
                 "The store is $VANTAQ_STORE, else $XDG_CONFIG_HOME/vantaq/store.sqlite.\n");
    return 2;
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
    store::KeyStore store;
    if (!store.Open(store::KeyStore::DefaultPath())) {
        std::fprintf(stderr, "vantaq-reg: cannot open the store: %s\n", store.LastError().c_str());
        return 1;
    }
    std::string error;
    if (exporting) {
        std::string out;
        if (!store::ExportRegFile(store, argc == 3 ? argv[2] : "", out, error)) {
            std::fprintf(stderr, "vantaq-reg: %s\n", error.c_str());
            return 1;
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vantaq-reg: cannot read %s\n", argv[2]);
        return 1;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!store::ImportRegFile(store, bytes.str(), error)) {
        std::fprintf(stderr, "vantaq-reg: %s: %s (nothing imported)\n", argv[2], error.c_str());
        return 1;
    }
    return 0;
}
