// Message boxes shown to the user. Tests replace the display to record what would be shown.
#pragma once
#include <functional>
#include <string>

namespace ui {

// An information box with one OK button; returns when the user has closed it. The caption is
// the program's name.
void ShowMessage(const std::wstring& text);
// The same for an error.
void ShowError(const std::wstring& text);

// Replaces the display for both kinds (an empty function restores the real one).
void SetMessageDisplay(std::function<void(const std::wstring& text)> display);

}  // namespace ui
