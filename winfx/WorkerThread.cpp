#include "winfx/WorkerThread.h"

#include <process.h>

#include "winfx/Wait.h"

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
  return WaitHandlingSentMessages(handle_.Get(), timeoutMs);
}

}  // namespace winfx
