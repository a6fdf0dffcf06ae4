// The libFuzzer entry: TVX_FUZZ_ENTRY names the target's plain entry point.
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return tvx::fuzz::TVX_FUZZ_ENTRY(data, size);
}
