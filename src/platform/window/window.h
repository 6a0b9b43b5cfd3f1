#pragma once
// The window framework: windows built from their tables, typed access to their controls by
// name, the properties with their limits, and the events handlers bind to. Writing a property
// never raises an event. Everything here runs on the one window thread.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/definition.h"

namespace tovren::platform::window {

class Window;
class WindowSystem;

// Where positions are limited to, and sizes above which count as this.
inline constexpr int32_t kCoordinateLimit = 32627;

struct Rect {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

inline int32_t limitPosition(int32_t v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}
inline int32_t limitSize(int32_t v) {
    return std::clamp(v, 0, kCoordinateLimit);
}

// The place and size that windows and controls share: reading asks what is shown now; writing
// limits the value and moves or resizes, keeping the rest.
template <class Self>
class Placement {
  public:
    int32_t left() const { return self().bounds().left; }
    int32_t top() const { return self().bounds().top; }
    int32_t width() const { return self().bounds().width; }
    int32_t height() const { return self().bounds().height; }
    void setLeft(int32_t v) {
        change([&](Rect& r) { r.left = limitPosition(v); });
    }
    void setTop(int32_t v) {
        change([&](Rect& r) { r.top = limitPosition(v); });
    }
    void setWidth(int32_t v) {
        change([&](Rect& r) { r.width = limitSize(v); });
    }
    void setHeight(int32_t v) {
        change([&](Rect& r) { r.height = limitSize(v); });
    }

  private:
    const Self& self() const { return static_cast<const Self&>(*this); }
    template <class Edit>
    void change(Edit edit) {
        Self& me = static_cast<Self&>(*this);
        Rect r = me.bounds();
        edit(r);
        me.place(r);
    }
};

// A handler of the two events whose result counts: false refuses, true or nothing lets it go on.
using VetoHandler = std::function<std::optional<bool>()>;
using Handler = std::function<void()>;

class Control : public Placement<Control> {
  public:
    Control(Window& window, const ControlDef& def, int index);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const ControlDef& def() const { return def_; }
    std::string_view name() const { return def_.name; }
    Kind kind() const { return def_.kind; }
    int index() const { return index_; }
    Window& window() const { return window_; }

    // What the backend shows now (for tests and the focus rule).
    bool visible() const;
    bool hasFocus() const;

    // The backend's handle of this control; 0 for a component, which has no window.
    uintptr_t native = 0;
    Rect placed;  // a component's place (it has no window to ask)

  protected:
    WindowSystem& system() const;

  private:
    friend class Placement<Control>;
    Rect bounds() const;
    void place(Rect r);

    Window& window_;
    const ControlDef& def_;
    int index_;
};

class Button : public Control {
  public:
    using Control::Control;
    Handler onClicked;
};

class Label : public Control {
  public:
    using Control::Control;
};

class EditBox : public Control {
  public:
    using Control::Control;
    std::string text() const;
    void setText(std::string_view text);
};

class ComboBox : public Control {
  public:
    using Control::Control;
    std::string text() const;  // the edit field
    void setText(std::string_view text);
    int32_t itemCount() const;
    std::string itemText(int32_t index) const;  // empty outside the items
    int32_t itemValue(int32_t index) const;     // 0 outside the items or when none was given
    void addItem(std::string_view text, int32_t value = 0);
    // Removes every item; the edit field is emptied with them.
    void clearItems();
    int32_t currentSelection() const;  // -1: none
    // Above the last index selects the last item; below -1 counts as -1, which clears it.
    void setCurrentSelection(int32_t index);

    // The user picked an item from the list; delivered after the pick is complete.
    Handler onListItemSelected;

    std::vector<int32_t> values;  // item values, beside the backend's texts
};

class TabControl : public Control {
  public:
    using Control::Control;
    int32_t tabCount() const { return static_cast<int32_t>(def().items.size()); }
    int32_t currentTab() const;
    // Clamped to the tabs; selects and switches pages as a click would, raising no event.
    void setCurrentTab(int32_t index);

