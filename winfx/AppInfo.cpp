#include "winfx/AppInfo.h"

#include <windows.h>

#include <cstdlib>

#include "winfx/WidePath.h"

namespace winfx {

std::string ExecutablePath() {
  wchar_t path[MAX_PATH + 1] = {};
  DWORD len = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return std::string();
  return ToShownAnsi(WideString(path, len));
}

std::string AppName() {
  char name[_MAX_FNAME] = {};
  _splitpath(ExecutablePath().c_str(), nullptr, nullptr, name, nullptr);
  return name;
}

}  // namespace winfx
