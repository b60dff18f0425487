#include "winfx/WorkerThread.h"

#include <process.h>

namespace winfx {

std::unique_ptr<WorkerThread> WorkerThread::CreateSuspended(Procedure procedure, void* param) {
  unsigned id = 0;
  // _beginthreadex rather than CreateThread: the thread uses the C runtime.
  HANDLE handle = reinterpret_cast<HANDLE>(
      ::_beginthreadex(nullptr, 0, procedure, param, CREATE_SUSPENDED, &id));
  if (handle == nullptr) return nullptr;
  return std::unique_ptr<WorkerThread>(new WorkerThread(handle, id));
}

void WorkerThread::Resume() { ::ResumeThread(handle_.Get()); }

bool WorkerThread::WaitForEnd(DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    DWORD left = INFINITE;
    if (timeoutMs != INFINITE) {
      DWORD elapsed = ::GetTickCount() - start;
      left = elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
    }
    HANDLE handle = handle_.Get();
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
