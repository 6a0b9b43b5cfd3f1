// The training window's combo boxes as Windows draws them: the dropped list's height and the
// black-on-white of their field and list under a colour scheme that is not the default one.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/window/driver.h"
#include "platform/window/window_system.h"
#include "support/http_server.h"
#include "ui/window_definitions.h"

namespace tovren::ui {
namespace {

namespace win = platform::window;

HWND hwndOf(const win::Control& c) {
    return reinterpret_cast<HWND>(c.native);
}

COMBOBOXINFO partsOf(const win::ComboBox& combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetComboBoxInfo(hwndOf(combo), &info));
    return info;
}

// The pixels of a window's client area (or of `area` in it), as they are on the screen.
std::vector<COLORREF> pixelsOf(HWND hwnd, RECT area) {
    int width = area.right - area.left, height = area.bottom - area.top;
    std::vector<COLORREF> out;
    if (width <= 0 || height <= 0) return out;
    HDC screen = GetDC(hwnd);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i)
        out.push_back(RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(hwnd, screen);
    return out;
}

RECT clientOf(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return r;
}

class ComboBoxTest : public ::testing::Test {
  protected:
    ComboBoxTest() {
        SetCursorPos(0, 0);  // no item under the pointer
        driver->settle();
    }
    win::Window& load() {
        win::Window* w = system.load(site.def(), nullptr, false);
        EXPECT_NE(w, nullptr);
        driver->settle();
        return *w;
    }

    static void fill(win::ComboBox& combo, int count) {
        combo.clearItems();
        for (int n = 1; n <= count; ++n) combo.addItem("第" + std::to_string(n) + "题", n);
    }

    testing::HttpServer siteServer{[](const testing::HttpRequest&) {
        return testing::statusReply(404, {"Content-Length: 0"});
    }};
    TrainingWindowAt site{siteServer.base()};
    win::WindowSystem system{win::makeBackend()};
    std::unique_ptr<win::Driver> driver = win::makeDriver(system);
};

TEST_F(ComboBoxTest, TheDroppedListReaches160PixelsWhateverItsItemCount) {
    win::Window& w = load();
    struct {
        const char* combo;
        int items;  // -1: as defined
        const char* why;
    } cases[] = {
        {"组合框_选择题目", 40, "40 questions: the list scrolls within the height"},
        {"组合框_选择题目", 3, "3 questions: the list keeps its height"},
        {"组合框_选择题目", 0, "no question at all"},
        {"组合框_选择题型", -1, "the eight types"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        auto& combo = w.comboBox(c.combo);
        if (c.items >= 0) fill(combo, c.items);
        // As a press on the arrow drops it.
        SendMessageW(hwndOf(combo), CB_SHOWDROPDOWN, TRUE, 0);
        driver->settle();
        HWND list = partsOf(combo).hwndList;
        RECT field{}, dropped{};
        GetWindowRect(hwndOf(combo), &field);
        GetWindowRect(list, &dropped);
        EXPECT_TRUE(IsWindowVisible(list));
        EXPECT_EQ(dropped.top, field.bottom) << "the list hangs from the field";
        // Windows makes the combo box exactly the height it was created with (CBS_NOINTEGRALHEIGHT,
        // "Combo Box Styles", Microsoft Learn); Wine's list comes out up to 3 pixels shorter.
        EXPECT_NEAR(dropped.bottom - field.top, 160, 3) << "field and list together";
        SendMessageW(hwndOf(combo), CB_SHOWDROPDOWN, FALSE, 0);
        driver->settle();
    }
}

// A colour scheme of the user's that is not the default one; the old one comes back after.
class ChangedColourScheme {
  public:
    ChangedColourScheme() {
        for (int i = 0; i < kCount; ++i) saved_[i] = GetSysColor(kElements[i]);
        SetSysColors(kCount, kElements, kColours);
    }
    ~ChangedColourScheme() { SetSysColors(kCount, kElements, saved_); }
    static constexpr COLORREF kWindow = RGB(0, 0, 128);        // navy
    static constexpr COLORREF kWindowText = RGB(255, 255, 0);  // yellow

  private:
    static constexpr int kCount = 2;
    static constexpr INT kElements[kCount] = {COLOR_WINDOW, COLOR_WINDOWTEXT};
    static constexpr COLORREF kColours[kCount] = {kWindow, kWindowText};
    COLORREF saved_[kCount]{};
};

struct Counts {
    size_t white = 0, dark = 0, scheme = 0, all = 0;
};

// White background, dark text, and nothing of the scheme's navy or yellow.
Counts count(const std::vector<COLORREF>& pixels) {
    Counts c;
    for (COLORREF p : pixels) {
        ++c.all;
        if (p == RGB(255, 255, 255)) ++c.white;
        if (GetRValue(p) < 96 && GetGValue(p) < 96 && GetBValue(p) < 96) ++c.dark;
        if (p == ChangedColourScheme::kWindow || p == ChangedColourScheme::kWindowText) ++c.scheme;
    }
    return c;
}

TEST_F(ComboBoxTest, FieldsAndListsStayBlackOnWhiteUnderAnotherColourScheme) {
    ChangedColourScheme scheme;
    win::Window& w = load();
    ASSERT_EQ(GetSysColor(COLOR_WINDOW), ChangedColourScheme::kWindow);
    auto& types = w.comboBox("组合框_选择题型");
    auto& questions = w.comboBox("组合框_选择题目");
    fill(questions, 40);
    questions.setText("第12题");

    struct Part {
        HWND hwnd;
        RECT area;
        bool hasText;
        const char* why;
    };
    std::vector<Part> parts = {
        {partsOf(types).hwndItem, clientOf(partsOf(types).hwndItem), true, "the type box's field"},
        {partsOf(questions).hwndItem, clientOf(partsOf(questions).hwndItem), true,
         "the question box's field"},
        {hwndOf(w.editBox("编辑框1")), clientOf(hwndOf(w.editBox("编辑框1"))), false,
         "the requirement box"},
    };
    RedrawWindow(reinterpret_cast<HWND>(w.native), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    driver->settle();
    for (const auto& part : parts) {
        SCOPED_TRACE(part.why);
        Counts c = count(pixelsOf(part.hwnd, part.area));
        ASSERT_GT(c.all, 0u);
        EXPECT_EQ(c.scheme, 0u) << "no pixel of the scheme's colours";
        EXPECT_GT(c.white * 2, c.all) << "a white background";
        if (part.hasText) {
            EXPECT_GT(c.dark, 0u) << "dark text";
        }
    }

    // Each list dropped, an item that is neither selected nor under the pointer.
    for (auto* combo : {&types, &questions}) {
        SCOPED_TRACE(combo->name());
        SendMessageW(hwndOf(*combo), CB_SETCURSEL, 0, 0);
        SendMessageW(hwndOf(*combo), CB_SHOWDROPDOWN, TRUE, 0);
        driver->settle();
        HWND list = partsOf(*combo).hwndList;
        UpdateWindow(list);
        RECT item{};
        ASSERT_NE(SendMessageW(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item)), LB_ERR);
        Counts c = count(pixelsOf(list, item));
        ASSERT_GT(c.all, 0u);
        EXPECT_EQ(c.scheme, 0u) << "no pixel of the scheme's colours";
        EXPECT_GT(c.white * 2, c.all) << "a white background";
        EXPECT_GT(c.dark, 0u) << "dark text";
        SendMessageW(hwndOf(*combo), CB_SHOWDROPDOWN, FALSE, 0);
        driver->settle();
    }
}

}  // namespace
}  // namespace tovren::ui
