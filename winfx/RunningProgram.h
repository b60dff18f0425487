// The processes started from one executable file, found by a tool-help snapshot, and their
// top-level windows: a program can be asked to close the way its own window's close box
// would, and waited for.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

namespace winfx {

class RunningProgram {
 public:
  // Takes the snapshot: every process whose executable is exePath (compared without
  // regard to case; wide, so any name is found). Processes that cannot be opened are left
  // out.
  explicit RunningProgram(const WideString& exePath);

  // True when any of the processes found still runs.
  bool IsRunning() const;

  // Posts WM_CLOSE to every top-level window of the processes found; returns how many.
  int AskToClose() const;

  // Waits up to timeoutMs for all of them to end, handling messages sent to the calling
  // thread meanwhile; true when none runs any more.
  bool WaitForEnd(DWORD timeoutMs) const;

 private:
  std::vector<ScopedHandle> m_processes;
  std::vector<DWORD> m_ids;
};

}  // namespace winfx
