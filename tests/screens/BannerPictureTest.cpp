// The banner drawn from its description: at 100 % the very bitmap the resources carry, and at
// the larger scales of today's screens a picture of that size with edges as sharp as there.
#include "screens/BannerPicture.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "res/resource.h"
#include "tests/support/Picture.h"

namespace {

using testing_support::Picture;

TEST(BannerPictureTest, AtItsOwnSizeItIsBitmap131PixelForPixel) {
  winfx::ScopedBitmap stored(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BANNER)));
  const Picture expected = Picture::FromBitmap(stored.Get());
  ASSERT_EQ(BannerPicture::kWidth, expected.Width());
  ASSERT_EQ(BannerPicture::kHeight, expected.Height());

  winfx::ScopedBitmap drawn = BannerPicture(BannerPicture::kWidth, BannerPicture::kHeight).ToBitmap();
  ASSERT_TRUE(drawn);
  EXPECT_EQ("", Picture::FromBitmap(drawn.Get()).DifferencesFrom(expected));
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
