// The real desktop: user32 for windows, input and the cursor, gdi32 for screen copies.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "app/desktop.h"
#include "platform/unique_handle.h"

namespace {

HWND H(Wnd wnd) { return reinterpret_cast<HWND>(wnd); }
Wnd W(HWND hwnd) { return reinterpret_cast<Wnd>(hwnd); }

constexpr int32_t kCaptureBandBytes = 256 * 1024;

// The DPI calls came with Windows 8.1 (GetDpiForMonitor, in shcore) and Windows 10 1607 (the
// rest, in user32), and not every import library declares them: each is looked up once, and a
// Windows without one reports no DPI (the scale then stays 1).
struct DpiCalls {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    using AwarenessContextOf = void*(WINAPI*)(HWND);
    using AwarenessOfContext = int(WINAPI*)(void*);
    using DpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    DpiForWindow dpiForWindow = nullptr;
    AwarenessContextOf awarenessContextOf = nullptr;
    AwarenessOfContext awarenessOfContext = nullptr;
    DpiForMonitor dpiForMonitor = nullptr;

    DpiCalls() {
        HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        if (user32) {
            dpiForWindow = reinterpret_cast<DpiForWindow>(
                reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")));
            awarenessContextOf = reinterpret_cast<AwarenessContextOf>(reinterpret_cast<void*>(
                ::GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
            awarenessOfContext = reinterpret_cast<AwarenessOfContext>(reinterpret_cast<void*>(
                ::GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
        }
        // Loaded for the program's lifetime: the pointer is used on every tick.
        HMODULE shcore = ::LoadLibraryW(L"shcore.dll");
        if (shcore) {
            dpiForMonitor = reinterpret_cast<DpiForMonitor>(
                reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")));
        }
    }
    bool Complete() const {
        return dpiForWindow && awarenessContextOf && awarenessOfContext && dpiForMonitor;
    }
};

const DpiCalls& Dpi() {
    static const DpiCalls calls;
    return calls;
}

class WinDesktop final : public Desktop {
  public:
    Wnd FindWindowByClass(const std::wstring& className) override {
        return W(::FindWindowW(className.c_str(), nullptr));
    }
    Wnd FindWindowByTitle(const std::wstring& title) override {
        return W(::FindWindowW(nullptr, title.c_str()));
    }
    void EnumChildWindows(Wnd parent, const std::function<bool(Wnd)>& visit) override {
        // No exception may cross the system's callback; the visitors here do not throw.
        ::EnumChildWindows(
            H(parent),
            [](HWND child, LPARAM context) -> BOOL {
                auto* v = reinterpret_cast<const std::function<bool(Wnd)>*>(context);
                return (*v)(W(child)) ? TRUE : FALSE;
            },
            reinterpret_cast<LPARAM>(&visit));
    }
    Wnd GetFirstChild(Wnd wnd) override {
        return wnd == kNoWnd ? kNoWnd : W(::GetWindow(H(wnd), GW_CHILD));
    }
    Wnd GetNextSibling(Wnd wnd) override {
        return wnd == kNoWnd ? kNoWnd : W(::GetWindow(H(wnd), GW_HWNDNEXT));
    }
    Wnd GetRootWindow(Wnd wnd) override { return W(::GetAncestor(H(wnd), GA_ROOT)); }

    std::wstring GetWindowTitle(Wnd wnd, int32_t capacity) override {
        if (capacity <= 0) return {};
        std::wstring buffer(static_cast<size_t>(capacity), L'\0');
        int n = ::GetWindowTextW(H(wnd), buffer.data(), capacity);
        buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buffer;
    }
    std::optional<int32_t> SendGetTextLength(Wnd wnd) override {
        LRESULT n = 0;
        if (!Send(wnd, WM_GETTEXTLENGTH, 0, 0, n)) return std::nullopt;
        return static_cast<int32_t>(n);
    }
    std::optional<std::wstring> SendGetText(Wnd wnd, int32_t capacity) override {
        if (capacity <= 0) return std::wstring();
        std::wstring buffer(static_cast<size_t>(capacity), L'\0');
        LRESULT n = 0;
        if (!Send(wnd, WM_GETTEXT, static_cast<WPARAM>(capacity),
                  reinterpret_cast<LPARAM>(buffer.data()), n))
            return std::nullopt;
        if (n < 0) n = 0;
        if (n > capacity - 1) n = capacity - 1;
        buffer.resize(static_cast<size_t>(n));
        return buffer;
    }
    bool SendSetText(Wnd wnd, const std::wstring& text) override {
        LRESULT ignored = 0;
        return Send(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), ignored);
    }
    bool Answers(Wnd wnd) override {
        LRESULT ignored = 0;
        return Send(wnd, WM_NULL, 0, 0, ignored);
    }
    std::wstring GetWindowClass(Wnd wnd, int32_t capacity) override {
        if (capacity <= 0) return {};
        std::wstring buffer(static_cast<size_t>(capacity), L'\0');
        int n = ::GetClassNameW(H(wnd), buffer.data(), capacity);
        buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return buffer;
    }

    bool IsWindow(Wnd wnd) override { return ::IsWindow(H(wnd)) != FALSE; }
    bool IsWindowVisible(Wnd wnd) override { return ::IsWindowVisible(H(wnd)) != FALSE; }
    bool IsWindowEnabled(Wnd wnd) override { return ::IsWindowEnabled(H(wnd)) != FALSE; }
    bool IsIconic(Wnd wnd) override { return ::IsIconic(H(wnd)) != FALSE; }
    bool GetWindowRect(Wnd wnd, DesktopRect& rect) override {
        RECT r{};
        if (!::GetWindowRect(H(wnd), &r)) return false;
        rect = {r.left, r.top, r.right, r.bottom};
        return true;
    }
    Wnd WindowFromPoint(DesktopPoint point) override {
        return W(::WindowFromPoint(POINT{point.x, point.y}));
    }
    std::optional<WindowDpi> GetWindowDpi(Wnd wnd) override {
        const DpiCalls& calls = Dpi();
        if (!calls.Complete() || !::IsWindow(H(wnd))) return std::nullopt;
        WindowDpi result;
        // DPI_AWARENESS: 0 unaware, 1 system aware, 2 per-monitor aware, -1 invalid.
        switch (calls.awarenessOfContext(calls.awarenessContextOf(H(wnd)))) {
            case 0: result.awareness = DpiAwareness::Unaware; break;
            case 1: result.awareness = DpiAwareness::SystemAware; break;
            case 2: result.awareness = DpiAwareness::PerMonitorAware; break;
            default: return std::nullopt;
        }
        result.windowDpi = calls.dpiForWindow(H(wnd));
        HMONITOR monitor = ::MonitorFromWindow(H(wnd), MONITOR_DEFAULTTONEAREST);
        UINT x = 0;
        UINT y = 0;
        constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
        if (!monitor || FAILED(calls.dpiForMonitor(monitor, kEffectiveDpi, &x, &y)))
            return std::nullopt;
        result.monitorDpi = x;
        if (result.windowDpi == 0 || result.monitorDpi == 0) return std::nullopt;
        return result;
    }

    std::vector<Wnd> TopLevelWindows() override {
        std::vector<Wnd> windows;
        ::EnumWindows(
            [](HWND wnd, LPARAM context) -> BOOL {
                reinterpret_cast<std::vector<Wnd>*>(context)->push_back(W(wnd));
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&windows));
        return windows;
    }
    uint32_t GetWindowProcessId(Wnd wnd) override {
        DWORD process = 0;
        if (!::GetWindowThreadProcessId(H(wnd), &process)) return 0;
        return process;
    }
    bool RunsAboveThisProgram(uint32_t process) override {
        if (process == 0) return false;
        const std::optional<DWORD> own = IntegrityLevelOf(::GetCurrentProcess());
        if (!own) return false;
        platform::UniqueHandle other(
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
        if (!other) return ::GetLastError() == ERROR_ACCESS_DENIED;
        const std::optional<DWORD> level = IntegrityLevelOf(other.get());
        if (!level) return ::GetLastError() == ERROR_ACCESS_DENIED;
        return *level > *own;
    }
    uint64_t RefusedSends() override { return refusedSends_; }

    bool SetForegroundWindow(Wnd wnd) override {
        HWND root = ::GetAncestor(H(wnd), GA_ROOT);
        if (!root) return false;
        if (::SetForegroundWindow(root) && CameForward(root)) return true;
        // A program in the background is refused the foreground unless it shares the input of
        // the program in front; for the moment of the request it does. No key is synthesised
        // to win the foreground: such a key would go to the program in front.
        HWND front = ::GetForegroundWindow();
        DWORD frontThread = front ? ::GetWindowThreadProcessId(front, nullptr) : 0;
        DWORD self = ::GetCurrentThreadId();
        if (frontThread == 0 || frontThread == self) return false;
        if (!::AttachThreadInput(self, frontThread, TRUE)) return false;
        ::SetForegroundWindow(root);
        ::BringWindowToTop(root);
        ::AttachThreadInput(self, frontThread, FALSE);
        return CameForward(root);
    }
    bool RequestForeground(Wnd wnd) override {
        HWND root = ::GetAncestor(H(wnd), GA_ROOT);
        return root && ::SetForegroundWindow(root) && CameForward(root);
    }
    Wnd GetForegroundWindow() override { return W(::GetForegroundWindow()); }
    std::optional<uint32_t> MillisecondsSinceLastInput() override {
        LASTINPUTINFO info{};
        info.cbSize = sizeof(info);
        if (!::GetLastInputInfo(&info)) return std::nullopt;
        // Both are tick counts that wrap together after 49.7 days: the unsigned difference holds.
        return static_cast<uint32_t>(::GetTickCount() - info.dwTime);
    }
    bool SessionShowsDesktop() override {
        HDESK input = ::OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
        if (!input) return false;
        wchar_t name[64] = {};
        DWORD needed = 0;
        const bool named = ::GetUserObjectInformationW(input, UOI_NAME, name, sizeof(name), &needed);
        ::CloseDesktop(input);
        return named && ::lstrcmpiW(name, L"Default") == 0;
    }
    bool FocusWindow(Wnd wnd) override {
        DWORD target = ::GetWindowThreadProcessId(H(wnd), nullptr);
        if (target == 0) return false;
        // Focus messages go to the target's thread and wait for it: a thread that does not
        // answer now is not asked.
        if (!Answers(wnd)) return false;
        DWORD self = ::GetCurrentThreadId();
        // SetFocus works only on windows of the calling thread's input queue; sharing the
        // target's queue for the moment of the call makes its window eligible.
        bool attached = target != self && ::AttachThreadInput(self, target, TRUE);
        if (target != self && !attached) return false;
        ::SetFocus(H(wnd));
        bool focused = ::GetFocus() == H(wnd);
        if (attached) ::AttachThreadInput(self, target, FALSE);
        return focused;
    }
    Wnd GetFocusOf(Wnd wnd) override {
        DWORD thread = ::GetWindowThreadProcessId(H(wnd), nullptr);
        if (thread == 0) return kNoWnd;
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (!::GetGUIThreadInfo(thread, &info)) return kNoWnd;
        return W(info.hwndFocus);
    }
    void KeybdEvent(uint8_t virtualKey, uint32_t flags) override {
        ::keybd_event(virtualKey, 0, flags, 0);
    }
    bool ClickAt(DesktopPoint point) override {
        const NormalisedPoint at = NormaliseToVirtualScreen(point, VirtualScreen());
        INPUT inputs[3]{};
        for (INPUT& input : inputs) input.type = INPUT_MOUSE;
        inputs[0].mi.dx = at.dx;
        inputs[0].mi.dy = at.dy;
        inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
        inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        return ::SendInput(3, inputs, sizeof(INPUT)) == 3;
    }
    DesktopRect VirtualScreen() override {
        const int32_t left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
        const int32_t top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
        return {left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    }
    bool GetCursorPos(DesktopPoint& point) override {
        POINT p{};
        if (!::GetCursorPos(&p)) return false;
        point = {p.x, p.y};
        return true;
    }
    void SetCursorPos(DesktopPoint point) override { ::SetCursorPos(point.x, point.y); }
    void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

    bool CaptureScreen(int32_t x, int32_t y, ui::Bitmap& bitmap) override {
        if (bitmap.Width() <= 0 || bitmap.Height() <= 0) return false;
        platform::UniqueMemoryDc display(::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr));
        if (!display) return false;
        if (!copyTarget_.Fit(display.get(), bitmap.Width(), bitmap.Height())) return false;
        // The rectangle is copied in bands of at most kCaptureBandBytes of screen pixels: the
        // pixels are the same, and under Wine one screen read of more than about 640 KB costs
        // ten times what the same pixels cost read in a few smaller pieces (5 ms against 0.5 ms
        // for the monitor's grid), which four times a second is most of an idle bridge's work.
        const int32_t bandRows = std::max<int32_t>(1, kCaptureBandBytes / (bitmap.Width() * 4));
        BOOL copied = TRUE;
        for (int32_t top = 0; copied && top < bitmap.Height(); top += bandRows) {
            const int32_t rows = std::min(bandRows, bitmap.Height() - top);
            copied = ::BitBlt(copyTarget_.Dc(), 0, top, bitmap.Width(), rows, display.get(), x,
                              y + top, SRCCOPY | CAPTUREBLT);
        }
        ::GdiFlush();
        if (!copied) return false;
        // The section's lines are padded exactly as ui::Bitmap's.
        memcpy(bitmap.Data(), copyTarget_.Bits(),
               static_cast<size_t>(bitmap.Stride()) * static_cast<size_t>(bitmap.Height()));
        return true;
    }

  private:
    // The window's own thread takes the activation when it next looks at its messages (under
    // Wine the foreground stays empty until then): waits for that, at most the monitor call
    // time-out.
    static bool CameForward(HWND root) {
        for (uint32_t waited = 0;; waited += kForegroundPollMs) {
            if (::GetForegroundWindow() == root) return true;
            if (waited >= kMonitorCallTimeoutMs) return false;
            ::Sleep(kForegroundPollMs);
        }
    }
    static constexpr uint32_t kForegroundPollMs = 10;

    // The integrity level in a process's token (the last sub-authority of its mandatory label,
    // SECURITY_MANDATORY_MEDIUM_RID and the like); nothing, with the last error set, when the
    // token cannot be read.
    static std::optional<DWORD> IntegrityLevelOf(HANDLE process) {
        HANDLE raw = nullptr;
        if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) return std::nullopt;
        platform::UniqueHandle token(raw);
        DWORD size = 0;
        ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
        if (size < sizeof(TOKEN_MANDATORY_LABEL)) return std::nullopt;
        std::vector<unsigned char> buffer(size);
        if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size))
            return std::nullopt;
        const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
        PSID sid = label->Label.Sid;
        if (!sid || !::IsValidSid(sid) || *::GetSidSubAuthorityCount(sid) == 0) {
            ::SetLastError(ERROR_INVALID_DATA);
            return std::nullopt;
        }
        return *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1u);
    }

    // One message to a window of another program, waiting at most the monitor call time-out.
    // SMTO_ABORTIFHUNG: a thread the system reports hung is given up at once. This thread still
    // handles the messages sent to it while it waits, as SendMessageW does: the system's own
    // activation and focus notices to this program's windows must not wait behind the monitor
    // (under Wine a focus move into the monitor fails while they do). The commands that come
    // that way wait for their turn (MonitorWork). False only when the window exists and did not
    // answer; a send the system refused with access denied (a window of a program at a higher
    // integrity level) is one, and is counted.
    bool Send(Wnd wnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        DWORD_PTR answer = 0;
        if (::SendMessageTimeoutW(H(wnd), msg, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                  kMonitorCallTimeoutMs, &answer)) {
            result = static_cast<LRESULT>(answer);
            return true;
        }
        const DWORD error = ::GetLastError();
        result = 0;
        if (!::IsWindow(H(wnd))) return true;
        if (error == ERROR_ACCESS_DENIED) ++refusedSends_;
        return false;
    }
    uint64_t refusedSends_ = 0;  // main thread only, as every call here

    // The 24-bit section screen copies land in, selected into its memory DC, kept from one
    // capture to the next while the size stays: a new section every tick means fresh pages
    // for the system to fault in, which costs more than the copy itself. Used from the main
    // thread only, as every capture is.
    class ScreenCopyTarget {
      public:
        ~ScreenCopyTarget() { Release(); }
        bool Fit(HDC display, int32_t width, int32_t height) {
            if (bits_ && width == width_ && height == height_) return true;
            Release();
            memory_.reset(::CreateCompatibleDC(display));
            if (!memory_) return false;
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof(info.bmiHeader);
            info.bmiHeader.biWidth = width;
            info.bmiHeader.biHeight = -height;  // top-down, like ui::Bitmap
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 24;
            info.bmiHeader.biCompression = BI_RGB;
            void* bits = nullptr;
            section_.reset(::CreateDIBSection(display, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
            if (!section_ || !bits) {
                Release();
                return false;
            }
            previous_ = ::SelectObject(memory_.get(), section_.get());
            bits_ = bits;
            width_ = width;
            height_ = height;
            return true;
        }
        HDC Dc() const { return memory_.get(); }
        const void* Bits() const { return bits_; }

      private:
        void Release() {
            // The section leaves its DC before either goes.
            if (memory_ && previous_) ::SelectObject(memory_.get(), previous_);
            previous_ = nullptr;
            section_.reset();
            memory_.reset();
            bits_ = nullptr;
            width_ = height_ = 0;
        }
        platform::UniqueMemoryDc memory_;
        platform::UniqueGdiObject section_;
        HGDIOBJ previous_ = nullptr;
        void* bits_ = nullptr;
        int32_t width_ = 0;
        int32_t height_ = 0;
    };
    ScreenCopyTarget copyTarget_;
};

}  // namespace

Desktop& DefaultDesktop() {
    static WinDesktop desktop;
    return desktop;
}
