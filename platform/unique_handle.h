// Move-only owners for Win32 handles. The value that means "no handle" is part of the type:
// events, threads and most kernel objects use NULL, files and devices INVALID_HANDLE_VALUE.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <utility>

namespace platform {

template <typename T, typename Traits>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Invalid(); }
    T release() { return std::exchange(value_, Traits::Invalid()); }
    void reset(T value = Traits::Invalid()) {
        T old = std::exchange(value_, value);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

private:
    T value_ = Traits::Invalid();
};

struct NullHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct GdiObjectTraits {
    static HGDIOBJ Invalid() { return nullptr; }
    static void Close(HGDIOBJ h) { DeleteObject(h); }
};
struct MemoryDcTraits {
    static HDC Invalid() { return nullptr; }
    static void Close(HDC h) { DeleteDC(h); }
};
struct WindowTraits {
    static HWND Invalid() { return nullptr; }
    static void Close(HWND h) { DestroyWindow(h); }
};

using UniqueHandle = UniqueResource<HANDLE, NullHandleTraits>;       // events, threads, ...
using UniqueFileHandle = UniqueResource<HANDLE, FileHandleTraits>;   // CreateFile results
using UniqueGdiObject = UniqueResource<HGDIOBJ, GdiObjectTraits>;    // bitmaps, fonts, brushes
using UniqueMemoryDc = UniqueResource<HDC, MemoryDcTraits>;          // CreateCompatibleDC
using UniqueWindow = UniqueResource<HWND, WindowTraits>;             // windows we create

// A screen or window DC from GetDC, given back with ReleaseDC.
class ScopedWindowDc {
public:
    explicit ScopedWindowDc(HWND wnd) : wnd_(wnd), dc_(GetDC(wnd)) {}
    ~ScopedWindowDc() {
        if (dc_) ReleaseDC(wnd_, dc_);
    }
    ScopedWindowDc(const ScopedWindowDc&) = delete;
    ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND wnd_;
    HDC dc_;
};

}  // namespace platform
#endif
