// The monitor's grid window, class "SPR32AU70_SpreadSheet": row labels on the left, then a header
// row and ten rows of bit cells, highest bit leftmost, laid out at fixed pixel positions.
#pragma once
#include <windows.h>

#include <optional>

#include "tools/standin/device_memory.h"

namespace standin {

// Pixel layout of the grid window (window rectangle = client rectangle; the grid has no border).
struct GridLayout {
    static constexpr int kCellsLeft = 243;   // first cell column, from the window's left edge
    static constexpr int kCellsWidth = 504;  // 16 cell columns
    static constexpr int kHeight = 372;      // header row and 10 cell rows
    static constexpr int kColumns = 16;
    static constexpr int kRows = 10;
    static constexpr int kScrollWidth = 17;  // a painted scroll bar right of the cells
    static constexpr int kWidth = kCellsLeft + kCellsWidth + kScrollWidth;

    // Edges of cell column v (0 = leftmost) and of row r (0 = header, 1..10 cell rows), in
    // window pixels; a cell's grid line is its first column/row, its interior the rest.
    static int ColumnLeft(int v) { return kCellsLeft + v * kCellsWidth / kColumns; }
    static int RowTop(int r) { return r * kHeight / (kRows + 1); }
};

// What the grid asks of the window that owns it.
class GridOwner {
  public:
    virtual ~GridOwner() = default;
    virtual const DeviceMemory& Memory() const = 0;
    virtual Device FirstDevice() const = 0;
    virtual bool FxMode() const = 0;
    // A left click: the offset from the first device of the cell hit, or nothing.
    virtual void OnGridClick(std::optional<int> offset) = 0;
    // Shift+Enter with a selected cell.
    virtual void OnGridToggle(int offset) = 0;
    // Enter without Shift.
    virtual void OnGridEnter() = 0;
};

class GridView {
  public:
    static constexpr wchar_t kClassName[] = L"SPR32AU70_SpreadSheet";
    static void Register(HINSTANCE instance);

    // Creates the window as a child of `parent`; the owner outlives the window. At a scale other
    // than 1 the grid is laid out as at 1 and drawn stretched by it, as the system draws the
    // window of a program that is not DPI aware on a scaled monitor.
    HWND Create(HWND parent, int x, int y, GridOwner* owner, double scale = 1.0);
    // The window's size on the screen: the layout's times the scale.
    static int ScaledWidth(double scale);
    static int ScaledHeight(double scale);
    HWND Handle() const { return wnd_; }

    // The selected bit cell, as an offset from the first device; nothing when no cell or a cell
    // that holds no bit (a row's value) is selected. Cleared when the view moves.
    std::optional<int> Selected() const { return selected_; }
    void ClearSelection();
    // Repaints now, so that the screen shows a change before the caller answers.
    void Redraw();

    // The offset shown in cell column `column`, row `row` (0-based cell rows), or nothing
    // when that column holds no cell in the current mode.
    std::optional<int> OffsetAt(int column, int row) const;

  private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam);
    LRESULT OnMessage(UINT msg, WPARAM wparam, LPARAM lparam);
    void Paint(HDC dc);
    void OnLeftDown(int x, int y);
    void OnKeyDown(WPARAM key, LPARAM flags);

    HWND wnd_ = nullptr;          // owned by the parent window
    GridOwner* owner_ = nullptr;  // not owned
    double scale_ = 1.0;
    std::optional<int> selected_;
    std::optional<int> selectedValueRow_;  // the row whose value cell is selected
};

}  // namespace standin
