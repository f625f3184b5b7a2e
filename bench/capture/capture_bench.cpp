// The cost of one timer tick of the main window (window search, capture of the grid, 160
// samples with their markers, the displays) next to the same work done with raw calls by a
// minimal loop, measured in one run against the monitor stand-in. Prints median and 99th
// percentile of both and the ratio of the medians.
//
//   capture_bench.exe [rounds]      (default 400; run under Wine next to nothing else)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/grid_capture.h"
#include "app/main_window.h"
#include "app/serial_services_double.h"
#include "tests/support/standin/standin_client.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The raw sequence: what one tick needs of the system, with nothing around it.
int RawSequence() {
    HWND frame = FindWindowW(L"KorvexFrameWnd", nullptr);
    struct Found {
        HWND monitor = nullptr;
        HWND grid = nullptr;
    } found;
    EnumChildWindows(
        frame,
        [](HWND child, LPARAM context) -> BOOL {
            auto* f = reinterpret_cast<Found*>(context);
            wchar_t text[255];
            if (!f->monitor && GetWindowTextW(child, text, 255) > 0 &&
                wcsncmp(text, L"デバイス/バッファメモリ一括モニタ", 17) == 0)
                f->monitor = child;
            wchar_t name[50];
            if (!f->grid && GetClassNameW(child, name, 50) > 0 &&
                wcscmp(name, L"SPR32AU70_SpreadSheet") == 0)
                f->grid = child;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    RECT r{};
    GetWindowRect(found.grid, &r);
    const int x = r.left + 243, y = r.top, w = 504, h = 372;
    if (WindowFromPoint(POINT{x, y}) != found.grid) return -1;
    HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    HDC memory = CreateCompatibleDC(display);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(display, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, w, h, display, x, y, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    const int stride = (w * 3 + 3) & ~3;
    int on = 0;
    for (int row = 0; row < 10; ++row)
        for (int col = 0; col < 16; ++col) {
            const auto* p =
                static_cast<const uint8_t*>(bits) + (39 + row * 33) * stride + 3 * (8 + col * 31);
            on += p[0] == 255 && p[1] == 0 && p[2] == 0;
        }
    SelectObject(memory, old);
    DeleteObject(section);
    DeleteDC(memory);
    DeleteDC(display);
    return on;
}

struct Stats {
    double median, p99;
};

Stats Summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        return v[std::min(v.size() - 1, static_cast<size_t>(q * v.size()))];
    };
    return {at(0.5), at(0.99)};
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(10, atoi(argv[1])) : 400;
    try {
        standin::StandinClient standin;
        standin.Start({L"--pos", L"20,20", L"--first", L"X000"});
        standin.Ok(
            "fill X000 1011001110001111010110010111001010110011100011110101100101110010"
            "1011001110001111010110010111001010110011100011110101100101110010"
            "10110011100011110101100101110010");
        SerialServicesDouble serial;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        const std::wstring ini = std::wstring(temp) + L"capture_bench.ini";
        WritePrivateProfileStringW(L"Form", L"Left", L"1250", ini.c_str());
        WritePrivateProfileStringW(L"Form", L"Top", L"40", ini.c_str());
        MainWindow form(serial.services, ini);
        form.Create();
        form.Show();
        PumpPending();
        // Warm up both, and let the first tick see the first device.
        for (int i = 0; i < 20; ++i) {
            form.SampleMonitor();
            if (RawSequence() < 0) {
                std::fprintf(stderr, "the grid is covered\n");
                return 1;
            }
            PumpPending();
        }
        std::vector<double> tick, raw;
        for (int i = 0; i < rounds; ++i) {
            // Alternating, so both see the same conditions (core placement, server load).
            auto t0 = Clock::now();
            form.SampleMonitor();
            auto t1 = Clock::now();
            RawSequence();
            auto t2 = Clock::now();
            tick.push_back(Micros(t1 - t0));
            raw.push_back(Micros(t2 - t1));
            PumpPending();  // repaints of gridPreview and the edits, outside the measured part
        }
        const Stats t = Summarise(tick), r = Summarise(raw);
        std::printf("capture tick vs raw call sequence, %d rounds (microseconds)\n", rounds);
        std::printf("  tick: median %.0f  p99 %.0f\n", t.median, t.p99);
        std::printf("  raw:  median %.0f  p99 %.0f\n", r.median, r.p99);
        std::printf("  ratio of medians %.2f (target at most 1.5), of p99 %.2f\n",
                    t.median / r.median, t.p99 / r.p99);
        int sampledOn = 0;
        for (int8_t s : form.OwnBridge().Capture().BitStates) sampledOn += s == 1;
        std::printf("  last tick sampled %d ON cells\n", sampledOn);
        form.Destroy();
        standin.Stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "capture_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
