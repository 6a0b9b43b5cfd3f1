// The window framework, through the simulated user: the same tests run on every backend.
#include <gtest/gtest.h>

#include <array>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/backend.h"
#include "platform/window/driver.h"
#include "platform/window/window_system.h"
#include "support/fail_allocation.h"

namespace tovren::platform::window {
namespace {

constexpr std::array<std::string_view, 2> kTabs{"一", "二"};
constexpr std::array<std::string_view, 3> kItems{"甲", "乙", "丙"};

constexpr std::array<ControlDef, 7> kMainControls{{
    {.name = "tabs", .kind = Kind::TabControl, .left = 2, .top = 8, .width = 300, .height = 200, .items = kTabs},
    {.name = "label0", .kind = Kind::Label, .page = 0, .left = 4, .top = 24, .width = 40, .height = 18, .text = "标"},
    {.name = "combo", .kind = Kind::ComboBox, .page = 0, .left = 50, .top = 24, .width = 100, .height = 20,
     .text = "甲", .items = kItems, .flags = kTabStop},
    {.name = "timer", .kind = Kind::Timer, .page = 0, .left = 200, .top = 24, .width = 26, .height = 26},
    {.name = "disabled", .kind = Kind::Button, .page = 1, .left = 4, .top = 24, .width = 60, .height = 20,
     .text = "off", .flags = kTabStop | kDisabled},
    {.name = "button", .kind = Kind::Button, .page = 1, .left = 70, .top = 24, .width = 60, .height = 20,
     .text = "按", .flags = kTabStop},
    {.name = "drag", .kind = Kind::Label, .page = 1, .left = 150, .top = 24, .width = 64, .height = 18,
     .text = "拖", .flags = kDragsWindow},
}};
constexpr WindowDef kMain{.name = "Main", .caption = "Main", .width = 320, .height = 240, .titleBar = true,
                          .alwaysOnTop = true, .dragAnywhere = true, .escCloses = true,
                          .controls = kMainControls};

constexpr std::array<ControlDef, 1> kWaitControls{{
    {.name = "clock", .kind = Kind::Timer, .left = 280, .top = 8, .width = 26, .height = 26, .period = 500},
}};
constexpr WindowDef kWait{.name = "Wait", .caption = "", .width = 380, .height = 116, .titleBar = false,
                          .escCloses = true, .backgroundColour = rgb(0, 0, 0), .controls = kWaitControls};

class Framework : public ::testing::Test {
protected:
    Window& loadMain(const std::function<void(Window&)>& bind = {}) {
        Window* w = system.load(kMain, nullptr, false, bind);
        EXPECT_NE(w, nullptr);
        return *w;
    }

