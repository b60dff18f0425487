// HttpDownloadWnd: downloads one file at a time with an HTTP GET on a worker thread (see
// HttpDownloadEngine: a part file, resume, retries). It is an invisible child window, so
// that the worker can hand the end of a transfer back to the user-interface thread by
// posting it a message.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "download/HttpDownloadEngine.h"
#include "winfx/ChildWindow.h"
#include "winfx/WorkerThread.h"

// From the worker to the owner (posted to this window, which sends it on, in order with the
// other notices): wParam = the whole percentage received, 1 to 100; lParam = 0.
constexpr UINT WM_DOWNLOAD_PROGRESS = 20101;
// From the worker to the owner (the same way), as each wait between attempts begins:
// wParam = the retry about to come (1 to lParam), lParam = the most retries there are.
constexpr UINT WM_DOWNLOAD_RETRY = 20103;
// From this window to the owner, sent on the user-interface thread once per started
// transfer: (1, 0) failed, (0, 1) succeeded.
constexpr UINT WM_DOWNLOAD_RESULT = 20102;
// From the worker to this window, posted as its last act (unless the transfer was stopped
// because the window is going): wParam 1 failed, 0 succeeded.
constexpr UINT WM_DOWNLOAD_THREAD_END = WM_APP + 1;

class HttpDownloadWnd : public winfx::ChildWindow {
 public:
  // Destroying the window waits at most this long for a running worker to stop...
  static constexpr DWORD kStopWaitMs = 1000;
  // ...and meanwhile closes the worker's credentials dialogs this often.
  static constexpr DWORD kStopPollMs = 100;

  HttpDownloadWnd();
  // Destroys the window (stopping a running transfer, see OnDestroy).
  ~HttpDownloadWnd() override;

  // Stores the receiver of the progress and result messages, the URL, the target file's
  // full path and what the transfer may bring (no bounds, no hash by default). Returns
  // false, changing nothing, while a transfer is running.
  bool SetDownloadInfo(HWND owner, std::string url, std::string localPath,
                       const HttpDownloadEngine::Limits& limits = HttpDownloadEngine::Limits());

  // Starts the transfer set by SetDownloadInfo. Returns 0 when it runs (exactly one
  // WM_DOWNLOAD_RESULT follows), -1 when it has not started: the window does not exist or
  // is busy, the URL is not understood, the part file beside the target cannot be opened,
  // or the worker cannot be created. After -1 nothing is sent to the owner and no new file
  // is left.
  int StartDownload();

  // True when no transfer runs or is finishing: no worker thread, no WinINet handles.
  bool IsIdle() const;

  // The SHA-256 of the body the last transfer completed, when its limits asked for one;
  // false otherwise. For the owner, after WM_DOWNLOAD_RESULT.
  bool LastDigest(unsigned char (&digest)[winfx::Sha256::kSize]) const;
  // Why the last transfer failed (cause kNone when it did not). For the owner, after
  // WM_DOWNLOAD_RESULT.
  HttpDownloadEngine::Failure LastFailure() const { return m_failure; }

  // Replaces the receive timeout of the transfers started afterwards.
  void SetReceiveTimeoutForTesting(DWORD milliseconds) { m_timing.receiveTimeoutMs = milliseconds; }
  // Replaces the unit of the waits between attempts (a second) for later transfers.
  void SetRetryUnitForTesting(DWORD milliseconds) { m_timing.retryUnitMs = milliseconds; }
  // Replaces the stall window (a minute) and the deadline's base for later transfers.
  void SetStallWindowForTesting(DWORD milliseconds) { m_timing.stallWindowMs = milliseconds; }
  void SetDeadlineBaseForTesting(DWORD milliseconds) { m_timing.deadlineBaseMs = milliseconds; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // Runs the engine that param (a heap-allocated reference to it, owned from here on)
  // holds; returns 0.
  static unsigned __stdcall DownloadThreadProc(void* param);

  // Default creation; -1 when it fails, else 0.
  LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
  // Sends a worker's WM_DOWNLOAD_PROGRESS or WM_DOWNLOAD_RETRY on to the owner while its
  // transfer runs. The owner's handler may destroy this window and delete the object.
  LRESULT OnDownloadNotice(UINT message, WPARAM wParam, LPARAM lParam);
  // Sends WM_DOWNLOAD_RESULT to the owner, then CloseDownload. The owner's handler may
  // destroy this window (not delete the object).
  LRESULT OnDownloadThreadEnd(WPARAM wParam, LPARAM lParam);
  // Stops a running transfer: see StopDownload.
  void OnDestroy();
  // Stops a running transfer and waits for its worker, at most kStopWaitMs: a transfer
  // stopped on its way leaves its part for a later run (when it can be gone on from), and
  // the owner receives no result (it is being torn down with this window). The window is
  // idle afterwards.
  void StopDownload();
  // After the worker's end: waits for the thread, deletes it and the engine (closing the
  // WinINet handles). The window is idle afterwards.
  void CloseDownload();
  // Closes the credentials dialogs the worker shows, so that a stopped worker ends.
  void CloseWorkerDialogs();

  std::string m_strURL;
  std::string m_strLocalPath;
  HWND m_pOwner = nullptr;
  // The current transfer's engine and worker, or null; the worker holds a reference to
  // the engine of its own.
  std::shared_ptr<HttpDownloadEngine> m_pEngine;
  std::unique_ptr<winfx::WorkerThread> m_pThread;
  HttpDownloadEngine::Timing m_timing;
  HttpDownloadEngine::Limits m_limits;
  bool m_digestKnown = false;
  unsigned char m_digest[winfx::Sha256::kSize] = {};
  HttpDownloadEngine::Failure m_failure;
};
