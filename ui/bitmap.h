// A 24-bit bitmap in memory, laid out as a top-down Windows DIB: rows padded to four bytes, each
// pixel blue, green, red. It can be read pixel by pixel and drawn on (pixels, filled ellipses).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ui {

struct Color {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool operator==(const Color&) const = default;
};

class Bitmap {
  public:
    Bitmap() = default;
    Bitmap(int width, int height) { SetSize(width, height); }

    // Resizes to width × height (negative counts as 0); the contents become black.
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    // Bytes per row, a multiple of 4.
    int Stride() const { return stride_; }

    // Row y (0 at the top): Width() pixels of three bytes, blue first. y must be inside.
    uint8_t* ScanLine(int y) { return data_.data() + static_cast<size_t>(y) * stride_; }
    const uint8_t* ScanLine(int y) const { return data_.data() + static_cast<size_t>(y) * stride_; }
    uint8_t* Data() { return data_.data(); }
    const uint8_t* Data() const { return data_.data(); }

    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // Reading outside the bitmap gives black; drawing outside it is clipped.
    Color Pixel(int x, int y) const;
    void SetPixel(int x, int y, Color c);
    void Fill(Color c);
    // The filled ellipse inside the box from (left, top) up to but not including (right,
    // bottom), outline and inside in one colour, as GDI draws it with a pen and a brush of that
    // colour.
    void FillEllipse(int left, int top, int right, int bottom, Color c);

    bool operator==(const Bitmap&) const = default;

  private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<uint8_t> data_;
};

}  // namespace ui
