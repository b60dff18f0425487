// HttpDownloadEngine: one HTTP GET of a URL into a file, run by a worker thread of the
// download window with WinINet in synchronous mode. It sends each new whole percentage to
// the owner window and posts its end to the download window. The window and its worker
// share the engine, so that a worker that cannot be stopped at once may outlive the window.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "winfx/File.h"
#include "winfx/InternetHandle.h"
#include "winfx/Url.h"

class HttpDownloadEngine {
 public:
  // Request flags for every transfer: always fetch from the server, keep nothing in the
  // cache, keep the connection (0x84400000). HTTPS adds INTERNET_FLAG_SECURE.
  static constexpr DWORD kRequestFlags =
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
  // A server that stops sending fails the transfer after this long without data.
  static constexpr DWORD kReceiveTimeoutMs = 60000;
  // Bytes asked for by each read of the body.
  static constexpr DWORD kReadBlockSize = 1024;
  // Bytes asked for by each read that discards the body of a 401 or 407 answer.
  static constexpr DWORD kDrainBlockSize = 50;
  // The body is written to the file in pieces of this size: one write per 64 reads
  // rather than one per read.
  static constexpr size_t kWriteBufferSize = 64 * 1024;

  // A transfer of url into the file localPath; percentages go to owner, the end to window.
  HttpDownloadEngine(const winfx::ParsedUrl& url, std::string localPath, HWND owner, HWND window,
                     DWORD receiveTimeoutMs);
  // Closes the request, connection and root handles, in this order.
  ~HttpDownloadEngine();

  HttpDownloadEngine(const HttpDownloadEngine&) = delete;
  HttpDownloadEngine& operator=(const HttpDownloadEngine&) = delete;

  // The request flags for a URL of serviceType (winfx::InternetService).
  static DWORD RequestFlagsFor(DWORD serviceType);

  // --- user-interface thread, before the worker starts ---------------------------------
  // Creates or truncates the target file; false when it cannot be created.
  bool CreateTarget();

  // --- user-interface thread, while the worker runs ------------------------------------
  // Makes the worker fail soon and report nothing: closing the request handle ends a
  // blocking send or read (where WinINet allows), and every later step checks the stop.
  void Stop();

  // --- either thread --------------------------------------------------------------------
  // Closes and deletes the target file, once: later writes find no file, and a later
  // file of the same name is left alone.
  void DiscardTarget();

  // --- worker thread --------------------------------------------------------------------
  // The transfer. Unless stopped, it ends with exactly one WM_DOWNLOAD_THREAD_END posted
  // to the window; the target is then complete and closed, or closed and deleted.
  void DoDownload();

 private:
  // Root, connection and request handles, with the receive timeout set; false on failure.
  bool OpenRequest();
  bool SendRequest();
  // Sends again after each confirmed credentials dialog until the answer is 200; false
  // for any other answer, a status that cannot be read or credentials not confirmed.
  bool AwaitContent();
  // Discards the body of a 401 or 407 answer.
  void DrainBody();
  // Shows the platform's credentials dialog for the answer status; true when the user
  // confirmed it.
  bool ConfirmCredentials(long status);
  // True unless the root handle goes to servers directly.
  bool UsesProxy() const;
  // Reads the body into the file with progress; false on a failed read or write, or a
  // body shorter than its announced length.
  bool ReceiveBody();
  // Adds one block to the target, writing out what has gathered once kWriteBufferSize
  // bytes have; false when a write failed or the target was discarded.
  bool WriteBlock(const char* data, DWORD size);
  // Writes out the rest and closes the complete target; false when that failed or the
  // target was discarded.
  bool CloseTarget();
  // Writes out what has gathered; the caller holds m_fileLock.
  bool WritePendingLocked();
  // Sends the percentage of length that received is, when it is new (never 0).
  void UpdateProgress(DWORD received, DWORD length, int* lastPercent);
  // Sends WM_DOWNLOAD_PROGRESS to the owner and returns when it has been handled.
  void SetPercent(int percent);
  // Discards the target, then posts the failed end.
  void FailDownload();
  // Posts WM_DOWNLOAD_THREAD_END (wParam 1 failed, 0 succeeded) unless stopped.
  void PostThreadEnd(WPARAM failed);
  // WinINet's status notices; nothing to do with them. Runs on the worker, and on
  // whichever thread closes a handle.
  static void CALLBACK OnInternetStatus(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID info, DWORD infoLength);

  const std::string m_strServer;
  const std::string m_strObject;
  const INTERNET_PORT m_nPort;
  const DWORD m_dwServiceType;
  const std::string m_strLocalPath;
  const HWND m_hOwner;
  const HWND m_hWindow;
  const DWORD m_receiveTimeoutMs;

  // Opened by the worker. Stop may empty and close the request handle while the worker
  // uses it; the slots are atomic for that.
  winfx::ScopedInternetHandle m_hInternet;
  winfx::ScopedInternetHandle m_hConnection;
  winfx::ScopedInternetHandle m_hRequest;
  std::atomic<bool> m_stopping{false};

  // The target file is written by the worker and may be discarded by the user-interface
  // thread while the worker is blocked elsewhere; the lock keeps the two apart.
  std::mutex m_fileLock;
  winfx::File m_file;
  bool m_targetDiscarded = false;
  // Body bytes received but not yet written; the worker's alone.
  std::vector<char> m_pending;
};
