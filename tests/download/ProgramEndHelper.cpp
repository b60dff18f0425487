// Ends its process in the middle of a download, as the installer does when it is closed
// while a transfer runs: the download window goes with its owner, then the program ends.
//   download_end_helper.exe URL TARGET
// Waits until nearly half of TARGET's announced 200000 bytes have arrived (the server
// stalls after half), then ends. Exit code 0 when the transfer was running at that moment, else 1.
#include <windows.h>

#include <memory>

#include "download/HttpDownloadWnd.h"
#include "tools/uidriver/UiDriver.h"
#include "winfx/ChildWindow.h"

namespace {

ULONGLONG FileSize(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  winfx::ChildWindow owner;
  if (!owner.Create(nullptr, 0, WS_POPUP, RECT{0, 0, 0, 0})) return 1;
  auto download = std::make_unique<HttpDownloadWnd>();
  if (!download->Create(owner.GetHwnd(), 21002, WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0})) return 1;
  download->SetDownloadInfo(owner.GetHwnd(), argv[1], argv[2]);
  if (download->StartDownload() != 0) return 1;
  bool running = uidriver::WaitUntil([&] { return FileSize(argv[2]) >= 90000; }, 30000);
  return running && !download->IsIdle() ? 0 : 1;
}
