// The main window as a real window under Windows: its controls, captions, fonts and places, hit
// tests and clicks reaching the objects, pictures of both pages, and the settings file beside the
// executable, for the test program and for pelkan.exe itself.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/serial_services_double.h"
#include "platform/unique_handle.h"
#include "tests/app/test_files.h"
#include "tests/ui/screenshot_win.h"
#include "ui/message_box.h"

namespace {

using test_support::PumpMessages;

HWND Wnd(const ui::Control& c) { return static_cast<HWND>(c.NativeHandle()); }

std::wstring WindowText(HWND wnd) {
    wchar_t buffer[256] = {};
    GetWindowTextW(wnd, buffer, 256);
    return buffer;
}

std::wstring ClassOf(HWND wnd) {
    wchar_t buffer[64] = {};
    GetClassNameW(wnd, buffer, 64);
    return buffer;
}

std::string Narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

const wchar_t* ClassFor(ui::ControlKind kind) {
    switch (kind) {
        case ui::ControlKind::Label:
            return L"Static";
        case ui::ControlKind::Edit:
            return L"Edit";
        case ui::ControlKind::Button:
        case ui::ControlKind::SpeedButton:
        case ui::ControlKind::CheckBox:
            return L"Button";
        case ui::ControlKind::ComboBox:
            return L"ComboBox";
        case ui::ControlKind::PageControl:
            return L"SysTabControl32";
        case ui::ControlKind::TabSheet:
        case ui::ControlKind::GroupBox:
            return L"PelkanPanel";
        case ui::ControlKind::Image:
            return L"PelkanImage";
        default:
            return L"?";
    }
}

void AllControls(ui::Control& root, std::vector<ui::Control*>& out) {
    for (ui::Control* child : root.Children()) {
        out.push_back(child);
        AllControls(*child, out);
    }
}

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() {
        ui::SetMessageDisplay([this](const std::wstring& text) { messages.push_back(text); });
    }
    ~MainWindowTest() override { ui::SetMessageDisplay(nullptr); }

    TestFolder folder;
    SerialServicesDouble serial;
    std::vector<std::wstring> messages;
};

