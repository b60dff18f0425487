#include "winfx/SingleInstance.h"

namespace winfx {

SingleInstance::SingleInstance(const std::string& name)
    : mutex_(::CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str())) {
  // A mutex that cannot be made at all stops nobody: the program runs as it would alone.
  first_ = !mutex_ || ::GetLastError() != ERROR_ALREADY_EXISTS;
}

bool BringDialogForward(const std::string& caption) {
  HWND dialog = ::FindWindowA("#32770", caption.c_str());
  if (dialog == nullptr) return false;
  ::SetForegroundWindow(::GetLastActivePopup(dialog));
  return true;
}

}  // namespace winfx
