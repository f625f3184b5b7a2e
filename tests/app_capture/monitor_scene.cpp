// The watched application on the fake desktop.
#include "tests/app_capture/monitor_scene.h"

#include <cmath>

namespace {
constexpr int kGridLeft = 100;
constexpr int kGridTop = 150;
const std::wstring kDialogClass = L"#32770";
}  // namespace

MonitorScene::MonitorScene(FakeDesktop& d, double s) : desktop(d), scale(s) {
    const int gw = static_cast<int>(std::lround(800 * scale));
    const int gh = static_cast<int>(std::lround(400 * scale));
    frame = desktop.AddWindow(kNoWnd, L"KorvexFrameWnd", L"Korvex Studio", {0, 0, 1200, 800});
    desktop.Get(frame).process = kProcess;
    Wnd other = desktop.AddWindow(frame, L"Static", L"", {0, 0, 10, 10});
    monitor = desktop.AddWindow(frame, L"MonitorWnd", L"デバイス/バッファメモリ一括モニタ-1",
                                {50, 50, 1150, 750});
    (void)other;
    // The field's path: first child of the fourth child of the first child of the monitor.
    Wnd top = desktop.AddWindow(monitor, L"Pane", L"", {50, 50, 1150, 140});
    for (int i = 0; i < 3; ++i) desktop.AddWindow(top, L"Pane", L"", {50, 50, 60, 60});
    fieldPathSibling = desktop.AddWindow(top, L"Pane", L"", {60, 60, 300, 100});
    field = desktop.AddWindow(fieldPathSibling, L"Edit", L"X000", {60, 60, 200, 90});
    grid = desktop.AddWindow(monitor, L"SPR32AU70_SpreadSheet", L"",
                             {kGridLeft, kGridTop, kGridLeft + gw, kGridTop + gh});
    desktop.onEvent = [this](const DesktopEvent& e) { React(e); };
    Paint();
}

DesktopPoint MonitorScene::GridCorner() const {
    const DesktopRect& r = desktop.Get(grid).rect;
    return {r.left + static_cast<int>(243 * scale), r.top};
}

DesktopPoint MonitorScene::CellPoint(int row, int column, int pickX, int pickY) const {
    DesktopPoint c = GridCorner();
    return {c.x + static_cast<int>(column * 31.5 * scale + pickX * scale),
            c.y + static_cast<int>((row + 1) * (372.0 / 11) * scale + pickY * scale)};
}

void MonitorScene::Paint() {
    const DesktopPoint c = GridCorner();
    const DesktopRect& g = desktop.Get(grid).rect;
    const double cw = 31.5 * scale;
    const double ch = 372.0 / 11 * scale;
    desktop.FillScreen({g.left, g.top, c.x + static_cast<int>(16 * cw) + 20,
                        g.top + static_cast<int>(11 * ch) + 10},
                       kGrey);
    const int perRow = fx ? 8 : 16;
    for (int row = 0; row < 10; ++row)
        for (int column = 0; column < perRow; ++column) {
            const size_t entry = static_cast<size_t>(row * 16 + perRow - 1 - column);
            const int8_t s = selected == entry ? -1 : states[entry];
            ui::Color colour = s == 1 ? kBlue : s == 0 ? kWhite : kSelected;
            // Cell interiors, one grey pixel of grid line around each.
            int left = c.x + static_cast<int>(std::floor(column * cw)) + 1;
            int right = c.x + static_cast<int>(std::floor((column + 1) * cw));
            int top = c.y + static_cast<int>(std::floor((row + 1) * ch)) + 1;
            int bottom = c.y + static_cast<int>(std::floor((row + 2) * ch));
            desktop.FillScreen({left, top, right, bottom}, colour);
        }
}

void MonitorScene::MoveBy(int dx, int dy) {
    const DesktopRect& g = desktop.Get(grid).rect;
    desktop.FillScreen(g, kGrey);
    desktop.MoveWindow(frame, dx, dy);
    Paint();
}

