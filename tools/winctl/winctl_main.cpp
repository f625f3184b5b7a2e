// winctl: drives another program's windows from a script, as a user at the desktop would, for
// the demonstration and the whole-program tests. Run under Wine next to the program it drives.
//   winctl wait <title> [ms]              waits until a visible top-level window has this title
//   winctl click <title> <button text>    clicks the button of that window (BM_CLICK)
//   winctl text <title> <control text>    prints whether the window holds a control with this text
//   winctl select <title> <item text>     selects the item of the window's drop-down list, as a
//                                         user's choice (the program is told of the change)
//   winctl close <title>                  closes the window (WM_CLOSE) and waits for it to go
//   winctl dismiss <text> [ms]            waits for a message box (any title) that says <text>,
//                                         presses its OK and waits for it to go
//   winctl gone <title> [ms]              waits until no visible window has this title
// Titles and texts match exactly. Exit status 0 on success, 1 when the window or control was not
// found in time, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
    std::wstring text;
    HWND found = nullptr;
};

std::wstring TextOf(HWND wnd) {
    wchar_t buf[512];
    int n = GetWindowTextW(wnd, buf, 512);
    return std::wstring(buf, static_cast<size_t>(n > 0 ? n : 0));
}

BOOL CALLBACK MatchTopLevel(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (IsWindowVisible(wnd) && TextOf(wnd) == search->text) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK MatchComboBox(HWND wnd, LPARAM param) {
    wchar_t cls[64];
    GetClassNameW(wnd, cls, 64);
    if (_wcsicmp(cls, L"ComboBox") == 0) {
        reinterpret_cast<Search*>(param)->found = wnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK MatchChild(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (TextOf(wnd) == search->text) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

struct BoxSearch {
    std::wstring text;
    HWND box = nullptr;
};

BOOL CALLBACK MatchBox(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    wchar_t cls[64];
    GetClassNameW(wnd, cls, 64);
    if (IsWindowVisible(wnd) && wcscmp(cls, L"#32770") == 0) {
        Search child{search->text};
        EnumChildWindows(wnd, MatchChild, reinterpret_cast<LPARAM>(&child));
        if (child.found) {
            search->box = wnd;
            return FALSE;
        }
    }
    return TRUE;
}

HWND FindTopLevel(const std::wstring& title, DWORD waitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        Search search{title};
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount() - start >= waitMs) return search.found;
        Sleep(50);
    }
}

HWND FindChild(HWND parent, const std::wstring& text) {
    Search search{text};
    EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: winctl wait|gone <title> [ms] | click <title> <button> | "
                 "text <title> <text> | select <title> <item> | close <title>\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return Usage();
    std::wstring verb = argv[1], title = argv[2];
    DWORD waitMs = 10000;
    if ((verb == L"wait" || verb == L"gone") && argc > 3) waitMs = wcstoul(argv[3], nullptr, 10);

    if (verb == L"wait") return FindTopLevel(title, waitMs) ? 0 : 1;
    if (verb == L"dismiss") {
        if (argc > 3) waitMs = wcstoul(argv[3], nullptr, 10);
        DWORD start = GetTickCount();
        BoxSearch search{title};
        for (;;) {
            EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
            if (search.box) break;
            if (GetTickCount() - start >= waitMs) return 1;
            Sleep(50);
        }
        PostMessageW(search.box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        while (IsWindow(search.box) && GetTickCount() - start < waitMs + 5000) Sleep(50);
        return IsWindow(search.box) ? 1 : 0;
    }
    if (verb == L"gone") {
        DWORD start = GetTickCount();
        while (FindTopLevel(title, 0)) {
            if (GetTickCount() - start >= waitMs) return 1;
            Sleep(50);
        }
        return 0;
    }
    HWND wnd = FindTopLevel(title, waitMs);
    if (!wnd) {
        std::fprintf(stderr, "winctl: no window titled as given\n");
        return 1;
    }
    if (verb == L"close") {
        PostMessageW(wnd, WM_CLOSE, 0, 0);
        DWORD start = GetTickCount();
        while (IsWindow(wnd) && GetTickCount() - start < waitMs) Sleep(50);
        return IsWindow(wnd) ? 1 : 0;
    }
    if (argc < 4) return Usage();
    if (verb == L"select") {
        Search search;
        EnumChildWindows(wnd, MatchComboBox, reinterpret_cast<LPARAM>(&search));
        if (!search.found) {
            std::fprintf(stderr, "winctl: the window has no drop-down list\n");
            return 1;
        }
        LRESULT index = SendMessageW(search.found, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(argv[3]));
        if (index == CB_ERR) {
            std::fprintf(stderr, "winctl: the list has no such item\n");
            return 1;
        }
        SendMessageW(search.found, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        int id = GetDlgCtrlID(search.found);
        SendMessageW(GetParent(search.found), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(search.found));
        return 0;
    }
    HWND child = FindChild(wnd, argv[3]);
    if (verb == L"text") {
        std::printf("%s\n", child ? "yes" : "no");
        return child ? 0 : 1;
    }
    if (verb == L"click") {
        if (!child) {
            std::fprintf(stderr, "winctl: no such button\n");
            return 1;
        }
        // Sent, not posted: when this returns the program has handled the click.
        DWORD_PTR result = 0;
        SendMessageTimeoutW(child, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &result);
        return 0;
    }
    return Usage();
}
