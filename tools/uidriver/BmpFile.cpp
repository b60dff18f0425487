#include "tools/uidriver/BmpFile.h"

#include <vector>

#include "winfx/ScopedGdi.h"
#include "winfx/ScopedHandle.h"

namespace uidriver {

bool SaveBmp(HDC source, int x, int y, int width, int height, const std::string& path) {
  if (source == nullptr || width <= 0 || height <= 0) return false;
  winfx::ScopedCreatedDC memory(::CreateCompatibleDC(source));
  winfx::ScopedBitmap bitmap(::CreateCompatibleBitmap(source, width, height));
  if (!memory || !bitmap) return false;
  {
    winfx::ScopedSelectObject select(memory.Get(), bitmap.Get());
    if (!::BitBlt(memory.Get(), 0, 0, width, height, source, x, y, SRCCOPY)) return false;
  }

  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;  // bottom-up rows, as a BMP file stores them
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<char> pixels(rowBytes * static_cast<DWORD>(height));
  if (!::GetDIBits(memory.Get(), bitmap.Get(), 0, height, pixels.data(),
                   reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS)) {
    return false;
  }
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());

  winfx::ScopedHandle out(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  DWORD written = 0;
  return ::WriteFile(out.Get(), &file, sizeof(file), &written, nullptr) && written == sizeof(file) &&
         ::WriteFile(out.Get(), &header, sizeof(header), &written, nullptr) &&
         written == sizeof(header) &&
         ::WriteFile(out.Get(), pixels.data(), static_cast<DWORD>(pixels.size()), &written,
                     nullptr) &&
         written == pixels.size();
}

}  // namespace uidriver
