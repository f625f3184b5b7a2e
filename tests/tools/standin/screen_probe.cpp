// Window search, screen capture and synthesised input for the stand-in's tests.
#include "tests/tools/standin/screen_probe.h"

#include <cstring>

#include "platform/unique_handle.h"

namespace standin_test {
namespace {

const std::wstring kMonitorPrefix = L"デバイス/バッファメモリ一括モニタ";

BOOL CALLBACK FindMonitorProc(HWND wnd, LPARAM param) {
    wchar_t title[255];
    int n = GetWindowTextW(wnd, title, 255);
    if (n <= 0) return TRUE;
    if (std::wstring(title, n).rfind(kMonitorPrefix, 0) == 0) {
        *reinterpret_cast<HWND*>(param) = wnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindGridProc(HWND wnd, LPARAM param) {
    if (ClassName(wnd) == L"SPR32AU70_SpreadSheet") {
        *reinterpret_cast<HWND*>(param) = wnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::wstring WindowText(HWND wnd) {
    LRESULT n = SendMessageW(wnd, WM_GETTEXTLENGTH, 0, 0);
    if (n <= 0) return {};
    std::wstring text(n + 1, L'\0');
    n = SendMessageW(wnd, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(text.data()));
    text.resize(n);
    return text;
}

std::wstring ClassName(HWND wnd) {
    if (!IsWindow(wnd)) return {};
    wchar_t name[50];
    int n = GetClassNameW(wnd, name, 50);
    return std::wstring(name, n > 0 ? n : 0);
}

MonitorWindows FindMonitor() {
    MonitorWindows w;
    w.frame = FindWindowW(L"KorvexFrameWnd", nullptr);
    if (!w.frame) return w;
    EnumChildWindows(w.frame, FindMonitorProc, reinterpret_cast<LPARAM>(&w.monitor));
    HWND h = GetWindow(GetWindow(w.monitor, GW_CHILD), GW_CHILD);
    for (int i = 0; i < 3; ++i) h = GetWindow(h, GW_HWNDNEXT);
    w.field = GetWindow(h, GW_CHILD);
    EnumChildWindows(w.frame, FindGridProc, reinterpret_cast<LPARAM>(&w.grid));
    return w;
}

COLORREF ScreenImage::At(int x, int y) const {
    const uint8_t* p = &bgr[static_cast<size_t>(y) * Stride() + static_cast<size_t>(x) * 3];
    return RGB(p[2], p[1], p[0]);
}

ScreenImage CaptureScreen(int x, int y, int width, int height) {
    ScreenImage image;
    image.width = width;
    image.height = height;
    image.bgr.assign(image.Stride() * static_cast<size_t>(height), 0);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    platform::UniqueMemoryDc screen(CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
    platform::UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    void* bits = nullptr;
    platform::UniqueGdiObject bitmap(
        CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screen || !memory || !bitmap) return image;
    HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, screen.get(), x, y, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    std::memcpy(image.bgr.data(), bits, image.bgr.size());
    SelectObject(memory.get(), old);
    return image;
}

int SampleX(int column) {
    const double cellW = kCaptureWidth * 1.0 / 16;
    return static_cast<int>(column * cellW + 8 * 1.0);
}

int SampleY(int row) {
    const double cellH = kCaptureHeight * 1.0 / 11;
    return static_cast<int>((row + 1) * cellH + 6 * 1.0);
}

std::vector<int> SampleStates(const ScreenImage& grid, bool fx, double scale) {
    std::vector<int> states(160, -2);
    const int last = fx ? 7 : 15;
    for (int r = 0; r < 10; ++r) {
        for (int v = 0; v <= last; ++v) {
            COLORREF c = grid.At(static_cast<int>(SampleX(v) * scale),
                                 static_cast<int>(SampleY(r) * scale));
            states[r * 16 + last - v] = c == RGB(0, 0, 255) ? 1 : c == RGB(255, 255, 255) ? 0 : -1;
        }
    }
    return states;
}

void BringToFront(HWND wnd) {
    // Windows brings a child window's top-level window to the front; Wine refuses a child, so
    // the request goes to the top-level window itself.
    HWND root = GetAncestor(wnd, GA_ROOT);
    SetForegroundWindow(root);
    // The other program activates its window, and gives a control the focus, when it handles
    // the request; a key sent before that is lost. Wait (bounded) until it has.
    const DWORD thread = GetWindowThreadProcessId(root, nullptr);
    for (int i = 0; i < 100; ++i) {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (GetForegroundWindow() == root && GetGUIThreadInfo(thread, &info) &&
            info.hwndActive == root && info.hwndFocus)
            return;
        Sleep(20);
    }
}

void PressKey(HWND wnd, BYTE key) {
    BringToFront(wnd);
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}

void ClickAt(int x, int y) {
    // Under load a pointer motion the display reports late can put the cursor back where an
    // earlier test left it, and the press would land there: it goes out only once the cursor
    // has stayed where it was put for three looks in a row.
    SetCursorPos(x, y);
    for (int still = 0, looks = 0; still < 3 && looks < 100; ++looks) {
        Sleep(10);
        POINT at{};
        GetCursorPos(&at);
        if (at.x == x && at.y == y) {
            ++still;
        } else {
            still = 0;
            SetCursorPos(x, y);
        }
    }
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

void ShiftEnter() {
    keybd_event(VK_SHIFT, 0, 0, 0);
    keybd_event(VK_RETURN, 0, 0, 0);
    keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
}

}  // namespace standin_test
