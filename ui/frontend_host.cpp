// The host frontend: no windows. Forms and controls are plain objects; a modal dialog is answered
// by the test's modal handler; message boxes go to standard error unless a test records them.
#include <cstdio>

#include "platform/text.h"
#include "ui/form.h"
#include "ui/frontend.h"

namespace ui {
namespace {
int screenWidth = 1920;  // main thread only
int screenHeight = 1080;
// Frame and caption of a fixed single border at 96 dots per inch, as Windows 10 draws them.
constexpr int kFrameWidth = 3 + 3;
constexpr int kFrameHeight = 3 + 3 + 23;
}  // namespace

void SetScreenSizeForTest(int width, int height) {
    screenWidth = width;
    screenHeight = height;
}

namespace frontend {

void CreateFormWindow(Form&) {}
void DestroyFormWindow(Form&) {}
void ShowFormWindow(Form&, bool) {}
void MoveFormWindow(Form&) {}

int RunModal(Form& form, const std::function<void(Form&)>& handler) {
    if (handler) handler(form);
    // Nobody is there to answer a dialog on the host: it ends as if cancelled.
    if (form.ModalResultValue() == mrNone) form.SetModalResult(mrCancel);
    return form.ModalResultValue();
}

void OuterSize(const Form& form, int& width, int& height) {
    width = form.ClientWidth() + kFrameWidth;
    height = form.ClientHeight() + kFrameHeight;
}

void ScreenSize(int& width, int& height) {
    width = screenWidth;
    height = screenHeight;
}

void ShowMessageBox(const std::wstring& text, bool) {
    std::fprintf(stderr, "%s\n", platform::WideToAnsi(text).c_str());
}

// There is no message loop on the host: the program's loop is the test that drives the objects.
int RunMessageLoop(Form&) { return 0; }

}  // namespace frontend
}  // namespace ui
