#pragma once
// Unpacking a question package into its folder.
#include <cstdint>
#include <string_view>

namespace tovren::fetch {

inline constexpr int32_t kExtractDone = 1;          // the walk over the entries ended normally
inline constexpr int32_t kExtractFailed = 0;        // it failed on the way; what was made stays
inline constexpr int32_t kExtractNothingDone = -1;  // a path was missing, or no archive exists

// Unpacks every entry of the ZIP archive into the target folder (both program paths), making
// the folder when it is missing. Files that already exist there are kept as they are, so the
// student's work survives a second unpacking; only missing files are written. Each file is
// written under a temporary name in its folder and takes its final name only once it is
// complete and checked (declared size, CRC, end of the deflate stream), so no file is ever cut
// short under its final name. An entry whose name could reach outside the folder, or whose data
// is damaged, encrypted or compressed by any method but stored or deflated, ends the extraction
// with kExtractFailed and leaves nothing of that entry; what was unpacked before stays.
int32_t extractAll(std::string_view archivePath, std::string_view targetFolder);

}  // namespace tovren::fetch
