// libFuzzer target: chapter information files. The first byte picks the NTSC-to-film
// conversion; the rest is the file. Any file gives a list a job can keep: no line break inside,
// never longer than the store and the control-list writer read.
#include "chapters/chapter_list.h"
#include "support/fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bool convert = size > 0 && (data[0] & 1) != 0;
    if (size > 0) {
        ++data;
        --size;
    }
    std::string path = fuzz_support::WriteInput("chapters.txt", data, size);
    fuzz_support::NullLogView view;
    logging::Log log(view, std::string());
    std::string list = chapters::ReadChapterList(path, convert, log);
    fuzz_support::Check(list.size() <= chapters::kMaxChapterListLength, "the list fits");
    fuzz_support::Check(list.find_first_of("\r\n") == std::string::npos, "no line break inside");
    std::string again = list;
    fuzz_support::Check(!chapters::FitChapterList(again) && again == list, "a kept list fits");
    return 0;
}
