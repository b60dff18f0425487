#include "download/HttpDownloadEngine.h"

#include <cstdlib>
#include <utility>

#include "download/HttpDownloadWnd.h"
#include "winfx/AppInfo.h"

// Stopping without locks: Stop sets m_stopping and afterwards empties and closes
// m_hRequest, while the worker stores the request handle and afterwards reads m_stopping
// (both atomic, in that order). So either Stop closes the handle, which makes the worker's
// blocking call fail, or the worker sees the stop before it blocks; every later blocking
// step checks it too. A worker call may still be handed a value that was closed a moment
// before: WinINet rejects a closed handle, and that call fails as well.

HttpDownloadEngine::HttpDownloadEngine(const winfx::ParsedUrl& url, std::string localPath,
                                       HWND owner, HWND window, DWORD receiveTimeoutMs)
    : m_strServer(url.server),
      m_strObject(url.object),
      m_nPort(url.port),
      m_dwServiceType(url.serviceType),
      m_strLocalPath(std::move(localPath)),
      m_hOwner(owner),
      m_hWindow(window),
      m_receiveTimeoutMs(receiveTimeoutMs) {
  m_pending.reserve(kWriteBufferSize + kReadBlockSize);
}

HttpDownloadEngine::~HttpDownloadEngine() {
  m_hRequest.Reset();
  m_hConnection.Reset();
  m_hInternet.Reset();
}

DWORD HttpDownloadEngine::RequestFlagsFor(DWORD serviceType) {
  return serviceType == winfx::kServiceHttps ? kRequestFlags | INTERNET_FLAG_SECURE : kRequestFlags;
}

bool HttpDownloadEngine::CreateTarget() { return m_file.Create(m_strLocalPath); }

void HttpDownloadEngine::Stop() {
  m_stopping = true;
  m_hRequest.Reset();
}

void HttpDownloadEngine::DiscardTarget() {
  std::lock_guard<std::mutex> lock(m_fileLock);
  if (m_targetDiscarded) return;
  m_targetDiscarded = true;
  m_file.Close();
  ::DeleteFileA(m_strLocalPath.c_str());
}

void HttpDownloadEngine::DoDownload() {
  // A stopped transfer fails even when its last read looked like the end of the body.
  if (!OpenRequest() || !SendRequest() || !AwaitContent() || !ReceiveBody() || m_stopping ||
      !CloseTarget()) {
    FailDownload();
    return;
  }
  PostThreadEnd(0);
}

