// HttpDownloadEngine: one HTTP GET of a URL into a file, run by a worker thread of the
// download window with WinINet in asynchronous mode (each call that must wait for the
// network is waited for by the worker, so a stop, a stall or the deadline ends the wait at
// once and a read takes whatever has arrived without waiting for more). The body goes into a part file beside
// the target and becomes the target by a rename only when complete; a transfer cut on its
// way, or one that brings too little for too long, is retried (bounded, with growing
// waits) and goes on from the bytes already held where the server's validator allows. A
// transfer never reads past its bounds (a cap, an exact length) and may hash the body as it
// is written. It posts each new whole percentage, each retry and its end to the download
// window, which hands them to the owner in that order (the worker does not wait for them). The window and its worker share the engine, so
// that a worker that cannot be stopped at once may outlive the window.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "download/PartFile.h"
#include "winfx/InternetHandle.h"
#include "winfx/ScopedHandle.h"
#include "winfx/Sha256.h"
#include "winfx/Url.h"

class HttpDownloadEngine {
 public:
  // Request flags for every transfer: always fetch from the server, keep nothing in the
  // cache, keep the connection, and follow no redirect unseen (the engine follows those
  // that stay on the scheme and host). HTTPS adds INTERNET_FLAG_SECURE.
  static constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                         INTERNET_FLAG_KEEP_CONNECTION |
                                         INTERNET_FLAG_NO_AUTO_REDIRECT;
  // Redirects followed by one attempt at most.
  static constexpr int kMaxRedirects = 5;
  // A server that stops sending fails the attempt after this long without data.
  static constexpr DWORD kReceiveTimeoutMs = 60000;
  // The unit of the waits between attempts: 1, 2, 4 and 8 of them.
  static constexpr DWORD kRetryUnitMs = 1000;
  // The most bytes a read of the body takes; each read takes what has arrived without
  // waiting for more (a read that finds nothing waits for the next bytes), so a slow link
  // shows its bytes as they come and a drip cannot hold a read. Each read has a fixed cost
  // (scripts/bench download shows the figures).
  static constexpr DWORD kReadBlockSize = 256 * 1024;
  // Bytes asked for by each read that discards the body of a 401 or 407 answer, and the
  // most that is read away of one.
  static constexpr DWORD kDrainBlockSize = 50;
  static constexpr DWORD kMaxDrainBytes = 64 * 1024;
  // Fewer bytes than this within a stall window count as a stall (retried as a timeout).
  static constexpr ULONGLONG kStallBytes = 1024;
  static constexpr DWORD kStallWindowMs = 60000;
  // A bounded file's transfer, its retries and waits included, ends after the base time
  // plus its bound at this rate.
  static constexpr DWORD kDeadlineBaseMs = 120000;
  static constexpr ULONGLONG kDeadlineBytesPerSecond = 16 * 1024;
  // The body is read into a buffer of this many bytes and written to the file when it is
  // full (or the body ends): short reads do not each cost a write, and a program ended
  // during a transfer loses less than this. A whole number of reads.
  static constexpr size_t kWriteBufferSize = 256 * 1024;
  static_assert(kWriteBufferSize % kReadBlockSize == 0, "reads fill the buffer exactly");

  // Why a transfer failed, as its last attempt ended (the owner words it).
  enum class FailureCause {
    kNone,            // it did not fail (or was stopped)
    kHttpStatus,      // the server answered with a status that brings no file (httpStatus)
    kNoConnection,    // no connection, or no answer to the request (refused, unreachable,
                      // unknown host, timed out before an answer)
    kConnectionLost,  // the connection ended before the body did
    kCertificate,     // the server's certificate or the secure channel was refused
    kDiskFull,        // the part could not be written: the disk is full
    kWriteFailed,     // the part could not be written for another reason
    kStalled,         // too few bytes for too long, or the transfer's deadline passed
    kWrongLength,     // the body is not of the length expected, or over its cap
    kRedirect,        // a redirect off the scheme and host, or one too many
  };
  struct Failure {
    FailureCause cause = FailureCause::kNone;
    long httpStatus = 0;  // for kHttpStatus
  };

  // The times a transfer runs by; tests shorten them.
  struct Timing {
    DWORD receiveTimeoutMs = kReceiveTimeoutMs;
    DWORD retryUnitMs = kRetryUnitMs;
    DWORD stallWindowMs = kStallWindowMs;
    DWORD deadlineBaseMs = kDeadlineBaseMs;
  };

