// libFuzzer target: any bytes as a catalogue (the first one sets the piece size of the
// streaming reader). The readers must agree on every input and never crash or leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "catalogue_agreement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string why =
        tovren::fuzz::catalogueDisagreement({reinterpret_cast<const char*>(data), size});
    if (!why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        std::abort();
    }
    return 0;
}
