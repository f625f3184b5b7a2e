// Forms: creation and destruction order, modal runs, position, and the application's main loop.
#include "ui/form.h"

#include <algorithm>

#include "ui/frontend.h"

namespace ui {
namespace {
std::function<void(Form&)>& ModalHandler() {  // main thread only
    static std::function<void(Form&)> handler;
    return handler;
}
}  // namespace

Form::Form(FormArgs args)
    : Control(nullptr, ControlKind::Form,
              ControlArgs{.name = args.name,
                          .bounds = {0, 0, args.clientWidth, args.clientHeight},
                          .text = args.caption,
                          .font = args.font,
                          .visible = false}),
      args_(std::move(args)) {}

Form::~Form() {
    // The derived form has run Destroy; a form without a derived destructor still needs its
    // window gone before the objects.
    if (created_ && !destroyed_) {
        destroyed_ = true;
        frontend::DestroyFormWindow(*this);
    }
}

void Form::Create() {
    if (created_) return;
    created_ = true;
    frontend::CreateFormWindow(*this);
    if (args_.position == FormPosition::ScreenCenter) {
        screenLeft_ = (ScreenWidth() - OuterWidth()) / 2;
        screenTop_ = (ScreenHeight() - OuterHeight()) / 2;
        frontend::MoveFormWindow(*this);
    }
    if (onCreate_) onCreate_(this);
}

void Form::Destroy() {
    if (!created_ || destroyed_) return;
    destroyed_ = true;
    if (onDestroy_) onDestroy_(this);
    frontend::DestroyFormWindow(*this);
}

void Form::Show() {
    Create();
    SetVisible(true);
    frontend::ShowFormWindow(*this, true);
}

void Form::Hide() {
    SetVisible(false);
    if (created_ && !destroyed_) frontend::ShowFormWindow(*this, false);
}

int Form::ShowModal() {
    Create();
    modalResult_ = mrNone;
    closeRequested_ = false;
    inModal_ = true;
    SetVisible(true);
    int result = frontend::RunModal(*this, ModalHandler());
    inModal_ = false;
    Hide();
    return result;
}

void Form::Close() {
    closeRequested_ = true;
    if (inModal_ && modalResult_ == mrNone) modalResult_ = mrCancel;
}

void Form::SetScreenLeft(int left) {
    screenLeft_ = left;
    if (created_ && !destroyed_) frontend::MoveFormWindow(*this);
}

void Form::SetScreenTop(int top) {
    screenTop_ = top;
    if (created_ && !destroyed_) frontend::MoveFormWindow(*this);
}

int Form::OuterWidth() const {
    int w = 0, h = 0;
    frontend::OuterSize(*this, w, h);
    return w;
}

int Form::OuterHeight() const {
    int w = 0, h = 0;
    frontend::OuterSize(*this, w, h);
    return h;
}

namespace {
template <typename Pred>
Button* FindButton(const Control& root, Pred pred) {
    for (Control* child : root.Children()) {
        if (child->Kind() == ControlKind::Button) {
            auto* button = static_cast<Button*>(child);
            if (pred(*button)) return button;
        }
        if (Button* found = FindButton(*child, pred)) return found;
    }
    return nullptr;
}
}  // namespace

Button* Form::DefaultButton() const {
    return FindButton(*this, [](const Button& b) { return b.Default(); });
}

Button* Form::CancelButton() const {
    return FindButton(*this, [](const Button& b) { return b.Cancel(); });
}

void Form::RemoveTimer(Timer* timer) { std::erase(timers_, timer); }

int ScreenWidth() {
    int w = 0, h = 0;
    frontend::ScreenSize(w, h);
    return w;
}

int ScreenHeight() {
    int w = 0, h = 0;
    frontend::ScreenSize(w, h);
    return h;
}

int Run(Form& mainForm) {
    mainForm.Show();
    return frontend::RunMessageLoop(mainForm);
}

void SetModalHandler(std::function<void(Form&)> handler) { ModalHandler() = std::move(handler); }

}  // namespace ui
