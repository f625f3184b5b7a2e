// "先頭変更" and "反転" on the fake desktop: the exact order of texts, keys, clicks, cursor moves
// and waits, the rejection recovery, the value-change dialog and the timer pause.
#include "app/monitor_automation.h"

#include <gtest/gtest.h>

#include <ostream>

#include "tests/app_capture/monitor_scene.h"

using Kind = DesktopEvent::Kind;

// Readable failure output for event sequences.
void PrintTo(const DesktopEvent& e, std::ostream* os) {
    static const char* names[] = {"Key",        "Mouse", "Move",    "Sleep",
                                  "Foreground", "Focus", "SetText", "NoAnswer"};
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
std::vector<DesktopEvent> Click(DesktopPoint p) {
    return {DesktopEvent::Mouse(kMouseEventLeftDown, p), DesktopEvent::Mouse(kMouseEventLeftUp, p)};
}
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
                     Down(scene.field, vk::Return), Up(scene.field, vk::Return), Move(cell)},
                    Click(cell),
                    {Move(kSaved), Sleep(200)}}));
    EXPECT_EQ(scene.acceptedNames, std::vector<std::wstring>{L"X100"});
    EXPECT_EQ(view.timerChanges, (std::vector<bool>{false, true}));
    EXPECT_EQ(desktop.Cursor(), kSaved);
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
        auto click = [&] { return Join({{Move(cell)}, Click(cell), {Move(kSaved)}}); };
        ASSERT_GE(d.events.size(), 11u);
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
            EXPECT_EQ(f.desktop.events.size(), 10u) << c.name;
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
        st.BitStates[static_cast<size_t>(c.row * 16 + c.bit)] = c.targetState;
        v.texts[Field::FirstDevice] = c.edit1;
        v.texts[Field::ToggleTarget] = c.edit4;
        d.SetCursorPos(kSaved);
        d.events.clear();
        v.timerChanges.clear();
        std::wstring saved;
        AutomationContext ctx{d, v, settings, refs, saved, titles};

        ToggleDevice(ctx);

        std::vector<DesktopEvent> expected{Move(kSaved)};
        if (c.offset.x != 0) {
            const DesktopPoint p{st.CaptX + c.offset.x, st.CaptY + c.offset.y};
            expected =
                Join({{Move(p)},
                      Click(p),
                      {Sleep(100), Down(s.grid, vk::Shift), Down(s.grid, vk::Return),
                       Up(s.grid, vk::Return), Up(s.grid, vk::Shift), Sleep(200), Move(kSaved)}});
        }
        EXPECT_EQ(d.events, expected) << c.name;
        EXPECT_EQ(v.timerChanges, (std::vector<bool>{false, true})) << c.name;
    }
}

TEST_F(AutomationFixture, ToggleOnACoveredCellOnlyMovesTheCursorThereAndBack) {
    Prepare(true);
    view.texts[Field::FirstDevice] = L"X000";
    view.texts[Field::ToggleTarget] = L"X000";
    const DesktopPoint p{store.CaptX + 228, store.CaptY + 39};
    desktop.AddWindow(kNoWnd, L"Notepad", L"cover", {p.x - 5, p.y - 5, p.x + 5, p.y + 5});
    ToggleDevice(context);
    EXPECT_EQ(desktop.events, (std::vector<DesktopEvent>{Move(p), Sleep(200), Move(kSaved)}));
    EXPECT_EQ(scene.toggles, 0);
}

TEST_F(AutomationFixture, ToggleThatOpensTheValueDialogClosesItWithEscape) {
    Prepare(false);
    scene.openValueDialogOnToggle = true;
    view.texts[Field::FirstDevice] = L"X000";
    view.texts[Field::ToggleTarget] = L"X000";
    ToggleDevice(context);
    EXPECT_EQ(scene.toggles, 1);
    ASSERT_GE(desktop.events.size(), 5u);
    const Wnd dialog = desktop.events[desktop.events.size() - 5].wnd;
    const std::vector<DesktopEvent> tail(desktop.events.end() - 6, desktop.events.end());
    EXPECT_EQ(tail, (std::vector<DesktopEvent>{Sleep(200), Fg(dialog), Down(dialog, vk::Escape),
                                               Up(kNoWnd, vk::Escape), Sleep(200), Move(kSaved)}));
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
