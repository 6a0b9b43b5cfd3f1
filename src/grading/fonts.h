#pragma once
// Font names as a teacher writes them and as documents store them: Word stores "黑体", other
// programs may store "SimHei"; both name one font.
#include <string_view>

namespace tovren::grading {

// The same font: equal names ignoring ASCII case and blanks at the ends, or a Chinese name and
// its English name.
bool sameFont(std::string_view a, std::string_view b);

}  // namespace tovren::grading
