// The base of every control object: name, place, font, enabled and visible state, children, and
// the peer through which the Windows frontend keeps a real window in step with the object.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "ui/geometry.h"

namespace ui {

// The sender type of every event handler.
class Object {
  public:
    Object() = default;
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
};

enum class ControlKind {
    Form,
    PageControl,
    TabSheet,
    GroupBox,
    Bevel,
    Label,
    Edit,
    Button,
    SpeedButton,
    CheckBox,
    ComboBox,
    Image,
};

// What changed on an object, so that a peer updates only that.
enum class Property {
    Text,
    Enabled,
    Visible,
    Bounds,
    Font,
    Checked,
    Items,
    ItemIndex,
    Picture,
    ActivePage,
};

class Control;

// The real window behind a control. Owned by the frontend; the control holds it not owned and is
// told nothing else. A peer calls back into the control only through the *FromWindow members.
class ControlPeer {
  public:
    virtual ~ControlPeer() = default;
    virtual void StateChanged(Control& control, Property what) = 0;
    // The control is going away before its window: the peer must not touch it any more.
    virtual void ControlGone() = 0;
    // The native window handle (HWND on Windows), for tests and for the frontend itself.
    virtual void* NativeHandle() const = 0;
};

// Arguments common to every control, written with designated initialisers at the place that
// builds a layout.
struct ControlArgs {
    std::wstring name{};
    Rect bounds{};
    std::wstring text{};         // caption or initial text
    std::optional<Font> font{};  // empty: the parent's font
    Alignment alignment = Alignment::Left;
    bool enabled = true;
    bool visible = true;
    bool tabStop = true;
};

class Control : public Object {
  public:
    // parent not owned; the control registers itself with it and leaves it again when destroyed.
    Control(Control* parent, ControlKind kind, ControlArgs args);
    ~Control() override;

    ControlKind Kind() const { return kind_; }
    const std::wstring& Name() const { return name_; }
    Control* Parent() const { return parent_; }
    const std::vector<Control*>& Children() const { return children_; }

    const Rect& Bounds() const { return bounds_; }
    void SetBounds(const Rect& bounds);
    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.width; }
    int Height() const { return bounds_.height; }

    // Caption of buttons, labels, check boxes, group boxes, pages and forms; text of edits and
    // combo boxes.
    const std::wstring& Text() const { return text_; }
    void SetText(const std::wstring& text);
    const std::wstring& Caption() const { return text_; }
    void SetCaption(const std::wstring& caption) { SetText(caption); }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool TabStop() const { return tabStop_; }
    Alignment TextAlignment() const { return alignment_; }

    // The font in force: the control's own, else its parent's; the default Tahoma 8 point.
    Font EffectiveFont() const;
    bool HasOwnFont() const { return font_.has_value(); }
    void SetFont(const Font& font);

    // The object's position relative to the form's client area, adding up the parents' places
    // (a page lies inside its page control, a field inside its group box).
    Rect BoundsInForm() const;

    // The deepest visible child at a point in this control's own coordinates, or this control.
    Control* ControlAt(int x, int y);

    ControlPeer* Peer() const { return peer_; }
    void* NativeHandle() const { return peer_ ? peer_->NativeHandle() : nullptr; }
    // Called by the frontend when it binds or unbinds the real window.
    void BindPeer(ControlPeer* peer) { peer_ = peer; }

    // The user changed the window's text; stores it without telling the peer again.
    void SetTextFromWindow(const std::wstring& text) { text_ = text; }

  protected:
    void Changed(Property what) {
        if (peer_) peer_->StateChanged(*this, what);
    }
    // Where a page control puts its pages; others put children at their own origin.
    virtual Rect ChildArea() const { return {0, 0, bounds_.width, bounds_.height}; }

  private:
    ControlKind kind_;
    std::wstring name_;
    Control* parent_;                 // not owned
    std::vector<Control*> children_;  // not owned; in creation order
    Rect bounds_;
    std::wstring text_;
    std::optional<Font> font_;
    Alignment alignment_;
    bool enabled_;
    bool visible_;
    bool tabStop_;
    ControlPeer* peer_ = nullptr;  // not owned; set while a real window exists
};

}  // namespace ui
