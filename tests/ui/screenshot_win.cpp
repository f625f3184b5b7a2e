// Window pictures for the tests: a screen copy into a DIB, written as an uncompressed PNG (stored
// deflate blocks), which every viewer reads.
#include "tests/ui/screenshot_win.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/unique_handle.h"

#ifndef PELKAN_TEST_RESULTS
#error "PELKAN_TEST_RESULTS names the folder of the test results"
#endif

namespace test_support {
namespace {

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBig32(out, Crc32(body.data(), body.size()));
}

// rows: height rows of 3·width bytes, red first.
std::vector<uint8_t> EncodePng(int width, int height, const std::vector<uint8_t>& rgbRows) {
    std::vector<uint8_t> raw;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        raw.insert(raw.end(), rgbRows.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
                   rgbRows.begin() + static_cast<std::ptrdiff_t>((y + 1) * rowBytes));
    }
    std::vector<uint8_t> z{0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<uint8_t>(n));
        z.push_back(static_cast<uint8_t>(n >> 8));
        z.push_back(static_cast<uint8_t>(~n));
        z.push_back(static_cast<uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                 raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(z, (b << 16) | a);

    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBig32(header, static_cast<uint32_t>(width));
    PutBig32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    return png;
}

}  // namespace

std::wstring ResultsFolder() {
    std::wstring folder;
    for (const char* p = PELKAN_TEST_RESULTS; *p; ++p) folder += *p == '/' ? L'\\' : wchar_t(*p);
    // Each level, so that a fresh build folder works too.
    for (size_t i = 3; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == L'\\')
            CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
    }
    return folder + L"\\";
}

bool SavePicture(int width, int height, const uint8_t* bgr, size_t stride,
                 const std::wstring& path) {
    if (width <= 0 || height <= 0 || !bgr) return false;
    std::vector<uint8_t> rgb;
    rgb.reserve(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bgr + y * stride;
        for (int x = 0; x < width; ++x)
            rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
    std::vector<uint8_t> png = EncodePng(width, height, rgb);
    platform::UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), png.data(), static_cast<DWORD>(png.size()), &written, nullptr) &&
           written == png.size();
}

bool SaveWindowPicture(HWND window, const std::wstring& path) {
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    platform::ScopedWindowDc screen(nullptr);
    platform::UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    platform::UniqueGdiObject dib(
        CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !memory) return false;
    HGDIOBJ old = SelectObject(memory.get(), dib.get());
    BOOL copied =
        BitBlt(memory.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    SelectObject(memory.get(), old);
    if (!copied) return false;
    const size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
    return SavePicture(w, h, static_cast<const uint8_t*>(bits), stride, path);
}

void PumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    } while (GetTickCount() - start < ms);
}

}  // namespace test_support