bool HttpDownloadEngine::OpenRequest() {
  m_hInternet.Reset(::InternetOpenA(winfx::AppName().c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                    nullptr, nullptr, 0));
  if (!m_hInternet) return false;
  if (::InternetSetStatusCallback(m_hInternet.Get(), &HttpDownloadEngine::OnInternetStatus) ==
      INTERNET_INVALID_STATUS_CALLBACK) {
    return false;
  }
  const DWORD_PTR context = reinterpret_cast<DWORD_PTR>(this);
  m_hConnection.Reset(::InternetConnectA(m_hInternet.Get(), m_strServer.c_str(), m_nPort, nullptr,
                                         nullptr, INTERNET_SERVICE_HTTP, 0, context));
  if (!m_hConnection) return false;
  const char* acceptTypes[] = {"*/*", nullptr};
  m_hRequest.Reset(::HttpOpenRequestA(m_hConnection.Get(), nullptr, m_strObject.c_str(), nullptr,
                                      nullptr, acceptTypes, RequestFlagsFor(m_dwServiceType),
                                      context));
  // Read after the handle is stored: see the note at the top.
  if (!m_hRequest || m_stopping) return false;
  // WinINet's default differs between platforms (none at all under Wine); a server that
  // stops sending must not hold the installation for ever.
  DWORD timeout = m_receiveTimeoutMs;
  ::InternetSetOptionA(m_hRequest.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
  return true;
}

bool HttpDownloadEngine::SendRequest() {
  return ::HttpSendRequestA(m_hRequest.Get(), nullptr, 0, nullptr, 0) != FALSE;
}

bool HttpDownloadEngine::AwaitContent() {
  for (;;) {
    char statusText[32] = {};
    DWORD size = sizeof(statusText);
    if (!::HttpQueryInfoA(m_hRequest.Get(), HTTP_QUERY_STATUS_CODE, statusText, &size, nullptr)) {
      return false;
    }
    const long status = std::atol(statusText);
    if (status == HTTP_STATUS_OK) return true;
    if (status != HTTP_STATUS_DENIED && status != HTTP_STATUS_PROXY_AUTH_REQ) return false;
    // The answer's body is an error page, not the file: it is read away, and only
    // confirmed credentials lead on, to a new request.
    DrainBody();
    if (!ConfirmCredentials(status) || !SendRequest()) return false;
  }
}

void HttpDownloadEngine::DrainBody() {
  char piece[kDrainBlockSize];
  DWORD got = 0;
  do {
    got = 0;
    ::InternetReadFile(m_hRequest.Get(), piece, sizeof(piece), &got);
  } while (got != 0);
}

bool HttpDownloadEngine::ConfirmCredentials(long status) {
  if (m_stopping) return false;
  // Proxy credentials are only ever sent to a proxy: without one, asking for them cannot
  // help (and Wine's proxy dialog crashes).
  if (status == HTTP_STATUS_PROXY_AUTH_REQ && !UsesProxy()) return false;
  const DWORD flags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                      FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
  return ::InternetErrorDlg(m_hWindow, m_hRequest.Get(), ERROR_INTERNET_INCORRECT_PASSWORD, flags,
                            nullptr) == ERROR_INTERNET_FORCE_RETRY;
}

bool HttpDownloadEngine::UsesProxy() const {
  // INTERNET_PROXY_INFO and the proxy texts it points to; a list too long for this
  // buffer names a proxy all the same.
  union {
    INTERNET_PROXY_INFO info;
    char bytes[1024];
  } proxy = {};
  DWORD size = sizeof(proxy);
  if (!::InternetQueryOptionA(m_hInternet.Get(), INTERNET_OPTION_PROXY, &proxy, &size)) return true;
  return proxy.info.dwAccessType != INTERNET_OPEN_TYPE_DIRECT;
}

bool HttpDownloadEngine::ReceiveBody() {
  char lengthText[32] = {};
  DWORD size = sizeof(lengthText);
  const bool hasLength = ::HttpQueryInfoA(m_hRequest.Get(), HTTP_QUERY_CONTENT_LENGTH, lengthText,
                                          &size, nullptr) != FALSE;
  const DWORD length = hasLength ? static_cast<DWORD>(std::atol(lengthText)) : 0;

  DWORD received = 0;
  int lastPercent = 0;
  char block[kReadBlockSize];
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(m_hRequest.Get(), block, sizeof(block), &got)) return false;
    if (got == 0) break;
    if (!WriteBlock(block, got)) return false;
    received += got;
    UpdateProgress(received, length, &lastPercent);
  }
  // A body that ends before its announced length is a cut connection, not the file.
  return !hasLength || received >= length;
}

bool HttpDownloadEngine::WriteBlock(const char* data, DWORD size) {
  m_pending.insert(m_pending.end(), data, data + size);
  if (m_pending.size() < kWriteBufferSize) return true;
  std::lock_guard<std::mutex> lock(m_fileLock);
  return WritePendingLocked();
}

bool HttpDownloadEngine::CloseTarget() {
  std::lock_guard<std::mutex> lock(m_fileLock);
  return WritePendingLocked() && m_file.Close();
}

bool HttpDownloadEngine::WritePendingLocked() {
  if (m_targetDiscarded) return false;
  const bool written = m_file.Write(m_pending.data(), static_cast<DWORD>(m_pending.size()));
  m_pending.clear();
  return written;
}

void HttpDownloadEngine::UpdateProgress(DWORD received, DWORD length, int* lastPercent) {
  if (length == 0) return;  // no length announced: no percentage
  int percent = static_cast<int>(static_cast<double>(received) * 100.0 / static_cast<double>(length));
  if (percent > 100) percent = 100;
  if (percent == *lastPercent) return;
  SetPercent(percent);
  *lastPercent = percent;
}

void HttpDownloadEngine::SetPercent(int percent) {
  if (m_stopping) return;  // the owner is being torn down
  ::SendMessageA(m_hOwner, WM_DOWNLOAD_PROGRESS, static_cast<WPARAM>(percent), 0);
}

void HttpDownloadEngine::FailDownload() {
  DiscardTarget();
  PostThreadEnd(1);
}

void HttpDownloadEngine::PostThreadEnd(WPARAM failed) {
  if (m_stopping) return;  // the window is going away
  ::PostMessageA(m_hWindow, WM_DOWNLOAD_THREAD_END, failed, 0);
}

void CALLBACK HttpDownloadEngine::OnInternetStatus(HINTERNET /*handle*/, DWORD_PTR /*context*/,
                                                   DWORD /*status*/, LPVOID /*info*/,
                                                   DWORD /*infoLength*/) {}
