#pragma once
// Naming a download's target file: the name a server gives, and the first free name when the
// one asked for is taken. Names and paths here are UTF-8 program paths.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tovren::fetch {

// The longest final target path, in UTF-16 units (what Windows counts).
inline constexpr size_t kMaxTargetPathLength = 259;

// "%XY" becomes the byte XY and "+" a space; a "%" without two hex digits stays as it is.
std::string percentDecode(std::string_view text);

// A file name for a folder target from a name the server gave (GBK bytes): only what follows
// its last "/" or "\" counts. Nothing when that is no safe Windows file name.
std::optional<std::string> serverFileName(std::string_view gbkName);
// The name from the last segment of a request path (GBK bytes, percent-encoded).
std::optional<std::string> fileNameFromPath(std::string_view requestPath);

// False for "", ".", "..", control characters, any of : * ? " < > | / \, a trailing dot or
// blank, and device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension).
bool isSafeFileName(std::string_view name);

// The name after `fileName` under the "(k)" rule: "a.b.c" -> "a(1).b.c", "a(7).b" -> "a(8).b".
// Nothing when k would reach 100.
std::optional<std::string> nextFreeNameCandidate(std::string_view fileName);

// The first of `path` and its "(k)" successors that is not taken. Nothing when 99 names are
// taken or k would reach 100.
std::optional<std::string> chooseFreePath(
    std::string_view path, const std::function<bool(std::string_view)>& isTaken);

// The folder part of a path, up to and including its last "\" or "/" (empty when none).
std::string_view folderOf(std::string_view path);
// The length Windows counts: UTF-16 units.
size_t pathLength(std::string_view path);

}  // namespace tovren::fetch
