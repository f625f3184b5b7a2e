// The bridge between the serial line and the monitor: it owns what the timer's samplings keep
// (the monitor's windows, the capture frame, the sampled states), the words of the READ replies
// and the first device to go back to, and it runs the sampling, the two monitor actions and the
// command lines, one at a time. The main window shows its results through BridgeView.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "app/command_protocol.h"
#include "app/grid_capture.h"
#include "app/monitor_automation.h"
#include "app/monitor_work.h"
#include "app/repeated_failure.h"
#include "app/reply_output.h"
#include "app/settings.h"
#include "platform/exception_display.h"

class ComPortService;

// The rejection box titles from the settings file ("Monitor"/"RejectTitle1" and "RejectTitle2"),
// with the defaults where a key is missing or empty.
RejectionTitles ReadRejectionTitles(const std::wstring& settingsPath);
inline const RejectionTitles kDefaultRejectionTitles{L"Korvex Works", L"Korvex Works Monitor"};

class Bridge {
  public:
    // view and port not owned; they outlive the bridge. The rejection titles are read from the
    // settings file at each action, so that a file edited while the program runs takes effect.
    Bridge(BridgeView& view, ComPortService& port, std::wstring settingsPath);
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // The capture geometry the samplings and the actions use.
    const CaptureSettings& Settings() const { return settings_; }
    void SetSettings(const CaptureSettings& settings) { settings_ = settings; }

    // One sampling of the monitor, unless a sampling or an action is running; a failure is shown
    // once for as long as it repeats.
    void SampleMonitor();
    // "反転" and "先頭変更": they run after the sampling or action that is running, with the
    // timer paused while they drive the monitor.
    void ToggleDevice();
    void ChangeFirstDevice();
    // One command line from the serial line, answered after the work that is running and the
    // lines that came before it. A reply that cannot be sent, or a command that fails, is told
    // in the window's notice, never in a box: the command runs inside the packet's event, which
    // the dispatcher thread waits on, and no further command would arrive while a box stayed open.
    void OnCommandLine(const std::string& line);
    // A new run of the line ("START"): the replies lost in the last one are no longer news.
    void ForgetLineFailures();
    // "START": whether the application runs above this program (as administrator, this program
    // not) is looked at afresh, from the two programs' integrity levels. It is looked at again
    // whenever a sampling finds another frame window, and a send into the monitor that the system
    // refuses with access denied is the same sign. While it holds, the window says so and the
    // actions send the monitor nothing (the system would drop their keys and clicks, and the
    // cursor moves would only disturb the person); commands are answered as always.
    void CheckApplicationLevel();

    // The latest sampling's windows, frame and states (read by the step buttons, tests and the
    // benchmark).
    GridCapture& Capture() { return capture_; }
    const GridCapture& Capture() const { return capture_; }
    // The requested first device before the latest step up: what "先頭変更" types when the
    // monitor rejects the requested one.
    std::wstring& SavedFirstDevice() { return savedFirstDevice_; }

  private:
    void RunAction(void (*action)(AutomationContext&));
    // The frame's program against this program's level; the frame is then the one checked.
    void CheckApplicationLevel(Wnd frame);
    void SetApplicationElevated(bool elevated);
    // The window's notice: a locked session, for as long as it lasts; that this program must run
    // as administrator, or else a dialog of the application "先頭変更" left alone, for as long as
    // it is there; and what went wrong on the line. The window is told only when the notice
    // changes.
    void ShowNotice();
    void LineFailed(const std::wstring& what);

    BridgeView& view_;      // not owned
    std::wstring settingsPath_;
    CaptureSettings settings_;
    GridCapture capture_;
    // The words of the latest READ and of the one before; a READ reply carries both.
    std::array<uint16_t, kWordCount> curWords_{};
    std::array<uint16_t, kWordCount> prevWords_{};
    std::wstring savedFirstDevice_;
    RepeatedFailureDisplay tickFailures_{platform::ShowExceptionMessage};
    MonitorWork turns_;
    ReplyOutput replies_;
    Wnd waitingDialog_ = kNoWnd;  // a dialog of the application left for the person
    bool sessionLocked_ = false;  // the latest tick found the session locked or switched away
    Wnd levelCheckedFrame_ = kNoWnd;  // the frame window whose program's level was looked at
    std::wstring shownNotice_;        // what the window's notice says
    int repliesLost_ = 0;         // replies dropped since the last ForgetLineFailures
    std::wstring lineFailure_;    // the latest thing that went wrong on the line
};
