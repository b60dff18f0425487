// A worker thread that is created suspended and owned by whoever holds the object: the
// object never deletes itself, and destroying it does not end or wait for the thread.
#pragma once

#include <windows.h>

#include <memory>

#include "winfx/ScopedHandle.h"

namespace winfx {

class WorkerThread {
 public:
  using Procedure = unsigned(__stdcall*)(void* param);

  // A new thread that will run procedure(param) once resumed, at normal priority with the
  // default stack size. Null when no thread can be created.
  static std::unique_ptr<WorkerThread> CreateSuspended(Procedure procedure, void* param);

  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Lets the thread run.
  void Resume();

  // Waits up to timeoutMs (INFINITE allowed) for the thread to end, handling the messages
  // that other threads send to the calling thread meanwhile, so a thread that is inside
  // SendMessage to a window of the caller still gets its answer. Posted messages stay in
  // the queue. Returns true when the thread has ended.
  bool WaitForEnd(DWORD timeoutMs);

  DWORD Id() const { return id_; }

 private:
  WorkerThread(HANDLE handle, DWORD id) : handle_(handle), id_(id) {}

  ScopedHandle handle_;
  DWORD id_;
};

}  // namespace winfx
