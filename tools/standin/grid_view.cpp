// Painting, clicks and keys of the monitor grid. Cells are filled with exact colours: pure blue for
// ON and pure white for OFF over the whole interior, so that any point inside a cell reads true.
#include "tools/standin/grid_view.h"

#include <windowsx.h>

#include <string>

#include "platform/exception_display.h"
#include "platform/unique_handle.h"

namespace standin {
namespace {

constexpr COLORREF kOn = RGB(0, 0, 255);
constexpr COLORREF kOff = RGB(255, 255, 255);
// Selection colours: visibly selected, and never mistaken for ON or OFF.
constexpr COLORREF kSelectedOn = RGB(64, 64, 176);
constexpr COLORREF kSelectedOff = RGB(176, 208, 255);
constexpr COLORREF kLine = RGB(160, 160, 160);
constexpr COLORREF kHeader = RGB(232, 232, 232);
constexpr COLORREF kNoCell = RGB(128, 128, 128);    // columns an 8-bit row does not have
constexpr COLORREF kNoDevice = RGB(200, 200, 200);  // cells past the end of the memory
constexpr COLORREF kText = RGB(0, 0, 0);

HFONT GridFont() {
    static platform::UniqueGdiObject font(CreateFontW(
        -12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
        CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma"));
    return static_cast<HFONT>(font.get());
}

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    RECT r{left, top, right, bottom};
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void Text(HDC dc, int left, int top, int right, int bottom, const std::wstring& text) {
    RECT r{left, top, right, bottom};
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kText);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// Label columns left of the cells.
constexpr int kLabelSplit = 120;

}  // namespace

void GridView::Register(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
}

HWND GridView::Create(HWND parent, int x, int y, GridOwner* owner, double scale) {
    owner_ = owner;
    scale_ = scale;
    wnd_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, x, y,
                           ScaledWidth(scale), ScaledHeight(scale), parent, nullptr,
                           GetModuleHandleW(nullptr), this);
    return wnd_;
}

int GridView::ScaledWidth(double scale) {
    return static_cast<int>(GridLayout::kWidth * scale + 0.5);
}

int GridView::ScaledHeight(double scale) {
    return static_cast<int>(GridLayout::kHeight * scale + 0.5);
}

void GridView::ClearSelection() {
    selected_.reset();
    selectedValueRow_.reset();
}

void GridView::Redraw() {
    InvalidateRect(wnd_, nullptr, FALSE);
    UpdateWindow(wnd_);
}

std::optional<int> GridView::OffsetAt(int column, int row) const {
    const int perRow = owner_->FxMode() ? 8 : 16;
    if (column < 0 || column >= perRow || row < 0 || row >= GridLayout::kRows) return std::nullopt;
    return row * perRow + (perRow - 1 - column);
}

LRESULT CALLBACK GridView::Proc(HWND wnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<GridView*>(create->lpCreateParams)->wnd_ = wnd;
    }
    auto* self = reinterpret_cast<GridView*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(wnd, msg, wparam, lparam);
    try {
        return self->OnMessage(msg, wparam, lparam);
    } catch (const std::exception& e) {
        platform::ShowException(e);
        return 0;
    }
}

LRESULT GridView::OnMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers every pixel
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(wnd_, &ps);
            // Drawn off screen and copied in one piece: a capture never sees a half-drawn grid.
            platform::UniqueMemoryDc memory(CreateCompatibleDC(dc));
            platform::UniqueGdiObject bitmap(
                CreateCompatibleBitmap(dc, GridLayout::kWidth, GridLayout::kHeight));
            HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
            Paint(memory.get());
            if (scale_ == 1.0) {
                BitBlt(dc, 0, 0, GridLayout::kWidth, GridLayout::kHeight, memory.get(), 0, 0,
                       SRCCOPY);
            } else {
                // Each pixel of the layout becomes a block: the colours stay pure.
                SetStretchBltMode(dc, COLORONCOLOR);
                StretchBlt(dc, 0, 0, ScaledWidth(scale_), ScaledHeight(scale_), memory.get(), 0,
                           0, GridLayout::kWidth, GridLayout::kHeight, SRCCOPY);
            }
            SelectObject(memory.get(), old);
            EndPaint(wnd_, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            // A point on the stretched window, back in the layout's pixels.
            OnLeftDown(static_cast<int>(GET_X_LPARAM(lparam) / scale_),
                       static_cast<int>(GET_Y_LPARAM(lparam) / scale_));
            return 0;
        case WM_KEYDOWN:
            OnKeyDown(wparam, lparam);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(wnd_, GWLP_USERDATA, 0);
            wnd_ = nullptr;
            return 0;
    }
    return DefWindowProcW(wnd_, msg, wparam, lparam);
}

