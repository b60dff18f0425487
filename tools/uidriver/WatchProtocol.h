// What the watch hook (UiDriverWatch.dll, loaded into the watched program) hands to the
// driver's watch window: one WM_COPYDATA per watched message, sent while the watched
// program's thread is about to handle that message, so the driver sees every change in
// the order it happened. And the requests the driver sends the other way, to a window of
// the watched thread, for the hook to carry out inside the watched program.
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
// PBM_SETPOS), its wParam, and for WM_SETTEXT the text that follows (terminator included):
// UTF-16 for a Unicode window (whose texts are sent so), else code page 949 bytes.
struct WatchRecord {
  DWORD window;  // an HWND; 32 bits in a 32-bit program
  DWORD message;
  DWORD wParam;
  DWORD unicode;
  char text[2];
};

// Requests: the driver puts a WatchRequest into the file mapping named after the watched
// thread (RequestMappingName) and sends kRequestMessage, with the request's kind as wParam,
// to a window of that thread. The hook carries the request out in that thread before the
// window sees the message (which it ignores), so it is done when the driver's send returns.
// (A WM_COPYDATA request would not do: Wine hands a hook a cross-process WM_COPYDATA's data
// still packed.)
constexpr char kRequestMessage[] = "UiDriverWatchRequest";  // RegisterWindowMessageA
enum RequestKind : WPARAM {
  // Every paint pending for the window and its children is done, then the window's pixels
  // (its client area, or the whole window with its frame) go to a 24-bit BMP file.
  kPictureRequest = 1,
  // The window gets WM_DPICHANGED with the DPI and the suggested rectangle, as Windows sends
  // it when a window moves to a monitor of another scale.
  kDpiChangeRequest = 2,
  // The program's moves of staged files stop before the nth (MovePause.h): the test waits
  // for the pause and then kills the program, or lets it go on.
  kPauseMovesRequest = 3,
};
struct WatchRequest {
  DWORD wholeWindow;    // picture: 0 for the client area
  char path[MAX_PATH];  // picture: the BMP file to write
  DWORD dpi;            // DPI change: the new DPI
  RECT suggested;       // DPI change: the window's new rectangle, in screen coordinates
  DWORD nthMove;        // pause of the moves: the staged move that waits (1 for the first)
};

inline void RequestMappingName(DWORD watchedThreadId, char (&name)[48]) {
  std::snprintf(name, sizeof(name), "UiDriverWatchRequest.%lu",
                static_cast<unsigned long>(watchedThreadId));
}

}  // namespace uidriver
