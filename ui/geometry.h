// Plain geometry and font descriptions shared by the control objects and the frontends. Sizes are
// in design pixels (96 dots per inch); the Windows frontend scales them to the monitor.
#pragma once
#include <string>

namespace ui {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool Contains(int x, int y) const {
        return x >= left && x < Right() && y >= top && y < Bottom();
    }
    bool operator==(const Rect&) const = default;
};

// A font as the user sees it: face, character height in design pixels (what a LOGFONT holds as
// a negative height), weight.
struct Font {
    std::wstring name = L"Tahoma";
    int height = 11;
    bool bold = false;
    bool operator==(const Font&) const = default;

    // The character height of a point size at 96 dots per inch (8 points: 11 pixels).
    static Font Points(std::wstring name, int points, bool bold = false) {
        return Font{std::move(name), (points * 96 + 36) / 72, bold};
    }
};

enum class Alignment { Left, Center, Right };

}  // namespace ui
