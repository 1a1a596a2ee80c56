// libFuzzer target: the stand-in encoder's control list reader, and the plan and ffmpeg
// arguments it builds from a list it accepts.
#include "ecl_list.h"
#include "encode_plan.h"
#include "ffmpeg_args.h"
#include "support/fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    enc::EclList list;
    std::string error;
    if (!enc::ParseEcl(text, list, error)) {
        fuzz_support::Check(!error.empty(), "a refused list has a reason");
        return 0;
    }
    enc::EncodePlan plan;
    if (!enc::BuildPlan(list, plan, error)) {
        fuzz_support::Check(!error.empty(), "a refused plan has a reason");
        return 0;
    }
    (void)enc::KeyFrameExpression(plan);
    return 0;
}
