#include "exam/brand_place.h"

#include <cstring>

#include "exam/build_config.h"

namespace tovren::exam {
namespace {

// Arrays of the field's size, so a default longer than a field fails the build.
struct Field {
    char bytes[kBrandAddressBytes];
};
constexpr Field fieldOf(std::string_view text) {
    Field f{};
    if (text.size() > kMaxBrandAddressLength) throw "a compiled-in address is longer than its brand field";
    for (std::size_t i = 0; i < text.size(); ++i) f.bytes[i] = text[i];
    return f;
}
constexpr Field kMarkerField = fieldOf(kBrandMarker);
constexpr Field kServerField = fieldOf(TOVREN_SERVER_BASE);
constexpr Field kTestingSiteField = fieldOf(TOVREN_TESTING_SITE_BASE);

template <std::size_t N>
constexpr void copyField(char (&to)[N], const Field& from) {
    for (std::size_t i = 0; i < N; ++i) to[i] = from.bytes[i];
}

constexpr BrandPlace defaultPlace() {
    BrandPlace place{};
    copyField(place.marker, kMarkerField);
    copyField(place.serverBase, kServerField);
    copyField(place.testingSiteBase, kTestingSiteField);
    return place;
}

// Kept even though nothing but the accessors below names it, in its own section.
[[gnu::used, gnu::section(".tovbrd")]] const BrandPlace kBrandPlace = defaultPlace();

// The block as the executable holds it. The empty asm hides from the compiler where the pointer
// points, so it cannot fold the compile-time contents into the code (a branded copy would then
// still use the old address) and must read the bytes at run time.
const BrandPlace& place() {
    const BrandPlace* p = &kBrandPlace;
    asm("" : "+r"(p));
    return *p;
}

template <std::size_t N>
std::string_view fieldText(const char (&field)[N]) {
    // Bounded: a damaged block without its NUL still ends at the field's end.
    return std::string_view(field, strnlen(field, N - 1));
}

}  // namespace

std::string_view brandedServerBase() {
    return fieldText(place().serverBase);
}
std::string_view brandedTestingSiteBase() {
    return fieldText(place().testingSiteBase);
}

}  // namespace tovren::exam