TEST_F(MainWindowTest, RealWindowHasEveryControlWithCaptionFontAndPlace) {
    MainWindow form(serial.services, folder.File("pelkan.ini").wstring());
    form.Create();
    form.Show();
    PumpMessages(300);
    HWND top = Wnd(form);
    ASSERT_NE(top, nullptr);
    const int dpi = static_cast<int>(GetDpiForWindow(top));
    auto scaled = [dpi](int v) { return MulDiv(v, dpi, 96); };

    EXPECT_EQ(WindowText(top), L"Pelkan 1.02");
    const LONG style = GetWindowLongW(top, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    RECT client;
    GetClientRect(top, &client);
    EXPECT_EQ(client.right, scaled(248));
    EXPECT_EQ(client.bottom, scaled(424));

    std::vector<ui::Control*> controls;
    AllControls(form, controls);
    EXPECT_EQ(controls.size(), 42u);
    for (ui::Control* c : controls) {
        SCOPED_TRACE(Narrow(c->Name()));
        HWND wnd = Wnd(*c);
        ASSERT_NE(wnd, nullptr);
        EXPECT_EQ(ClassOf(wnd), ClassFor(c->Kind()));
        EXPECT_EQ(WindowText(wnd), c->Text());
        EXPECT_EQ(GetParent(wnd), Wnd(*c->Parent()));
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(wnd, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        const bool big = c == &form.ControlsForTest().changedDeviceEdit ||
                         c == &form.ControlsForTest().changedStateEdit;
        EXPECT_STREQ(font.lfFaceName, L"Tahoma");
        EXPECT_EQ(font.lfHeight, -scaled(big ? 35 : 11));
        EXPECT_EQ(font.lfWeight, big ? FW_BOLD : FW_NORMAL);
    }
    for (ui::Edit* e :
         {&form.ControlsForTest().changedDeviceEdit, &form.ControlsForTest().changedStateEdit}) {
        EXPECT_TRUE(GetWindowLongW(Wnd(*e), GWL_STYLE) & ES_CENTER);
    }
    for (ui::Edit* e : {&form.ControlsForTest().scaleEdit, &form.ControlsForTest().captWEdit,
                        &form.ControlsForTest().captHEdit, &form.ControlsForTest().captLEdit,
                        &form.ControlsForTest().pickXEdit, &form.ControlsForTest().pickYEdit}) {
        EXPECT_TRUE(GetWindowLongW(Wnd(*e), GWL_STYLE) & ES_RIGHT);
    }
    const LONG checkStyle = GetWindowLongW(Wnd(form.ControlsForTest().fxModeBox), GWL_STYLE);
    EXPECT_TRUE(checkStyle & WS_DISABLED);
    EXPECT_FALSE(checkStyle & WS_TABSTOP);
    RECT imageRect;
    GetClientRect(Wnd(form.ControlsForTest().gridPreview), &imageRect);
    EXPECT_EQ(imageRect.right, scaled(225));
    EXPECT_EQ(imageRect.bottom, scaled(170));

    HWND tabs = Wnd(form.ControlsForTest().pages);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    for (int i = 0; i < 2; ++i) {
        wchar_t text[32] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 32;
        SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(std::wstring(text), i == 0 ? L" メイン" : L" 設定");
    }
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(IsWindowVisible(Wnd(form.ControlsForTest().mainPage)));
    EXPECT_FALSE(IsWindowVisible(Wnd(form.ControlsForTest().settingsPage)));

    // At the centre of any control of the main page lies that control's window. Labels and
    // disabled controls let clicks through to the page, as they do in every Windows program.
    // The notice, hidden while there is nothing to say, is shown for this.
    form.ShowNotice(L"A dialog of the application waits: 保存しますか");
    PumpMessages(100);
    for (ui::Control* c : form.ControlsForTest().mainPage.Children()) {
        RECT r;
        GetWindowRect(Wnd(*c), &r);
        POINT centre{(r.left + r.right) / 2, r.top + scaled(c->Height()) / 2};
        POINT inPage = centre;
        ScreenToClient(Wnd(form.ControlsForTest().mainPage), &inPage);
        EXPECT_EQ(ChildWindowFromPointEx(Wnd(form.ControlsForTest().mainPage), inPage, CWP_ALL),
                  Wnd(*c))
            << Narrow(c->Name());
        HWND hit = WindowFromPoint(centre);
        const bool clickable = c->Enabled() && c->Kind() != ui::ControlKind::Label;
        EXPECT_EQ(hit == Wnd(*c) || IsChild(Wnd(*c), hit), clickable) << Narrow(c->Name());
        if (!clickable) {
            EXPECT_EQ(hit, Wnd(form.ControlsForTest().mainPage)) << Narrow(c->Name());
        }
    }

    form.ShowNotice(L"");
    PumpMessages(100);
    EXPECT_FALSE(IsWindowVisible(Wnd(form.ControlsForTest().noticeLabel)));

    // A picture wider and taller than the image shows from its top-left corner at 1:1.
    ui::Bitmap grid(300, 200);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            grid.SetPixel(x, y,
                          (x / 10 + y / 10) % 2 ? ui::Color{0, 0, 255} : ui::Color{255, 255, 255});
        }
    }
    grid.SetPixel(0, 0, {255, 0, 0});
    form.ControlsForTest().gridPreview.SetPicture(grid);
    PumpMessages(200);
    {
        platform::ScopedWindowDc dc(Wnd(form.ControlsForTest().gridPreview));
        EXPECT_EQ(GetPixel(dc.get(), 0, 0), RGB(255, 0, 0));
        EXPECT_EQ(GetPixel(dc.get(), 15, 5), RGB(0, 0, 255));
        EXPECT_EQ(GetPixel(dc.get(), 224, 169), RGB(255, 255, 255));
    }
    EXPECT_TRUE(
        test_support::SaveWindowPicture(top, test_support::ResultsFolder() + L"mainform-main.png"));

    // The user's clicks and typing reach the objects.
    SendMessageW(Wnd(form.ControlsForTest().startStopButton), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(Wnd(form.ControlsForTest().startStopButton)), L"STOP");
    EXPECT_EQ(messages, std::vector<std::wstring>{
                            L"ComPort Open Error\nCOM4 does not exist on this computer."});
    EXPECT_TRUE(form.ControlsForTest().sampleTimer.Enabled());
    SendMessageW(Wnd(form.ControlsForTest().startStopButton), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(Wnd(form.ControlsForTest().startStopButton)), L"START");
    SetWindowTextW(Wnd(form.ControlsForTest().toggleTargetEdit), L"X010");
    EXPECT_EQ(form.ControlsForTest().toggleTargetEdit.Text(), L"X010");
    form.ControlsForTest().fxModeBox.SetChecked(true);
    form.ShowFxCaptions();
    EXPECT_EQ(SendMessageW(Wnd(form.ControlsForTest().fxModeBox), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(WindowText(Wnd(form.ControlsForTest().firstUpButton)), L"+40");

    // A real click on the second tab shows the settings page.
    RECT tab;
    SendMessageW(tabs, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&tab));
    POINT p{(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2};
    ClientToScreen(tabs, &p);
    SetForegroundWindow(top);
    SetCursorPos(p.x, p.y);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    PumpMessages(300);
    EXPECT_EQ(form.ControlsForTest().pages.ActivePageIndex(), 1);
    EXPECT_TRUE(IsWindowVisible(Wnd(form.ControlsForTest().settingsPage)));
    EXPECT_FALSE(IsWindowVisible(Wnd(form.ControlsForTest().mainPage)));
    EXPECT_TRUE(test_support::SaveWindowPicture(
        top, test_support::ResultsFolder() + L"mainform-settings.png"));

    SetWindowTextW(Wnd(form.ControlsForTest().captWEdit), L"640");
    SendMessageW(Wnd(form.ControlsForTest().applySettingsButton), BM_CLICK, 0, 0);
    EXPECT_EQ(form.OwnBridge().Settings().captW, 640);
    SendMessageW(Wnd(form.ControlsForTest().defaultSettingsButton), BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(Wnd(form.ControlsForTest().pickXEdit)), L"10");
    EXPECT_EQ(form.OwnBridge().Settings().pickXOff, 8);  // not applied before "更新"
}

TEST_F(MainWindowTest, MovingToAMonitorOfAnotherScaleRescalesEveryWindow) {
    MainWindow form(serial.services, folder.File("pelkan.ini").wstring());
    form.Create();
    form.Show();
    PumpMessages(100);
    HWND top = Wnd(form);
    const int dpi = static_cast<int>(GetDpiForWindow(top)) * 3 / 2;
    RECT suggested{100, 80, 100 + 400, 80 + 700};
    // What Windows sends when the window lands on a monitor at 150 % of the current scale.
    SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    PumpMessages(100);
    // The outer size is the client area at the new scale with the frame the system draws at that
    // scale. (A message sent by hand changes no real monitor, so Wine keeps drawing its old frame
    // and the client area itself is not compared.)
    RECT expected{0, 0, MulDiv(248, dpi, 96), MulDiv(424, dpi, 96)};
    AdjustWindowRectExForDpi(&expected, static_cast<DWORD>(GetWindowLongW(top, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongW(top, GWL_EXSTYLE)),
                             static_cast<UINT>(dpi));
    RECT r;
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 80);
    EXPECT_EQ(r.right - r.left, expected.right - expected.left);
    EXPECT_EQ(r.bottom - r.top, expected.bottom - expected.top);
    GetClientRect(Wnd(form.ControlsForTest().gridPreview), &r);
    EXPECT_EQ(r.right, MulDiv(225, dpi, 96));
    EXPECT_EQ(r.bottom, MulDiv(170, dpi, 96));
    GetWindowRect(Wnd(form.ControlsForTest().requestedFirstEdit), &r);
    POINT corner{r.left, r.top};
    ScreenToClient(Wnd(form.ControlsForTest().mainPage), &corner);
    EXPECT_EQ(corner.x, MulDiv(form.ControlsForTest().requestedFirstEdit.Left(), dpi, 96));
    EXPECT_EQ(corner.y, MulDiv(form.ControlsForTest().requestedFirstEdit.Top(), dpi, 96));
    for (ui::Edit* e :
         {&form.ControlsForTest().firstDeviceEdit, &form.ControlsForTest().changedDeviceEdit}) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Wnd(*e), WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        EXPECT_EQ(font.lfHeight,
                  -MulDiv(e == &form.ControlsForTest().changedDeviceEdit ? 35 : 11, dpi, 96));
    }
    form.SetOnDestroy(nullptr);
}

TEST_F(MainWindowTest, SettingsAreWrittenBesideTheExecutableAndReadBack) {
    const std::wstring path = ExecutableSettingsPath();
    DeleteFileW(path.c_str());
    {
        MainWindow form(serial.services, path);
        form.Create();
        const int outerWidth = form.OuterWidth();
        EXPECT_EQ(form.ScreenLeft(), (GetSystemMetrics(SM_CXSCREEN) - outerWidth) / 2);
        form.Show();
        // Where the user drags it.
        SetWindowPos(Wnd(form), nullptr, 37, 58, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        PumpMessages(100);
        EXPECT_EQ(form.ScreenLeft(), 37);
        // Closed while minimised, it remembers where it was before.
        ShowWindow(Wnd(form), SW_MINIMIZE);
        PumpMessages(100);
        form.Destroy();
    }
    EXPECT_EQ(GetPrivateProfileIntW(L"Form", L"Left", -1, path.c_str()), 37);
    EXPECT_EQ(GetPrivateProfileIntW(L"Form", L"Top", -1, path.c_str()), 58);
    EXPECT_EQ(GetPrivateProfileIntW(L"Capt", L"captW", -1, path.c_str()), 504);
    WritePrivateProfileStringW(L"Capt", L"captH", L"0x190", path.c_str());

    MainWindow again(serial.services, path);
    again.Create();
    again.Show();
    PumpMessages(100);
    RECT r;
    GetWindowRect(Wnd(again), &r);
    EXPECT_EQ(r.left, 37);
    EXPECT_EQ(r.top, 58);
    EXPECT_EQ(again.OwnBridge().Settings().captH, 400);
    EXPECT_EQ(again.ControlsForTest().captHEdit.Text(), L"400");
    again.SetOnDestroy(nullptr);
    again.Destroy();
    DeleteFileW(path.c_str());
}

// pelkan.exe itself: starts where its settings file says, shows its window, and at close writes
// the settings beside itself.
TEST(PelkanExeTest, StartsWhereTheSettingsSayAndWritesThemAtClose) {
    std::wstring exe;
    for (const char* p = PELKAN_EXE; *p; ++p) exe += *p == '/' ? L'\\' : wchar_t(*p);
    const std::wstring ini = WithIniExtension(exe);
    DeleteFileW(ini.c_str());
    WritePrivateProfileStringW(L"Form", L"Left", L"40", ini.c_str());
    WritePrivateProfileStringW(L"Form", L"Top", L"50", ini.c_str());
    WritePrivateProfileStringW(L"Capt", L"captW", L"0x1F8", ini.c_str());
    WritePrivateProfileStringW(L"Capt", L"Scale", L"1.5", ini.c_str());
    // No port chosen: what is written back must not depend on the ports this machine has.
    WritePrivateProfileStringW(L"COM", L"PortIndex", L"-1", ini.c_str());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info));
    platform::UniqueHandle process(info.hProcess);
    platform::UniqueHandle thread(info.hThread);
    HWND wnd = nullptr;
    for (int i = 0; i < 300 && !wnd; ++i) {
        wnd = FindWindowW(L"PelkanForm", L"Pelkan 1.02");
        if (wnd && !IsWindowVisible(wnd)) wnd = nullptr;
        if (!wnd) Sleep(50);
    }
    ASSERT_NE(wnd, nullptr) << "pelkan.exe showed no window";
    Sleep(300);
    RECT r;
    GetWindowRect(wnd, &r);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 50);
    EXPECT_TRUE(
        test_support::SaveWindowPicture(wnd, test_support::ResultsFolder() + L"pelkan-exe.png"));

    SetWindowPos(wnd, nullptr, 60, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Sleep(100);
    PostMessageW(wnd, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);

    EXPECT_EQ(GetPrivateProfileIntW(L"Form", L"Left", -1, ini.c_str()), 60);
    EXPECT_EQ(GetPrivateProfileIntW(L"Form", L"Top", -1, ini.c_str()), 70);
    EXPECT_EQ(GetPrivateProfileIntW(L"COM", L"PortIndex", 0, ini.c_str()), -1);
    wchar_t text[32] = {};
    GetPrivateProfileStringW(L"Capt", L"captW", L"", text, 32, ini.c_str());
    EXPECT_STREQ(text, L"504");
    GetPrivateProfileStringW(L"Capt", L"Scale", L"", text, 32, ini.c_str());
    EXPECT_STREQ(text, L"1.5");
    GetPrivateProfileStringW(L"Capt", L"pickXOff", L"", text, 32, ini.c_str());
    EXPECT_STREQ(text, L"8");
}

}  // namespace
