#pragma once
// UTF-8 <-> the wide strings of the Windows API. Windows builds only.
#include <string>
#include <string_view>

#include "platform/text.h"

namespace tovren::platform {

inline std::wstring widen(std::string_view utf8) {
    std::u16string u = utf8ToUtf16(utf8);
    return std::wstring(u.begin(), u.end());
}

inline std::string narrow(std::wstring_view wide) {
    return utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace tovren::platform
