// A modal dialog of the toolkit as a real window under Windows: shown, pictured, ended with Enter,
// with its Cancel button and with the close box; the rest of the program waits meanwhile.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/screenshot_win.h"
#include "ui/form.h"

namespace {

struct PickDialog : ui::Form {
    PickDialog()
        : ui::Form({.name = L"PickDialog",
                    .caption = L"Pick One",
                    .clientWidth = 220,
                    .clientHeight = 131,
                    .font = ui::Font{L"MS Sans Serif", 11, false},
                    .border = ui::BorderStyle::Dialog,
                    .minimizeBox = false,
                    .position = ui::FormPosition::ScreenCenter}),
          frame(this, {.name = L"frame", .bounds = {8, 8, 201, 42}}),
          line1(this, {.name = L"line1", .bounds = {18, 14, 176, 13}, .text = L"Choose an entry."}),
          line2(this, {.name = L"line2",
                       .bounds = {18, 30, 133, 13},
                       .text = L"選んでください",
                       .font = ui::Font::Points(L"Tahoma", 8)}),
          list(this, {.name = L"list", .bounds = {8, 64, 201, 21}},
               ui::ComboBox::Style::DropDownList),
          ok(this, {.name = L"ok", .bounds = {8, 95, 85, 27}, .text = L"OK"}),
          cancel(this, {.name = L"cancel", .bounds = {124, 95, 85, 27}, .text = L"Cancel"}) {
        ok.SetModalResult(ui::mrOk);
        ok.SetDefault(true);
        cancel.SetModalResult(ui::mrAbort);
        list.AddItem(L"COM1");
        list.AddItem(L"COM2");
        list.SetItemIndex(0);
    }
    ~PickDialog() override { Destroy(); }
    ui::Bevel frame;
    ui::Label line1;
    ui::Label line2;
    ui::ComboBox list;
    ui::Button ok;
    ui::Button cancel;
};

std::wstring WindowText(HWND wnd) {
    wchar_t buffer[256] = {};
    GetWindowTextW(wnd, buffer, 256);
    return buffer;
}

TEST(DialogWindowTest, ShownModallyAndEndedByEnterCancelAndCloseBox) {
    PickDialog dialog;
    bool sawWindow = false;
    ui::SetModalHandler([&](ui::Form& form) {
        HWND wnd = static_cast<HWND>(form.NativeHandle());
        ASSERT_NE(wnd, nullptr);
        sawWindow = IsWindowVisible(wnd) != FALSE;
        EXPECT_EQ(WindowText(wnd), L"Pick One");
        RECT client;
        GetClientRect(wnd, &client);
        const int dpi = static_cast<int>(GetDpiForWindow(wnd));
        EXPECT_EQ(client.right, MulDiv(220, dpi, 96));
        EXPECT_EQ(client.bottom, MulDiv(131, dpi, 96));
        HWND list = static_cast<HWND>(dialog.list.NativeHandle());
        EXPECT_EQ(GetParent(list), wnd);
        EXPECT_EQ(WindowText(static_cast<HWND>(dialog.line2.NativeHandle())), L"選んでください");
        // The labels lie above the bevel that frames them.
        POINT inLabel{20, 20};
        EXPECT_EQ(ChildWindowFromPointEx(wnd, inLabel, CWP_ALL), dialog.line1.NativeHandle());
        EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 2);
        EXPECT_TRUE(GetWindowLongW(static_cast<HWND>(dialog.ok.NativeHandle()), GWL_STYLE) &
                    BS_DEFPUSHBUTTON);
        test_support::PumpMessages(200);
        EXPECT_TRUE(test_support::SaveWindowPicture(
            wnd, test_support::ResultsFolder() + L"dialog-modal.png"));
        // Enter goes through the dialog manager to the default button.
        SetFocus(list);
        PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(list, WM_KEYUP, VK_RETURN, 0xC0000000);
    });
    EXPECT_EQ(dialog.ShowModal(), ui::mrOk);
    EXPECT_TRUE(sawWindow);
    EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(dialog.NativeHandle())));

    ui::SetModalHandler([&](ui::Form&) {
        SendMessageW(static_cast<HWND>(dialog.cancel.NativeHandle()), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(dialog.ShowModal(), ui::mrAbort);

    ui::SetModalHandler([&](ui::Form& form) {
        PostMessageW(static_cast<HWND>(form.NativeHandle()), WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(dialog.ShowModal(), ui::mrCancel);
    ui::SetModalHandler(nullptr);
}

TEST(DialogWindowTest, SelectionInTheListReachesTheObject) {
    PickDialog dialog;
    ui::SetModalHandler([&](ui::Form&) {
        HWND list = static_cast<HWND>(dialog.list.NativeHandle());
        SendMessageW(list, CB_SETCURSEL, 1, 0);
        // What the list tells its parent when the user picks an entry.
        SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
        dialog.ok.Click();
    });
    EXPECT_EQ(dialog.ShowModal(), ui::mrOk);
    ui::SetModalHandler(nullptr);
    EXPECT_EQ(dialog.list.ItemIndex(), 1);
    EXPECT_EQ(dialog.list.Text(), L"COM2");
}

TEST(DialogWindowTest, TimerTicksThroughTheFormsWindowWhileEnabled) {
    PickDialog dialog;
    ui::Timer timer(&dialog, L"timer", 20, false);
    int ticks = 0;
    int ticksWhileDisabled = 0;
    timer.SetOnTimer([&](ui::Object* sender) {
        EXPECT_EQ(sender, &timer);
        ++ticks;
    });
    ui::SetModalHandler([&](ui::Form&) {
        test_support::PumpMessages(150);
        ticksWhileDisabled = ticks;
        timer.SetEnabled(true);
        for (int i = 0; i < 100 && ticks < 3; ++i) test_support::PumpMessages(20);
        timer.SetEnabled(false);
        dialog.ok.Click();
    });
    EXPECT_EQ(dialog.ShowModal(), ui::mrOk);
    ui::SetModalHandler(nullptr);
    EXPECT_EQ(ticksWhileDisabled, 0);
    EXPECT_GE(ticks, 3);
    const int atStop = ticks;
    test_support::PumpMessages(150);
    EXPECT_EQ(ticks, atStop);
}

}  // namespace
