#include "download/HttpDownloadEngine.h"

#include <cstdlib>
#include <utility>

#include "download/DownloadRules.h"
#include "download/HttpDownloadWnd.h"
#include "winfx/AppInfo.h"

namespace {

// Why the part could not be written, by the error of the write.
HttpDownloadEngine::FailureCause WriteFailureCause(DWORD error) {
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL
             ? HttpDownloadEngine::FailureCause::kDiskFull
             : HttpDownloadEngine::FailureCause::kWriteFailed;
}

}  // namespace

// Asynchronous mode: a call that must wait for the network returns ERROR_IO_PENDING and
// WinINet later sends INTERNET_STATUS_REQUEST_COMPLETE; the worker waits for that notice,
// for Stop and for its own bounds at once. A read with IRF_NO_WAIT takes what has arrived,
// as much of it as it asks for, or is pending until more arrives (the bytes then wait in
// WinINet for the next read). A call still pending when the worker gives up on it ends
// only with its request handle: the worker closes it and waits for the handle's last
// notice (INTERNET_STATUS_HANDLE_CLOSING) before it opens another request or ends, so no
// notice of an old request reaches a later one. Only request handles carry the engine as
// their context; the others (context 0) send no notices.
//
// Stopping without locks: Stop sets m_stopping and afterwards empties and closes
// m_hRequest, while the worker stores the request handle and afterwards reads m_stopping
// (both atomic, in that order). So either Stop closes the handle, which makes the worker's
// blocking call fail, or the worker sees the stop before it blocks; every later blocking
// step checks it too. A worker call may still be handed a value that was closed a moment
// before: WinINet rejects a closed handle, and that call fails as well.