Wnd MonitorScene::Cover() {
    DesktopPoint c = GridCorner();
    return desktop.AddWindow(kNoWnd, L"Notepad", L"cover", {c.x - 5, c.y - 5, c.x + 50, c.y + 50});
}

Wnd MonitorScene::ShowRejectionBox() {
    Wnd box = desktop.AddWindow(kNoWnd, rejectionClass, rejectionTitle, {500, 400, 700, 500});
    desktop.Get(box).process = rejectionProcess;
    desktop.Get(box).visible = rejectionVisible;
    return box;
}

Wnd MonitorScene::ShowDialog(const std::wstring& title) {
    Wnd dialog = desktop.AddWindow(kNoWnd, kDialogClass, title, {500, 400, 700, 500});
    desktop.Get(dialog).process = kProcess;
    return dialog;
}

Wnd MonitorScene::ShowValueDialog() {
    Wnd dialog = desktop.AddWindow(kNoWnd, kDialogClass, L"現在値変更", {500, 400, 700, 500});
    desktop.Get(dialog).process = kProcess;
    return dialog;
}

Wnd MonitorScene::AnotherProgramInFront() {
    Wnd other = desktop.AddWindow(kNoWnd, L"Notepad", L"notes", {1210, 10, 1590, 590});
    desktop.Get(other).process = kProcess + 1;
    Wnd edit = desktop.AddWindow(other, L"Edit", L"", {1215, 40, 1585, 585});
    desktop.SetForegroundWindow(other);
    desktop.FocusWindow(edit);
    return edit;
}

void MonitorScene::Answer(FakeDesktop::Window::Answer how) {
    for (Wnd w : desktop.TopLevelWindows())
        if (desktop.Get(w).process == kProcess) desktop.Get(w).answers = how;
}

// The application's answer to a click on the grid: the cell under it is selected.
void MonitorScene::Select(DesktopPoint p) {
    const DesktopPoint c = GridCorner();
    const int row = static_cast<int>(std::floor((p.y - c.y) / (372.0 / 11 * scale))) - 1;
    if (row < 0 || row >= 10) return;  // the header
    if (p.x < c.x) {
        selected.reset();  // the row's value cell
    } else {
        const int column = static_cast<int>(std::floor((p.x - c.x) / (31.5 * scale)));
        const int perRow = fx ? 8 : 16;
        if (column >= perRow) return;
        selected = static_cast<size_t>(row * 16 + perRow - 1 - column);
    }
    Paint();
}

// The application's answer to a click (see Select) or a key press: Enter in the field takes the
// name (and may raise a question) or rejects it, Enter in a dialog box presses its default button and closes it,
// Escape closes the value dialog, Shift+Enter in the grid toggles the selected cell.
void MonitorScene::React(const DesktopEvent& e) {
    if (e.kind == DesktopEvent::Kind::Click && desktop.WindowFromPoint(e.point) == grid) {
        Select(e.point);
        return;
    }
    if (e.kind != DesktopEvent::Kind::Key || e.flags != 0 || !desktop.IsWindow(e.wnd)) return;
    const std::wstring cls = desktop.Get(e.wnd).className;
    const std::wstring title = desktop.Get(e.wnd).text;
    if (e.wnd == field && e.value == vk::Return) {
        if (accepts(title)) {
            acceptedNames.push_back(title);
            if (shownAs) desktop.Get(field).text = shownAs(title);
            if (!dialogOnAccept.empty()) ShowDialog(dialogOnAccept);
        } else {
            ShowRejectionBox();
        }
    } else if (cls == kDialogClass && title != L"現在値変更" && e.value == vk::Return) {
        answeredDialogs.push_back(title);
        desktop.DestroyWindow(e.wnd);
    } else if (cls == kDialogClass && title == L"現在値変更" && e.value == vk::Escape) {
        desktop.DestroyWindow(e.wnd);
    } else if (e.wnd == grid && e.value == vk::Return) {
        ++toggles;
        if (openValueDialogOnToggle) {
            ShowValueDialog();
        } else if (selected && states[*selected] >= 0) {
            states[*selected] = static_cast<int8_t>(1 - states[*selected]);
            Paint();
        }
    }
}
