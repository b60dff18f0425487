// What the watch hook (UiDriverWatch.dll, loaded into the watched program) hands to the
// driver's watch window: one WM_COPYDATA per watched message, sent while the watched
// program's thread is about to handle that message, so the driver sees every change in
// the order it happened.
#pragma once

#include <windows.h>

#include <cstdio>

namespace uidriver {

// The driver's message-only window that receives the changes; its title names the watched
// process, so the hook in that process finds the one meant for it.
constexpr char kWatchWindowClass[] = "UiDriverWatchWindow";

inline void WatchWindowTitle(DWORD watchedProcessId, char (&title)[32]) {
  std::snprintf(title, sizeof(title), "watch:%lu", static_cast<unsigned long>(watchedProcessId));
}

// The hook procedure's exported name (undecorated: the DLL links with --kill-at).
constexpr char kWatchHookProc[] = "WatchCallWndProc";

// COPYDATASTRUCT::dwData of a watched message.
constexpr ULONG_PTR kWatchDataTag = 0x51574348;  // "QWCH"

// The data of one watched message: the window it was sent to, the message (WM_SETTEXT or
// PBM_SETPOS), its wParam, and for WM_SETTEXT the text that follows (terminator included).
struct WatchRecord {
  DWORD window;  // an HWND; 32 bits in a 32-bit program
  DWORD message;
  DWORD wParam;
  char text[1];
};

}  // namespace uidriver
