// SingleInstance: one running copy of a program per user session. The first object made
// with a name holds a named mutex until it goes; later ones, in any process of the
// session, find it held.
#pragma once

#include <windows.h>

#include <string>

#include "winfx/ScopedHandle.h"

namespace winfx {

class SingleInstance {
 public:
  // Takes the session's mutex of this name (a name without backslashes).
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
// (an open screen or box) of the top-level dialog with this caption. False when there is
// no such dialog.
bool BringDialogForward(const std::string& caption);

}  // namespace winfx
