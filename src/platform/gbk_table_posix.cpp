#include <iconv.h>

#include <cstring>

#include "platform/gbk_table.h"

namespace tovren::platform {

char16_t decodeGbkPair(unsigned char lead, unsigned char trail) {
    // One converter for the whole table build, which runs once under a static initialiser.
    static iconv_t converter = iconv_open("UTF-16LE", "CP936");
    if (converter == reinterpret_cast<iconv_t>(-1)) return 0;
    char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    unsigned char out[4] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    size_t inLeft = 2, outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) return 0;
    if (sizeof out - outLeft != 2) return 0;
    return static_cast<char16_t>(out[0] | out[1] << 8);
}

}  // namespace tovren::platform