  // What one file's transfer may bring.
  struct Limits {
    ULONGLONG maxBytes = 0;     // the body's most bytes; 0: no cap
    ULONGLONG exactLength = 0;  // the body's length, to the byte; 0: not known
    bool hash = false;          // the body's SHA-256 is computed as it is written
  };

  // A transfer of url into the file localPath within limits; percentages, retries and the
  // end go to window.
  HttpDownloadEngine(const winfx::ParsedUrl& url, std::string localPath, HWND window,
                     const Timing& timing, const Limits& limits);
  // Closes the request, connection and root handles, in this order.
  ~HttpDownloadEngine();

  HttpDownloadEngine(const HttpDownloadEngine&) = delete;
  HttpDownloadEngine& operator=(const HttpDownloadEngine&) = delete;

  // The request flags for a URL of serviceType (winfx::InternetService).
  static DWORD RequestFlagsFor(DWORD serviceType);

  // --- user-interface thread, before the worker starts ---------------------------------
  // Opens the part file (what an earlier attempt left stays); false when it cannot be
  // opened or created.
  bool OpenTarget();
  // Undoes OpenTarget for a worker that never ran: a part it created goes again.
  void AbandonTarget();

  // --- user-interface thread, while the worker runs ------------------------------------
  // Makes the worker end soon and report nothing: closing the request handle ends a
  // blocking send or read (where WinINet allows), a wait between attempts ends at once,
  // and every later step checks the stop. The part stays for a later run.
  void Stop();
  // Closes the part for a worker that did not end in time; it stays as it is and the
  // worker, whenever it ends, touches no file.
  void ReleaseTarget();

  // --- user-interface thread, after the worker's end -----------------------------------
  // The SHA-256 of the complete body into digest; false when none was asked for or the
  // transfer did not complete.
  bool Digest(unsigned char (&digest)[winfx::Sha256::kSize]) const;
  // Why the transfer failed (kNone when it did not).
  Failure LastFailure() const { return m_failure; }

  // --- worker thread --------------------------------------------------------------------
  // The transfer. Unless stopped, it ends with exactly one WM_DOWNLOAD_THREAD_END posted
  // to the window; the target is then complete, or it failed and the part is left only
  // when it can be gone on from (a write that failed removes it).
  void DoDownload();

 private:
  // How one attempt ended.
  enum class Outcome {
    kComplete,     // the target holds the whole body
    kTransient,    // worth another attempt after a wait
    kRestart,      // the held bytes are no good or refused for good: ask again at once
                   // for the whole body
    kPermanent,    // another attempt would end the same way
    kWriteFailed,  // the part cannot be written (a full disk)
    kOutOfBounds,  // the body is longer than its cap or length: the part goes
    kStopped,      // Stop was called
  };

