#include "tests/support/Picture.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "tests/support/TestSupport.h"
#include "winfx/ScopedGdi.h"

namespace testing_support {

Picture Picture::FromBmp(const std::string& path) {
  Picture picture;
  const std::string bytes = ReadFileBytes(path);
  if (bytes.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return picture;
  BITMAPFILEHEADER file;
  BITMAPINFOHEADER info;
  std::memcpy(&file, bytes.data(), sizeof(file));
  std::memcpy(&info, bytes.data() + sizeof(file), sizeof(info));
  if (file.bfType != 0x4D42 || info.biBitCount != 24 || info.biCompression != BI_RGB ||
      info.biWidth <= 0 || info.biHeight == 0) {
    return picture;
  }
  const int width = info.biWidth;
  const int height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  if (bytes.size() < file.bfOffBits + stride * height) return picture;
  picture.pixels_.reserve(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const int stored = info.biHeight < 0 ? y : height - 1 - y;  // bottom-up unless negative
    const auto* row = reinterpret_cast<const unsigned char*>(bytes.data() + file.bfOffBits +
                                                             stride * stored);
    for (int x = 0; x < width; ++x) {
      picture.pixels_.push_back(row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16);
    }
  }
  picture.width_ = width;
  picture.height_ = height;
  return picture;
}

Picture Picture::FromBitmap(HBITMAP bitmap) {
  Picture picture;
  BITMAP size = {};
  if (::GetObjectA(bitmap, sizeof(size), &size) != sizeof(size)) return picture;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size.bmWidth;
  info.bmiHeader.biHeight = -size.bmHeight;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(size.bmWidth) * size.bmHeight);
  winfx::ScopedCreatedDC dc(::CreateCompatibleDC(nullptr));
  if (::GetDIBits(dc.Get(), bitmap, 0, size.bmHeight, pixels.data(), &info, DIB_RGB_COLORS) !=
      size.bmHeight) {
    return picture;
  }
  for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
  picture.width_ = size.bmWidth;
  picture.height_ = size.bmHeight;
  picture.pixels_ = std::move(pixels);
  return picture;
}

std::string Picture::DifferencesFrom(const Picture& other) const {
  char text[128];
  if (width_ != other.width_ || height_ != other.height_) {
    std::snprintf(text, sizeof(text), "sizes differ: %dx%d and %dx%d", width_, height_,
                  other.width_, other.height_);
    return text;
  }
  size_t count = 0;
  size_t first = 0;
  for (size_t i = 0; i < pixels_.size(); ++i) {
    if (pixels_[i] != other.pixels_[i] && count++ == 0) first = i;
  }
  if (count == 0) return "";
  std::snprintf(text, sizeof(text), "%u pixels differ, the first at (%d, %d): %06X and %06X",
                static_cast<unsigned>(count), static_cast<int>(first % width_),
                static_cast<int>(first / width_), pixels_[first], other.pixels_[first]);
  return text;
}

}  // namespace testing_support
