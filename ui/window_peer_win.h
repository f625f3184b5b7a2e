// Inside the Windows frontend: the peer that binds one control object to one real window, and
// the record of a form's window with its fonts, peers and timers. One window procedure serves
// the toolkit's own window classes; it binds the peer at WM_NCCREATE and forwards to it.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "platform/unique_handle.h"
#include "ui/controls.h"
#include "ui/form.h"

namespace ui::win {

class FormWindow;

// Toolkit window classes: forms, containers (pages, group boxes) and images.
inline constexpr wchar_t kFormClass[] = L"PelkanForm";
inline constexpr wchar_t kPanelClass[] = L"PelkanPanel";
inline constexpr wchar_t kImageClass[] = L"PelkanImage";

// Posted to a modal form once it is visible, to run the modal handler.
inline constexpr UINT kRunModalHandler = WM_APP + 1;

void RegisterWindowClasses();

class WindowPeer : public ControlPeer {
  public:
    // control and owner not owned; the owner outlives the peer.
    WindowPeer(Control& control, FormWindow& owner) : control_(&control), owner_(owner) {}
    ~WindowPeer() override;

    // Creates the window inside parentWnd (the form's window for a form: nullptr parent) and
    // brings it in step with the object.
    void Create(HWND parentWnd);

    void StateChanged(Control& control, Property what) override;
    void ControlGone() override { control_ = nullptr; }
    void* NativeHandle() const override { return wnd_; }
    HWND Wnd() const { return wnd_; }
    Control* Object() const { return control_; }

    // Messages for the toolkit's own classes.
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    // A notification from a standard control's window (WM_COMMAND code), routed by its parent.
    void Notify(UINT code);
    void BindWindow(HWND wnd) { wnd_ = wnd; }
    // New place and font after a change of scale.
    void Rescale();

    static WindowPeer* FromWindow(HWND wnd);

  private:
    void SyncItems();
    void SyncItemIndex();
    void SyncActivePage();
    void PaintImage();
    void PaintGroupFrame();
    RECT ScaledRect(const Rect& r) const;
    // The window's place in its parent window, in design pixels.
    Rect WindowBounds() const;

    Control* control_;  // not owned; null once the object is gone
    FormWindow& owner_;
    // The window; owned by its parent window (children go with the form), except the form's own
    // window, which FormWindow owns.
    HWND wnd_ = nullptr;
    HFONT font_ = nullptr;  // the toolkit's own classes keep their font here; not owned
};

// A form's real window and everything that lives with it.
class FormWindow : public Timer::Peer {
  public:
    explicit FormWindow(Form& form);
    ~FormWindow() override;

    void Create();
    Form& TheForm() const { return form_; }
    HWND Wnd() const { return formPeer_ ? formPeer_->Wnd() : nullptr; }
    UINT Dpi() const { return dpi_; }
    int Scale(int designPixels) const { return MulDiv(designPixels, static_cast<int>(dpi_), 96); }
    HFONT FontFor(const Font& font);
    DWORD Style() const;
    DWORD ExStyle() const;

    // The form's window moved to a monitor of another scale: every window gets its new size,
    // place and font.
    void DpiChanged(UINT dpi, const RECT& suggested);

    void TimerChanged(Timer& timer) override;
    void FireTimer(UINT_PTR id);

    // The modal handler waiting for the form to become visible.
    std::function<void(Form&)> pendingModalHandler;

    void TakeWindow(HWND wnd) { window_.reset(wnd); }

  private:
    void CreateChildren(Control& parent, HWND parentWnd);

    Form& form_;
    UINT dpi_ = 96;
    std::unique_ptr<WindowPeer> formPeer_;
    std::vector<std::unique_ptr<WindowPeer>> peers_;
    std::map<std::tuple<std::wstring, int, bool>, platform::UniqueGdiObject> fonts_;
    platform::UniqueWindow window_;  // the form's window; destroys the children with it
};

}  // namespace ui::win
