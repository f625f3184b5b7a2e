// "先頭変更" and "反転" on the fake desktop: the exact order of texts, keys, clicks, cursor moves
// and waits, the rejection recovery, the value-change dialog and the timer pause.
#include "app/monitor_automation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "tests/app_capture/monitor_scene.h"

using Kind = DesktopEvent::Kind;

// Readable failure output for event sequences.
void PrintTo(const DesktopEvent& e, std::ostream* os) {
    static const char* names[] = {"Key",   "Click",   "Move",     "Sleep",           "Foreground",
                                  "Focus", "SetText", "NoAnswer", "ForegroundRequest"};
    *os << names[static_cast<int>(e.kind)] << "(wnd " << e.wnd << ", value " << e.value
        << ", flags " << e.flags << ", at " << e.point.x << "," << e.point.y << ", text size "
        << e.text.size() << ")";
}

namespace {

using Field = BridgeView::Field;

DesktopEvent Fg(Wnd w) { return DesktopEvent::Foreground(w); }
DesktopEvent Focus(Wnd w) { return DesktopEvent::Focus(w); }
DesktopEvent Down(Wnd focus, uint8_t key) { return DesktopEvent::Key(focus, key); }
DesktopEvent Up(Wnd focus, uint8_t key) { return DesktopEvent::Key(focus, key, kKeyEventKeyUp); }
DesktopEvent Move(DesktopPoint p) { return DesktopEvent::CursorMove(p); }
DesktopEvent Sleep(uint32_t ms) { return DesktopEvent::Sleep(ms); }
DesktopEvent SetText(Wnd w, const std::wstring& t) { return DesktopEvent::SetText(w, t); }
std::vector<DesktopEvent> Click(DesktopPoint p) { return {DesktopEvent::Click(p)}; }
std::vector<DesktopEvent> Join(std::initializer_list<std::vector<DesktopEvent>> parts) {
    std::vector<DesktopEvent> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

constexpr DesktopPoint kSaved{5, 5};

struct AutomationFixture : ::testing::Test {
    FakeDesktop desktop;
    MonitorScene scene{desktop};
    FakeView view;
    CaptureSettings settings;
    GridCapture store;
    GridCapture& state = store;
    std::wstring SavedFirstDevice;
    RejectionTitles titles{L"Korvex Works", L"Korvex"};
    AutomationContext context{desktop, view, settings, state, SavedFirstDevice, titles};

    // One tick leaves the handles and the frame, as in the program; then the cursor rests at
    // kSaved, the grid has the focus (as after an earlier click) and the record starts empty.
    void Prepare(bool fx) {
        scene.fx = fx;
        view.fx = fx;
        scene.Paint();
        ASSERT_EQ(CaptureTick(desktop, view, settings, state), TickResult::Sampled);
        desktop.SetCursorPos(kSaved);
        desktop.FocusWindow(scene.grid);
        desktop.events.clear();
        view.timerChanges.clear();
    }
};

// A fresh desktop for each case of a table.
struct CaseRig : AutomationFixture {
    void TestBody() override {}
};

TEST_F(AutomationFixture, ChangeFirstDeviceTypesPressesEnterInTheFieldAndClicksTheFirstCell) {
    Prepare(false);
    view.texts[Field::RequestedFirst] = L" X100\t";
    ChangeFirstDevice(context);
    const DesktopPoint cell = scene.CellPoint(0, 0);
    EXPECT_EQ(cell, (DesktopPoint{351, 189}));
    EXPECT_EQ(desktop.events,
              Join({{SetText(scene.field, L"X100"), Fg(scene.frame), Focus(scene.field),
                     Down(scene.field, vk::Return), Up(scene.field, vk::Return)},
                    Click(cell),
                    Click(scene.CellPoint(0, -1)),  // the row's value cell takes the selection
                    {Move(kSaved), Sleep(200)}}));
    EXPECT_EQ(scene.acceptedNames, std::vector<std::wstring>{L"X100"});
    EXPECT_EQ(view.timerChanges, (std::vector<bool>{false, true}));
    EXPECT_EQ(desktop.Cursor(), kSaved);
}

// The click that ends a first-device change selects the first cell, which the monitor then draws
// in neither pure colour: that device would read 0 whatever its state, and a toggle would refuse
// it, until something else took the selection.
TEST_F(AutomationFixture, AfterAFirstDeviceChangeTheFirstCellReadsItsStateAndToggles) {
    for (bool fx : {false, true}) {
        CaseRig f;
        f.Prepare(fx);
        const size_t first = fx ? 7 : 15;  // the leftmost cell of the first row
        f.scene.states[first] = 1;
        f.scene.Paint();
        f.view.texts[Field::RequestedFirst] = L"X100";

        ChangeFirstDevice(f.context);
        ASSERT_EQ(f.scene.acceptedNames, std::vector<std::wstring>{L"X100"}) << fx;
        EXPECT_EQ(f.scene.selected, std::nullopt) << fx;
        // The tick that sees the new first device starts its states from OFF; the next reads.
        ASSERT_EQ(CaptureTick(f.desktop, f.view, f.settings, f.state), TickResult::Sampled);
        ASSERT_EQ(CaptureTick(f.desktop, f.view, f.settings, f.state), TickResult::Sampled);
        EXPECT_EQ(f.state.BitStates[first], 1) << fx;

        f.view.texts[Field::ToggleTarget] = fx ? L"X107" : L"X10F";
        ToggleDevice(f.context);
        EXPECT_EQ(f.scene.states[first], 0) << fx;
    }
}

TEST_F(AutomationFixture, RejectedFirstDeviceIsClosedAndReplacedBySavedOrLetterWithZeros) {
    struct Case {
        std::wstring saved;
        std::wstring edit5;
        std::wstring retyped;
    };
    const Case cases[] = {{L"X080", L"X777", L"X080"}, {L"", L"Y777", L"Y000"}};
    for (const Case& c : cases) {
        FakeDesktop d;
        MonitorScene s(d);
        s.accepts = [](const std::wstring& name) {
            return name.find(L"777") == std::wstring::npos;
        };
        FakeView v;
        GridCapture st;
        GridCapture& refs = st;
        ASSERT_EQ(CaptureTick(d, v, settings, refs), TickResult::Sampled);
        d.SetCursorPos(kSaved);
        d.events.clear();
        std::wstring saved = c.saved;
        v.texts[Field::RequestedFirst] = c.edit5;
        v.timerEnabled = false;
        AutomationContext ctx{d, v, settings, refs, saved, titles};

        ChangeFirstDevice(ctx);

        const DesktopPoint cell = s.CellPoint(0, 0);
        // The box had the focus when it closed: the release goes to no window.
        const Wnd box = 0;
        auto type = [&](const std::wstring& name) {
            return std::vector<DesktopEvent>{SetText(s.field, name), Fg(s.frame), Focus(s.field),
                                             Down(s.field, vk::Return), Up(s.field, vk::Return)};
        };
        auto click = [&] { return Join({Click(cell), Click(s.CellPoint(0, -1)), {Move(kSaved)}}); };
        ASSERT_GE(d.events.size(), 12u);
        const Wnd shownBox = d.events[10].wnd;  // the rejection box brought forward
        EXPECT_EQ(d.events,
                  Join({type(c.edit5),
                        click(),
                        {Sleep(200)},
                        {Fg(shownBox), Down(shownBox, vk::Return), Up(box, vk::Return), Sleep(200)},
                        type(c.retyped),
                        {Sleep(200)},
                        click(),
                        {Sleep(200)}}))
            << "saved " << c.saved.size();
        EXPECT_EQ(v.FieldText(Field::RequestedFirst), c.retyped);
        EXPECT_EQ(saved, c.retyped);
        EXPECT_EQ(s.acceptedNames, std::vector<std::wstring>{c.retyped});
        EXPECT_TRUE(v.timerChanges.empty());  // the timer was off and stays off
        EXPECT_FALSE(v.timerEnabled);
    }
}

TEST_F(AutomationFixture, RejectionBoxIsFoundByEitherTitleButOnlyAsAVisibleDialog) {
    struct Case {
        std::wstring title;
        std::wstring className;
        bool visible;
        bool closed;
    };
    const Case cases[] = {
        {L"Korvex Works", L"#32770", true, true},   {L"Korvex", L"#32770", true, true},
        {L"Korvex Works", L"Notepad", true, false}, {L"Korvex Works", L"#32770", false, false},
        {L"Other", L"#32770", true, false},
    };
    for (const Case& c : cases) {
        CaseRig f;
        f.scene.rejectionTitle = c.title;
        f.scene.rejectionClass = c.className;
        f.scene.rejectionVisible = c.visible;
        f.Prepare(false);
        f.view.texts[Field::RequestedFirst] = L"Q100";  // the monitor takes X and Y only

        ChangeFirstDevice(f.context);

        const bool pressed = !f.scene.answeredDialogs.empty();
        EXPECT_EQ(pressed, c.closed) << c.className.size() << " " << c.title.size();
        EXPECT_EQ(f.SavedFirstDevice.empty(), !c.closed);
    }
}

// A value-change dialog that opened after the Enter is closed with Escape when it takes input; one
// the person had open before is theirs and gets no key.
TEST_F(AutomationFixture, ValueChangeDialogIsClosedWithEscapeOnlyWhenNewAndEnabled) {
    struct Case {
        const char* name;
        bool openBefore;
        bool enabled;
        bool closed;
    };
    const Case cases[] = {
        {"opened after the Enter", false, true, true},
        {"opened after the Enter, disabled", false, false, false},
        {"open before", true, true, false},
        {"open before, disabled", true, false, false},
    };
    for (const Case& c : cases) {
        CaseRig f;
        f.Prepare(false);
        Wnd dialog = kNoWnd;
        if (c.openBefore) dialog = f.scene.ShowValueDialog();
        auto react = f.desktop.onEvent;
        f.desktop.onEvent = [&, react](const DesktopEvent& e) {
            react(e);
            if (dialog == kNoWnd && e.kind == Kind::Key && e.wnd == f.scene.field) {
                dialog = f.scene.ShowValueDialog();
                f.desktop.Get(dialog).enabled = c.enabled;
            }
        };
        if (c.openBefore) f.desktop.Get(dialog).enabled = c.enabled;
        f.desktop.events.clear();
        f.view.texts[Field::RequestedFirst] = L"X100";

        ChangeFirstDevice(f.context);

        ASSERT_NE(dialog, kNoWnd) << c.name;
        EXPECT_EQ(f.desktop.IsWindow(dialog), !c.closed) << c.name;
        if (c.closed) {
            const std::vector<DesktopEvent> tail(f.desktop.events.end() - 4,
                                                 f.desktop.events.end());
            EXPECT_EQ(tail, (std::vector<DesktopEvent>{Fg(dialog), Down(dialog, vk::Escape),
                                                       Up(kNoWnd, vk::Escape), Sleep(200)}))
                << c.name;
        } else {
            EXPECT_EQ(f.desktop.events.back(), Sleep(200)) << c.name;
            EXPECT_EQ(f.desktop.events.size(), 9u) << c.name;
        }
    }
}

TEST_F(AutomationFixture, ChangeFirstDeviceWithTheFieldHiddenOnlyPausesTheTimer) {
    Prepare(false);
    desktop.Get(scene.monitor).visible = false;
    view.texts[Field::RequestedFirst] = L"X100";
    ChangeFirstDevice(context);
    EXPECT_TRUE(desktop.events.empty());
    EXPECT_EQ(view.timerChanges, (std::vector<bool>{false, true}));
}

TEST_F(AutomationFixture, ToggleClicksTheTargetCellAndPressesShiftEnterWithoutForeground) {
    struct Case {
        const char* name;
        bool fx;
        std::wstring edit1, edit4;
        int8_t targetState;  // the BitStates entry of the target, when there is one
        int row, bit;
        DesktopPoint offset;  // from (CaptX, CaptY); {0, 0} for no target
    };
    const std::wstring zeros(25997, L'0');  // with the last 3 digits, 26,000 of them
    const Case cases[] = {
        {"fx row 1 bit 2", true, L"X000", L"X012", 0, 1, 2, {165, 73}},
        {"hex row 0 bit 15", false, L"X000", L"X00F", 1, 0, 15, {8, 39}},
        {"fx empty target is X000", true, L"X000", L"", 0, 0, 0, {228, 39}},
        {"hex empty target", false, L"X000", L"", 0, 0, 0, {0, 0}},
        {"fx 8 is no octal digit", true, L"X000", L"X08", 0, 1, 0, {0, 0}},
        {"undecided target", false, L"X000", L"X011", -1, 1, 1, {0, 0}},
        {"target before the first device", false, L"X010", L"X00F", 0, 0, 0, {0, 0}},
        {"target past the sampled devices", false, L"X000", L"X0A0", 0, 0, 0, {0, 0}},
        {"fx target past the sampled devices", true, L"X000", L"X120", 0, 0, 0, {0, 0}},
        {"hex offset from the first device", false, L"Y1F0", L"Y213", 0, 2, 3, {386, 107}},
        // Devices past what a monitor shows name no cell, even where the arithmetic would wrap
        // or an overlong name would read as a sampled device.
        {"first device past the last one", false, L"X7FFFFFFF", L"X7FFFFFFF", 0, 0, 0, {0, 0}},
        {"fx first device past it", true, L"X17777777777", L"X17777777777", 0, 0, 0, {0, 0}},
        {"overlong target name", false, L"X000", L"X" + zeros + L"00F", 1, 0, 15, {0, 0}},
        {"fx overlong target name", true, L"X000", L"X" + zeros + L"012", 0, 1, 2, {0, 0}},
    };
    for (const Case& c : cases) {
        FakeDesktop d;
        MonitorScene s(d);
        s.fx = c.fx;
        s.Paint();
        FakeView v;
        v.fx = c.fx;
        GridCapture st;
        GridCapture& refs = st;
        ASSERT_EQ(CaptureTick(d, v, settings, refs), TickResult::Sampled) << c.name;
        // The target's state, as the monitor shows it and as the tick sampled it.
        s.states[static_cast<size_t>(c.row * 16 + c.bit)] = c.targetState;
        s.Paint();
        st.BitStates[static_cast<size_t>(c.row * 16 + c.bit)] = c.targetState;
        d.Get(s.field).text = c.edit1;  // the monitor shows it when the toggle runs
        v.texts[Field::ToggleTarget] = c.edit4;
        d.SetCursorPos(kSaved);
        d.events.clear();
        v.timerChanges.clear();
        std::wstring saved;
        AutomationContext ctx{d, v, settings, refs, saved, titles};

        ToggleDevice(ctx);

        // After the toggle the selection goes to the row's value cell, one cell column left of
        // the first bit column, at the row's sampling height.
        std::vector<DesktopEvent> expected;
        if (c.offset.x != 0) {
            const DesktopPoint p{st.CaptX + c.offset.x, st.CaptY + c.offset.y};
            const DesktopPoint valueCell{st.CaptX - 23, p.y};
            expected =
                Join({Click(p),
                      {Sleep(100), Down(s.grid, vk::Shift), Down(s.grid, vk::Return),
                       Up(s.grid, vk::Return), Up(s.grid, vk::Shift), Sleep(200)},
                      Click(valueCell),
                      {Move(kSaved)}});
        }
        EXPECT_EQ(d.events, expected) << c.name;
        EXPECT_EQ(v.timerChanges, (std::vector<bool>{false, true})) << c.name;
    }
}

TEST_F(AutomationFixture, ToggleOnACoveredCellSendsNothing) {
    Prepare(true);
    view.texts[Field::FirstDevice] = L"X000";
    view.texts[Field::ToggleTarget] = L"X000";
    const DesktopPoint p{store.CaptX + 228, store.CaptY + 39};
    desktop.AddWindow(kNoWnd, L"Notepad", L"cover", {p.x - 5, p.y - 5, p.x + 5, p.y + 5});
    ToggleDevice(context);
    EXPECT_EQ(desktop.events, std::vector<DesktopEvent>{});
    EXPECT_EQ(scene.toggles, 0);
}

TEST_F(AutomationFixture, ToggleThatOpensTheValueDialogClosesItWithEscape) {
    Prepare(false);
    scene.openValueDialogOnToggle = true;
    view.texts[Field::FirstDevice] = L"X000";
    view.texts[Field::ToggleTarget] = L"X000";
    ToggleDevice(context);
    EXPECT_EQ(scene.toggles, 1);
    ASSERT_GE(desktop.events.size(), 7u);
    const Wnd dialog = desktop.events[desktop.events.size() - 6].wnd;
    const std::vector<DesktopEvent> tail(desktop.events.end() - 7, desktop.events.end() - 2);
    EXPECT_EQ(tail, (std::vector<DesktopEvent>{Sleep(200), Fg(dialog), Down(dialog, vk::Escape),
                                               Up(kNoWnd, vk::Escape), Sleep(200)}));
    EXPECT_EQ(desktop.events.back(), Move(kSaved));
    EXPECT_FALSE(desktop.IsWindow(dialog));
}

TEST_F(AutomationFixture, AfterAToggleTheNextFirstDeviceEnterStillReachesTheField) {
    Prepare(false);
    view.texts[Field::FirstDevice] = L"X000";
    view.texts[Field::ToggleTarget] = L"X003";
    ToggleDevice(context);
    ASSERT_EQ(desktop.Focus(), scene.grid);  // the click focused the grid
    view.texts[Field::RequestedFirst] = L"X020";
    desktop.events.clear();
    ChangeFirstDevice(context);
    EXPECT_EQ(scene.acceptedNames, std::vector<std::wstring>{L"X020"});
    EXPECT_EQ(scene.toggles, 1);  // the Enter did not go to the grid
}

// Every dialog box still open on the desktop.
std::vector<Wnd> OpenDialogs(FakeDesktop& d) {
    std::vector<Wnd> out;
    for (Wnd w : d.TopLevelWindows())
        if (d.Get(w).className == L"#32770") out.push_back(w);
    return out;
}

bool AnyEvent(const FakeDesktop& d, Kind kind) {
    for (const auto& e : d.events)
        if (e.kind == kind) return true;
    return false;
}

TEST_F(AutomationFixture, ActionsOnAMonitorThatDoesNotAnswerGiveUpAtTheFirstCall) {
    using Answer = FakeDesktop::Window::Answer;
    struct Case {
        const char* name;
        void (*action)(AutomationContext&);
        bool toggle;
    };
    const Case cases[] = {{"first device", ChangeFirstDevice, false},
                          {"toggle", ToggleDevice, true}};
    for (const Case& c : cases) {
        for (Answer answer : {Answer::Silent, Answer::ReportedHung}) {
            CaseRig f;
            f.Prepare(false);
            f.scene.Answer(answer);
            f.view.texts[Field::FirstDevice] = L"X000";
            f.view.texts[Field::ToggleTarget] = L"X003";
            f.view.texts[Field::RequestedFirst] = L"X100";

            c.action(f.context);

            const uint32_t waited = answer == Answer::Silent ? kMonitorCallTimeoutMs : 0;
            const Wnd asked = c.toggle ? f.scene.grid : f.scene.field;
            EXPECT_EQ(f.desktop.events,
                      (std::vector<DesktopEvent>{DesktopEvent::NoAnswer(asked, waited)}))
                << c.name;
            EXPECT_EQ(f.view.timerChanges, (std::vector<bool>{false, true})) << c.name;
            EXPECT_EQ(f.desktop.Get(f.scene.field).text, L"X000") << c.name;
        }
    }
}

TEST_F(AutomationFixture, NoKeyLandsInAnotherProgramThatKeepsTheForeground) {
    struct Case {
        const char* name;
        std::function<void(AutomationFixture&)> act;
    };
    const Case cases[] = {
        {"first device",
         [](AutomationFixture& f) {
             f.view.texts[Field::RequestedFirst] = L"X100";
             ChangeFirstDevice(f.context);
         }},
        {"value-change dialog left open before a first-device change",
         [](AutomationFixture& f) {
             f.scene.ShowValueDialog();
             f.view.texts[Field::RequestedFirst] = L"X100";
             ChangeFirstDevice(f.context);
         }},
    };
    for (const Case& c : cases) {
        CaseRig f;
        f.Prepare(false);
        const Wnd notes = f.scene.AnotherProgramInFront();
        f.desktop.refuseForeground = true;
        f.desktop.events.clear();

        c.act(f);

        EXPECT_FALSE(AnyEvent(f.desktop, Kind::Key)) << c.name;
        EXPECT_EQ(f.desktop.Focus(), notes) << c.name;
        // Nothing changed on the monitor: the field shows what it showed.
        EXPECT_EQ(f.desktop.Get(f.scene.field).text, L"X000") << c.name;
        EXPECT_TRUE(f.scene.acceptedNames.empty()) << c.name;
        EXPECT_EQ(f.view.timerChanges, (std::vector<bool>{false, true})) << c.name;
    }
}

TEST_F(AutomationFixture, AValueDialogThatCannotBeBroughtForwardGetsNoEscapeInTheGrid) {
    Prepare(false);
    scene.openValueDialogOnToggle = true;
    view.texts[Field::FirstDevice] = L"X000";
    view.texts[Field::ToggleTarget] = L"X000";
    desktop.refuseForeground = true;
    ToggleDevice(context);
    EXPECT_EQ(scene.toggles, 1);  // the click brought the monitor forward as a user's would
    for (const auto& e : desktop.events) EXPECT_NE(e.value, vk::Escape) << "key to " << e.wnd;
}

TEST_F(AutomationFixture, ARejectedRecoveryNameEndsOnTheDeviceShownBeforeWithNoBoxOpen) {
    struct Case {
        std::wstring saved, edit5;  // the recovery name is saved, or edit5's letter with 000
        std::wstring recovery;
    };
    const Case cases[] = {{L"", L"ZZZ", L"Z000"}, {L"Q100", L"Q777", L"Q100"}};
    for (const Case& c : cases) {
        CaseRig f;
        f.desktop.Get(f.scene.field).text = L"X040";
        f.Prepare(false);
        f.SavedFirstDevice = c.saved;
        f.view.texts[Field::RequestedFirst] = c.edit5;

        ChangeFirstDevice(f.context);

        EXPECT_TRUE(OpenDialogs(f.desktop).empty()) << c.recovery.size();
        EXPECT_EQ(f.scene.acceptedNames, std::vector<std::wstring>{L"X040"});
        EXPECT_EQ(f.desktop.Get(f.scene.field).text, L"X040");
        EXPECT_EQ(f.view.FieldText(Field::RequestedFirst), L"X040");
        // The rejected recovery name is not kept for the next rejection.
        EXPECT_EQ(f.SavedFirstDevice, L"X040");
        std::vector<std::wstring> typed;
        for (const auto& e : f.desktop.events)
            if (e.kind == Kind::SetText) typed.push_back(e.text);
        EXPECT_EQ(typed, (std::vector<std::wstring>{c.edit5, c.recovery, L"X040"}));
        EXPECT_EQ(f.desktop.Cursor(), kSaved);
    }
}

// "先頭変更" answers a box only when the Enter it pressed caused it: the box was not open before
// the Enter, it belongs to the monitor's program, the field still shows the name as typed (a
// monitor that takes a name shows it in its own form), and either its title is a configured one
// (or that of the box that rejected this action's first name) or the name was none the monitor
// could take. Any other new dialog of the application is left alone and reported as waiting; a
// dialog open before the Enter gets no key whatever its title.
TEST_F(AutomationFixture, OnlyABoxTheEnterCausedIsAnswered) {
    enum class Earlier { None, Titled, Untitled };
    struct Case {
        const char* name;
        Earlier earlier;             // a dialog of the application open before the Enter
        std::wstring rejectionTitle;  // the title of the box the monitor rejects a name with
        uint32_t rejectionProcess;
        std::wstring questionOnAccept;  // a dialog that opens as a name is taken
        bool reformats;                 // the field shows a taken name in its own form
        std::wstring typed;
        std::vector<std::wstring> answered;  // the dialogs given Enter, in order
        std::wstring requestedAfter;
        bool newDialogWaits;  // a new dialog of the application is left open and reported
    };
    const uint32_t app = MonitorScene::kProcess;
    const Case cases[] = {
        {"titled box caused by the Enter", Earlier::None, L"Korvex Works", app, L"", false,
         L"X777", {L"Korvex Works"}, L"X000", false},
        {"second title caused by the Enter", Earlier::None, L"Korvex", app, L"", false, L"X777",
         {L"Korvex"}, L"X000", false},
        {"titled box open before, the name taken", Earlier::Titled, L"Korvex Works", app, L"",
         false, L"X010", {}, L"X010", false},
        {"titled box open before, the name rejected", Earlier::Titled, L"Korvex Works", app, L"",
         false, L"X777", {L"Korvex Works"}, L"X000", false},
        {"untitled box for a name that is no device", Earlier::None, L"入力エラー", app, L"",
         false, L"ZZZ", {L"入力エラー", L"入力エラー"}, L"X000", false},
        {"untitled box for a name that could be a device", Earlier::None, L"入力エラー", app,
         L"", false, L"X777", {}, L"X777", true},
        {"untitled question as the name is taken", Earlier::None, L"入力エラー", app, L"保存?",
         false, L"X010", {}, L"X010", true},
        {"titled question as a reformatted name is taken", Earlier::None, L"入力エラー", app,
         L"Korvex Works", true, L"X10", {}, L"X10", true},
        {"titled box of another program", Earlier::None, L"Korvex Works", app + 1, L"", false,
         L"X777", {}, L"X777", false},
        {"untitled dialog open before, the name taken", Earlier::Untitled, L"入力エラー", app,
         L"", false, L"X010", {}, L"X010", false},
    };
    for (const Case& c : cases) {
        CaseRig f;
        f.scene.rejectionTitle = c.rejectionTitle;
        f.scene.rejectionProcess = c.rejectionProcess;
        f.scene.dialogOnAccept = c.questionOnAccept;
        // X names only, X777 excepted; the fallback X000 is taken.
        f.scene.accepts = [](const std::wstring& name) {
            return name.size() >= 2 && name[0] == L'X' && name != L"X777";
        };
        if (c.reformats) f.scene.shownAs = [](const std::wstring&) { return L"X010"; };
        Wnd earlier = kNoWnd;
        if (c.earlier == Earlier::Titled) earlier = f.scene.ShowDialog(L"Korvex Works");
        if (c.earlier == Earlier::Untitled) earlier = f.scene.ShowDialog(L"ご注意");
        f.Prepare(false);
        Wnd waiting = kNoWnd;
        f.context.WaitingDialog = &waiting;
        f.view.texts[Field::RequestedFirst] = c.typed;

        ChangeFirstDevice(f.context);

        EXPECT_EQ(f.scene.answeredDialogs, c.answered) << c.name;
        EXPECT_EQ(f.view.FieldText(Field::RequestedFirst), c.requestedAfter) << c.name;
        if (earlier != kNoWnd) {
            EXPECT_TRUE(f.desktop.IsWindow(earlier)) << c.name;
            for (const auto& e : f.desktop.events)
                EXPECT_NE(e.wnd, earlier) << c.name << ": something sent to the earlier dialog";
        }
        if (c.newDialogWaits) {
            EXPECT_NE(waiting, kNoWnd) << c.name;
            EXPECT_TRUE(waiting != kNoWnd && f.desktop.IsWindow(waiting)) << c.name;
            EXPECT_NE(waiting, earlier) << c.name;
        } else {
            EXPECT_EQ(waiting, kNoWnd) << c.name;
        }
        // What was left alone was typed over by nothing: the saved first device is untouched
        // unless a rejection was answered.
        EXPECT_EQ(f.SavedFirstDevice.empty(), c.answered.empty()) << c.name;
    }
}

}  // namespace

namespace {

// The sampling point of the device at `offset` from the first device, as the scene paints it.
DesktopPoint TargetCell(const MonitorScene& s, int offset, bool fx = false) {
    const int perRow = fx ? 8 : 16;
    return s.CellPoint(offset / perRow, perRow - 1 - offset % perRow);
}

// The devices whose state differs from `before`, as BitStates entries.
std::vector<size_t> Changed(const MonitorScene& s, const std::array<int8_t, kBitCount>& before) {
    std::vector<size_t> out;
    for (size_t i = 0; i < kBitCount; ++i)
        if (s.states[i] != before[i]) out.push_back(i);
    return out;
}

}  // namespace

TEST_F(AutomationFixture, ToggleActsOnTheFirstDeviceAndTheGridAsTheyAreWhenItRuns) {
    struct Case {
        const char* name;
        std::wstring shownNow;  // the monitor's first device when the toggle runs
        DesktopPoint moved;     // how far the grid moved since the tick
        std::wstring target;
        size_t toggled;  // the BitStates entry of the device named
    };
    const Case cases[] = {
        {"first device changed since the tick", L"X010", {0, 0}, L"X015", 5},
        {"grid moved since the tick", L"X000", {40, 30}, L"X003", 3},
        {"both", L"X010", {-60, 25}, L"X02E", 0x1E},
    };
    for (const Case& c : cases) {
        CaseRig f;
        f.Prepare(false);
        f.view.texts[Field::ToggleTarget] = c.target;
        f.desktop.Get(f.scene.field).text = c.shownNow;
        f.scene.MoveBy(c.moved.x, c.moved.y);
        const auto before = f.scene.states;

        ToggleDevice(f.context);

        EXPECT_EQ(Changed(f.scene, before), std::vector<size_t>{c.toggled}) << c.name;
        EXPECT_EQ(f.scene.states[c.toggled], 1) << c.name;
        EXPECT_EQ(f.desktop.Cursor(), kSaved) << c.name;
    }
}

TEST_F(AutomationFixture, ToggleOfADeviceOfAnotherLetterClicksNothing) {
    struct Case {
        std::wstring first, target;
        bool toggles;
    };
    const Case cases[] = {
        {L"X000", L"X003", true},  {L"X000", L"x003", true},  {L"y000", L"Y003", true},
        {L"X000", L"Y003", false}, {L"X000", L"M003", false}, {L"Y000", L"X003", false},
    };
    for (const Case& c : cases) {
        const std::string name(c.target.begin(), c.target.end());
        CaseRig f;
        f.Prepare(false);
        f.desktop.Get(f.scene.field).text = c.first;
        f.view.texts[Field::FirstDevice] = c.first;
        f.view.texts[Field::ToggleTarget] = c.target;

        ToggleDevice(f.context);

        EXPECT_EQ(f.scene.states[3], c.toggles ? 1 : 0) << name;
        EXPECT_EQ(f.scene.toggles, c.toggles ? 1 : 0) << name;
        if (!c.toggles) {
            EXPECT_FALSE(AnyEvent(f.desktop, Kind::Click)) << name;
            EXPECT_FALSE(AnyEvent(f.desktop, Kind::Key)) << name;
        }
    }
}

TEST_F(AutomationFixture, AValueDialogThePersonHasOpenIsLeftAlone) {
    struct Case {
        const char* name;
        std::wstring target;
    };
    // The person's dialog lies over X079's cell and clear of X003's.
    const Case cases[] = {{"over the target's cell", L"X079"}, {"beside it", L"X003"}};
    for (const Case& c : cases) {
        CaseRig f;
        f.Prepare(false);
        const Wnd dialog = f.scene.ShowValueDialog();
        f.view.texts[Field::ToggleTarget] = c.target;

        ToggleDevice(f.context);

        EXPECT_TRUE(f.desktop.IsWindow(dialog)) << c.name;
        for (const auto& e : f.desktop.events)
            EXPECT_FALSE(e.kind == Kind::Key && e.value == vk::Escape) << c.name;
    }
}

TEST(ToggleOnTheVirtualScreen, AGridLeftOfOrAboveTheMainDisplayIsClicked) {
    struct Case {
        const char* name;
        DesktopPoint origin;  // the virtual screen's top-left corner
        DesktopPoint moved;   // where the application's windows are moved to, from (0, 0)
    };
    const Case cases[] = {
        {"display on the left", {-1600, 0}, {-1400, 0}},
        {"display above", {0, -1000}, {0, -900}},
        {"display above and left", {-1600, -1000}, {-1500, -950}},
        {"main display", {0, 0}, {0, 0}},
    };
    for (const Case& c : cases) {
        FakeDesktop d(3200, 2000, c.origin);
        MonitorScene s(d);
        s.MoveBy(c.moved.x, c.moved.y);
        FakeView v;
        CaptureSettings settings;
        GridCapture st;
        ASSERT_EQ(CaptureTick(d, v, settings, st), TickResult::Sampled) << c.name;
        v.texts[Field::ToggleTarget] = L"X013";
        std::wstring saved;
        const RejectionTitles titles{L"Korvex Works", L"Korvex"};
        AutomationContext ctx{d, v, settings, st, saved, titles};
        d.events.clear();

        ToggleDevice(ctx);

        EXPECT_EQ(s.states[0x13], 1) << c.name;
        ASSERT_TRUE(AnyEvent(d, Kind::Click)) << c.name;
        EXPECT_EQ(std::find_if(d.events.begin(), d.events.end(),
                               [](const DesktopEvent& e) { return e.kind == Kind::Click; })
                      ->point,
                  TargetCell(s, 0x13))
            << c.name;
    }
}

TEST_F(AutomationFixture, AToggleClickLandsOnTheTargetWhateverTheMouseDoes) {
    struct Case {
        const char* name;
        std::function<void(AutomationFixture&)> arrange;
        bool toggles;
    };
    const Case cases[] = {
        {"the person moves the mouse between calls",
         [](AutomationFixture& f) {
             auto react = f.desktop.onEvent;
             f.desktop.onEvent = [react, &f](const DesktopEvent& e) {
                 react(e);
                 f.desktop.MoveMouseByHand({1500, 900});
             };
         },
         true},
        {"the cursor move is refused",
         [](AutomationFixture& f) { f.desktop.refuseCursorMove = true; }, true},
        // Nothing was clicked: no key may follow, or it would act on whatever cell is selected.
        {"the input is refused", [](AutomationFixture& f) { f.desktop.refuseInput = true; },
         false},
    };
    for (const Case& c : cases) {
        CaseRig f;
        f.Prepare(false);
        f.view.texts[Field::ToggleTarget] = L"X021";
        c.arrange(f);

        ToggleDevice(f.context);

        EXPECT_EQ(f.scene.states[0x21], c.toggles ? 1 : 0) << c.name;
        EXPECT_EQ(AnyEvent(f.desktop, Kind::Key), c.toggles) << c.name;
        for (const auto& e : f.desktop.events) {
            if (e.kind == Kind::Click) {
                EXPECT_NE(e.point, (DesktopPoint{1500, 900})) << c.name;
            }
        }
    }
}

TEST_F(AutomationFixture, AToggledDeviceReadsItsRealStateAndTogglesBack) {
    for (bool fx : {false, true}) {
        CaseRig f;
        f.Prepare(fx);
        f.view.texts[Field::ToggleTarget] = L"X004";

        ToggleDevice(f.context);
        ASSERT_EQ(f.scene.states[4], 1) << fx;
        ASSERT_EQ(CaptureTick(f.desktop, f.view, f.settings, f.state), TickResult::Sampled);
        EXPECT_EQ(f.state.BitStates[4], 1) << fx;
        // The selection rests on a cell that holds no bit.
        EXPECT_EQ(f.scene.selected, std::nullopt) << fx;

        ToggleDevice(f.context);
        EXPECT_EQ(f.scene.states[4], 0) << fx;
        ASSERT_EQ(CaptureTick(f.desktop, f.view, f.settings, f.state), TickResult::Sampled);
        EXPECT_EQ(f.state.BitStates[4], 0) << fx;
        EXPECT_EQ(f.scene.toggles, 2) << fx;
    }
}

TEST(VirtualScreenTest, NormalisedPointsMapBackToTheirPixel) {
    const DesktopRect screens[] = {
        {0, 0, 1600, 1000},          {-1600, 0, 1600, 1000},      {0, -1000, 1600, 1000},
        {-1920, -1080, 3840, 1080},  {-7680, -4320, 7680, 4320},  {-3, -5, 2, 1},
    };
    for (const DesktopRect& s : screens) {
        const int32_t w = s.right - s.left, h = s.bottom - s.top;
        for (int32_t i = 0; i <= 16; ++i) {
            // Edges, corners and points in between, every one a pixel of the screen.
            const DesktopPoint p{s.left + (w - 1) * i / 16, s.top + (h - 1) * (16 - i) / 16};
            const NormalisedPoint n = NormaliseToVirtualScreen(p, s);
            EXPECT_GE(n.dx, 0);
            EXPECT_LE(n.dx, 65535);
            EXPECT_GE(n.dy, 0);
            EXPECT_LE(n.dy, 65535);
            EXPECT_EQ(PixelOfNormalised(n, s), p) << s.left << "," << s.top << " " << p.x << ","
                                                  << p.y;
        }
        // A point off the screen goes to its nearest edge.
        EXPECT_EQ(PixelOfNormalised(NormaliseToVirtualScreen({s.left - 50, s.bottom + 50}, s), s),
                  (DesktopPoint{s.left, s.bottom - 1}));
    }
}

namespace {

// On a locked, disconnected or switched-away session synthesised input reaches nothing, and
// a text typed into the field could not be confirmed: neither action sends anything.
TEST(LockedSessionTest, NeitherActionSendsAnythingWhileTheSessionIsLocked) {
    struct Case {
        const char* name;
        bool fx;
        void (*act)(AutomationContext&);
    };
    const Case cases[] = {
        {"change first device", false, ChangeFirstDevice},
        {"toggle", false, ToggleDevice},
        {"toggle fx", true, ToggleDevice},
    };
    for (const Case& c : cases) {
        CaseRig rig;
        rig.scene.states[0] = 1;
        rig.Prepare(c.fx);
        rig.view.texts[Field::RequestedFirst] = L"X100";
        rig.view.texts[Field::ToggleTarget] = L"X000";
        rig.desktop.sessionLocked = true;
        c.act(rig.context);
        EXPECT_TRUE(rig.desktop.events.empty()) << c.name;
        EXPECT_EQ(rig.scene.toggles, 0) << c.name;
        EXPECT_TRUE(rig.scene.acceptedNames.empty()) << c.name;
        EXPECT_EQ(rig.view.timerChanges, (std::vector<bool>{false, true})) << c.name;

        // Unlocked, the same action acts.
        rig.desktop.sessionLocked = false;
        c.act(rig.context);
        EXPECT_FALSE(rig.desktop.events.empty()) << c.name;
    }
}

}  // namespace
