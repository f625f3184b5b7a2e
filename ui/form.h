// A form: a top-level window with its controls and timers. The main window and dialogs derive
// from it, build their controls as members and write their handlers against those objects.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "ui/controls.h"

namespace ui {

enum class BorderStyle { Sizeable, Single, Dialog };
enum class FormPosition { Designed, ScreenCenter };

struct FormArgs {
    std::wstring name{};
    std::wstring caption{};
    int clientWidth = 0;
    int clientHeight = 0;
    Font font = Font::Points(L"Tahoma", 8);
    BorderStyle border = BorderStyle::Single;
    bool minimizeBox = true;
    bool maximizeBox = false;
    FormPosition position = FormPosition::Designed;
};

class Form : public Control {
  public:
    explicit Form(FormArgs args);
    // A derived form calls Destroy in its own destructor, while its controls still exist.
    ~Form() override;

    // Builds the real window and its controls (hidden), then runs OnCreate. Once only.
    void Create();
    // Runs OnDestroy, then takes the real window down. Once only; later calls do nothing.
    void Destroy();
    bool Created() const { return created_; }
    void SetOnCreate(NotifyEvent handler) { onCreate_ = std::move(handler); }
    void SetOnDestroy(NotifyEvent handler) { onDestroy_ = std::move(handler); }

    void Show();
    void Hide();
    // Shows the form as a modal dialog and returns once a button or the close box has given it
    // a modal result (mrCancel for the close box). Creates the form first when needed.
    int ShowModal();
    int ModalResultValue() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    bool InModal() const { return inModal_; }
    // The close box: ends a modal dialog with mrCancel; for a modeless form it ends the message
    // loop of ui::Run.
    void Close();
    bool CloseRequested() const { return closeRequested_; }

    // The outer window's position on the screen, in screen pixels.
    int ScreenLeft() const { return screenLeft_; }
    int ScreenTop() const { return screenTop_; }
    void SetScreenLeft(int left);
    void SetScreenTop(int top);
    void SetScreenPositionFromWindow(int left, int top) {
        screenLeft_ = left;
        screenTop_ = top;
    }
    // The outer window's size (frame and caption included), in screen pixels.
    int OuterWidth() const;
    int OuterHeight() const;
    int ClientWidth() const { return Width(); }
    int ClientHeight() const { return Height(); }

    BorderStyle Border() const { return args_.border; }
    bool MinimizeBox() const { return args_.minimizeBox; }
    bool MaximizeBox() const { return args_.maximizeBox; }
    FormPosition Position() const { return args_.position; }

    // The button that Enter presses and the one that Escape presses, if any.
    Button* DefaultButton() const;
    Button* CancelButton() const;

    const std::vector<Timer*>& Timers() const { return timers_; }
    void AddTimer(Timer* timer) { timers_.push_back(timer); }
    void RemoveTimer(Timer* timer);

    // A form-wide place for the frontend's own record of the window (not owned by the form).
    void* FrontendData() const { return frontendData_; }
    void SetFrontendData(void* data) { frontendData_ = data; }

  private:
    FormArgs args_;
    bool created_ = false;
    bool destroyed_ = false;
    bool inModal_ = false;
    bool closeRequested_ = false;
    int modalResult_ = mrNone;
    int screenLeft_ = 0;
    int screenTop_ = 0;
    std::vector<Timer*> timers_;  // not owned
    NotifyEvent onCreate_;
    NotifyEvent onDestroy_;
    void* frontendData_ = nullptr;
};

// The size of the primary screen in pixels.
int ScreenWidth();
int ScreenHeight();
// Host only: the screen size the host frontend reports (1920 × 1080 unless set).
void SetScreenSizeForTest(int width, int height);

// Shows the main form and runs the message loop until it is closed. Returns the exit code.
int Run(Form& mainForm);

// Runs once a modal form is shown (Windows: once its window is visible, through the message
// loop), so that a test can look at it and end it with a button. On the host a dialog still
// without a result after the handler is cancelled. An empty function removes the handler.
void SetModalHandler(std::function<void(Form&)> handler);

}  // namespace ui
