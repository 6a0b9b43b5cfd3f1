#pragma once
// The ZIP64 records of an archive, checked against the rest of it. minizip takes a ZIP64 value
// wherever it finds one and never compares it with what the classic fields say; a record that
// contradicts them is damage, and the extraction must not go on with either reading.
// (The records: APPNOTE.TXT 4.3.14 to 4.3.16 and 4.5.3.)
#include <cstdint>
#include <string_view>

namespace tovren::fetch {

// False when the archive has a ZIP64 end record that minizip would read and that contradicts
// the classic end record (an entry count, the directory's size or its offset that the classic
// record gives as a value rather than as the 0xFF marker), or a ZIP64 locator in its place
// before the classic end record that points at no ZIP64 end record. True otherwise, also when
// the archive cannot be read: minizip then fails on its own.
bool zip64EndAgrees(std::string_view archivePath);

// False when the ZIP64 extra field among a local header's extra fields declares a size that
// differs from the central directory's. A zero is no contradiction: archivers that write a
// stream of unknown size leave the local sizes at zero.
bool localZip64Agrees(std::string_view localExtraFields, uint64_t compressedSize,
                      uint64_t uncompressedSize);

}  // namespace tovren::fetch
