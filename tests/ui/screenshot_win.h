// Test support: a picture of a window as it is on the screen, saved as a PNG file with the
// test's results.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace test_support {

// The folder of the test results (created when missing), as a Windows path with a trailing
// separator.
std::wstring ResultsFolder();

// Copies the window's rectangle from the screen and writes it to path as a 24-bit PNG. Returns
// false when nothing could be captured or written.
bool SaveWindowPicture(HWND window, const std::wstring& path);

// Writes a picture held as top-down rows of blue-green-red pixels, `stride` bytes apart, to path
// as a 24-bit PNG. Returns false when there is nothing to write or the file cannot be written.
bool SavePicture(int width, int height, const uint8_t* bgr, size_t stride,
                 const std::wstring& path);

// Handles the messages waiting for this thread, and keeps doing so for at least ms milliseconds.
void PumpMessages(DWORD ms);

}  // namespace test_support
