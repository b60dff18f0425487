// The banner drawn from its description: at 100 % the very bitmap the resources carry, and at
// the larger scales of today's screens a picture of that size with edges as sharp as there.
#include "screens/BannerPicture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

// The pixels of bitmap as 0xRRGGBB, top row first; empty when they cannot be read.
std::vector<uint32_t> Pixels(HBITMAP bitmap, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  winfx::ScopedCreatedDC dc(::CreateCompatibleDC(nullptr));
  if (::GetDIBits(dc.Get(), bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) != height) {
    return {};
  }
  for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
  return pixels;
}

TEST(BannerPictureTest, AtItsOwnSizeItIsBitmap131PixelForPixel) {
  winfx::ScopedBitmap stored(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BANNER)));
  ASSERT_TRUE(stored);
  const std::vector<uint32_t> expected =
      Pixels(stored.Get(), BannerPicture::kWidth, BannerPicture::kHeight);
  ASSERT_FALSE(expected.empty());

  const BannerPicture picture(BannerPicture::kWidth, BannerPicture::kHeight);
  winfx::ScopedBitmap drawn = picture.ToBitmap();
  ASSERT_TRUE(drawn);
  BITMAP info = {};
  ::GetObjectA(drawn.Get(), sizeof(info), &info);
  EXPECT_EQ(BannerPicture::kWidth, info.bmWidth);
  EXPECT_EQ(BannerPicture::kHeight, info.bmHeight);
  const std::vector<uint32_t> actual = Pixels(drawn.Get(), BannerPicture::kWidth, BannerPicture::kHeight);
  ASSERT_EQ(expected.size(), actual.size());
  int differing = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] == actual[i]) continue;
    if (differing++ == 0) {
      ADD_FAILURE() << "first difference at (" << i % BannerPicture::kWidth << ", "
                    << i / BannerPicture::kWidth << ")";
    }
  }
  EXPECT_EQ(0, differing);
}

// The largest tile (40 pixels at 100 %, from x = 500, y = 6, in one colour below its
// highlight) along its middle row: at each scale it is as much wider, and the banner turns
// into it from one pixel to the next, with no blended pixel in between as a stretched
// bitmap would have.
TEST(BannerPictureTest, AtLargerScalesTheEdgesStaySharp) {
  constexpr uint32_t kTileColour = 0x1F8F8A;
  for (int percent : {125, 150, 175, 200}) {
    const int width = BannerPicture::kWidth * percent / 100;
    const int height = BannerPicture::kHeight * percent / 100;
    const BannerPicture picture(width, height);
    const int y = 30 * percent / 100;
    int first = -1;
    int last = -1;
    for (int x = 0; x < width; ++x) {
      if (picture.At(x, y) != kTileColour) continue;
      if (first < 0) first = x;
      last = x;
    }
    ASSERT_GT(first, 0) << percent << " %";
    EXPECT_NEAR(500.0 * percent / 100, first, 1.0) << percent << " %";
    EXPECT_NEAR(40.0 * percent / 100, last - first + 1, 1.0) << percent << " %";
    for (int x = first; x <= last; ++x) EXPECT_EQ(kTileColour, picture.At(x, y)) << percent << " %";
    // Either side, the light banner itself (every channel bright), not a blend.
    for (uint32_t side : {picture.At(first - 1, y), picture.At(last + 1, y)}) {
      EXPECT_GE(side >> 16 & 0xFF, 0x90u) << percent << " %";
      EXPECT_GE(side >> 8 & 0xFF, 0xC0u) << percent << " %";
      EXPECT_GE(side & 0xFF, 0xE0u) << percent << " %";
    }
  }
}

}  // namespace
