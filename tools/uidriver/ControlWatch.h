// ControlWatch: records, in order and as they happen, every WM_SETTEXT and PBM_SETPOS that
// one user-interface thread of another program receives. It sets the UiDriverWatch.dll hook
// on that thread and receives the hook's reports on a message-only window of a thread of
// its own, so the driver's other threads may block freely meanwhile.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace uidriver {

class ControlWatch {
 public:
  // One message as the watched window was about to handle it.
  struct Change {
    HWND window;
    UINT message;      // WM_SETTEXT or PBM_SETPOS
    int value;         // PBM_SETPOS: the new position
    std::string text;  // WM_SETTEXT: the new text
    double seconds;    // when it was reported, on the QueryPerformanceCounter clock
  };

  ControlWatch() = default;
  // Stops watching.
  ~ControlWatch();
  ControlWatch(const ControlWatch&) = delete;
  ControlWatch& operator=(const ControlWatch&) = delete;

  // Starts a new record of the user-interface thread threadId of process processId; false
  // when the hook cannot be set (then nothing is recorded). Stops a watch already running.
  bool Start(DWORD processId, DWORD threadId);
  // Removes the hook; the record stays readable.
  void Stop();
  // True while the hook is set (between a successful Start and Stop).
  bool Running() const;

  // Everything recorded since Start, in order.
  std::vector<Change> Changes() const;
  // Waits until a recorded change satisfies match; false after timeoutMs without one.
  bool WaitFor(const std::function<bool(const Change&)>& match, DWORD timeoutMs) const;

  // Now, on the clock of Change::seconds.
  static double Now();

  // The hook DLL's path.
  static std::string HookDllPath();

 private:
  // The watch thread: window, hook, message loop until Stop.
  void Run(DWORD processId, DWORD threadId);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Record(const COPYDATASTRUCT& copy);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Change> changes_;
  // Set by the watch thread once it is ready (or has failed).
  bool started_ = false;
  bool hooked_ = false;
  DWORD watchThreadId_ = 0;
  std::thread thread_;
};

}  // namespace uidriver
