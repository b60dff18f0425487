#include "winfx/SingleInstance.h"

#include "winfx/WidePath.h"

namespace winfx {

SingleInstance::SingleInstance(const std::string& name)
    : mutex_(::CreateMutexW(nullptr, FALSE, ToWide("Global\\" + name).c_str())) {
  const DWORD error = ::GetLastError();
  if (mutex_) {
    first_ = error != ERROR_ALREADY_EXISTS;
  } else {
    // The name exists with a security that shuts this process out: another holder runs.
    // A mutex that cannot be made at all stops nobody: the program runs as it would alone.
    first_ = error != ERROR_ACCESS_DENIED;
  }
}

bool BringDialogForward(const std::string& caption, DWORD waitMs) {
  // A window of another process announces itself to nobody: looked for a few times.
  constexpr DWORD kLookEveryMs = 100;
  const WideString wideCaption = ToWide(caption);
  HWND dialog = ::FindWindowW(L"#32770", wideCaption.c_str());
  for (DWORD waited = 0; dialog == nullptr && waited < waitMs; waited += kLookEveryMs) {
    ::Sleep(kLookEveryMs);
    dialog = ::FindWindowW(L"#32770", wideCaption.c_str());
  }
  if (dialog == nullptr) return false;
  ::SetForegroundWindow(::GetLastActivePopup(dialog));
  return true;
}

}  // namespace winfx
