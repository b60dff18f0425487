// Facts about the running program that several units need.
#pragma once

#include <string>

namespace winfx {

// Full path of the running executable (code page 949), or "" if it cannot be read.
std::string ExecutablePath();

// The application name: the executable's file name without its extension
// ("QuillonSetup" for QuillonSetup.exe). Message-box caption and HTTP agent string.
std::string AppName();

}  // namespace winfx
