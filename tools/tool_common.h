#pragma once
// What the server-side commands share: the question types and paths in UTF-8.
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "ui/window_definitions.h"

namespace tovren::tool {

// The client's type list without its placeholder item, so the tools never drift from it.
inline std::span<const std::string_view> questionTypes() {
    return std::span(ui::kTypeItems).subspan(1);
}

inline std::string utf8Of(const std::filesystem::path& p) {
    std::u8string u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

}  // namespace tovren::tool