HttpDownloadEngine::HttpDownloadEngine(const winfx::ParsedUrl& url, std::string localPath,
                                       HWND window, const Timing& timing,
                                       const Limits& limits)
    : m_strServer(url.server),
      m_strObject(url.object),
      m_nPort(url.port),
      m_dwServiceType(url.serviceType),
      m_hWindow(window),
      m_timing(timing),
      m_limits(limits),
      m_stopEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_completeEvent(::CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_requestClosedEvent(::CreateEventA(nullptr, TRUE, TRUE, nullptr)),
      m_part(std::move(localPath)),
      m_random(::GetTickCount() ^ static_cast<DWORD>(reinterpret_cast<UINT_PTR>(this))) {
  m_buffer.resize(kWriteBufferSize);
}

HttpDownloadEngine::~HttpDownloadEngine() {
  m_hRequest.Reset();
  m_hConnection.Reset();
  m_hInternet.Reset();
}

DWORD HttpDownloadEngine::RequestFlagsFor(DWORD serviceType) {
  return serviceType == winfx::kServiceHttps ? kRequestFlags | INTERNET_FLAG_SECURE : kRequestFlags;
}

bool HttpDownloadEngine::OpenTarget() {
  return m_stopEvent && m_completeEvent && m_requestClosedEvent && m_part.Open();
}

void HttpDownloadEngine::AbandonTarget() { m_part.Abandon(); }

void HttpDownloadEngine::Stop() {
  m_stopping = true;
  ::SetEvent(m_stopEvent.Get());
  m_hRequest.Reset();
}

void HttpDownloadEngine::ReleaseTarget() { m_part.Release(); }

bool HttpDownloadEngine::Digest(unsigned char (&digest)[winfx::Sha256::kSize]) const {
  if (!m_digestKnown) return false;
  for (size_t i = 0; i < winfx::Sha256::kSize; ++i) digest[i] = m_digest[i];
  return true;
}

ULONGLONG HttpDownloadEngine::Bound() const {
  return m_limits.exactLength != 0 ? m_limits.exactLength : m_limits.maxBytes;
}

bool HttpDownloadEngine::PastDeadline() const {
  return m_deadlineSpanMs != 0 && ::GetTickCount() - m_startTick >= m_deadlineSpanMs;
}

void HttpDownloadEngine::DoDownload() {
  m_startTick = ::GetTickCount();
  const ULONGLONG bound = Bound();
  if (bound != 0) {
    const ULONGLONG span = m_timing.deadlineBaseMs + bound * 1000 / kDeadlineBytesPerSecond;
    m_deadlineSpanMs = span < 0x7FFFFFFF ? static_cast<DWORD>(span) : 0x7FFFFFFF;
  }
  Outcome outcome = OpenConnection() ? AttemptWithRestart()
                                     : Failed(Outcome::kPermanent, FailureCause::kNoConnection);
  for (int retry = 1; outcome == Outcome::kTransient && retry <= DownloadRules::kMaxRetries &&
                     !PastDeadline();
       ++retry) {
    outcome = WaitBeforeRetry(retry) ? AttemptWithRestart() : Outcome::kStopped;
  }
  // Nothing of the last request may be pending when the worker ends.
  CloseRequest();
  // A stopped transfer reports nothing, even when its last read looked like the end.
  if (m_stopping && outcome != Outcome::kComplete) outcome = Outcome::kStopped;
  if (outcome == Outcome::kComplete || outcome == Outcome::kStopped) m_failure = Failure();
  switch (outcome) {
    case Outcome::kComplete:
      PostThreadEnd(0);
      return;
    case Outcome::kStopped:
      m_part.CloseForLater();
      return;
    case Outcome::kWriteFailed:
    case Outcome::kOutOfBounds:
      // Nothing more can be written there, or what is there is not the file: a later run
      // starts afresh.
      m_part.Remove();
      break;
    default:
      m_part.CloseForLater();
      break;
  }
  PostThreadEnd(1);
}

HttpDownloadEngine::Outcome HttpDownloadEngine::Failed(Outcome outcome, FailureCause cause,
                                                       long httpStatus) {
  m_failure.cause = cause;
  m_failure.httpStatus = httpStatus;
  return outcome;
}

HttpDownloadEngine::Outcome HttpDownloadEngine::WriteFailed() {
  return Failed(Outcome::kWriteFailed, WriteFailureCause(::GetLastError()));
}

HttpDownloadEngine::Outcome HttpDownloadEngine::AttemptWithRestart() {
  Outcome outcome = Attempt();
  if (outcome != Outcome::kRestart) return outcome;
  if (!m_part.StartOver("", 0)) return WriteFailed();
  outcome = Attempt();
  // Asked for the whole body, the server still answered with a range: try again later.
  return outcome == Outcome::kRestart ? Outcome::kTransient : outcome;
}

HttpDownloadEngine::Outcome HttpDownloadEngine::Attempt() {
  m_retryAfterSeconds = -1;
  // Bytes held of a body of another length than the one expected are of no use.
  if (m_limits.exactLength != 0 && m_part.Held() != 0 && m_part.Total() != m_limits.exactLength &&
      !m_part.StartOver("", 0)) {
    return WriteFailed();
  }
  const ULONGLONG held = m_part.Held();
  std::string headers;
  if (m_part.CanResume()) {
    headers = "Range: bytes=" + std::to_string(held) + "-\r\nIf-Range: " + m_part.Validator() +
              "\r\n";
  }
  Outcome failure = Outcome::kPermanent;
  const long status = AnswerFollowingRedirects(headers, &failure);
  switch (status) {
    case 0:
      return failure;
    case HTTP_STATUS_OK: {
      // The whole body, also where a range was asked for: the held bytes are dropped.
      const Outcome started = StartWholeBody();
      if (started != Outcome::kComplete) return started;
      break;
    }
    case HTTP_STATUS_PARTIAL_CONTENT:
      if (headers.empty() || !RangeGoesOn(held)) {
        return Failed(Outcome::kRestart, FailureCause::kHttpStatus, status);
      }
      UpdateProgress(held, m_total);
      break;
    default:
      // Refused for good as a resume (416, 412, ...): asked again at once without a range.
      if (!headers.empty() && DownloadRules::EndsResume(status)) {
        return Failed(Outcome::kRestart, FailureCause::kHttpStatus, status);
      }
      if (!DownloadRules::IsTransientStatus(status)) {
        return Failed(Outcome::kPermanent, FailureCause::kHttpStatus, status);
      }
      SYSTEMTIME now;
      ::GetSystemTime(&now);
      m_retryAfterSeconds =
          DownloadRules::RetryAfterSeconds(AnswerHeader(HTTP_QUERY_RETRY_AFTER), now);
      return Failed(Outcome::kTransient, FailureCause::kHttpStatus, status);
  }
  return ReceiveBody();
}

bool HttpDownloadEngine::OpenConnection() {
  m_hInternet.Reset(::InternetOpenA(winfx::AppName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                    nullptr, nullptr, INTERNET_FLAG_ASYNC));
  if (!m_hInternet) return false;
  if (::InternetSetStatusCallback(m_hInternet.Get(), &HttpDownloadEngine::OnInternetStatus) ==
      INTERNET_INVALID_STATUS_CALLBACK) {
    return false;
  }
  m_hConnection.Reset(::InternetConnectA(m_hInternet.Get(), m_strServer.c_str(), m_nPort, nullptr,
                                         nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  return static_cast<bool>(m_hConnection);
}

bool HttpDownloadEngine::OpenRequest() {
  CloseRequest();
  const char* acceptTypes[] = {"*/*", nullptr};
  ::ResetEvent(m_requestClosedEvent.Get());
  HINTERNET request = ::HttpOpenRequestA(m_hConnection.Get(), nullptr, m_strObject.c_str(),
                                         nullptr, nullptr, acceptTypes,
                                         RequestFlagsFor(m_dwServiceType),
                                         reinterpret_cast<DWORD_PTR>(this));
  m_requestOpen = request != nullptr;
  m_hRequest.Reset(request);
  // Read after the handle is stored: see the note at the top.
  if (!m_hRequest || m_stopping) return false;
  // WinINet's default differs between platforms (none at all under Wine); a server that
  // stops sending must not hold the installation for ever.
  DWORD timeout = m_timing.receiveTimeoutMs;
  ::InternetSetOptionA(m_hRequest.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
  return true;
}

bool HttpDownloadEngine::SendRequest(const std::string& headers, Outcome* failure) {
  const BOOL sent = ::HttpSendRequestA(m_hRequest.Get(), headers.empty() ? nullptr : headers.c_str(),
                                       static_cast<DWORD>(headers.size()), nullptr, 0);
  // WinINet's connect and receive timeouts bound the wait.
  const Completion completion = Complete(sent, INFINITE);
  if (completion == Completion::kSucceeded) return true;
  const DWORD error = ::GetLastError();
  if (completion == Completion::kStopped || m_stopping) {
    *failure = Outcome::kStopped;
  } else {
    *failure = Failed(DownloadRules::IsTransientNetworkError(error) ? Outcome::kTransient
                                                                    : Outcome::kPermanent,
                      DownloadRules::IsCertificateError(error) ? FailureCause::kCertificate
                                                               : FailureCause::kNoConnection);
  }
  return false;
}

long HttpDownloadEngine::AnswerFollowingRedirects(const std::string& headers, Outcome* failure) {
  for (int redirects = 0;; ++redirects) {
    if (!OpenRequest()) {
      *failure = m_stopping ? Outcome::kStopped
                            : Failed(Outcome::kPermanent, FailureCause::kNoConnection);
      return 0;
    }
    const long status = AwaitAnswer(headers, failure);
    if (!DownloadRules::IsRedirect(status)) return status;
    std::string object;
    if (redirects == kMaxRedirects ||
        !DownloadRules::RedirectStays(AnswerHeader(HTTP_QUERY_LOCATION), m_dwServiceType,
                                      m_strServer, m_nPort, &object)) {
      *failure = Failed(Outcome::kPermanent, FailureCause::kRedirect);
      return 0;
    }
    m_strObject = object;
  }
}

long HttpDownloadEngine::AwaitAnswer(const std::string& headers, Outcome* failure) {
  if (!SendRequest(headers, failure)) return 0;
  for (;;) {
    char statusText[32] = {};
    DWORD size = sizeof(statusText);
    if (!::HttpQueryInfoA(m_hRequest.Get(), HTTP_QUERY_STATUS_CODE, statusText, &size, nullptr)) {
      *failure = m_stopping ? Outcome::kStopped
                            : Failed(Outcome::kTransient, FailureCause::kNoConnection);
      return 0;
    }
    const long status = std::atol(statusText);
    if (status != HTTP_STATUS_DENIED && status != HTTP_STATUS_PROXY_AUTH_REQ) {
      if (status == 0) *failure = Failed(Outcome::kPermanent, FailureCause::kNoConnection);
      return status;
    }
    // The answer's body is an error page, not the file: it is read away, and only
    // confirmed credentials lead on, to a new request.
    DrainBody();
    if (!ConfirmCredentials(status)) {
      *failure = m_stopping ? Outcome::kStopped
                            : Failed(Outcome::kPermanent, FailureCause::kHttpStatus, status);
      return 0;
    }
    if (!SendRequest(headers, failure)) return 0;
  }
}

void HttpDownloadEngine::DrainBody() {
  // An error page, however long the server makes it, is read away only so far.
  // The pieces go to the body's buffer, unused until the body itself is read.
  INTERNET_BUFFERSA read = {};
  read.dwStructSize = sizeof(read);
  read.lpvBuffer = m_buffer.data();
  DWORD drained = 0;
  while (drained < kMaxDrainBytes) {
    read.dwBufferLength = kDrainBlockSize;
    if (!::InternetReadFileExA(m_hRequest.Get(), &read, IRF_NO_WAIT,
                               reinterpret_cast<DWORD_PTR>(this))) {
      // Pending until more arrives: read on once it has.
      if (Complete(FALSE, INFINITE) == Completion::kSucceeded) continue;
      return;
    }
    if (read.dwBufferLength == 0) return;  // the end of the body
    drained += read.dwBufferLength;
  }
}

HttpDownloadEngine::Completion HttpDownloadEngine::Complete(BOOL done, DWORD waitMs) {
  if (done) return Completion::kSucceeded;
  if (::GetLastError() != ERROR_IO_PENDING) return Completion::kFailed;
  return AwaitCompletion(waitMs);
}

HttpDownloadEngine::Completion HttpDownloadEngine::AwaitCompletion(DWORD waitMs) {
  const HANDLE events[] = {m_completeEvent.Get(), m_stopEvent.Get()};
  switch (::WaitForMultipleObjects(2, events, FALSE, waitMs)) {
    case WAIT_OBJECT_0:
      if (m_completeResult != 0) return Completion::kSucceeded;
      ::SetLastError(m_completeError);
      return Completion::kFailed;
    case WAIT_OBJECT_0 + 1:
      return Completion::kStopped;
    default:
      return Completion::kTimedOut;
  }
}

void HttpDownloadEngine::CloseRequest() {
  m_hRequest.Reset();
  if (m_requestOpen) {
    ::WaitForSingleObject(m_requestClosedEvent.Get(), INFINITE);
    m_requestOpen = false;
  }
  // A completion of the closed request is no news for the next one.
  ::ResetEvent(m_completeEvent.Get());
}

bool HttpDownloadEngine::ConfirmCredentials(long status) {
  if (m_stopping) return false;
  // Proxy credentials are only ever sent to a proxy: where none can be in use, asking
  // for them cannot help (and Wine's proxy dialog crashes).
  if (status == HTTP_STATUS_PROXY_AUTH_REQ && !MayUseProxy()) return false;
  const DWORD flags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                      FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
  return ::InternetErrorDlg(m_hWindow, m_hRequest.Get(), ERROR_INTERNET_INCORRECT_PASSWORD, flags,
                            nullptr) == ERROR_INTERNET_FORCE_RETRY;
}

bool HttpDownloadEngine::MayUseProxy() const {
  // The connection's own flags: a configuration script or automatic detection reads as
  // "direct" in INTERNET_OPTION_PROXY, yet may well lead to a proxy.
  INTERNET_PER_CONN_OPTIONA option = {};
  option.dwOption = INTERNET_PER_CONN_FLAGS;
  INTERNET_PER_CONN_OPTION_LISTA list = {};
  list.dwSize = sizeof(list);
  list.pszConnection = nullptr;  // the LAN connection
  list.dwOptionCount = 1;
  list.pOptions = &option;
  DWORD size = sizeof(list);
  if (!::InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
    return true;
  }
  return DownloadRules::MayUseProxy(option.Value.dwValue);
}

std::string HttpDownloadEngine::AnswerHeader(DWORD query) const {
  char text[512] = {};
  DWORD size = sizeof(text);
  if (!::HttpQueryInfoA(m_hRequest.Get(), query, text, &size, nullptr)) return "";
  return std::string(text, size);
}

std::string HttpDownloadEngine::AnswerValidator() const {
  // A strong ETag identifies the very bytes; a weak one does not, Last-Modified does
  // to the second.
  std::string validator = AnswerHeader(HTTP_QUERY_ETAG);
  if (validator.empty() || validator.compare(0, 2, "W/") == 0) {
    validator = AnswerHeader(HTTP_QUERY_LAST_MODIFIED);
  }
  return validator;
}

HttpDownloadEngine::Outcome HttpDownloadEngine::StartWholeBody() {
  const std::string lengthText = AnswerHeader(HTTP_QUERY_CONTENT_LENGTH);
  m_total = std::strtoull(lengthText.c_str(), nullptr, 10);
  // A body announced of another length than expected, or over the cap, is refused before
  // a byte of it is written.
  if (!lengthText.empty() && ((m_limits.exactLength != 0 && m_total != m_limits.exactLength) ||
                              (m_limits.maxBytes != 0 && m_total > m_limits.maxBytes))) {
    return Failed(Outcome::kOutOfBounds, FailureCause::kWrongLength);
  }
  if (m_total == 0) m_total = m_limits.exactLength;
  return m_part.StartOver(AnswerValidator(), m_total) ? Outcome::kComplete : WriteFailed();
}

bool HttpDownloadEngine::RangeGoesOn(ULONGLONG held) {
  ULONGLONG first = 0, last = 0, total = 0;
  if (!DownloadRules::ParseContentRange(AnswerHeader(HTTP_QUERY_CONTENT_RANGE), &first, &last,
                                        &total)) {
    return false;
  }
  if (first != held || total != m_part.Total() || last + 1 != total) return false;
  if (m_limits.exactLength != 0 && total != m_limits.exactLength) return false;
  // A server that does not check If-Range may send a range of a body that has changed.
  if (AnswerValidator() != m_part.Validator()) return false;
  m_total = total;
  return true;
}

HttpDownloadEngine::Outcome HttpDownloadEngine::ReceiveBody() {
  StartHash();
  ULONGLONG have = m_part.Held();
  const ULONGLONG bound = Bound();
  DWORD windowStart = ::GetTickCount();
  ULONGLONG windowBytes = have;
  INTERNET_BUFFERSA read = {};
  read.dwStructSize = sizeof(read);
  // A read that found nothing waits for the next bytes; the stall window and the deadline
  // end that wait, whether bytes come or not.
  bool pending = false;
  for (;;) {
    DWORD now = ::GetTickCount();
    DWORD waitMs = now - windowStart < m_timing.stallWindowMs
                       ? m_timing.stallWindowMs - (now - windowStart)
                       : 0;
    if (m_deadlineSpanMs != 0) {
      const DWORD spent = now - m_startTick;
      const DWORD left = spent < m_deadlineSpanMs ? m_deadlineSpanMs - spent : 0;
      if (left < waitMs) waitMs = left;
    }
    Completion completion = Completion::kSucceeded;
    if (pending) {
      completion = AwaitCompletion(waitMs);
    } else {
      // Whatever has arrived, up to the block and the bound; at the bound one byte more is
      // asked for, which must not be there.
      const DWORD room = static_cast<DWORD>(m_buffer.size() - m_buffered);
      DWORD ask = room < kReadBlockSize ? room : kReadBlockSize;
      if (bound != 0 && bound - have < ask) ask = have < bound ? static_cast<DWORD>(bound - have) : 1;
      read.lpvBuffer = m_buffer.data() + m_buffered;
      read.dwBufferLength = ask;
      if (::InternetReadFileExA(m_hRequest.Get(), &read, IRF_NO_WAIT,
                                reinterpret_cast<DWORD_PTR>(this))) {
        const DWORD got = read.dwBufferLength;
        if (got == 0) break;  // the end of the body
        // At its bound the body must end: more is not the file.
        if (bound != 0 && have >= bound) return Failed(Outcome::kOutOfBounds, FailureCause::kWrongLength);
        m_buffered += got;
        // A full buffer is on the disk before its percentage is sent: what the bar showed
        // is kept when the program is ended there.
        if (m_buffered == m_buffer.size() && !WritePending()) return WriteFailed();
        have += got;
        UpdateProgress(have, m_total);
      } else {
        completion = Complete(FALSE, waitMs);
      }
    }
    // Once complete, the bytes that arrived wait in WinINet for the next read.
    pending = completion == Completion::kTimedOut;
    if (completion == Completion::kFailed || completion == Completion::kStopped) {
      // A read that WinINet's receive timeout ended is a stall; any other, a cut.
      const FailureCause cause = ::GetLastError() == ERROR_INTERNET_TIMEOUT
                                     ? FailureCause::kStalled
                                     : FailureCause::kConnectionLost;
      // What did arrive is kept: the next attempt goes on from it.
      if (!WritePending()) return WriteFailed();
      return m_stopping ? Outcome::kStopped : Failed(Outcome::kTransient, cause);
    }
    // A drip that keeps the connection alive is no transfer: too few bytes in a window is
    // a stall, tried again as a timeout would be; past the deadline the file fails. A read
    // still pending then ends with its request.
    now = ::GetTickCount();
    const bool stalled = now - windowStart >= m_timing.stallWindowMs && have - windowBytes < kStallBytes;
    if (stalled || PastDeadline()) {
      if (!WritePending()) return WriteFailed();
      return Failed(stalled && !PastDeadline() ? Outcome::kTransient : Outcome::kPermanent,
                    FailureCause::kStalled);
    }
    if (now - windowStart >= m_timing.stallWindowMs) {
      windowStart = now;
      windowBytes = have;
    }
  }
  if (!WritePending()) return WriteFailed();
  if (m_stopping) return Outcome::kStopped;
  // A body that ends before its announced length is a cut connection, not the file; one
  // that goes past it is not the body that was announced.
  const ULONGLONG held = m_part.Held();
  if (m_total != 0 && held < m_total) return Failed(Outcome::kTransient, FailureCause::kConnectionLost);
  if (m_total != 0 && held > m_total) return Failed(Outcome::kRestart, FailureCause::kWrongLength);
  if (m_hashing) m_digestKnown = m_sha.Finish(m_digest);
  if (m_part.Finish()) return Outcome::kComplete;
  return Failed(Outcome::kPermanent, WriteFailureCause(::GetLastError()));
}

void HttpDownloadEngine::StartHash() {
  m_hashing = m_limits.hash && m_sha.Reset() && m_part.HashHeld(&m_sha);
}

bool HttpDownloadEngine::WritePending() {
  if (m_buffered == 0) return true;
  const bool written = m_part.Append(m_buffer.data(), static_cast<DWORD>(m_buffered));
  // The hash follows the bytes written; one that fails leaves the digest unknown.
  if (written && m_hashing) m_hashing = m_sha.Add(m_buffer.data(), m_buffered);
  m_buffered = 0;
  return written;
}

bool HttpDownloadEngine::WaitBeforeRetry(int retry) {
  if (m_stopping) return false;
  PostNotice(WM_DOWNLOAD_RETRY, static_cast<WPARAM>(retry),
             static_cast<LPARAM>(DownloadRules::kMaxRetries));
  std::uniform_real_distribution<double> jitter(-1.0, 1.0);
  const DWORD waitMs = DownloadRules::RetryWaitMs(retry, jitter(m_random), m_retryAfterSeconds,
                                                  m_timing.retryUnitMs);
  return ::WaitForSingleObject(m_stopEvent.Get(), waitMs) == WAIT_TIMEOUT && !m_stopping;
}

void HttpDownloadEngine::UpdateProgress(ULONGLONG held, ULONGLONG total) {
  if (total == 0) return;  // no length announced: no percentage
  int percent = static_cast<int>(static_cast<double>(held) * 100.0 / static_cast<double>(total));
  if (percent > 100) percent = 100;
  // Never back and never twice: after a body that started over, the bar waits until the
  // new one passes it.
  if (percent <= m_lastPercent) return;
  PostNotice(WM_DOWNLOAD_PROGRESS, static_cast<WPARAM>(percent), 0);
  m_lastPercent = percent;
}

void HttpDownloadEngine::PostNotice(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_stopping) return;  // the window is going away
  ::PostMessageA(m_hWindow, message, wParam, lParam);
}

void HttpDownloadEngine::PostThreadEnd(WPARAM failed) {
  if (m_stopping) return;  // the window is going away
  ::PostMessageA(m_hWindow, WM_DOWNLOAD_THREAD_END, failed, 0);
}

void CALLBACK HttpDownloadEngine::OnInternetStatus(HINTERNET /*handle*/, DWORD_PTR context,
                                                   DWORD status, LPVOID info,
                                                   DWORD /*infoLength*/) {
  auto* engine = reinterpret_cast<HttpDownloadEngine*>(context);
  if (engine == nullptr) return;
  switch (status) {
    case INTERNET_STATUS_REQUEST_COMPLETE: {
      const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
      engine->m_completeResult = result->dwResult;
      engine->m_completeError = result->dwError;
      ::SetEvent(engine->m_completeEvent.Get());
      break;
    }
    case INTERNET_STATUS_HANDLE_CLOSING:
      ::SetEvent(engine->m_requestClosedEvent.Get());
      break;
    default:
      break;
  }
}
