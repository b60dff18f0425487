// Drives the installer's real windows from another program in the same Wine prefix (or
// on the same Windows desktop): starts processes, finds dialogs by caption, reads and
// sets control texts, clicks buttons and answers message boxes. Clicks are posted, never
// sent, so a handler that opens a modal box does not block the driver.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "winfx/ScopedHandle.h"
#include "winfx/WidePath.h"

namespace uidriver {

// A started program; the process and thread handles are owned.
class Process {
 public:
  // Starts exe with the given command-line tail in folder (or the exe's folder when
  // empty). Started() is false when it cannot be started.
  Process(const std::string& exe, const std::string& arguments, const std::string& folder = "");

  bool Started() const { return process_.IsValid(); }
  DWORD Id() const { return id_; }
  bool IsRunning() const;
  // Waits up to timeoutMs for the end; true when the process has ended.
  bool WaitForExit(DWORD timeoutMs) const;
  // Exit code, or STILL_ACTIVE.
  DWORD ExitCode() const;
  // Ends the process at once (clean-up after a failed test).
  void Kill();

 private:
  winfx::ScopedHandle process_;
  winfx::ScopedHandle thread_;
  DWORD id_ = 0;
};

// Ends every process whose executable file is named exeName (e.g. "QuillonWidget.exe")
// and waits for each to be gone.
void EndProcessesNamed(const std::string& exeName);

// Polls condition every few milliseconds, pumping this thread's messages, until it holds
// or timeoutMs have passed; returns the last result.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// A top-level dialog ("#32770") with this caption that belongs to process id (0: any), or null.
HWND FindDialog(const std::string& caption, DWORD processId = 0);
// Waits for such a dialog to exist and be visible; null on timeout.
HWND WaitForDialog(const std::string& caption, DWORD processId, DWORD timeoutMs);
// Every top-level window, one line each ("pid class \"caption\" visible|hidden"): what a
// test that did not find its window prints to say what was there instead.
std::string DescribeTopWindows();

// Texts cross as UTF-16; the narrow forms are code page 949, as the installer's own.
std::string WindowText(HWND hwnd);
// The text a window of another process holds, read without sending it a message: it does
// not wait while that process's user-interface thread is busy (extracting, say) or hung.
std::string StoredText(HWND hwnd);
winfx::WideString WideWindowText(HWND hwnd);
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
bool IsItemEnabled(HWND dialog, int id);
// Posts a click to the button id of dialog.
void ClickItem(HWND dialog, int id);

// The text of a message box (its static control 0xFFFF).
std::string MessageBoxText(HWND box);

// Position of a progress bar control.
int ProgressPosition(HWND dialog, int id);

// Size of a window.
SIZE WindowSize(HWND hwnd);

// The target path of a shell link file, read back through IShellLinkW; "" when it cannot
// be loaded.
std::string ShellLinkTarget(const std::string& linkPath);

// The current user's desktop folder.
std::string DesktopFolder();

// Saves what the screen shows of hwnd (its window rectangle) as a 24-bit BMP file; false
// when there is no display to read or the file cannot be written.
bool SaveScreenshot(HWND hwnd, const std::string& bmpPath);

}  // namespace uidriver
