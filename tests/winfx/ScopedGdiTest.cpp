// The GDI owners: objects deleted once at scope exit, selections undone, paint contexts
// ended, on real GDI objects and a real window.
#include "winfx/ScopedGdi.h"

#include <gtest/gtest.h>

namespace {

TEST(ScopedGdiTest, ObjectsAreDeletedWhenTheirOwnerGoes) {
  HBITMAP bitmap = nullptr;
  HDC memory = nullptr;
  {
    winfx::ScopedBitmap owned(::CreateBitmap(4, 4, 1, 32, nullptr));
    winfx::ScopedCreatedDC dc(::CreateCompatibleDC(nullptr));
    bitmap = owned.Get();
    memory = dc.Get();
    ASSERT_EQ(static_cast<DWORD>(OBJ_BITMAP), ::GetObjectType(bitmap));
    ASSERT_EQ(static_cast<DWORD>(OBJ_MEMDC), ::GetObjectType(memory));
  }
  EXPECT_EQ(0u, ::GetObjectType(bitmap));
  EXPECT_EQ(0u, ::GetObjectType(memory));
}

TEST(ScopedGdiTest, SelectionIsUndoneAtScopeExitSoTheObjectCanBeDeleted) {
  winfx::ScopedCreatedDC dc(::CreateCompatibleDC(nullptr));
  HGDIOBJ original = ::GetCurrentObject(dc.Get(), OBJ_BITMAP);
  winfx::ScopedBitmap bitmap(::CreateBitmap(4, 4, 1, 1, nullptr));
  {
    winfx::ScopedSelectObject selected(dc.Get(), bitmap.Get());
    EXPECT_TRUE(selected.Succeeded());
    EXPECT_EQ(bitmap.Get(), ::GetCurrentObject(dc.Get(), OBJ_BITMAP));
  }
  EXPECT_EQ(original, ::GetCurrentObject(dc.Get(), OBJ_BITMAP));
  {
    winfx::ScopedSelectObject nothing(dc.Get(), nullptr);
    EXPECT_FALSE(nothing.Succeeded());
  }
  EXPECT_EQ(original, ::GetCurrentObject(dc.Get(), OBJ_BITMAP));
  HBITMAP handle = bitmap.Get();
  bitmap.Reset();
  EXPECT_EQ(0u, ::GetObjectType(handle));
}

TEST(ScopedGdiTest, WindowContextsAreReleasedAndPaintingValidates) {
  HWND window = ::CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                  nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  {
    winfx::ScopedGetDC client(window);
    EXPECT_TRUE(client);
  }
  {
    winfx::ScopedGetDC none(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7777)));
    EXPECT_FALSE(none);
  }
  ::InvalidateRect(window, nullptr, FALSE);
  ASSERT_TRUE(::GetUpdateRect(window, nullptr, FALSE));
  {
    winfx::ScopedPaint paint(window);
    EXPECT_TRUE(paint);
    EXPECT_EQ(50, paint.PaintRect().right);
  }
  EXPECT_FALSE(::GetUpdateRect(window, nullptr, FALSE));
  ::DestroyWindow(window);
}

}  // namespace