    // The user selected another tab: raised before the pages are switched.
    Handler onTabChanged;
};

class Timer : public Control {
  public:
    using Control::Control;
    int32_t period() const { return period_; }
    // Negative counts as 0; the same value changes nothing; otherwise restarts (0 stops).
    void setPeriod(int32_t ms);
    Handler onTimer;

  private:
    friend class WindowSystem;
    int32_t period_ = 0;
    int64_t nextDue_ = 0;
    bool firing_ = false;
};

class BrowserBox : public Control {
  public:
    using Control::Control;
    // Navigates at once to the address.
    void set地址(std::string_view address);
    std::string 状态条文本() const;
    // A new browser window is about to open; false refuses it.
    VetoHandler on即将打开新窗口;
};

class BalloonTipBox : public Control {
  public:
    using Control::Control;
    // Shows `text` as a balloon over the whole of `tool`; a negative icon index means no icon.
    bool attachTool(Control& tool, std::string_view text, int32_t icon);
};

// Shows how much of a whole has been done. It starts hidden: a bar with no range would claim
// to know an end it does not know.
class ProgressBar : public Control {
  public:
    using Control::Control;
    // The end of the bar. A positive range shows the bar (the position is kept within it); 0 or
    // less hides it.
    void setRange(int32_t range);
    // Clamped to 0 .. range; nothing while the bar is hidden.
    void setPosition(int32_t position);
    // What the system shows; 0 while hidden.
    int32_t range() const;
    int32_t position() const;
};

class ZipComponent : public Control {
  public:
    using Control::Control;
};

class Window : public Placement<Window> {
  public:
    Window(WindowSystem& system, const WindowDef& def, Window* owner);
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const WindowDef& def() const { return def_; }
    std::string_view name() const { return def_.name; }
    WindowSystem& system() const { return system_; }
    Window* owner() const { return owner_; }
    bool exists() const { return exists_; }

    bool alwaysOnTop() const;
    // Neither activates, moves nor resizes the window.
    void setAlwaysOnTop(bool on);
    bool enabled() const;
    bool visible() const;

    // Queued: takes effect after the running handler has returned; no can-be-closed event.
    void destroy();

    // Typed access by name. A name the table does not hold, or of another kind, is a fault.
    Control& control(std::string_view name);
    Button& button(std::string_view name) { return as<Button>(name, Kind::Button); }
    Label& label(std::string_view name) { return as<Label>(name, Kind::Label); }
    EditBox& editBox(std::string_view name) { return as<EditBox>(name, Kind::EditBox); }
    ComboBox& comboBox(std::string_view name) { return as<ComboBox>(name, Kind::ComboBox); }
    TabControl& tabControl(std::string_view name) { return as<TabControl>(name, Kind::TabControl); }
    Timer& timer(std::string_view name) { return as<Timer>(name, Kind::Timer); }
    BrowserBox& browserBox(std::string_view name) { return as<BrowserBox>(name, Kind::BrowserBox); }
    ProgressBar& progressBar(std::string_view name) { return as<ProgressBar>(name, Kind::ProgressBar); }
    BalloonTipBox& balloonTipBox(std::string_view name) {
        return as<BalloonTipBox>(name, Kind::BalloonTipBox);
    }
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    // The control that has the keyboard focus, or none.
    Control* focusedControl() const;

    Handler onCreated;
    VetoHandler onCanBeClosed;
    Handler onWillBeDestroyed;

    uintptr_t native = 0;  // the backend's handle

  private:
    friend class WindowSystem;
    friend class Placement<Window>;
    template <class T>
    T& as(std::string_view name, Kind kind) {
        return static_cast<T&>(checked(name, kind));
    }
    Control& checked(std::string_view name, Kind kind);
    Rect bounds() const;
    void place(Rect r);

    WindowSystem& system_;
    const WindowDef& def_;
    Window* owner_;
    bool exists_ = false;
    bool dying_ = false;
    std::vector<std::unique_ptr<Control>> controls_;
};

}  // namespace tovren::platform::window
