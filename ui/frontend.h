// The frontend seam of the toolkit, inside ui/ only: what a form needs from the real windows.
// Windows: frontend_win.cpp, over the window peers of window_peer_win.cpp; host:
// frontend_host.cpp.
#pragma once
#include <functional>
#include <string>

namespace ui {
class Form;
}

namespace ui::frontend {

// Builds the form's window and a window for every control, hidden, bound to the objects.
void CreateFormWindow(Form& form);
// Takes the windows down and unbinds the objects.
void DestroyFormWindow(Form& form);
void ShowFormWindow(Form& form, bool show);
// Moves the form's window to the form's screen position.
void MoveFormWindow(Form& form);
// Shows the form modally until it has a modal result; runs the modal handler once shown.
int RunModal(Form& form, const std::function<void(Form&)>& handler);
// The outer size of the form's window for its client size, frame and caption.
void OuterSize(const Form& form, int& width, int& height);
void ScreenSize(int& width, int& height);
void ShowMessageBox(const std::wstring& text, bool error);
int RunMessageLoop(Form& mainForm);

}  // namespace ui::frontend
