#include "winfx/Wait.h"

namespace winfx {

bool WaitHandlingSentMessages(HANDLE handle, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    DWORD left = INFINITE;
    if (timeoutMs != INFINITE) {
      DWORD elapsed = ::GetTickCount() - start;
      left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    }
    DWORD woken = ::MsgWaitForMultipleObjectsEx(1, &handle, left, QS_SENDMESSAGE,
                                                MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) return true;
    if (woken != WAIT_OBJECT_0 + 1) return false;  // time is up
    // Peeking delivers every message sent to this thread; posted ones are left alone.
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace winfx
