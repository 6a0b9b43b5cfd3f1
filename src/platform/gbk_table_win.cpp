#include <windows.h>

#include "platform/gbk_table.h"

namespace tovren::platform {

char16_t decodeGbkPair(unsigned char lead, unsigned char trail) {
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    wchar_t out[2] = {};
    // Code page 936 named explicitly: the system's ANSI page may be anything.
    int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, pair, 2, out, 2);
    return n == 1 ? static_cast<char16_t>(out[0]) : 0;
}

}  // namespace tovren::platform
