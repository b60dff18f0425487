// Throughput of the download window against a loopback server, beside bare WinINet loops
// that read the same body with no window, thread or file (the platform's own cost).
//   download_bench.exe URL SIZE FOLDER RUNS [CUT-URL]
// Prints, one figure per line, the best MB/s (10^6 bytes per second) of RUNS runs each:
//   engine <MB/s>            HttpDownloadWnd into FOLDER\bench.bin (1024-byte reads)
//   cut <MB/s>               the same from CUT-URL + "&run=N", whose body the server cuts
//                            on its way, resumed by the engine with no waits between
//                            attempts (only with CUT-URL)
//   wininet-1024 <MB/s>      bare WinINet loop, 1024-byte reads
//   wininet-65536 <MB/s>     bare WinINet loop, 65536-byte reads
//   paired-1024 <ratio>      median over the runs of engine / 1024-byte loop, each pair
//                            measured back to back (steadier than the best figures on a
//                            busy machine)
// Exit code 1 when a transfer fails or delivers the wrong number of bytes.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "download/HttpDownloadEngine.h"
#include "download/HttpDownloadWnd.h"
#include "winfx/ChildWindow.h"
#include "winfx/InternetHandle.h"
#include "winfx/Url.h"

namespace {

// Receives the download window's messages; its loop ends with the result.
class BenchOwner : public winfx::ChildWindow {
 public:
  bool succeeded = false;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_DOWNLOAD_RESULT) {
      succeeded = lParam == 1;
      ::PostQuitMessage(0);
      return 0;
    }
    return DefaultHandling(message, wParam, lParam);
  }
};

double Seconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

ULONGLONG FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Seconds for one download through the window, or a negative value on failure; retryUnitMs
// 0 leaves out the waits between attempts.
double TimeEngine(const std::string& url, const std::string& target, ULONGLONG size,
                  DWORD retryUnitMs = HttpDownloadEngine::kRetryUnitMs) {
  BenchOwner owner;
  HttpDownloadWnd download;
  if (!owner.Create(nullptr, 0, WS_POPUP, RECT{0, 0, 0, 0}) ||
      !download.Create(owner.GetHwnd(), 21002, WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0})) {
    return -1;
  }
  download.SetDownloadInfo(owner.GetHwnd(), url, target);
  download.SetRetryUnitForTesting(retryUnitMs);
  LARGE_INTEGER start, end;
  ::QueryPerformanceCounter(&start);
  if (download.StartDownload() != 0) return -1;
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
  ::QueryPerformanceCounter(&end);
  if (!owner.succeeded || FileSize(target) != size) return -1;
  return Seconds(start, end);
}

// Seconds for one bare WinINet GET read in blocks of blockSize, or a negative value.
double TimeBareLoop(const std::string& url, DWORD blockSize, ULONGLONG size) {
  winfx::ParsedUrl parts;
  if (!winfx::ParseUrl(url, &parts)) return -1;
  std::vector<char> block(blockSize);
  LARGE_INTEGER start, end;
  ::QueryPerformanceCounter(&start);
  winfx::ScopedInternetHandle internet(
      ::InternetOpenA("download_bench", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  winfx::ScopedInternetHandle connection(::InternetConnectA(internet.Get(), parts.server.c_str(),
                                                            parts.port, nullptr, nullptr,
                                                            INTERNET_SERVICE_HTTP, 0, 0));
  const char* acceptTypes[] = {"*/*", nullptr};
  winfx::ScopedInternetHandle request(::HttpOpenRequestA(
      connection.Get(), nullptr, parts.object.c_str(), nullptr, nullptr, acceptTypes,
      HttpDownloadEngine::RequestFlagsFor(parts.serviceType), 0));
  if (!request || !::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) return -1;
  ULONGLONG received = 0;
  for (;;) {
    DWORD got = 0;
    if (!::InternetReadFile(request.Get(), block.data(), blockSize, &got)) return -1;
    if (got == 0) break;
    received += got;
  }
  ::QueryPerformanceCounter(&end);
  return received == size ? Seconds(start, end) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: download_bench URL SIZE FOLDER RUNS [CUT-URL]\n");
    return 2;
  }
  const std::string url = argv[1];
  const ULONGLONG size = std::strtoull(argv[2], nullptr, 10);
  const std::string target = std::string(argv[3]) + "\\bench.bin";
  const int runs = std::max(1, std::atoi(argv[4]));
  const std::string cutUrl = argc == 6 ? argv[5] : "";

  double engine = 1e30, bare1k = 1e30, bare64k = 1e30, cut = 1e30;
  std::vector<double> pairedRatios;
  // Interleaved, so that a slow moment of the machine does not fall on one kind alone,
  // and the engine and the 1024-byte loop take turns at going first.
  for (int run = 0; run < runs; ++run) {
    double times[3];
    if (run % 2 == 0) {
      times[0] = TimeEngine(url, target, size);
      times[1] = TimeBareLoop(url, 1024, size);
    } else {
      times[1] = TimeBareLoop(url, 1024, size);
      times[0] = TimeEngine(url, target, size);
    }
    times[2] = TimeBareLoop(url, 65536, size);
    ::DeleteFileA(target.c_str());
    if (!cutUrl.empty()) {
      const double seconds = TimeEngine(cutUrl + "&run=" + std::to_string(run), target, size, 0);
      ::DeleteFileA(target.c_str());
      if (seconds <= 0) {
        std::fprintf(stderr, "download_bench: a cut transfer failed\n");
        return 1;
      }
      cut = std::min(cut, seconds);
    }
    for (double t : times) {
      if (t <= 0) {
        std::fprintf(stderr, "download_bench: a transfer failed\n");
        return 1;
      }
    }
    pairedRatios.push_back(times[1] / times[0]);
    engine = std::min(engine, times[0]);
    bare1k = std::min(bare1k, times[1]);
    bare64k = std::min(bare64k, times[2]);
  }
  const double megabytes = static_cast<double>(size) / 1e6;
  std::printf("engine %.2f\n", megabytes / engine);
  std::printf("wininet-1024 %.2f\n", megabytes / bare1k);
  std::printf("wininet-65536 %.2f\n", megabytes / bare64k);
  if (!cutUrl.empty()) std::printf("cut %.2f\n", megabytes / cut);
  std::sort(pairedRatios.begin(), pairedRatios.end());
  const size_t middle = pairedRatios.size() / 2;
  const double median = pairedRatios.size() % 2 == 1
                            ? pairedRatios[middle]
                            : (pairedRatios[middle - 1] + pairedRatios[middle]) / 2;
  std::printf("paired-1024 %.3f\n", median);
  return 0;
}
