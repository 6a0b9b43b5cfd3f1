// The progress bar control, the same tests on every backend: what the system shows after each
// change of range and position.
#include <array>
#include <gtest/gtest.h>

#include "platform/window/driver.h"
#include "platform/window/window_system.h"

namespace tovren::platform::window {
namespace {

constexpr std::array<ControlDef, 2> kControls{{
    {.name = "label",
     .kind = Kind::TransparentLabel,
     .left = 32,
     .top = 32,
     .width = 280,
     .height = 40,
     .text = "等"},
    {.name = "bar", .kind = Kind::ProgressBar, .left = 32, .top = 84, .width = 316, .height = 8},
}};
constexpr WindowDef kWait{.name = "Wait",
                          .caption = "",
                          .width = 380,
                          .height = 116,
                          .titleBar = false,
                          .escCloses = true,
                          .backgroundColour = rgb(0, 0, 0),
                          .controls = kControls};

class ProgressBarTest : public ::testing::Test {
  protected:
    Window& load() {
        Window* w = system.load(kWait, nullptr, false);
        EXPECT_NE(w, nullptr);
        return *w;
    }
    WindowSystem system{makeBackend()};
    std::unique_ptr<Driver> driver = makeDriver(system);
};

TEST_F(ProgressBarTest, HiddenUntilItHasARangeAndPlacedAsDefined) {
    Window& w = load();
    ProgressBar& bar = w.progressBar("bar");
    EXPECT_FALSE(bar.visible());
    EXPECT_EQ(bar.range(), 0);
    EXPECT_EQ(bar.position(), 0);
    EXPECT_EQ(bar.left(), 32);
    EXPECT_EQ(bar.top(), 84);
    EXPECT_EQ(bar.width(), 316);
    EXPECT_EQ(bar.height(), 8);
    EXPECT_FALSE(bar.hasFocus());
    EXPECT_TRUE(w.control("label").visible());
}

TEST_F(ProgressBarTest, RangeAndPositionAsTheSystemShowsThem) {
    struct Step {
        enum { Range, Position } what;
        int32_t value;
        bool visible;
        int32_t range, position;
        const char* why;
    };
    const Step steps[] = {
        {Step::Position, 50, false, 0, 0, "no range yet: a position means nothing"},
        {Step::Range, 1000, true, 1000, 0, "a range shows the bar, empty"},
        {Step::Position, 250, true, 1000, 250, "a quarter"},
        {Step::Position, 1000, true, 1000, 1000, "the end"},
        {Step::Position, 5000, true, 1000, 1000, "beyond the end stays at the end"},
        {Step::Position, -7, true, 1000, 0, "below 0 is 0"},
        {Step::Position, 900, true, 1000, 900, "back up"},
        {Step::Range, 600, true, 600, 600, "a smaller range keeps the position within it"},
        {Step::Range, 0, false, 0, 0, "no range: hidden"},
        {Step::Range, 2147483647, true, 2147483647, 0, "the largest length a server may announce"},
        {Step::Position, 2147483000, true, 2147483647, 2147483000, "32-bit positions"},
        {Step::Range, -5, false, 0, 0, "a negative range hides it too"},
    };
    Window& w = load();
    ProgressBar& bar = w.progressBar("bar");
    for (const Step& s : steps) {
        SCOPED_TRACE(s.why);
        if (s.what == Step::Range)
            bar.setRange(s.value);
        else
            bar.setPosition(s.value);
        EXPECT_EQ(bar.visible(), s.visible);
        EXPECT_EQ(bar.range(), s.range);
        EXPECT_EQ(bar.position(), s.position);
    }
}

TEST_F(ProgressBarTest, AGoneWindowIgnoresTheBar) {
    Window& w = load();
    ProgressBar& bar = w.progressBar("bar");
    bar.setRange(10);
    w.destroy();
    driver->settle();
    ASSERT_FALSE(w.exists());
    bar.setRange(20);
    bar.setPosition(5);
    EXPECT_EQ(bar.range(), 0);
    EXPECT_EQ(bar.position(), 0);
}

}  // namespace
}  // namespace tovren::platform::window
