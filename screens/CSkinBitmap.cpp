#include "screens/CSkinBitmap.h"

#include <utility>

CSkinBitmap::CSkinBitmap(UINT resourceId) : m_bitmapInfo(), m_width(0), m_height(0) {
  if (resourceId != 0) LoadFromResource(resourceId);
}

CSkinBitmap::~CSkinBitmap() = default;

int CSkinBitmap::LoadFromResource(UINT resourceId) {
  WORD id = LOWORD(resourceId);
  if (id == 0) return 0;
  // The installer's resources are linked into the executable itself.
  HINSTANCE module = ::GetModuleHandleA(nullptr);
  if (::FindResourceA(module, MAKEINTRESOURCEA(id), RT_BITMAP) == nullptr) return 0;
  winfx::ScopedBitmap bitmap(::LoadBitmapA(module, MAKEINTRESOURCEA(id)));
  if (!bitmap) return 0;
  BITMAP info;
  if (::GetObjectA(bitmap.Get(), sizeof(info), &info) != sizeof(info)) return 0;

  // Only a complete load replaces what is held.
  Hold(std::move(bitmap), info);
  return 1;
}

int CSkinBitmap::Attach(winfx::ScopedBitmap bitmap) {
  BITMAP info;
  if (!bitmap || ::GetObjectA(bitmap.Get(), sizeof(info), &info) != sizeof(info)) return 0;
  Hold(std::move(bitmap), info);
  return 1;
}

void CSkinBitmap::Hold(winfx::ScopedBitmap bitmap, const BITMAP& info) {
  m_bitmap = std::move(bitmap);
  m_bitmapInfo = info;
  m_width = info.bmWidth;
  m_height = info.bmHeight;
}

int CSkinBitmap::Draw(HDC target, int x, int y) {
  return target != nullptr ? Blit(target, x, y, m_width, m_height, 0, 0) : 0;
}

int CSkinBitmap::Draw(HWND window, int x, int y, int width, int height, int srcX, int srcY) {
  // A null window would mean the whole screen's context.
  if (!m_bitmap || window == nullptr) return 0;
  winfx::ScopedGetDC client(window);
  if (!client) return 0;
  if (width == 0) width = m_width;
  if (height == 0) height = m_height;
  return Blit(client.Get(), x, y, width, height, srcX, srcY);
}

int CSkinBitmap::Blit(HDC target, int x, int y, int width, int height, int srcX, int srcY) {
  if (!m_bitmap) return 0;
  winfx::ScopedCreatedDC memory(::CreateCompatibleDC(target));
  if (!memory) return 0;
  winfx::ScopedSelectObject selected(memory.Get(), m_bitmap.Get());
  if (!selected.Succeeded()) return 0;
  return ::BitBlt(target, x, y, width, height, memory.Get(), srcX, srcY, SRCCOPY);
}
