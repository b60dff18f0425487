// CSkinBitmap: a bitmap of the install screen (its banner), loaded once from the executable's
// resources or taken over as drawn, with its size, copied onto the screen on every paint.
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

  // Takes over bitmap with its size; returns 1, or 0 with the holder left as it was (and
  // bitmap deleted) when bitmap is empty or not a bitmap.
  int Attach(winfx::ScopedBitmap bitmap);

  // Copies the whole bitmap to (x, y) of target (a paint context, say) with SRCCOPY.
  // Returns BitBlt's result, or 0 when nothing is loaded.
  int Draw(HDC target, int x, int y);

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
  // Takes bitmap, described by info, as what is held.
  void Hold(winfx::ScopedBitmap bitmap, const BITMAP& info);
  // BitBlt of the bitmap from (srcX, srcY) onto target; 0 when nothing is loaded.
  int Blit(HDC target, int x, int y, int width, int height, int srcX, int srcY);

  BITMAP m_bitmapInfo;           // description of the loaded bitmap (GetObjectA)
  winfx::ScopedBitmap m_bitmap;  // null while nothing is loaded
  int m_width;
  int m_height;
};