  // Records cause as the transfer's (a later attempt's replaces it) and returns outcome.
  Outcome Failed(Outcome outcome, FailureCause cause, long httpStatus = 0);
  // kWriteFailed, with the cause the thread's last error gives (a full disk or another).
  Outcome WriteFailed();
  // One request and its body, going on from what the part holds when it can.
  Outcome Attempt();
  // The attempt, asked again at once (once) when it says the held bytes are no good.
  Outcome AttemptWithRestart();
  // Root and connection handles, once per transfer; false on failure.
  bool OpenConnection();
  // A new request handle with the receive timeout set; false on failure.
  bool OpenRequest();
  // Sends the request with extra headers; the outcome of a failed send by its error.
  bool SendRequest(const std::string& headers, Outcome* failure);
  // Sends again after each confirmed credentials dialog until the answer is no longer
  // 401 or 407; the status, or 0 when it cannot be read or credentials were not given.
  long AwaitAnswer(const std::string& headers, Outcome* failure);
  // The answer after the redirects that stay on the scheme and host (a new request for
  // each); 0 with *failure for one that leaves them or one too many.
  long AnswerFollowingRedirects(const std::string& headers, Outcome* failure);
  // Discards the body of an answer.
  void DrainBody();
  // How a call that may wait for the network ended.
  enum class Completion {
    kSucceeded,
    kFailed,    // GetLastError() says why
    kStopped,   // Stop was called; the call may still be pending
    kTimedOut,  // waitMs passed; the call is still pending
  };
  // The end of a WinINet call on the request that returned done: at once, or when WinINet
  // reports it complete, within waitMs (INFINITE: WinINet's own timeouts bound it). A call
  // still pending is ended only by CloseRequest.
  Completion Complete(BOOL done, DWORD waitMs);
  // Waits at most waitMs for the pending call's completion notice, or for Stop.
  Completion AwaitCompletion(DWORD waitMs);
  // Closes the request handle (if Stop did not) and waits for WinINet's last notice of
  // it: no call of it is pending afterwards, and its notices are over.
  void CloseRequest();
  // Shows the platform's credentials dialog for the answer status; true when the user
  // confirmed it.
  bool ConfirmCredentials(long status);
  // True unless the connection is plainly direct (see DownloadRules::MayUseProxy).
  bool MayUseProxy() const;
  // A header of the answer, or "" when it has none.
  std::string AnswerHeader(DWORD query) const;
  // The answer's validator: its strong ETag, else its Last-Modified; "" when it has neither.
  std::string AnswerValidator() const;
  // Takes a 200: the part starts over with the answer's validator and length. kComplete
  // when it did, kOutOfBounds (nothing written) for a length outside the limits,
  // kWriteFailed when the part cannot be written.
  Outcome StartWholeBody();
  // True when a 206 goes on exactly from the held bytes of the same body (the validator
  // kept with them) to its end.
  bool RangeGoesOn(ULONGLONG held);
  // Reads the body into the part as it arrives, with progress, within the bounds and the
  // stall rule; kComplete when it holds the announced total (or the body ended cleanly
  // and none was announced).
  Outcome ReceiveBody();
  // Hashes what the part holds already, when a hash is asked for.
  void StartHash();
  // The bytes the body may not exceed (the exact length, else the cap); 0: no bound.
  ULONGLONG Bound() const;
  // True once the transfer's deadline has passed.
  bool PastDeadline() const;
  // Writes out what has gathered.
  bool WritePending();
  // Waits before retry (1 to kMaxRetries) after telling the owner; false when stopped.
  bool WaitBeforeRetry(int retry);
  // Posts the percentage of total that held is, when it is above the last one posted.
  void UpdateProgress(ULONGLONG held, ULONGLONG total);
  // Posts a notice for the owner (WM_DOWNLOAD_PROGRESS, WM_DOWNLOAD_RETRY) to the window
  // unless stopped. Posted, not sent: a wait for the user-interface thread at each
  // percentage cost the transfer a fifth of its time on a fast link.
  void PostNotice(UINT message, WPARAM wParam, LPARAM lParam);
  // Posts WM_DOWNLOAD_THREAD_END (wParam 1 failed, 0 succeeded) unless stopped.
  void PostThreadEnd(WPARAM failed);
  // WinINet's status notices: a completed call and a closed request wake the worker. Runs
  // on WinINet's threads, and on whichever thread closes a handle.
  static void CALLBACK OnInternetStatus(HINTERNET handle, DWORD_PTR context, DWORD status,
                                        LPVOID info, DWORD infoLength);

  const std::string m_strServer;
  // Changed by a redirect that stays on the server.
  std::string m_strObject;
  const INTERNET_PORT m_nPort;
  const DWORD m_dwServiceType;
  const HWND m_hWindow;
  const Timing m_timing;
  const Limits m_limits;

  // Opened by the worker. Stop may empty and close the request handle while the worker
  // uses it; the slots are atomic for that.
  winfx::ScopedInternetHandle m_hInternet;
  winfx::ScopedInternetHandle m_hConnection;
  winfx::ScopedInternetHandle m_hRequest;
  std::atomic<bool> m_stopping{false};
  // Set by Stop: ends a wait between attempts and a wait for the network.
  winfx::ScopedHandle m_stopEvent;
  // Set by the notices: a call on the request completed (with its result), the request
  // handle is closed for good (manual reset; set while no request is open).
  winfx::ScopedHandle m_completeEvent;
  winfx::ScopedHandle m_requestClosedEvent;
  DWORD m_completeResult = 0;
  DWORD m_completeError = 0;
  // The worker's: a request was opened and its closing notice is still to come.
  bool m_requestOpen = false;

  PartFile m_part;
  // The worker's alone: body bytes not yet written, the announced total of the current
  // body (0: none), the last percentage posted, what the last answer asked to wait.
  std::vector<char> m_buffer;
  size_t m_buffered = 0;
  ULONGLONG m_total = 0;
  int m_lastPercent = 0;
  long m_retryAfterSeconds = -1;
  std::minstd_rand m_random;
  // The transfer's start and deadline (GetTickCount; a deadline of 0 span: none).
  DWORD m_startTick = 0;
  DWORD m_deadlineSpanMs = 0;
  // The body's hash so far (when asked for) and, once complete, its digest.
  winfx::Sha256 m_sha;
  bool m_hashing = false;
  bool m_digestKnown = false;
  unsigned char m_digest[winfx::Sha256::kSize] = {};
  // The worker's until its end: the last attempt's cause of failure.
  Failure m_failure;
};
