// WidgetStart: the start of the installed widget. From the move into place to its start the
// program file is held (others may read and run it, nobody may write, rename or delete
// it), so what starts is what was installed. It starts with the installation folder as its
// current folder and, when the installer runs elevated on behalf of an operator who is not
// (an administrator's split token), unelevated through the desktop's shell, as the
// operator would start it; where that is not possible, as the installer itself runs (with
// a log line).
#pragma once

#include <windows.h>

#include <string>

#include "settings/CSetupUtil.h"
#include "winfx/ScopedHandle.h"

class WidgetStart {
 public:
  WidgetStart() = default;
  WidgetStart(const WidgetStart&) = delete;
  WidgetStart& operator=(const WidgetStart&) = delete;

  // Holds program, in folder (no trailing backslash). False when it cannot be opened;
  // Start then starts nothing.
  bool Hold(const std::string& folder, const std::string& program);
  // Starts the held program (still held while it starts) and lets it go. False (logged)
  // when none is held, it is no Windows program, or it did not start.
  bool Start(CSetupUtil* log);

  // True when a process whose token is of elevation type type, and has a linked token
  // (hasLinkedToken), starts the widget through the shell: a full token linked to the
  // operator's limited one.
  static bool GoesThroughShell(TOKEN_ELEVATION_TYPE type, bool hasLinkedToken);
  // GoesThroughShell for this process's token.
  static bool ThisProcessGoesThroughShell();

 private:
  // The shell's start of the program; the COM result (S_OK when it was handed over).
  HRESULT StartThroughShell() const;

  std::string m_folder;
  std::string m_program;
  winfx::ScopedHandle m_held;
};
