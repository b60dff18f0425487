#include "winfx/AppInfo.h"

#include <windows.h>

#include <cstdlib>

namespace winfx {

std::string ExecutablePath() {
  char path[MAX_PATH + 1] = {};
  DWORD len = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return std::string();
  return std::string(path, len);
}

std::string AppName() {
  char name[_MAX_FNAME] = {};
  _splitpath(ExecutablePath().c_str(), nullptr, nullptr, name, nullptr);
  return name;
}

}  // namespace winfx
