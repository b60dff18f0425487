// CSkinBitmap: a bitmap resource of the executable (the install screen's banner), loaded
// once, with its size, copied onto a window's client area on every paint.
#pragma once

#include <windows.h>

#include "winfx/ScopedGdi.h"

class CSkinBitmap {
 public:
  // Empty (no bitmap, sizes 0); a non-zero resourceId is loaded with LoadFromResource.
  explicit CSkinBitmap(UINT resourceId = 0);
  // Deletes the bitmap, if one is loaded.
  virtual ~CSkinBitmap();

  CSkinBitmap(const CSkinBitmap&) = delete;
  CSkinBitmap& operator=(const CSkinBitmap&) = delete;

  // Loads bitmap resource LOWORD(resourceId) of the executable; returns 1, or 0 with the
  // holder left as it was (bitmap and sizes) when there is no such bitmap.
  int LoadFromResource(UINT resourceId);

  // Copies the bitmap from (srcX, srcY) to (x, y) of window's client area with SRCCOPY;
  // a width or height of 0 stands for the bitmap's own. Returns BitBlt's result, or 0
  // when nothing is loaded or no context can be had. The bitmap stays loaded.
  int Draw(HWND window, int x, int y, int width, int height, int srcX, int srcY);

  // Pixel size of the loaded bitmap; 0 and 0 while nothing is loaded.
  int GetWidth() const { return m_width; }
  int GetHeight() const { return m_height; }

  // The loaded bitmap, or null; ownership stays here.
  HBITMAP GetHandleUnsafe() const { return m_bitmap.Get(); }

 private:
  BITMAP m_bitmapInfo;           // description of the loaded bitmap (GetObjectA)
  winfx::ScopedBitmap m_bitmap;  // null while nothing is loaded
  int m_width;
  int m_height;
};
