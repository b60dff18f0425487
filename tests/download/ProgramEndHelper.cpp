// Ends its process in the middle of a download, as the installer does when it is closed
// while a transfer runs: the download window goes with its owner, then the program ends.
//   download_end_helper.exe URL TARGET
// Waits until nearly half of the body has arrived (the server stalls after half), then
// ends. Exit code 0 when the transfer was running at that moment, else 1.
#include <windows.h>

#include <memory>

#include "download/HttpDownloadWnd.h"
#include "tools/uidriver/UiDriver.h"
#include "winfx/ChildWindow.h"

namespace {

// Keeps the last percentage it was sent.
class ProgressOwner : public winfx::ChildWindow {
 public:
  int percent = 0;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_DOWNLOAD_PROGRESS) {
      percent = static_cast<int>(wParam);
      return 0;
    }
    return DefaultHandling(message, wParam, lParam);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  ProgressOwner owner;
  if (!owner.Create(nullptr, 0, WS_POPUP, RECT{0, 0, 0, 0})) return 1;
  auto download = std::make_unique<HttpDownloadWnd>();
  if (!download->Create(owner.GetHwnd(), 21002, WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0})) return 1;
  download->SetDownloadInfo(owner.GetHwnd(), argv[1], argv[2]);
  if (download->StartDownload() != 0) return 1;
  bool running = uidriver::WaitUntil([&] { return owner.percent >= 45; }, 30000);
  return running && !download->IsIdle() ? 0 : 1;
}
