#pragma once
// The brand place: the compiled-in addresses live in one reserved, marked, fixed-size block of
// the executable (its own section), so `tovren-tool brand` can write a school's addresses into a
// copy of tovren.exe without a compiler. The program reads the addresses from here and nowhere
// else; the block's layout is a contract between the client and the tool of the same version.
#include <cstddef>
#include <string_view>

namespace tovren::exam {

// The section the block is placed in (at most 8 characters, so an image keeps the name).
inline constexpr std::string_view kBrandSectionName = ".tovbrd";
// The marker opens the block; a block of another layout carries another marker.
inline constexpr std::string_view kBrandMarker = "TOVREN BRAND PLACE 1";
inline constexpr std::size_t kBrandMarkerBytes = 32;
// Each address is UTF-8, NUL-padded to the field's size; the last byte always stays NUL.
inline constexpr std::size_t kBrandAddressBytes = 256;
inline constexpr std::size_t kMaxBrandAddressLength = kBrandAddressBytes - 1;

struct BrandPlace {
    char marker[kBrandMarkerBytes];
    char serverBase[kBrandAddressBytes];
    char testingSiteBase[kBrandAddressBytes];
};
static_assert(sizeof(BrandPlace) == kBrandMarkerBytes + 2 * kBrandAddressBytes, "no padding");
inline constexpr std::size_t kServerBaseOffset = offsetof(BrandPlace, serverBase);
inline constexpr std::size_t kTestingSiteBaseOffset = offsetof(BrandPlace, testingSiteBase);

// The addresses as this executable holds them: read from the block at every call, never from
// what the compiler knew of it.
std::string_view brandedServerBase();
std::string_view brandedTestingSiteBase();

}  // namespace tovren::exam
