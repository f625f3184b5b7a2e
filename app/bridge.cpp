// The bridge: samplings, actions and command lines taking their turns on the monitor.
#include "app/bridge.h"

#include <exception>
#include <optional>

#include "app/desktop.h"

RejectionTitles ReadRejectionTitles(const std::wstring& settingsPath) {
    IniFile ini(settingsPath);
    RejectionTitles titles = kDefaultRejectionTitles;
    if (auto t = ini.ReadString(L"Monitor", L"RejectTitle1"); t && !t->empty()) titles.first = *t;
    if (auto t = ini.ReadString(L"Monitor", L"RejectTitle2"); t && !t->empty()) titles.second = *t;
    return titles;
}

Bridge::Bridge(BridgeView& view, ComPortService& port, std::wstring settingsPath)
    : view_(view), port_(port), settingsPath_(std::move(settingsPath)) {}

void Bridge::SampleMonitor() {
    // A failure is shown after the sampling has left the gate: the box's message loop must not
    // hold up the commands that arrive while it is open.
    std::optional<std::string> failure;
    const bool ran = turns_.RunTick([this, &failure] {
        try {
            CaptureTick(SystemDesktop(), view_, settings_, capture_);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!ran) return;
    if (failure)
        tickFailures_.Failed(*failure);
    else
        tickFailures_.Succeeded();
}

void Bridge::RunAction(void (*action)(AutomationContext&)) {
    turns_.RunAction([this, action] {
        const RejectionTitles titles = ReadRejectionTitles(settingsPath_);
        AutomationContext context{SystemDesktop(),   view_, settings_, capture_,
                                  savedFirstDevice_, titles};
        action(context);
    });
}

void Bridge::ToggleDevice() { RunAction(::ToggleDevice); }

void Bridge::ChangeFirstDevice() { RunAction(::ChangeFirstDevice); }

void Bridge::OnCommandLine(const std::string& line) {
    turns_.RunCommand([this, line] {
        CommandContext context{view_,
                               capture_.BitStates,
                               curWords_,
                               prevWords_,
                               port_,
                               [this] { ToggleDevice(); },
                               [this] { ChangeFirstDevice(); }};
        HandleCommandPacket(context, line);
    });
}
