// The control objects of the toolkit: labels, edits, buttons, check boxes, combo boxes, group
// boxes, bevels, page controls with their pages, and the timer. Handlers run on the main thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/control.h"

namespace ui {

using NotifyEvent = std::function<void(Object* sender)>;

// Modal results of buttons and dialogs.
enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3 };

class Label : public Control {
  public:
    Label(Control* parent, ControlArgs args)
        : Control(parent, ControlKind::Label, std::move(args)) {}
};

class Bevel : public Control {
  public:
    Bevel(Control* parent, ControlArgs args)
        : Control(parent, ControlKind::Bevel, std::move(args)) {}
};

// A frame around other controls; its children lie inside it.
class GroupBox : public Control {
  public:
    GroupBox(Control* parent, ControlArgs args)
        : Control(parent, ControlKind::GroupBox, std::move(args)) {}
};

class Edit : public Control {
  public:
    Edit(Control* parent, ControlArgs args) : Control(parent, ControlKind::Edit, std::move(args)) {}
    // Runs after the user changed the text (not after SetText).
    void SetOnChange(NotifyEvent handler) { onChange_ = std::move(handler); }
    void ChangedByUser(const std::wstring& text);

  private:
    NotifyEvent onChange_;
};

// A push button; Click runs its handler and, inside a modal dialog, ends it with its result.
class Button : public Control {
  public:
    Button(Control* parent, ControlArgs args, ControlKind kind = ControlKind::Button)
        : Control(parent, kind, std::move(args)) {}
    void SetOnClick(NotifyEvent handler) { onClick_ = std::move(handler); }
    int ModalResultValue() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    bool Default() const { return default_; }
    void SetDefault(bool isDefault) { default_ = isDefault; }
    bool Cancel() const { return cancel_; }
    void SetCancel(bool isCancel) { cancel_ = isCancel; }
    // What a press of the button does: the handler, then the modal result for its form. A
    // disabled button does nothing.
    void Click();

  private:
    NotifyEvent onClick_;
    int modalResult_ = mrNone;
    bool default_ = false;
    bool cancel_ = false;
};

// A flat button, as the step buttons are.
class SpeedButton : public Button {
  public:
    SpeedButton(Control* parent, ControlArgs args)
        : Button(parent, std::move(args), ControlKind::SpeedButton) {}
};

// SetChecked changes the state only; OnClick runs when the user clicks (after the state has
// changed) or when the program calls Click.
class CheckBox : public Control {
  public:
    CheckBox(Control* parent, ControlArgs args)
        : Control(parent, ControlKind::CheckBox, std::move(args)) {}
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    void SetOnClick(NotifyEvent handler) { onClick_ = std::move(handler); }
    void Click();
    // The user toggled the box: the state, then the handler.
    void ClickedByUser();

  private:
    bool checked_ = false;
    NotifyEvent onClick_;
};

// A drop-down list. Editable (the default) lets the user type any text; ItemIndex is −1 while the
// text is not one of the items as selected.
class ComboBox : public Control {
  public:
    enum class Style { DropDown, DropDownList };
    ComboBox(Control* parent, ControlArgs args, Style style = Style::DropDown)
        : Control(parent, ControlKind::ComboBox, std::move(args)), style_(style) {}
    Style ComboStyle() const { return style_; }
    const std::vector<std::wstring>& Items() const { return items_; }
    void AddItem(const std::wstring& item);
    void ClearItems();
    int ItemIndex() const { return itemIndex_; }
    // Selects an item and shows its text; −1 or an index beyond the list selects none and
    // empties the text.
    void SetItemIndex(int index);
    void SetOnChange(NotifyEvent handler) { onChange_ = std::move(handler); }
    // The user picked an item or typed; the peer reports both.
    void SelectedByUser(int index);
    void TypedByUser(const std::wstring& text);

  private:
    Style style_;
    std::vector<std::wstring> items_;
    int itemIndex_ = -1;
    NotifyEvent onChange_;
};

class TabSheet;

// Pages with tabs; one page is shown at a time.
class PageControl : public Control {
  public:
    PageControl(Control* parent, ControlArgs args)
        : Control(parent, ControlKind::PageControl, std::move(args)) {}
    std::vector<TabSheet*> Pages() const;
    int ActivePageIndex() const { return activePage_; }
    void SetActivePageIndex(int index);
    TabSheet* ActivePage() const;
    // The user picked a tab.
    void PageSelectedByUser(int index);
    // Inside the frame below the tabs, in design pixels.
    static constexpr int kTabHeight = 24;
    static constexpr int kBorder = 4;

  protected:
    Rect ChildArea() const override;

  private:
    int activePage_ = 0;
};

// A page of a page control; the page's caption is its tab's text. Bounds are given by the page
// control, so a page is built with only a name and a caption.
class TabSheet : public Control {
  public:
    TabSheet(PageControl* parent, ControlArgs args);
    PageControl* Owner() const { return owner_; }
    int PageIndex() const;

  private:
    PageControl* owner_;  // not owned
};

class Form;

// Runs OnTimer every Interval milliseconds while enabled. It has no window of its own: the
// Windows frontend runs it as a window timer of its form; on the host a test calls Fire.
class Timer : public Object {
  public:
    class Peer {
      public:
        virtual ~Peer() = default;
        virtual void TimerChanged(Timer& timer) = 0;
    };

    // form not owned; the timer registers itself with it.
    Timer(Form* form, std::wstring name, uint32_t intervalMs, bool enabled);
    ~Timer() override;
    const std::wstring& Name() const { return name_; }
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    void SetOnTimer(NotifyEvent handler) { onTimer_ = std::move(handler); }
    // One tick: the handler, when enabled.
    void Fire();
    void BindPeer(Peer* peer) { peer_ = peer; }

  private:
    Form* form_;  // not owned
    std::wstring name_;
    uint32_t interval_;
    bool enabled_;
    NotifyEvent onTimer_;
    Peer* peer_ = nullptr;  // not owned; set while the form has a window
};

}  // namespace ui
