// libFuzzer target: AVI headers, read as a source is opened (RIFF AVI 1.0 and OpenDML, files
// cut short). Any file opens with sane facts or is refused with a reason.
#include "platform/avi_file.h"
#include "source/avi_source.h"
#include "support/fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz_support::WriteInput("input.avi", data, size);
    platform::AviHeaders headers;
    platform::AviError error = platform::ReadAviHeaders(path, headers);
    fuzz_support::Check(platform::AviErrorText(error) != nullptr, "every error has a text");
    if (error == platform::kAviOk) {
        fuzz_support::Check(headers.fileSize == size, "the file's size");
        fuzz_support::Check(headers.riffParts >= 1, "at least one RIFF part");
        fuzz_support::Check(headers.info.fileType.size() <= 63, "a short file type");
    }

    source::CAviSource source(path);
    int result = source.Open();
    fuzz_support::Check(result >= 0 && result <= 2, "a known result");
    if (result == source::CAviSource::kOpenOk) {
        fuzz_support::Check(source.Rate() >= 0, "a rate");
        (void)source.Width();
        (void)source.Height();
        (void)source.Length();
        (void)source.OpenAudioStream();
    } else {
        fuzz_support::Check(!source.Error().empty(), "a failed open says why");
    }
    source.Close();
    return 0;
}
