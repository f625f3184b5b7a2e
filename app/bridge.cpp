// The bridge: samplings, actions and command lines taking their turns on the monitor.
#include "app/bridge.h"

#include <exception>
#include <optional>

#include "app/desktop.h"
#include "app/display_scale.h"
#include "platform/text.h"

RejectionTitles ReadRejectionTitles(const std::wstring& settingsPath) {
    IniFile ini(settingsPath);
    RejectionTitles titles = kDefaultRejectionTitles;
    if (auto t = ini.ReadString(L"Monitor", L"RejectTitle1"); t && !t->empty()) titles.first = *t;
    if (auto t = ini.ReadString(L"Monitor", L"RejectTitle2"); t && !t->empty()) titles.second = *t;
    return titles;
}

Bridge::Bridge(BridgeView& view, ComPortService& port, std::wstring settingsPath)
    : view_(view),
      settingsPath_(std::move(settingsPath)),
      replies_(port, [this](const std::string& why) {
          ++repliesLost_;
          LineFailed(L"Replies not sent: " + std::to_wstring(repliesLost_) + L" (" +
                     platform::AnsiToWide(why) + L")");
      }) {}

void Bridge::SampleMonitor() {
    // A failure is shown after the sampling has left the gate: the box's message loop must not
    // hold up the commands that arrive while it is open.
    std::optional<std::string> failure;
    TickResult result = TickResult::FrameMissing;
    const bool ran = turns_.RunTick([this, &failure, &result] {
        const uint64_t refused = SystemDesktop().RefusedSends();
        try {
            result = CaptureTick(SystemDesktop(), view_, settings_, capture_);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        // The application started, or started again, since the level was looked at.
        if (capture_.FrameWnd != levelCheckedFrame_) CheckApplicationLevel(capture_.FrameWnd);
        if (SystemDesktop().RefusedSends() != refused) SetApplicationElevated(true);
    });
    if (!ran) return;
    // A tick that failed tells nothing about the session.
    const bool locked = failure ? sessionLocked_ : result == TickResult::SessionLocked;
    if (locked != sessionLocked_) {
        sessionLocked_ = locked;
        ShowNotice();
    }
    // The notice of a dialog left for the person lasts as long as the dialog.
    if (waitingDialog_ != kNoWnd && !SystemDesktop().IsWindowVisible(waitingDialog_)) {
        waitingDialog_ = kNoWnd;
        ShowNotice();
    }
    if (failure)
        tickFailures_.Failed(*failure);
    else
        tickFailures_.Succeeded();
}

void Bridge::RunAction(void (*action)(AutomationContext&)) {
    turns_.RunAction([this, action] {
        if (capture_.ApplicationElevated) return;
        const uint64_t refused = SystemDesktop().RefusedSends();
        const RejectionTitles titles = ReadRejectionTitles(settingsPath_);
        Wnd waiting = kNoWnd;
        const CaptureSettings settings =
            SettingsForGrid(SystemDesktop(), capture_.GridWnd, settings_);
        AutomationContext context{SystemDesktop(),   view_,  settings, capture_,
                                  savedFirstDevice_, titles, &waiting};
        action(context);
        if (SystemDesktop().RefusedSends() != refused) SetApplicationElevated(true);
        if (waiting != kNoWnd) {
            waitingDialog_ = waiting;
            ShowNotice();
        }
    });
}

void Bridge::ToggleDevice() { RunAction(::ToggleDevice); }

void Bridge::ChangeFirstDevice() { RunAction(::ChangeFirstDevice); }

void Bridge::OnCommandLine(const std::string& line) {
    turns_.RunCommand([this, line] {
        CommandContext context{view_,
                               capture_.BitStates,
                               capture_.SampledDeviceName,
                               curWords_,
                               prevWords_,
                               [this](const std::string& reply) { replies_.Send(reply); },
                               [this] { ToggleDevice(); },
                               [this] { ChangeFirstDevice(); }};
        try {
            HandleCommandPacket(context, line);
        } catch (const std::exception& e) {
            LineFailed(L"A command failed: " + platform::AnsiToWide(e.what()));
        }
    });
}

void Bridge::ForgetLineFailures() {
    repliesLost_ = 0;
    lineFailure_.clear();
    ShowNotice();
}

void Bridge::CheckApplicationLevel() { CheckApplicationLevel(FindFrameWindow(SystemDesktop())); }

void Bridge::CheckApplicationLevel(Wnd frame) {
    Desktop& desktop = SystemDesktop();
    levelCheckedFrame_ = frame;
    SetApplicationElevated(frame != kNoWnd &&
                           desktop.RunsAboveThisProgram(desktop.GetWindowProcessId(frame)));
}

void Bridge::SetApplicationElevated(bool elevated) {
    if (capture_.ApplicationElevated == elevated) return;
    capture_.ApplicationElevated = elevated;
    ShowNotice();
}

void Bridge::LineFailed(const std::wstring& what) {
    lineFailure_ = what;
    ShowNotice();
}

void Bridge::ShowNotice() {
    // Until this program runs as administrator it can act on nothing of the application's, a
    // dialog left waiting included: that is what the person must know first.
    std::wstring notice;
    const auto add = [&notice](const std::wstring& part) {
        notice += (notice.empty() ? L"" : L"; ") + part;
    };
    if (sessionLocked_) add(L"Screen locked: nothing is read or sent");
    if (capture_.ApplicationElevated)
        add(L"Run Pelkan as administrator to act on the monitor");
    else if (waitingDialog_ != kNoWnd)
        add(L"A dialog of the application waits: " +
            SystemDesktop().GetWindowTitle(waitingDialog_, 255));
    if (!lineFailure_.empty()) add(lineFailure_);
    if (notice == shownNotice_) return;
    shownNotice_ = notice;
    view_.ShowNotice(notice);
}
