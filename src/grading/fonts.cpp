#include "grading/fonts.h"

#include <string>

namespace tovren::grading {
namespace {

struct FontAlias {
    std::string_view chinese, english;
};
// The fonts Chinese Windows ships and school exercises name.
constexpr FontAlias kAliases[] = {
    {"宋体", "SimSun"},     {"新宋体", "NSimSun"},        {"黑体", "SimHei"},
    {"楷体", "KaiTi"},      {"楷体_GB2312", "KaiTi_GB2312"}, {"仿宋", "FangSong"},
    {"仿宋_GB2312", "FangSong_GB2312"}, {"微软雅黑", "Microsoft YaHei"}, {"隶书", "LiSu"},
    {"幼圆", "YouYuan"},    {"华文行楷", "STXingkai"},    {"华文中宋", "STZhongsong"},
    {"等线", "DengXian"},
};

std::string key(std::string_view name) {
    size_t start = name.find_first_not_of(" \t"), end = name.find_last_not_of(" \t");
    if (start == name.npos) return {};
    std::string out(name.substr(start, end - start + 1));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const auto& alias : kAliases) {
        std::string english(alias.english);
        for (char& c : english)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (out == english) return std::string(alias.chinese);
    }
    return out;
}

}  // namespace

bool sameFont(std::string_view a, std::string_view b) {
    std::string ka = key(a);
    return !ka.empty() && ka == key(b);
}

}  // namespace tovren::grading
