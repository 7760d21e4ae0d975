// picture.h - the picture buffers that cross every boundary of the engine.
//
// A pixel is one 32-bit word 0xAARRGGBB, the layout of Qt's RGB32/ARGB32 images on every
// platform: blue in the lowest byte, then green, red and alpha. The analysis never looks at
// alpha. Rows are stored top to bottom; `stride` is the distance between the starts of two
// rows, in pixels (stride >= width). Coordinates are x to the right and y downwards from
// the top-left pixel; pictures are at most kMaxPictureSide pixels on a side, so every
// coordinate fits 16 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixel/pixel_store.h"

namespace holescan {

inline constexpr int kMaxPictureSide = 32766;

// Opaque colour word for red, green and blue components.
constexpr std::uint32_t Rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

// A rectangle of a picture as the mouse marks it, in picture pixels with all four bounds
// inclusive; the whole picture of W x H pixels is (0, 0) to (W, H), one column and one row
// past its last pixel.
struct Selection {
  int SelTop = 0;
  int SelBottom = 0;
  int SelLeft = 0;
  int SelRight = 0;
  friend bool operator==(const Selection&, const Selection&) = default;
};

// The selection of a whole picture.
constexpr Selection WholePicture(int width, int height) {
  return {0, height, 0, width};
}

// A read-only view of pixels owned elsewhere (a decoded file, a test's array).
struct PictureView {
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;  // pixels from one row start to the next
  const std::uint32_t* pixels = nullptr;

  const std::uint32_t* Row(int y) const { return pixels + y * stride; }
};

// An owned picture with stride == width, in a PixelStore (huge pages for large pictures).
class Picture {
 public:
  Picture() = default;
  Picture(int width, int height, std::uint32_t fill);

  // A picture whose pixels are unspecified, for a writer that sets every one of them.
  static Picture Unfilled(int width, int height);
  // Makes the picture width x height with unspecified pixels, keeping its memory when it is
  // large enough: one picture serves every picture of a batch.
  void Reshape(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  std::uint32_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * Stride(); }
  const std::uint32_t* Row(int y) const {
    return pixels_.data() + static_cast<std::size_t>(y) * Stride();
  }
  std::uint32_t At(int x, int y) const { return Row(y)[x]; }

  // Sets one pixel; a position outside the picture is silently not drawn, as on a screen.
  void Set(int x, int y, std::uint32_t colour) {
    if (Contains(x, y)) Row(y)[x] = colour;
  }
  void Fill(std::uint32_t colour);

  std::size_t Stride() const { return static_cast<std::size_t>(width_); }
  PictureView View() const { return {width_, height_, width_, pixels_.data()}; }
  std::uint32_t* Data() { return pixels_.data(); }
  const std::uint32_t* Data() const { return pixels_.data(); }

 private:
  int width_ = 0;
  int height_ = 0;
  PixelStore<std::uint32_t> pixels_;
};

// The darkness byte of every pixel: columns 0..W and rows 0..H, both inclusive, for a
// picture of W x H pixels (one column and one row more than the picture). Row-major, x
// fastest; byte (x, y) is at offset y * (W + 1) + x. Zero-filled when allocated.
class DarkMap {
 public:
  DarkMap() : DarkMap(0, 0) {}
  // Bounds (0..maxX, 0..maxY).
  DarkMap(int maxX, int maxY);

  // The map of bounds (0..maxX, 0..maxY), zero-filled, keeping its memory when it is large
  // enough.
  void Reset(int maxX, int maxY);

  int MaxX() const { return maxX_; }
  int MaxY() const { return maxY_; }
  int Columns() const { return maxX_ + 1; }
  int Rows() const { return maxY_ + 1; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x <= maxX_ && y <= maxY_; }

  std::uint8_t At(int x, int y) const { return bytes_[Offset(x, y)]; }
  std::uint8_t& At(int x, int y) { return bytes_[Offset(x, y)]; }
  std::uint8_t* Row(int y) { return bytes_.data() + Offset(0, y); }
  const std::uint8_t* Row(int y) const { return bytes_.data() + Offset(0, y); }

  PixelStore<std::uint8_t>& Bytes() { return bytes_; }
  const PixelStore<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::size_t Offset(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(Columns()) +
           static_cast<std::size_t>(x);
  }

  int maxX_;
  int maxY_;
  PixelStore<std::uint8_t> bytes_;
};

}  // namespace holescan
