// A picture of a window as the UI driver saves it (a 24-bit BMP file), read back for the
// tests to measure and compare.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class Picture {
 public:
  // The picture in a 24-bit uncompressed BMP file; empty (0 by 0) when the file cannot be
  // read or is of another kind.
  static Picture FromBmp(const std::string& path);
  // The picture a bitmap holds; empty when its pixels cannot be read.
  static Picture FromBitmap(HBITMAP bitmap);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return pixels_.empty(); }
  // The pixel at (x, y), top row first, as 0xRRGGBB; (x, y) must lie inside.
  uint32_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
  // Every pixel as At gives it, row after row.
  const std::vector<uint32_t>& Pixels() const { return pixels_; }

  // "" when other has the same size and every pixel alike; else how many pixels differ and
  // where the first one is.
  std::string DifferencesFrom(const Picture& other) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> pixels_;
};

}  // namespace testing_support
