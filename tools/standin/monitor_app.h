// The stand-in's windows and behaviour: the "KorvexFrameWnd" frame, the device monitor inside it
// with its first-device field and grid, the rejection message box, the value-change dialog, a
// window that can cover the grid, and the record of what a user (or Pelkan) did to it.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "tools/standin/control_channel.h"
#include "tools/standin/device_memory.h"
#include "tools/standin/grid_view.h"

namespace standin {

inline constexpr wchar_t kFrameClass[] = L"KorvexFrameWnd";
inline constexpr wchar_t kMonitorTitle[] = L"デバイス/バッファメモリ一括モニタ";
inline constexpr wchar_t kValueDialogTitle[] = L"現在値変更";

struct StartOptions {
    int x = 40, y = 40;
    int width = 0, height = 0;  // 0: just large enough for the monitor
    bool fx = false;
    std::wstring first = L"X000";
    std::vector<std::wstring> on;  // devices that start ON, written in the starting mode
    std::wstring rejectTitle = L"Korvex Works";
    std::wstring titleSuffix = L"-1";
    bool stay = false;  // keep running when the control channel's input ends
    double scale = 1.0;  // the grid drawn stretched by this, as on a scaled monitor
};

class MonitorApp : public GridOwner {
  public:
    explicit MonitorApp(StartOptions options);
    ~MonitorApp() override;

    // Applies the options and creates and shows the windows; false with a reason on failure.
    bool Create(HINSTANCE instance, std::wstring* error);
    // Starts the control channel and writes "ready" once the windows are on screen.
    void StartControl();

    // One control line, answered with one line ("ok ..." or "error ..."). UI thread.
    std::string Execute(const std::string& line);

    // GridOwner
    const DeviceMemory& Memory() const override { return memory_; }
    Device FirstDevice() const override { return first_; }
    bool FxMode() const override { return fx_; }
    void OnGridClick(std::optional<int> offset) override;
    void OnGridToggle(int offset) override;
    void OnGridEnter() override;

  private:
    static LRESULT CALLBACK FrameProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK MonitorProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK FieldProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM);
    static INT_PTR CALLBACK ValueDialogProc(HWND, UINT, WPARAM, LPARAM);
    static INT_PTR ValueDialogMessage(HWND, UINT, WPARAM, LPARAM);
    // Both window procedures: the object bound at WM_NCCREATE handles the message; exceptions go
    // to the exception display.
    using MessageHandler = LRESULT (MonitorApp::*)(HWND, UINT, WPARAM, LPARAM);
    static LRESULT BoundProc(MessageHandler handler, HWND, UINT, WPARAM, LPARAM);
    LRESULT OnFrameMessage(HWND, UINT, WPARAM, LPARAM);
    LRESULT OnControlMessage(HWND, UINT, WPARAM, LPARAM);

    void OnFieldEnter();
    void SetFirst(Device first);
    void SetFx(bool fx);
    void ShowFirstInField();
    void Cover(bool topmost);
    void Uncover();
    void Record(const std::string& event);
    std::string FocusName() const;
    std::string StateLine() const;

    StartOptions options_;
    DeviceMemory memory_;
    Device first_;
    bool fx_ = false;
    bool dialogOnNextToggle_ = false;
    std::wstring rejectTitle_;
    int rejectBoxesOpen_ = 0;    // rejection boxes on screen now
    DWORD hangAfterAnswer_ = 0;  // ms the UI thread stops taking messages once "hang" is answered
    std::vector<std::string> events_;  // drained by the "events" command

    // Windows, all created and destroyed on the UI thread. The frame owns the monitor and its
    // children; the control window and the cover are top-level windows of their own.
    HWND frame_ = nullptr;
    HWND monitor_ = nullptr;
    HWND field_ = nullptr;
    HWND savedFocus_ = nullptr;  // the frame's focused control while another window is active
    WNDPROC fieldDefault_ = nullptr;
    GridView grid_;
    HWND control_ = nullptr;
    HWND cover_ = nullptr;
    platform::UniqueGdiObject fieldFont_;  // the destructor destroys the field before its font
    std::unique_ptr<ControlChannel> channel_;
};

}  // namespace standin
