// The window tables themselves.
#include "ui/window_definitions.h"

#include <gtest/gtest.h>

#include <set>

namespace tovren::ui {
namespace {

namespace win = platform::window;

TEST(WindowDefinitions, NamesAreUniqueAndEveryControlLiesInsideItsParent) {
    for (const win::WindowDef* def : {&kTrainingWindow, &kPreparingWindow}) {
        SCOPED_TRACE(std::string(def->name));
        std::set<std::string_view> names;
        const win::ControlDef* tab = nullptr;
        for (const auto& c : def->controls) {
            SCOPED_TRACE(std::string(c.name));
            EXPECT_TRUE(names.insert(c.name).second) << "names are unique";
            if (c.kind == win::Kind::TabControl) {
                EXPECT_EQ(tab, nullptr) << "one tab control per window";
                tab = &c;
            }
            int parentWidth = def->width, parentHeight = def->height;
            if (c.page != win::kOnWindow) {
                ASSERT_NE(tab, nullptr) << "a page control follows its tab control";
                EXPECT_LT(c.page, static_cast<int>(tab->items.size()));
                parentWidth = tab->width;
                parentHeight = tab->height;
            }
            EXPECT_GE(c.left, 0);
            EXPECT_GE(c.top, 0);
            EXPECT_LE(c.left + c.width, parentWidth);
            EXPECT_LE(c.top + c.height, parentHeight);
        }
    }
}

TEST(WindowDefinitions, EachPageFocusesItsFirstEnabledFocusableControl) {
    std::string_view expected[] = {k打开考试文件夹, k按钮3, k按钮帮助};
    for (int page = 0; page < 3; ++page) {
        SCOPED_TRACE(page);
        std::string_view first;
        for (const auto& c : kTrainingWindow.controls) {
            if (c.page == page && win::canTakeFocus(c.kind) && !(c.flags & win::kDisabled)) {
                first = c.name;
                break;
            }
        }
        EXPECT_EQ(first, expected[page]);
    }
}

TEST(WindowDefinitions, TheProgressBarSitsBelowTheLabelOnTheBlack) {
    const win::ControlDef *label = nullptr, *bar = nullptr;
    for (const auto& c : kPreparingWindow.controls) {
        if (c.name == k透明标签1) label = &c;
        if (c.name == k进度条1) bar = &c;
    }
    ASSERT_NE(label, nullptr);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->kind, win::Kind::ProgressBar);
    EXPECT_GE(bar->top, label->top + label->height) << "below the label, not over its text";
    EXPECT_LE(bar->height, 10) << "a thin bar";
    EXPECT_GT(bar->left, 0) << "black all round it";
    EXPECT_LT(bar->left + bar->width, kPreparingWindow.width);
    EXPECT_LT(bar->top + bar->height, kPreparingWindow.height);
    EXPECT_EQ(label->text, "正在准备试题，请稍候...") << "the label's text is unchanged";
}

TEST(WindowDefinitions, TheSmallLayoutIsTheTableOne) {
    EXPECT_EQ(kTrainingWindow.width, kSmallWindowWidth);
    EXPECT_EQ(kTrainingWindow.height, kSmallWindowHeight);
    EXPECT_EQ(kTrainingWindowControls[0].width, kSmallTabWidth);
    EXPECT_EQ(kTrainingWindowControls[0].height, kSmallTabHeight);
}

}  // namespace
}  // namespace tovren::ui
