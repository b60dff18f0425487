#include "download/HttpDownloadWnd.h"

#include <utility>

#include "download/HttpDownloadEngine.h"
#include "winfx/Url.h"

namespace {

using EngineRef = std::shared_ptr<HttpDownloadEngine>;

BOOL CALLBACK CloseIfDialog(HWND window, LPARAM) {
  char className[16] = {};
  if (::GetClassNameA(window, className, sizeof(className)) > 0 &&
      lstrcmpA(className, "#32770") == 0) {
    ::PostMessageA(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

HttpDownloadWnd::HttpDownloadWnd() = default;

HttpDownloadWnd::~HttpDownloadWnd() { Destroy(); }

LRESULT HttpDownloadWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(wParam, lParam);
    case WM_DOWNLOAD_PROGRESS:
    case WM_DOWNLOAD_RETRY:
      return OnDownloadNotice(message, wParam, lParam);
    case WM_DOWNLOAD_THREAD_END:
      return OnDownloadThreadEnd(wParam, lParam);
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return DefaultHandling(message, wParam, lParam);
  }
}

LRESULT HttpDownloadWnd::OnCreate(WPARAM wParam, LPARAM lParam) {
  return DefaultHandling(WM_CREATE, wParam, lParam) == -1 ? -1 : 0;
}

bool HttpDownloadWnd::SetDownloadInfo(HWND owner, std::string url, std::string localPath,
                                      const HttpDownloadEngine::Limits& limits) {
  if (!IsIdle()) return false;
  m_pOwner = owner;
  m_limits = limits;
  m_strURL = std::move(url);
  m_strLocalPath = std::move(localPath);
  return true;
}

int HttpDownloadWnd::StartDownload() {
  // Without the window the worker's end would reach nobody.
  if (GetHwnd() == nullptr || !IsIdle()) return -1;
  winfx::ParsedUrl url;
  if (!winfx::ParseUrl(m_strURL, &url)) return -1;
  // Not make_shared: without run-time type information it links the library's exception
  // and unwinding machinery into the program.
  std::shared_ptr<HttpDownloadEngine> engine(
      new HttpDownloadEngine(url, m_strLocalPath, GetHwnd(), m_timing, m_limits));
  m_digestKnown = false;
  m_failure = HttpDownloadEngine::Failure();
  if (!engine->OpenTarget()) return -1;

  auto workerRef = std::make_unique<EngineRef>(engine);
  std::unique_ptr<winfx::WorkerThread> thread =
      winfx::WorkerThread::CreateSuspended(&HttpDownloadWnd::DownloadThreadProc, workerRef.get());
  if (!thread) {
    engine->AbandonTarget();  // nothing will ever write it
    return -1;
  }
  workerRef.release();  // the thread's now
  m_pEngine = std::move(engine);
  m_pThread = std::move(thread);
  m_pThread->Resume();
  return 0;
}

bool HttpDownloadWnd::IsIdle() const { return !m_pThread && !m_pEngine; }

bool HttpDownloadWnd::LastDigest(unsigned char (&digest)[winfx::Sha256::kSize]) const {
  if (!m_digestKnown) return false;
  for (size_t i = 0; i < winfx::Sha256::kSize; ++i) digest[i] = m_digest[i];
  return true;
}

unsigned __stdcall HttpDownloadWnd::DownloadThreadProc(void* param) {
  std::unique_ptr<EngineRef> engine(static_cast<EngineRef*>(param));
  (*engine)->DoDownload();
  return 0;
}

LRESULT HttpDownloadWnd::OnDownloadNotice(UINT message, WPARAM wParam, LPARAM lParam) {
  // A stopped transfer's notices still queued are no news. The owner's handler may delete
  // this object: nothing of it is touched afterwards.
  if (m_pThread) ::SendMessageA(m_pOwner, message, wParam, lParam);
  return 0;
}

LRESULT HttpDownloadWnd::OnDownloadThreadEnd(WPARAM wParam, LPARAM /*lParam*/) {
  if (!m_pThread) return 0;  // no transfer of this window's is finishing
  const bool failed = wParam != 0;
  // The worker has ended its writes: the digest is the complete body's.
  m_digestKnown = !failed && m_pEngine->Digest(m_digest);
  m_failure = failed ? m_pEngine->LastFailure() : HttpDownloadEngine::Failure();
  ::SendMessageA(m_pOwner, WM_DOWNLOAD_RESULT, failed ? 1 : 0, failed ? 0 : 1);
  CloseDownload();
  return 0;
}

void HttpDownloadWnd::CloseDownload() {
  if (!m_pThread) return;  // the owner's result handler destroyed the window
  // The worker has posted its end; all it does now is return.
  m_pThread->WaitForEnd(INFINITE);
  m_pThread.reset();
  m_pEngine.reset();
}

void HttpDownloadWnd::OnDestroy() {
  DefaultHandling(WM_DESTROY, 0, 0);
  StopDownload();
}

void HttpDownloadWnd::StopDownload() {
  if (!m_pThread) return;
  m_pEngine->Stop();
  // A credentials dialog of the worker's does not end with the request, so it is closed,
  // repeatedly (it may be about to open).
  const DWORD start = ::GetTickCount();
  while (!m_pThread->WaitForEnd(kStopPollMs)) {
    CloseWorkerDialogs();
    if (::GetTickCount() - start >= kStopWaitMs) {
      // A read that a closed handle does not end (Wine's WinINet) lasts until the receive
      // timeout. The worker is left to end on its own, with its own reference to the
      // engine; the part is closed now, as it is, and the worker touches no file after.
      m_pEngine->ReleaseTarget();
      break;
    }
  }
  m_pThread.reset();
  m_pEngine.reset();
}

void HttpDownloadWnd::CloseWorkerDialogs() {
  ::EnumThreadWindows(m_pThread->Id(), &CloseIfDialog, 0);
}
