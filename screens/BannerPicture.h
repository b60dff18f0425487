// BannerPicture: the install screen's banner drawn from its description (a light gradient
// that turns blue on the right, a soft wave along the lower edge, five rounded widget tiles)
// at any size, so a screen at 125 or 200 % gets a sharp banner of its own size instead of a
// stretched one. res/make_images.py draws the same description at 100 % into bitmap 131.
#pragma once

#include <windows.h>

#include <cstdint>

#include "winfx/ScopedGdi.h"

class BannerPicture {
 public:
  // The banner's size at 100 % (96 DPI): that of bitmap 131.
  static constexpr int kWidth = 600;
  static constexpr int kHeight = 52;

  // The banner drawn at width x height pixels (each at least 1).
  BannerPicture(int width, int height);

  // The colour (0xRRGGBB) of pixel (x, y): the description at the pixel's centre, so every
  // edge stays one pixel sharp at any size. At kWidth x kHeight, bitmap 131's pixel.
  uint32_t At(int x, int y) const;

  // The whole picture as a 24-bit bitmap; empty when none can be made.
  winfx::ScopedBitmap ToBitmap() const;

 private:
  int width_;
  int height_;
};
