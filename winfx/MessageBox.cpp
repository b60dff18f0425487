#include "winfx/MessageBox.h"

#include "winfx/AppInfo.h"

namespace winfx {

int AppMessageBox(const std::string& text, UINT type) {
  return ::MessageBoxA(::GetActiveWindow(), text.c_str(), AppName().c_str(), type);
}

}  // namespace winfx