    WindowSystem system{makeBackend()};
    std::unique_ptr<Driver> driver = makeDriver(system);
    std::vector<std::string> events;
};

TEST_F(Framework, WindowIsCentredOnTheScreenWhenLoaded) {
    struct {
        Size screen;
        int32_t left, top;
        const char* why;
    } cases[] = {
        {{1024, 768}, 352, 264, "the test screen"},
        {{800, 600}, 240, 180, "a small screen"},
        {{1025, 769}, 352, 264, "odd sizes: integer division"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        driver->setScreenSize(c.screen);
        Window& w = loadMain();
        EXPECT_EQ(w.left(), c.left);
        EXPECT_EQ(w.top(), c.top);
        EXPECT_EQ(w.width(), 320);
        EXPECT_EQ(w.height(), 240);
        EXPECT_TRUE(w.visible());
        EXPECT_TRUE(w.alwaysOnTop());
        w.destroy();
    }
}

TEST_F(Framework, PositionsAndSizesAreLimited) {
    Window& w = loadMain();
    Control& button = w.control("button");
    struct {
        void (Control::*set)(int32_t);
        int32_t (Control::*get)() const;
        int32_t written, expected;
        const char* why;
    } cases[] = {
        {&Control::setLeft, &Control::left, 40000, 32627, "left above the limit"},
        {&Control::setLeft, &Control::left, -40000, -32627, "left below the limit"},
        {&Control::setTop, &Control::top, -12, -12, "a negative top within the limit"},
        {&Control::setWidth, &Control::width, -5, 0, "a negative width counts as 0"},
        {&Control::setWidth, &Control::width, 40000, 32627, "a width above the limit"},
        {&Control::setHeight, &Control::height, 33, 33, "a plain height"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        (button.*c.set)(c.written);
        EXPECT_EQ((button.*c.get)(), c.expected);
    }
    // Moving keeps the size and resizing keeps the place.
    button.setLeft(10);
    button.setWidth(50);
    button.setTop(5);
    EXPECT_EQ(button.left(), 10);
    EXPECT_EQ(button.top(), 5);
    EXPECT_EQ(button.width(), 50);
    w.setLeft(-40000);
    EXPECT_EQ(w.left(), -32627);
    w.setLeft(7);
    w.setTop(9);
    EXPECT_EQ(w.left(), 7);
    EXPECT_EQ(w.top(), 9);
    EXPECT_EQ(w.width(), 320);
}

TEST_F(Framework, AlwaysOnTopCanBeTurnedOffAndOn) {
    Window& w = loadMain();
    w.setAlwaysOnTop(false);
    EXPECT_FALSE(w.alwaysOnTop());
    w.setAlwaysOnTop(true);
    EXPECT_TRUE(w.alwaysOnTop());
    EXPECT_EQ(w.left(), 352);
}

TEST_F(Framework, CurrentSelectionIsLimitedAndRaisesNoEvent) {
    Window& w = loadMain();
    ComboBox& combo = w.comboBox("combo");
    combo.onListItemSelected = [&] { events.push_back("selected"); };
    EXPECT_EQ(combo.currentSelection(), 0);
    EXPECT_EQ(combo.text(), "甲");
    struct {
        int32_t written, expected;
        const char* why;
    } cases[] = {
        {1, 1, "an item"},
        {9, 2, "above the last index selects the last item"},
        {-1, -1, "-1 clears the selection"},
        {2, 2, "select again"},
        {-7, -1, "below -1 counts as -1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        combo.setCurrentSelection(c.written);
        EXPECT_EQ(combo.currentSelection(), c.expected);
    }
    driver->settle();
    EXPECT_TRUE(events.empty());
    combo.clearItems();
    combo.setCurrentSelection(3);
    EXPECT_EQ(combo.currentSelection(), -1) << "no item to select";
}

TEST_F(Framework, ItemsCarryTheirValues) {
    Window& w = loadMain();
    ComboBox& combo = w.comboBox("combo");
    EXPECT_EQ(combo.itemValue(0), 0) << "items of the table carry no value";
    combo.clearItems();
    EXPECT_EQ(combo.itemCount(), 0);
    EXPECT_EQ(combo.text(), "") << "the edit field goes with the items";
    combo.addItem("第1题", 1);
    combo.addItem("第2题", 2);
    EXPECT_EQ(combo.itemCount(), 2);
    EXPECT_EQ(combo.itemText(1), "第2题");
    EXPECT_EQ(combo.itemValue(1), 2);
    EXPECT_EQ(combo.currentSelection(), -1) << "adding selects nothing";
    EXPECT_EQ(combo.itemText(5), "");
    EXPECT_EQ(combo.itemValue(-1), 0);
}

TEST_F(Framework, PickingAnItemRaisesItsEventAfterThePickTypingNever) {
    Window& w = loadMain();
    ComboBox& combo = w.comboBox("combo");
    combo.onListItemSelected = [&] { events.push_back("selected " + std::to_string(combo.currentSelection())); };
    driver->typeInto(combo, "乙");
    EXPECT_TRUE(events.empty()) << "typing raises nothing";
    EXPECT_EQ(combo.text(), "乙");
    driver->pickItem(combo, 2);
    EXPECT_EQ(events, std::vector<std::string>{"selected 2"});
    EXPECT_EQ(combo.text(), "丙");
    driver->pickItem(combo, 0);
    EXPECT_EQ(events.back(), "selected 0") << "the first item is picked like any other";
}

TEST_F(Framework, OnlyTheCurrentPageIsVisibleAndFocusGoesToItsFirstControl) {
    Window& w = loadMain();
    TabControl& tabs = w.tabControl("tabs");
    EXPECT_EQ(tabs.currentTab(), 0);
    EXPECT_TRUE(w.control("combo").visible());
    EXPECT_TRUE(w.control("label0").visible());
    EXPECT_FALSE(w.control("button").visible());
    EXPECT_FALSE(w.control("drag").visible());
    EXPECT_TRUE(w.control("combo").hasFocus()) << "the label cannot take the focus";

    tabs.onTabChanged = [&] {
        events.push_back("changed to " + std::to_string(tabs.currentTab()) +
                         (w.control("button").visible() ? " after switch" : " before switch"));
    };
    driver->selectTab(tabs, 1);
    EXPECT_EQ(events, std::vector<std::string>{"changed to 1 before switch"});
    EXPECT_TRUE(w.control("button").visible());
    EXPECT_FALSE(w.control("combo").visible());
    EXPECT_TRUE(w.control("button").hasFocus()) << "the disabled button is passed over";
}

TEST_F(Framework, WritingCurrentTabSwitchesPagesWithoutAnEvent) {
    Window& w = loadMain();
    TabControl& tabs = w.tabControl("tabs");
    tabs.onTabChanged = [&] { events.push_back("changed"); };
    struct {
        int32_t written, expected;
        const char* why;
    } cases[] = {
        {1, 1, "the second tab"},
        {-3, 0, "below 0 counts as 0"},
        {99, 1, "above the last counts as the last"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        tabs.setCurrentTab(c.written);
        EXPECT_EQ(tabs.currentTab(), c.expected);
        EXPECT_EQ(w.control("button").visible(), c.expected == 1);
        EXPECT_EQ(w.control("combo").visible(), c.expected == 0);
    }
    driver->settle();
    EXPECT_TRUE(events.empty());
}

TEST_F(Framework, TimerPeriodRules) {
    Window& w = loadMain();
    Timer& timer = w.timer("timer");
    std::vector<int64_t> fired;
    timer.onTimer = [&] { fired.push_back(system.now()); };
    int64_t start = system.now();
    EXPECT_EQ(timer.period(), 0);
    timer.setPeriod(100);
    driver->advanceClock(50);
    timer.setPeriod(100);  // the same value changes nothing: still due at 100
    driver->advanceClock(200);
    EXPECT_EQ(fired, (std::vector<int64_t>{start + 100, start + 200}));
    timer.setPeriod(300);  // another value starts it again from now
    driver->advanceClock(299);
    EXPECT_EQ(fired.size(), 2u);
    driver->advanceClock(1);
    EXPECT_EQ(fired.size(), 3u);
    timer.setPeriod(-5);
    EXPECT_EQ(timer.period(), 0) << "a negative period counts as 0";
    driver->advanceClock(5000);
    EXPECT_EQ(fired.size(), 3u) << "a period of 0 stops the timer";
}

TEST_F(Framework, DestroyFromATimerEndsAModalLoad) {
    Window& main = loadMain();
    main.onCanBeClosed = [&] {
        events.push_back("main can be closed");
        return std::optional<bool>();
    };
    Window* wait = nullptr;
    main.button("button").onClicked = [&] {
        wait = system.load(kWait, &main, true, [&](Window& w) {
            w.onCreated = [&] { events.push_back(std::string("created, main enabled: ") + (main.enabled() ? "yes" : "no")); };
            w.onCanBeClosed = [&] {
                events.push_back("wait can be closed");
                return std::optional<bool>();
            };
            w.onWillBeDestroyed = [&] { events.push_back("wait will be destroyed"); };
            w.timer("clock").onTimer = [&] {
                events.push_back(std::string("tick, main enabled: ") + (main.enabled() ? "yes" : "no"));
                w.timer("clock").setPeriod(0);
                w.destroy();
                events.push_back(std::string("destroy queued, exists: ") + (w.exists() ? "yes" : "no"));
            };
        });
        events.push_back(std::string("load returned, main enabled: ") + (main.enabled() ? "yes" : "no"));
    };
    main.tabControl("tabs").setCurrentTab(1);
    int64_t start = system.now();
    driver->click(main.button("button"));
    EXPECT_EQ(events, (std::vector<std::string>{
                          "created, main enabled: yes",
                          "tick, main enabled: no",
                          "destroy queued, exists: yes",
                          "wait will be destroyed",
                          "load returned, main enabled: yes",
                      }));
    EXPECT_EQ(system.now() - start, 500) << "the first tick comes one period after the load";
    ASSERT_NE(wait, nullptr);
    EXPECT_FALSE(wait->exists());
    EXPECT_TRUE(main.exists());
}

TEST_F(Framework, EscClosesAModalWindowAndItsLoadReturns) {
    Window& main = loadMain();
    main.button("button").onClicked = [&] {
        driver->later([&] { driver->pressEsc(*system.windows().back()); });
        system.load(kWait, &main, true, [&](Window& w) {
            w.onWillBeDestroyed = [&] { events.push_back("wait will be destroyed"); };
            w.timer("clock").onTimer = [&] { events.push_back("tick"); };
        });
        events.push_back("load returned");
    };
    main.tabControl("tabs").setCurrentTab(1);
    driver->click(main.button("button"));
    EXPECT_EQ(events, (std::vector<std::string>{"wait will be destroyed", "load returned"}));
}

TEST_F(Framework, CreatedHandlerThatDestroysTheWindowShowsNothing) {
    Window* w = system.load(kMain, nullptr, false, [&](Window& w) {
        w.onCreated = [&w] { w.destroy(); };
        w.onWillBeDestroyed = [&] { events.push_back("will be destroyed"); };
    });
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->exists());
    EXPECT_FALSE(w->visible());
    EXPECT_EQ(events, std::vector<std::string>{"will be destroyed"});
    EXPECT_FALSE(system.anyWindowExists());
    system.run();  // returns at once: no window left
}

TEST_F(Framework, CanBeClosedFalseKeepsTheWindow) {
    std::optional<bool> result = false;
    Window& w = loadMain([&](Window& w) {
        w.onCanBeClosed = [&] {
            events.push_back("asked");
            return result;
        };
        w.onWillBeDestroyed = [&] { events.push_back("will be destroyed"); };
    });
    driver->pressEsc(w);
    driver->close(w);
    EXPECT_TRUE(w.exists());
    EXPECT_EQ(events, (std::vector<std::string>{"asked", "asked"}));
    result = true;
    driver->close(w);
    EXPECT_FALSE(w.exists());
    EXPECT_EQ(events.back(), "will be destroyed");
}

TEST_F(Framework, LogOffAsksEveryWindowAndFalseRefuses) {
    std::optional<bool> result = false;
    Window& w = loadMain([&](Window& w) {
        w.onCanBeClosed = [&] {
            events.push_back("asked");
            return result;
        };
    });
    EXPECT_FALSE(driver->logOff());
    EXPECT_TRUE(w.exists());
    result = std::nullopt;
    EXPECT_TRUE(driver->logOff()) << "nothing returned allows it";
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(Framework, MainLoopEndsWhenTheLastWindowIsGone) {
    Window& w = loadMain([&](Window& w) {
        w.onWillBeDestroyed = [&] { events.push_back("will be destroyed"); };
    });
    driver->later([&] { driver->close(w); });
    system.run();
    EXPECT_FALSE(w.exists());
    EXPECT_EQ(events, std::vector<std::string>{"will be destroyed"});
}

TEST_F(Framework, MessageBoxDisablesEveryWindowWhileUp) {
    Window& w = loadMain();
    driver->answer(Answer::No);
    EXPECT_EQ(system.messageBox("问题？", "Tovren", Buttons::YesNo), Answer::No);
    ASSERT_EQ(driver->messageBoxes().size(), 1u);
    EXPECT_EQ(driver->messageBoxes()[0].text, "问题？");
    EXPECT_EQ(driver->messageBoxes()[0].title, "Tovren");
    EXPECT_EQ(driver->boxesWithEnabledWindows(), 0);
    EXPECT_TRUE(w.enabled());
}

TEST_F(Framework, DragAnywhereOnTheBackgroundAndTheDragLabelOnly) {
    Window& w = loadMain();
    w.tabControl("tabs").setCurrentTab(1);
    // Client points: the tab control (300 x 200) starts at (2, 8); its page's controls are
    // placed from there. The move pointer shows only where the window's own background is.
    struct {
        int32_t x, y;
        bool moves, movePointer;
        const char* why;
    } cases[] = {
        {150, 3, true, true, "background above the tab control"},
        {0, 100, true, true, "background left of the tab control"},
        {2 + 300 + 2, 100, true, true, "background right of the tab control"},
        {2 + 160, 8 + 30, true, false, "the drag label: it moves the window, with its own pointer"},
        {2 + 80, 8 + 30, false, false, "a button"},
        {2 + 10, 8 + 30, false, false, "a disabled button: the tab control under it takes the press"},
        {2 + 250, 8 + 150, false, false, "the empty page"},
        {2 + 250, 8 + 10, false, false, "the tab strip beside the tabs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(driver->pressMovesWindow(w, c.x, c.y), c.moves);
        EXPECT_EQ(driver->showsMovePointer(w, c.x, c.y), c.movePointer);
    }
    EXPECT_EQ(w.tabControl("tabs").currentTab(), 1) << "no press changed the page";
}

using FrameworkDeathTest = Framework;

#ifdef _WIN32
constexpr int kFaultExitCode = -1;
#else
constexpr int kFaultExitCode = 255;  // -1 as POSIX reports it
#endif

TEST_F(FrameworkDeathTest, ImmediateExitRunsTheCleanUpOnceAndNoWindowEvent) {
    EXPECT_EXIT(
        {
            Window& w = loadMain([](Window& w) {
                w.onCanBeClosed = []() -> std::optional<bool> { std::abort(); };
                w.onWillBeDestroyed = [] { std::abort(); };
            });
            int runs = 0;
            system.setCleanUp([&runs] { std::fprintf(stderr, "clean-up %d\n", ++runs); });
            system.runCleanUp();
            w.button("button").onClicked = [this] { system.exitNow(3); };
            w.tabControl("tabs").setCurrentTab(1);
            driver->click(w.button("button"));
        },
        ::testing::ExitedWithCode(3), "^clean-up 1\n$");
}

TEST_F(FrameworkDeathTest, FatalFaultShowsOneMessageAndSkipsTheCleanUp) {
    EXPECT_EXIT(
        {
            loadMain();
            system.setCleanUp([] { std::fputs("clean-up\n", stderr); });
            system.setMessageBoxAnswerer([](const MessageBoxCall& call) {
                std::fprintf(stderr, "box: %s\n", call.text.c_str());
                return Answer::Ok;
            });
            system.fatalFault("broken");
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^box: broken\n$");
}

// Prints each message box the fatal fault shows, title and text, and answers it.
void printBoxes(WindowSystem& system) {
    system.setMessageBoxAnswerer([](const MessageBoxCall& call) {
        std::fprintf(stderr, "box: %s: %s\n", call.title.c_str(), call.text.c_str());
        return Answer::Ok;
    });
}

TEST_F(FrameworkDeathTest, OutOfMemoryShowsTheFatalFaultInChineseAndSkipsTheCleanUp) {
    EXPECT_EXIT(
        {
            loadMain();
            system.setCleanUp([] { std::fputs("clean-up\n", stderr); });
            printBoxes(system);
            tovren::testing::failAnAllocation();
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^box: Tovren: 内存不足，程序无法继续运行。\n$");
}

TEST_F(FrameworkDeathTest, OutOfMemoryOnADownloadThreadShowsOneBoxToo) {
    EXPECT_EXIT(
        {
            loadMain();
            system.setCleanUp([] { std::fputs("clean-up\n", stderr); });
            printBoxes(system);
            // Two worker threads run out at once; the window thread waits meanwhile.
            std::thread a([] { throw std::bad_alloc(); });
            std::thread b([] { throw std::bad_alloc(); });
            a.join();
            b.join();
            std::fputs("went on\n", stderr);
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^box: Tovren: 内存不足，程序无法继续运行。\n$");
}

TEST_F(FrameworkDeathTest, AMissingControlIsAFatalFaultInChinese) {
    EXPECT_EXIT(
        {
            Window& w = loadMain();
            printBoxes(system);
            w.button("no such button");
        },
        ::testing::ExitedWithCode(kFaultExitCode), "^box: Tovren: 窗口 Main 中没有控件 no such button，程序无法继续运行。\n$");
}

}  // namespace
}  // namespace tovren::platform::window
