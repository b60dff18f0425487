// MovePause: stops a program's move of staged files into place halfway, from the test's
// side: the calling process's own import of MoveFileExW is redirected, and the nth move out
// of a ".QuillonStaging" folder (into the installation folder) waits before it is made.
// In an installer, the UI driver's watch hook calls it there (kPauseMovesRequest); a unit
// test calls it in its own process. The program itself knows nothing of it.
#pragma once

#include <windows.h>

#include "winfx/ScopedHandle.h"

namespace uidriver {

// The two events of a pause in process processId, made by the test before the pause is set:
// "paused" is set when a move waits, which goes on once "resume" is set (or never, when the
// test kills the program there).
class MovePauseEvents {
 public:
  explicit MovePauseEvents(DWORD processId);
  bool IsValid() const { return paused_.IsValid() && resume_.IsValid(); }
  HANDLE Paused() const { return paused_.Get(); }
  HANDLE Resume() const { return resume_.Get(); }

  static void Names(DWORD processId, char (&paused)[64], char (&resume)[64]);

 private:
  winfx::ScopedHandle paused_;
  winfx::ScopedHandle resume_;
};

// Redirects this process's main module's MoveFileExW so that the nth move (1 for the first)
// out of a staging folder to a path outside it waits as described above. False when the
// module imports no MoveFileExW.
bool PauseStagedMovesAt(int nth);

}  // namespace uidriver
