// The monitor stand-in: a Windows program that shows the engineering application's device
// monitor as Pelkan sees it, for tests and demonstrations. Start-up options:
//   --pos X,Y  --size W,H  --fx  --first DEVICE  --on DEVICE[,DEVICE...]
//   --reject-title TEXT  --title-suffix TEXT  --stay  --scale F (the grid drawn stretched by F)
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "tools/standin/monitor_app.h"

namespace {

void ErrorLine(const std::wstring& text) {
    std::string line = standin::ToUtf8(L"standin: " + text) + "\n";
    DWORD written = 0;
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE)
        WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool ParsePair(const std::wstring& text, int* a, int* b) {
    wchar_t extra = 0;
    return swscanf(text.c_str(), L"%d,%d%lc", a, b, &extra) == 2;
}

std::vector<std::wstring> SplitCommas(const std::wstring& text) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(L',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::wstring::npos) return parts;
        start = comma + 1;
    }
}

bool ParseOptions(int argc, wchar_t** argv, standin::StartOptions* options, std::wstring* error) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto value = [&](std::wstring* out) {
            if (i + 1 >= argc) {
                *error = arg + L" needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        std::wstring v;
        if (arg == L"--fx") {
            options->fx = true;
        } else if (arg == L"--stay") {
            options->stay = true;
        } else if (arg == L"--pos") {
            if (!value(&v)) return false;
            if (!ParsePair(v, &options->x, &options->y)) {
                *error = L"--pos takes X,Y";
                return false;
            }
        } else if (arg == L"--size") {
            if (!value(&v)) return false;
            if (!ParsePair(v, &options->width, &options->height) || options->width <= 0 ||
                options->height <= 0) {
                *error = L"--size takes W,H";
                return false;
            }
        } else if (arg == L"--scale") {
            if (!value(&v)) return false;
            wchar_t extra = 0;
            if (swscanf(v.c_str(), L"%lf%lc", &options->scale, &extra) != 1 ||
                !(options->scale >= 0.5 && options->scale <= 4.0)) {
                *error = L"--scale takes a number from 0.5 to 4";
                return false;
            }
        } else if (arg == L"--first") {
            if (!value(&options->first)) return false;
        } else if (arg == L"--on") {
            if (!value(&v)) return false;
            for (auto& name : SplitCommas(v)) options->on.push_back(name);
        } else if (arg == L"--reject-title") {
            if (!value(&options->rejectTitle)) return false;
        } else if (arg == L"--title-suffix") {
            if (!value(&options->titleSuffix)) return false;
        } else {
            *error = L"unknown option " + arg;
            return false;
        }
    }
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Physical pixels everywhere, whatever the manifest loader did (a second call just fails).
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);

    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    standin::StartOptions options;
    std::wstring error;
    bool parsed = argv && ParseOptions(argc, argv, &options, &error);
    if (argv) LocalFree(argv);
    if (!parsed) {
        ErrorLine(error);
        return 2;
    }

    standin::MonitorApp app(std::move(options));
    if (!app.Create(instance, &error)) {
        ErrorLine(error);
        return 2;
    }
    app.StartControl();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
