// SingleInstance: one running copy of a program per machine. The first object made with a
// name holds a machine-wide named mutex until it goes; later ones, in any process of any
// session, elevated or not, find it held.
#pragma once

#include <windows.h>

#include <string>

#include "winfx/ScopedHandle.h"

namespace winfx {

class SingleInstance {
 public:
  // Takes the machine's mutex of this name (a name without backslashes; the "Global\"
  // namespace). A mutex of the name that this process may not open (made by an elevated
  // program, say) counts as held; one that cannot be made for any other reason stops
  // nobody.
  explicit SingleInstance(const std::string& name);
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when no other holder of the name was running: this one may go on.
  bool IsFirst() const { return first_; }

 private:
  ScopedHandle mutex_;
  bool first_ = false;
};

// Brings the window a program shows to the operator to the front: the last active popup
// (an open screen or box) of the top-level dialog with this caption, looked for again
// for up to waitMs while there is none (a program just started has not made it yet).
// False when none showed in that time.
bool BringDialogForward(const std::string& caption, DWORD waitMs);

}  // namespace winfx
