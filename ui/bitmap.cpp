// The in-memory 24-bit bitmap.
#include "ui/bitmap.h"

#include <algorithm>

namespace ui {

void Bitmap::SetSize(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    if (width_ == 0 || height_ == 0) width_ = height_ = 0;
    stride_ = (width_ * 3 + 3) & ~3;
    data_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height_), 0);
}

Color Bitmap::Pixel(int x, int y) const {
    if (!Contains(x, y)) return {};
    const uint8_t* p = ScanLine(y) + 3 * x;
    return {p[2], p[1], p[0]};
}

void Bitmap::SetPixel(int x, int y, Color c) {
    if (!Contains(x, y)) return;
    uint8_t* p = ScanLine(y) + 3 * x;
    p[0] = c.blue;
    p[1] = c.green;
    p[2] = c.red;
}

void Bitmap::Fill(Color c) {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) SetPixel(x, y, c);
    }
}

void Bitmap::FillEllipse(int left, int top, int right, int bottom, Color c) {
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    if (right == left || bottom == top) return;
    // A pixel belongs to the ellipse when its centre lies inside the ellipse inscribed in the box.
    const double cx = (left + right) / 2.0, cy = (top + bottom) / 2.0;
    const double rx = (right - left) / 2.0, ry = (bottom - top) / 2.0;
    for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y) {
        for (int x = std::max(left, 0); x < std::min(right, width_); ++x) {
            double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
            if (dx * dx + dy * dy <= 1.0) SetPixel(x, y, c);
        }
    }
}

}  // namespace ui
