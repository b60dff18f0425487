// Screenshots as files: the pixels of a device context written as a 24-bit BMP, the format
// the tests and the demo keep pictures in.
#pragma once

#include <windows.h>

#include <string>

namespace uidriver {

// Copies the width x height rectangle at (x, y) of source into a 24-bit BMP file at path
// (replaced). False when the pixels cannot be read or the file cannot be written whole.
bool SaveBmp(HDC source, int x, int y, int width, int height, const std::string& path);

}  // namespace uidriver
