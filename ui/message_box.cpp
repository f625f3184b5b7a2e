// Message boxes: the replaceable display in front of the frontend's real box.
#include "ui/message_box.h"

#include "ui/frontend.h"

namespace ui {
namespace {
std::function<void(const std::wstring&)>& Display() {  // main thread only
    static std::function<void(const std::wstring&)> display;
    return display;
}
void Show(const std::wstring& text, bool error) {
    if (Display()) {
        Display()(text);
        return;
    }
    frontend::ShowMessageBox(text, error);
}
}  // namespace

void ShowMessage(const std::wstring& text) { Show(text, false); }
void ShowError(const std::wstring& text) { Show(text, true); }
void SetMessageDisplay(std::function<void(const std::wstring&)> display) {
    Display() = std::move(display);
}

}  // namespace ui
