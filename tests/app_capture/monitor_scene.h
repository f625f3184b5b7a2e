// Host test fixtures: a main window reduced to what the tick and the actions touch, and a fake
// desktop holding the watched application's frame, monitor, first-device field and grid, with
// the grid's cells painted on the fake screen and the application's reaction to keys played.
#pragma once
#include <array>
#include <map>
#include <optional>
#include <string>

#include "app/fake_desktop.h"
#include "app/grid_capture.h"

class FakeView : public BridgeView {
  public:
    std::map<Field, std::wstring> texts;
    bool fx = false;
    int checkBoxClicks = 0;
    bool timerEnabled = true;
    std::vector<bool> timerChanges;
    ui::Bitmap image;
    int imagesShown = 0;

    std::wstring FieldText(Field field) override { return texts[field]; }
    void SetFieldText(Field field, const std::wstring& text) override { texts[field] = text; }
    bool FxMode() override { return fx; }
    void SetFxMode(bool on) override {
        fx = on;
        ++checkBoxClicks;
    }
    void ShowImage(const ui::Bitmap& picture) override {
        image = picture;
        ++imagesShown;
    }
    bool TimerEnabled() override { return timerEnabled; }
    void SetTimerEnabled(bool enabled) override {
        timerEnabled = enabled;
        timerChanges.push_back(enabled);
    }
    std::wstring notice;
    void ShowNotice(const std::wstring& text) override { notice = text; }
};

constexpr ui::Color kBlue{0, 0, 255};
constexpr ui::Color kWhite{255, 255, 255};
constexpr ui::Color kGrey{192, 192, 192};
constexpr ui::Color kSelected{0, 120, 215};

// The watched application on a fake desktop. The grid is painted as the capture geometry at the
// given scale describes it; states are in BitStates layout (entry row * 16 + bit, 1 blue, 0 white,
// -1 a selection colour). A click selects the cell under it, which is then painted in the selection
// colour, as the monitor draws it; a click left of the cells selects that row's value cell, which
// holds no bit. Shift+Enter in the grid toggles the selected bit cell.
class MonitorScene {
  public:
    explicit MonitorScene(FakeDesktop& desktop, double scale = 1.0);

    static constexpr uint32_t kProcess = 7;  // the watched application's program

    FakeDesktop& desktop;
    double scale;
    Wnd frame, monitor, field, grid, fieldPathSibling;
    std::wstring rejectionTitle = L"Korvex Works";
    std::wstring rejectionClass = L"#32770";
    bool rejectionVisible = true;
    uint32_t rejectionProcess = kProcess;  // the program that shows the rejection box
    bool fx = false;
    std::array<int8_t, kBitCount> states{};
    // Names the field accepts on Enter; anything else raises the rejection box.
    std::function<bool(const std::wstring&)> accepts = [](const std::wstring& name) {
        return name.size() >= 2 && (name[0] == L'X' || name[0] == L'Y');
    };
    bool openValueDialogOnToggle = false;
    // The selected bit cell (its BitStates entry), or none (a cell that holds no bit, or nothing).
    std::optional<size_t> selected;
    // A question of the application that opens as a name is taken (an auto-save question);
    // empty: none.
    std::wstring dialogOnAccept;
    // How the field shows a name it took; none: as typed.
    std::function<std::wstring(const std::wstring&)> shownAs;
    std::vector<std::wstring> acceptedNames;
    // The titles of the dialogs that Enter closed (their default button pressed), in order.
    std::vector<std::wstring> answeredDialogs;
    int toggles = 0;

    // Repaints the grid from fx, states and the selection; call after changing them.
    void Paint();
    // Moves the application's windows by (dx, dy) on the screen and repaints.
    void MoveBy(int dx, int dy);
    // A window over the grid's top-left corner.
    Wnd Cover();
    Wnd ShowRejectionBox();
    // A dialog box of the application's program with the given title.
    Wnd ShowDialog(const std::wstring& title);
    Wnd ShowValueDialog();
    // Another program's window in front, with the keyboard focus in its edit (returned).
    Wnd AnotherProgramInFront();
    // How the application's thread takes messages from now on.
    void Answer(FakeDesktop::Window::Answer how);
    DesktopPoint GridCorner() const;  // CaptX, CaptY
    DesktopPoint CellPoint(int row, int column, int pickX = 8, int pickY = 6) const;

  private:
    void React(const DesktopEvent& e);
    void Select(DesktopPoint p);
};