void GridView::Paint(HDC dc) {
    const bool fx = owner_->FxMode();
    const int perRow = fx ? 8 : 16;
    const Device first = owner_->FirstDevice();
    const DeviceMemory& memory = owner_->Memory();
    HGDIOBJ oldFont = SelectObject(dc, GridFont());

    // Lines everywhere first; every cell and label then fills its interior.
    Fill(dc, 0, 0, GridLayout::kWidth, GridLayout::kHeight, kLine);

    // Header row.
    const int headerBottom = GridLayout::RowTop(1);
    Fill(dc, 0, 0, kLabelSplit, headerBottom, kHeader);
    Text(dc, 0, 0, kLabelSplit, headerBottom, L"デバイス");
    Fill(dc, kLabelSplit + 1, 0, GridLayout::kCellsLeft, headerBottom, kHeader);
    Text(dc, kLabelSplit + 1, 0, GridLayout::kCellsLeft, headerBottom,
         fx ? L"値(8進)" : L"値(16進)");
    for (int v = 0; v < GridLayout::kColumns; ++v) {
        const int left = GridLayout::ColumnLeft(v) + 1, right = GridLayout::ColumnLeft(v + 1);
        if (v >= perRow) {
            Fill(dc, left - 1, 0, right, headerBottom, kNoCell);
            continue;
        }
        Fill(dc, left, 0, right, headerBottom, kHeader);
        static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
        Text(dc, left, 0, right, headerBottom, std::wstring(1, kDigits[perRow - 1 - v]));
    }

    for (int row = 0; row < GridLayout::kRows; ++row) {
        const int top = GridLayout::RowTop(row + 1) + 1, bottom = GridLayout::RowTop(row + 2);
        auto rowStart = DeviceAt(first, row * perRow);
        unsigned value = 0;
        for (int v = 0; v < GridLayout::kColumns; ++v) {
            const int left = GridLayout::ColumnLeft(v) + 1, right = GridLayout::ColumnLeft(v + 1);
            if (v >= perRow) {
                // No cell here: one grey area with no lines, as the 8-bit display leaves it.
                Fill(dc, left - 1, top - 1, right, bottom, kNoCell);
                continue;
            }
            const int offset = *OffsetAt(v, row);
            auto device = DeviceAt(first, offset);
            COLORREF colour = kNoDevice;
            if (device) {
                const bool on = memory.Get(*device);
                if (on) value |= 1u << (perRow - 1 - v);
                if (selected_ == offset)
                    colour = on ? kSelectedOn : kSelectedOff;
                else
                    colour = on ? kOn : kOff;
            }
            Fill(dc, left, top, right, bottom, colour);
        }
        Fill(dc, 0, top, kLabelSplit, bottom, kOff);
        Fill(dc, kLabelSplit + 1, top, GridLayout::kCellsLeft, bottom,
             selectedValueRow_ == row ? kSelectedOff : kOff);
        if (rowStart) {
            Text(dc, 0, top, kLabelSplit, bottom, FormatDevice(*rowStart, fx));
            wchar_t text[16];
            swprintf(text, 16, fx ? L"%03o" : L"%04X", value);
            Text(dc, kLabelSplit + 1, top, GridLayout::kCellsLeft, bottom, text);
        }
    }

    // A painted vertical scroll bar, as the monitor's grid has one.
    const int barLeft = GridLayout::kCellsLeft + GridLayout::kCellsWidth + 1;
    Fill(dc, barLeft, 0, GridLayout::kWidth, GridLayout::kHeight, RGB(240, 240, 240));
    Fill(dc, barLeft + 2, 20, GridLayout::kWidth - 2, 80, RGB(192, 192, 192));
    SelectObject(dc, oldFont);
}

void GridView::OnLeftDown(int x, int y) {
    // The grid takes the keyboard focus on every click, as the monitor's grid does.
    SetFocus(wnd_);
    std::optional<int> offset;
    const bool inRows = y >= GridLayout::RowTop(1) && y < GridLayout::kHeight;
    int row = 0;
    while (row + 1 < GridLayout::kRows && y >= GridLayout::RowTop(row + 2)) ++row;
    if (inRows && x > kLabelSplit && x < GridLayout::kCellsLeft) {
        // A row's value cell holds no bit; like any cell of the monitor it takes the selection.
        selected_.reset();
        selectedValueRow_ = row;
    } else if (inRows && x >= GridLayout::kCellsLeft &&
               x < GridLayout::kCellsLeft + GridLayout::kCellsWidth) {
        int column = 0;
        while (column + 1 < GridLayout::kColumns && x >= GridLayout::ColumnLeft(column + 1))
            ++column;
        offset = OffsetAt(column, row);
        if (offset && !DeviceAt(owner_->FirstDevice(), *offset)) offset.reset();
    }
    if (offset) {
        selected_ = offset;
        selectedValueRow_.reset();
    }
    Redraw();
    owner_->OnGridClick(offset);
}

void GridView::OnKeyDown(WPARAM key, LPARAM flags) {
    if (flags & (1 << 30)) return;  // auto-repeat: one toggle per key press
    if (key == VK_RETURN) {
        if (GetKeyState(VK_SHIFT) < 0 && selected_)
            owner_->OnGridToggle(*selected_);
        else
            owner_->OnGridEnter();
        return;
    }
    if (!selected_) return;
    const int perRow = owner_->FxMode() ? 8 : 16;
    int next = *selected_;
    switch (key) {
        case VK_LEFT:
            next += 1;
            break;  // the higher bit lies to the left
        case VK_RIGHT:
            next -= 1;
            break;
        case VK_UP:
            next -= perRow;
            break;
        case VK_DOWN:
            next += perRow;
            break;
        default:
            return;
    }
    const bool inGrid = next >= 0 && next < perRow * GridLayout::kRows;
    const bool sideways = key == VK_LEFT || key == VK_RIGHT;
    if (!inGrid || (sideways && next / perRow != *selected_ / perRow)) return;
    if (!DeviceAt(owner_->FirstDevice(), next)) return;
    selected_ = next;
    Redraw();
}

}  // namespace standin
