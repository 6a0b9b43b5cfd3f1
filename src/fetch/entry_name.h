#pragma once
// What a ZIP entry's name may become below the target folder.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovren::fetch {

// The entry's name as UTF-8: a name flagged as UTF-8 (general purpose bit 11) as it stands, with
// invalid sequences as U+FFFD; any other name decoded from GBK.
std::string entryNameText(std::string_view rawName, bool utf8Flag);

// The name's folder and file segments ("/" and "\" both separate), with empty and "." segments
// dropped and each segment's trailing dots and blanks removed, as Windows removes them. Nothing
// when the name could reach outside the target folder or name something that is no plain Windows
// file: an absolute name ("/" or "\" first, or a drive letter), a ".." segment or one of dots and
// blanks only, a colon (a drive or a data stream), a control character, any of * ? " < > |, or a
// segment that is a device name (CON, NUL, COM1, ... with or without an extension).
std::optional<std::vector<std::string>> safeSegments(std::string_view name);

}  // namespace tovren::fetch
