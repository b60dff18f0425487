// Throughput of the download window against a loopback server, beside bare WinINet loops
// that read the same body with no window, thread or file (the platform's own cost), in
// blocks of several sizes: the figures that choose the engine's read size.
//   download_bench.exe URL SIZE FOLDER RUNS [CUT-URL]
// Prints, one figure per line, the best MB/s (10^6 bytes per second) of RUNS runs each:
//   engine <MB/s>            HttpDownloadWnd into FOLDER\bench.bin
//   cut <MB/s>               the same from CUT-URL + "&run=N", whose body the server cuts
//                            on its way, resumed by the engine with no waits between
//                            attempts (only with CUT-URL)
//   wininet-<N> <MB/s>       bare WinINet loop, N-byte reads, for each N of kBareBlockSizes
//   wininet-file-<N> <MB/s>  bare loop of the engine's read size N writing each block to a
//                            file, flushed to the disk at the end
//   paired-<N> <ratio>       median over the runs of engine / N-byte loop, for the engine's
//                            own read size and 1024, each pair measured back to back
//                            (steadier than the best figures on a busy machine)
//   paired-file-<N> <ratio>  the same against the loop writing a file
//   read-size <bytes>        the engine's read size
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
#include "winfx/File.h"
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

// Seconds for one bare WinINet GET read in blocks of blockSize, or a negative value. With
// a file path, each block is written to that file, which is flushed to the disk at the end
// (what the engine must do at the least with the body).
double TimeBareLoop(const std::string& url, DWORD blockSize, ULONGLONG size,
                    const std::string& file = "") {
  winfx::ParsedUrl parts;
  if (!winfx::ParseUrl(url, &parts)) return -1;
  std::vector<char> block(blockSize);
  LARGE_INTEGER start, end;
  ::QueryPerformanceCounter(&start);
  winfx::File out;
  if (!file.empty() && !out.Create(file)) return -1;
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
    if (out.IsOpen() && !out.Write(block.data(), got)) return -1;
    received += got;
  }
  if (out.IsOpen() && (!out.Flush() || !out.Close())) return -1;
  ::QueryPerformanceCounter(&end);
  ::DeleteFileA(file.c_str());
  return received == size ? Seconds(start, end) : -1;
}

// Read sizes of the bare loops.
constexpr DWORD kBareBlockSizes[] = {1024, 4096, 16384, 65536, 262144, 1048576};
constexpr size_t kBareCount = sizeof(kBareBlockSizes) / sizeof(kBareBlockSizes[0]);

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
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
  const DWORD engineBlock = HttpDownloadEngine::kReadBlockSize;

  const std::string loopFile = std::string(argv[3]) + "\\loop.bin";
  double engine = 1e30, cut = 1e30, toFile = 1e30;
  double bare[kBareCount];
  std::fill(bare, bare + kBareCount, 1e30);
  std::vector<double> pairedOwn, paired1k, pairedFile;
  // Interleaved, so that a slow moment of the machine does not fall on one kind alone;
  // the engine takes turns at going before and after the loops.
  for (int run = 0; run < runs; ++run) {
    double times[kBareCount];
    double engineTime = run % 2 == 0 ? TimeEngine(url, target, size) : 0;
    for (size_t i = 0; i < kBareCount; ++i) times[i] = TimeBareLoop(url, kBareBlockSizes[i], size);
    const double fileTime = TimeBareLoop(url, engineBlock, size, loopFile);
    if (run % 2 == 1) engineTime = TimeEngine(url, target, size);
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
    if (engineTime <= 0 || fileTime <= 0 || std::any_of(times, times + kBareCount, [](double t) { return t <= 0; })) {
      std::fprintf(stderr, "download_bench: a transfer failed\n");
      return 1;
    }
    engine = std::min(engine, engineTime);
    toFile = std::min(toFile, fileTime);
    pairedFile.push_back(fileTime / engineTime);
    for (size_t i = 0; i < kBareCount; ++i) {
      bare[i] = std::min(bare[i], times[i]);
      if (kBareBlockSizes[i] == engineBlock) pairedOwn.push_back(times[i] / engineTime);
      if (kBareBlockSizes[i] == 1024) paired1k.push_back(times[i] / engineTime);
    }
  }
  const double megabytes = static_cast<double>(size) / 1e6;
  std::printf("read-size %lu\n", engineBlock);
  std::printf("engine %.2f\n", megabytes / engine);
  for (size_t i = 0; i < kBareCount; ++i) {
    std::printf("wininet-%lu %.2f\n", kBareBlockSizes[i], megabytes / bare[i]);
  }
  std::printf("wininet-file-%lu %.2f\n", engineBlock, megabytes / toFile);
  if (!cutUrl.empty()) std::printf("cut %.2f\n", megabytes / cut);
  if (!pairedOwn.empty()) std::printf("paired-%lu %.3f\n", engineBlock, Median(pairedOwn));
  std::printf("paired-1024 %.3f\n", Median(paired1k));
  std::printf("paired-file-%lu %.3f\n", engineBlock, Median(pairedFile));
  return 0;
}
