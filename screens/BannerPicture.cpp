#include "screens/BannerPicture.h"

#include <algorithm>
#include <cmath>

namespace {

// Everything below is measured in pixels of the banner at 100 %, as res/make_images.py
// draws it; colours are 0xRRGGBB.
constexpr uint32_t kLeftColour = 0xF4F8FC;
constexpr uint32_t kRightColour = 0x9FC8EA;
constexpr int kGradientStart = 180;  // light up to here, for the title written over it
constexpr uint32_t kWaveColour = 0x2F6FB5;
constexpr double kWaveShade = 0.35;
constexpr uint32_t kTileHighlight = 0xFFFFFF;
constexpr double kTileHighlightShade = 0.3;

// A widget tile: left, top, side and colour.
struct Tile {
  int x, y, size;
  uint32_t colour;
};
constexpr Tile kTiles[] = {
    {430, 10, 32, 0x2F6FB5}, {468, 18, 26, 0xF29A38}, {500, 6, 40, 0x1F8F8A},
    {546, 16, 28, 0x5A4FA8}, {578, 24, 18, 0xE05D5D},
};

// a blended toward b by t, each channel rounded half to even as the script rounds.
uint32_t Mix(uint32_t a, uint32_t b, double t) {
  uint32_t mixed = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const double from = a >> shift & 0xFF;
    const double to = b >> shift & 0xFF;
    mixed |= static_cast<uint32_t>(std::nearbyint(from + (to - from) * t)) << shift;
  }
  return mixed;
}

// Whether point (u, v) lies in the rounded box of pixels x .. x + w - 1, y .. y + h - 1 with
// corner radius r (a whole-numbered point is the centre of that pixel). The box's sides lie
// half a pixel beyond the centres of its outer pixels, so that it keeps its width at any
// scale; only a point beyond the straight part of two sides is in a corner, cut round. On
// whole-numbered points, exactly the script's pixels.
bool InRoundedBox(double u, double v, int x, int y, int w, int h, int r) {
  if (u < x - 0.5 || u >= x + w - 0.5 || v < y - 0.5 || v >= y + h - 0.5) return false;
  const double dx = std::max({0.0, x + r - u, u - (x + w - 1 - r)});
  const double dy = std::max({0.0, y + r - v, v - (y + h - 1 - r)});
  return dx == 0 || dy == 0 || dx * dx + dy * dy <= static_cast<double>(r) * r;
}

// The banner's colour at point (u, v) of the 100 % banner.
uint32_t ColourAt(double u, double v) {
  const double t = std::max(0.0, (u - kGradientStart) / (BannerPicture::kWidth - kGradientStart));
  uint32_t colour = Mix(kLeftColour, kRightColour, t * t);
  if (v > 44 + 4 * std::sin(u / 37.0)) colour = Mix(colour, kWaveColour, kWaveShade);
  for (const Tile& tile : kTiles) {
    if (!InRoundedBox(u, v, tile.x, tile.y, tile.size, tile.size, tile.size / 5)) continue;
    const bool highlight = InRoundedBox(u, v, tile.x + 3, tile.y + 3, tile.size - 6,
                                        tile.size / 3, tile.size / 8);
    colour = highlight ? Mix(tile.colour, kTileHighlight, kTileHighlightShade) : tile.colour;
  }
  return colour;
}

}  // namespace

BannerPicture::BannerPicture(int width, int height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)) {}

uint32_t BannerPicture::At(int x, int y) const {
  // The pixel's centre, in the 100 % banner's pixels; at 100 % exactly (x, y).
  const double u = (x + 0.5) * kWidth / width_ - 0.5;
  const double v = (y + 0.5) * kHeight / height_ - 0.5;
  return ColourAt(u, v);
}

winfx::ScopedBitmap BannerPicture::ToBitmap() const {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  winfx::ScopedBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || bits == nullptr) return winfx::ScopedBitmap();
  const size_t stride = (static_cast<size_t>(width_) * 3 + 3) & ~static_cast<size_t>(3);
  for (int y = 0; y < height_; ++y) {
    unsigned char* row = static_cast<unsigned char*>(bits) + stride * y;
    for (int x = 0; x < width_; ++x) {
      const uint32_t colour = At(x, y);
      row[3 * x] = colour & 0xFF;  // blue, green, red
      row[3 * x + 1] = colour >> 8 & 0xFF;
      row[3 * x + 2] = colour >> 16 & 0xFF;
    }
  }
  ::GdiFlush();
  return bitmap;
}
