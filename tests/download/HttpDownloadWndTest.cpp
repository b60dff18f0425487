// HttpDownloadWnd in a real message loop, downloading from the loopback test server
// (vendor/vendor_server.py, started by the ctest fixture) into real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "download/DownloadRules.h"
#include "download/HttpDownloadEngine.h"
#include "download/HttpDownloadWnd.h"
#include "tests/support/TestSupport.h"
#include "tools/uidriver/UiDriver.h"
#include "winfx/ChildWindow.h"
#include "winfx/Sha256.h"
#include "winfx/Url.h"

namespace {

using testing_support::PathExists;
using testing_support::ReadFileBytes;
using testing_support::RequestLogField;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

using Result = std::pair<WPARAM, LPARAM>;
using Cause = HttpDownloadEngine::FailureCause;
const Result kSucceeded{0, 1};
const Result kFailed{1, 0};

std::string Url(const std::string& path) { return std::string(DOWNLOAD_TEST_URL) + path; }

// The server's bodies: the bytes (i + 7 g) % 251, g the body's generation (0 until the
// server is told the body changed).
std::string Body(size_t size, int generation = 0) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i + 7 * generation) % 251);
  return body;
}

std::string PartOf(const std::string& target) { return target + ".part"; }
std::string ResumeOf(const std::string& target) { return target + ".resume"; }

// A query string no other test uses, to find this test's requests in the server's log.
std::string UniqueQuery() {
  static int counter = 0;
  char query[64];
  std::snprintf(query, sizeof(query), "?t=%lu-%lu-%d", ::GetCurrentProcessId(), ::GetTickCount(),
                ++counter);
  return query;
}

// path with a fresh query string that has the server answer its requests with faults,
// one per request in order ("close@1000,503,ok"; see vendor/vendor_server.py).
std::string WithFaults(const std::string& path, const std::string& faults) {
  return path + UniqueQuery() + "&faults=" + faults;
}

// The server's log lines that contain text.
std::vector<std::string> LoggedRequests(const std::string& text) {
  std::string log = ReadFileBytes(testing_support::FromUnixPath(DOWNLOAD_TEST_ROOT) + "\\requests.log");
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    if (line.find(text) != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

BOOL CALLBACK FindDialogOfOtherThread(HWND window, LPARAM param) {
  DWORD process = 0;
  DWORD thread = ::GetWindowThreadProcessId(window, &process);
  char className[16] = {};
  ::GetClassNameA(window, className, sizeof(className));
  if (process == ::GetCurrentProcessId() && thread != ::GetCurrentThreadId() &&
      lstrcmpA(className, "#32770") == 0 && ::IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
  }
  return TRUE;
}

// A visible dialog of this process shown by another thread (the worker's credentials
// dialog), or null.
HWND FindWorkerDialog() {
  HWND found = nullptr;
  ::EnumWindows(&FindDialogOfOtherThread, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Stands in for the hub: a hidden top-level window that records what the download
// window sends it.
class RecordingOwner : public winfx::ChildWindow {
 public:
  std::vector<int> progress;
  std::vector<Result> results;
  // (retry, most retries) of each WM_DOWNLOAD_RETRY.
  std::vector<std::pair<int, int>> retries;
  // Runs inside the progress handler, while the worker waits for it.
  std::function<void(int)> onProgress;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_DOWNLOAD_PROGRESS:
        progress.push_back(static_cast<int>(wParam));
        if (onProgress) onProgress(static_cast<int>(wParam));
        return 0;
      case WM_DOWNLOAD_RETRY:
        retries.emplace_back(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
      case WM_DOWNLOAD_RESULT:
        results.emplace_back(wParam, lParam);
        return 0;
      default:
        return DefaultHandling(message, wParam, lParam);
    }
  }
};

class HttpDownloadWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(owner_.Create(nullptr, 0, WS_POPUP, RECT{0, 0, 0, 0}));
    ASSERT_TRUE(download_->Create(owner_.GetHwnd(), 21002, WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0}));
    // Waits between attempts of 10, 20, 40 and 80 ms rather than seconds.
    download_->SetRetryUnitForTesting(10);
  }

  // Starts a download of path into target (within limits); returns StartDownload's result.
  int Start(const std::string& path, const std::string& target,
            const HttpDownloadEngine::Limits& limits = HttpDownloadEngine::Limits()) {
    download_->SetDownloadInfo(owner_.GetHwnd(), Url(path), target, limits);
    resultsBefore_ = owner_.results.size();
    return download_->StartDownload();
  }

  // Pumps messages until the owner has the result of the last Start, then handles what is
  // queued already: a second result, if the window sent one, would come from an end the
  // worker posted before it ended. False when none came within timeoutMs.
  bool AwaitResult(DWORD timeoutMs = 60000) {
    bool ended =
        uidriver::WaitUntil([&] { return owner_.results.size() > resultsBefore_; }, timeoutMs);
    HandleQueuedMessages();
    return ended;
  }

  static void HandleQueuedMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
  }

  // One whole transfer of path into target (within limits).
  void Download(const std::string& path, const std::string& target,
                const HttpDownloadEngine::Limits& limits = HttpDownloadEngine::Limits()) {
    ASSERT_EQ(0, Start(path, target, limits));
    ASSERT_TRUE(AwaitResult()) << path;
  }

  // The cause the window gives for its last transfer's failure.
  Cause LastCause() const { return download_->LastFailure().cause; }

  TempFolder folder_{"download"};
  RecordingOwner owner_;
  size_t resultsBefore_ = 0;
  std::unique_ptr<HttpDownloadWnd> download_ = std::make_unique<HttpDownloadWnd>();
};

TEST_F(HttpDownloadWndTest, FullBodyArrivesWithEveryPercentageOnceUpToOneHundred) {
  // 1% is 328 KiB here, more than one read, so every whole percentage is reached.
  static_assert(HttpDownloadEngine::kReadBlockSize < 33554432 / 100, "1% is less than a read");
  const std::string target = folder_ / "full.bin";
  Download("/ok/33554432", target);

  std::vector<int> all;
  for (int percent = 1; percent <= 100; ++percent) all.push_back(percent);
  EXPECT_EQ(all, owner_.progress);
  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
  EXPECT_TRUE(ReadFileBytes(target) == Body(33554432));
  EXPECT_TRUE(download_->IsIdle());
}

TEST_F(HttpDownloadWndTest, PercentagesRiseStrictlyAndNeverStartAtZero) {
  // Bodies of one byte, of less than one read, of one read exactly, one byte less and one
  // more (the last read brings a single byte), and of many reads.
  const std::string target = folder_ / "small.bin";
  constexpr size_t kRead = HttpDownloadEngine::kReadBlockSize;
  for (size_t size : {size_t{1}, size_t{5000}, size_t{65535}, size_t{65536}, size_t{65537},
                      kRead - 1, kRead, kRead + 1, size_t{64} * 1024 * 1024}) {
    owner_.progress.clear();
    owner_.results.clear();
    Download("/ok/" + std::to_string(size), target);
    ASSERT_FALSE(owner_.progress.empty()) << size;
    EXPECT_GT(owner_.progress.front(), 0) << size;
    for (size_t i = 1; i < owner_.progress.size(); ++i) {
      EXPECT_LT(owner_.progress[i - 1], owner_.progress[i]) << size;
    }
    EXPECT_EQ(100, owner_.progress.back()) << size;
    EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results) << size;
    EXPECT_TRUE(ReadFileBytes(target) == Body(size)) << size;
  }

  owner_.progress.clear();
  owner_.results.clear();
  Download("/ok/500", target);  // one block
  EXPECT_EQ(std::vector<int>{100}, owner_.progress);
  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
}

TEST_F(HttpDownloadWndTest, BodyWithoutLengthArrivesWithoutProgress) {
  for (size_t size : {50000u, 65537u}) {
    for (const char* kind : {"/nolength/", "/chunked/"}) {
      const std::string path = kind + std::to_string(size);
      owner_.progress.clear();
      owner_.results.clear();
      const std::string target = folder_ / "nolength.bin";
      Download(path, target);
      EXPECT_TRUE(owner_.progress.empty()) << path;
      EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results) << path;
      EXPECT_TRUE(ReadFileBytes(target) == Body(size)) << path;
    }
  }
}

TEST_F(HttpDownloadWndTest, EmptyBodyLeavesAnEmptyFile) {
  const std::string target = folder_ / "empty.bin";
  ASSERT_TRUE(WriteFileBytes(target, "old contents"));
  Download("/empty", target);
  EXPECT_TRUE(owner_.progress.empty());
  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
  EXPECT_TRUE(PathExists(target));
  EXPECT_EQ("", ReadFileBytes(target));
}

TEST_F(HttpDownloadWndTest, RefusedAnswersFailAtOnceAndLeaveAnExistingTargetAlone) {
  for (const char* status : {"404", "403", "400"}) {
    owner_.results.clear();
    const std::string path = "/status/" + std::string(status) + UniqueQuery();
    const std::string target = folder_ / "error.bin";
    ASSERT_TRUE(WriteFileBytes(target, "old contents"));
    Download(path, target);
    EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results) << path;
    EXPECT_EQ(Cause::kHttpStatus, LastCause()) << path;
    EXPECT_EQ(std::atol(status), download_->LastFailure().httpStatus) << path;
    EXPECT_EQ(1u, LoggedRequests("GET " + path).size()) << path;
    EXPECT_EQ("old contents", ReadFileBytes(target)) << path;
    EXPECT_FALSE(PathExists(PartOf(target))) << path;
  }
  EXPECT_TRUE(owner_.progress.empty());
  EXPECT_TRUE(owner_.retries.empty());
}

TEST_F(HttpDownloadWndTest, PassingServerFailuresAreRetriedUntilTheBodyComes) {
  for (const char* faults : {"503,503", "500,502,504,408", "429ra0"}) {
    owner_.retries.clear();
    owner_.results.clear();
    const std::string path = WithFaults("/ok/30000", faults);
    const std::string target = folder_ / "retried.bin";
    Download(path, target);
    EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results) << faults;
    EXPECT_TRUE(ReadFileBytes(target) == Body(30000)) << faults;
    const size_t failures = LoggedRequests("GET " + path).size() - 1;
    std::vector<std::pair<int, int>> expected;
    for (size_t n = 1; n <= failures; ++n) expected.emplace_back(static_cast<int>(n), 4);
    EXPECT_EQ(expected, owner_.retries) << faults;
  }
}

TEST_F(HttpDownloadWndTest, EveryRetryFailingEndsInOneFailureAfterFourRetries) {
  const std::string path = WithFaults("/ok/30000", "503,503,503,503,503,ok");
  const std::string target = folder_ / "unavailable.bin";
  Download(path, target);
  EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results);
  EXPECT_EQ((std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}), owner_.retries);
  EXPECT_EQ(Cause::kHttpStatus, LastCause());
  EXPECT_EQ(503, download_->LastFailure().httpStatus);
  EXPECT_EQ(5u, LoggedRequests("GET " + path).size());
  // Nothing was held, so nothing is kept.
  EXPECT_FALSE(PathExists(target));
  EXPECT_FALSE(PathExists(PartOf(target)));
  EXPECT_FALSE(PathExists(ResumeOf(target)));
}

TEST_F(HttpDownloadWndTest, ABodyCutOnItsWayGoesOnFromTheBytesHeld) {
  // The server sends half of the body, then closes cleanly or resets. A reset may take
  // bytes that had arrived but were not yet read with it (all of them, at worst).
  constexpr size_t kSize = 2 * HttpDownloadEngine::kReadBlockSize + 100000;
  const std::string half = std::to_string(kSize / 2);
  for (const std::string& cut : {"close@" + half, "reset@" + half}) {
    owner_.progress.clear();
    owner_.results.clear();
    const std::string path = WithFaults("/ok/" + std::to_string(kSize), cut);
    const std::string target = folder_ / "cut.bin";
    Download(path, target);
    EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results) << cut;
    EXPECT_TRUE(ReadFileBytes(target) == Body(kSize)) << cut;
    EXPECT_FALSE(PathExists(PartOf(target))) << cut;
    EXPECT_FALSE(PathExists(ResumeOf(target))) << cut;

    std::vector<std::string> lines = LoggedRequests("GET " + path);
    ASSERT_EQ(2u, lines.size()) << cut;
    EXPECT_EQ("", RequestLogField(lines[0], "Range")) << cut;
    const std::string range = RequestLogField(lines[1], "Range");
    const bool clean = cut.find("close") == 0;
    if (clean || !range.empty()) {
      ASSERT_EQ(0u, range.find("bytes=")) << range;
      const unsigned long held = std::strtoul(range.c_str() + 6, nullptr, 10);
      EXPECT_GT(held, 0u) << cut;
      EXPECT_LE(held, kSize / 2) << cut;
      if (clean) {
        EXPECT_EQ(kSize / 2, held);  // a clean close delivers all that was sent
      }
      EXPECT_EQ("\"g0-" + std::to_string(kSize) + "\"", RequestLogField(lines[1], "If-Range"))
          << cut;
      EXPECT_EQ("206", RequestLogField(lines[1], "X-Answer")) << cut;
    }
    // Each percentage once, rising, up to 100.
    EXPECT_TRUE(std::is_sorted(owner_.progress.begin(), owner_.progress.end())) << cut;
    EXPECT_TRUE(std::adjacent_find(owner_.progress.begin(), owner_.progress.end()) ==
                owner_.progress.end()) << cut;
    ASSERT_FALSE(owner_.progress.empty());
    EXPECT_EQ(100, owner_.progress.back()) << cut;
  }
}

TEST_F(HttpDownloadWndTest, WhatTheResumeIsCheckedAgainst) {
  struct Case {
    const char* query;        // validators the server gives, faults
    const char* ifRange;      // what the second request must carry ("" for no range)
    const char* answer;       // the second answer's status
    int generation;           // the body the file must hold
  } cases[] = {
      {"v=lm&faults=close@50000", "Tue, 14 Nov 2023 22:13:20 GMT", "206", 0},
      {"v=weak&faults=close@50000", "Tue, 14 Nov 2023 22:13:20 GMT", "206", 0},
      // No validator: no resume, the whole body again.
      {"v=none&faults=close@50000", "", "200", 0},
      // A server that ignores the range sends the whole body; it replaces the part.
      {"faults=close@50000,norange", "\"g0-120000\"", "200", 0},
      // The body changed between the cut and the resume: all of the new one, no splice.
      {"faults=close@50000,bump", "\"g0-120000\"", "200", 1},
  };
  for (const Case& c : cases) {
    owner_.results.clear();
    const std::string path = "/ok/120000" + UniqueQuery() + "&" + c.query;
    const std::string target = folder_ / "checked.bin";
    Download(path, target);
    EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results) << c.query;
    EXPECT_TRUE(ReadFileBytes(target) == Body(120000, c.generation)) << c.query;
    std::vector<std::string> lines = LoggedRequests("GET " + path);
    ASSERT_EQ(2u, lines.size()) << c.query;
    EXPECT_EQ(c.ifRange, RequestLogField(lines[1], "If-Range")) << c.query;
    EXPECT_EQ(*c.ifRange ? "bytes=50000-" : "", RequestLogField(lines[1], "Range")) << c.query;
    EXPECT_EQ(c.answer, RequestLogField(lines[1], "X-Answer")) << c.query;
  }
}

// A server that answers the range from a body that changed since the cut, whatever the
// If-Range said: the 206 carries the new body's ETag or Last-Modified, which differs from
// the one kept with the part. The part is dropped and the new body fetched whole, never
// spliced onto the old bytes.
TEST_F(HttpDownloadWndTest, ARangeOfAnotherBodyDropsThePartAndTheNewBodyComesWhole) {
  for (const char* validators : {"v=etag", "v=lm"}) {
    owner_.results.clear();
    owner_.retries.clear();
    const std::string path =
        "/ok/120000" + UniqueQuery() + "&" + validators + "&faults=close@50000,bumprange";
    const std::string target = folder_ / "changed.bin";
    Download(path, target);
    EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results) << validators;
    EXPECT_TRUE(ReadFileBytes(target) == Body(120000, 1)) << validators;
    EXPECT_FALSE(PathExists(PartOf(target))) << validators;
    std::vector<std::string> lines = LoggedRequests("GET " + path);
    ASSERT_EQ(3u, lines.size()) << validators;
    EXPECT_EQ("206", RequestLogField(lines[1], "X-Answer")) << validators;
    // Asked again at once, without a range, in the attempt after the cut.
    EXPECT_EQ(1u, owner_.retries.size()) << validators;
    EXPECT_EQ("", RequestLogField(lines[2], "Range")) << validators;
    EXPECT_EQ("200", RequestLogField(lines[2], "X-Answer")) << validators;
  }
}

TEST_F(HttpDownloadWndTest, AStallLongerThanTheReceiveTimeoutIsRetried) {
  // The stall comes halfway through the second block: every byte that arrived before it is
  // kept and resumed from (the body is read as it arrives).
  constexpr size_t kRead = HttpDownloadEngine::kReadBlockSize;
  download_->SetReceiveTimeoutForTesting(1500);
  const std::string path = WithFaults("/ok/" + std::to_string(3 * kRead),
                                      "stall@" + std::to_string(kRead + kRead / 2));
  const std::string target = folder_ / "stalled.bin";
  Download(path, target);
  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
  EXPECT_EQ((std::vector<std::pair<int, int>>{{1, 4}}), owner_.retries);
  EXPECT_TRUE(ReadFileBytes(target) == Body(3 * kRead));
  std::vector<std::string> lines = LoggedRequests("GET " + path);
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("206", RequestLogField(lines[1], "X-Answer"));
  EXPECT_EQ("bytes=" + std::to_string(kRead + kRead / 2) + "-", RequestLogField(lines[1], "Range"));
}

TEST_F(HttpDownloadWndTest, CutsOnEveryAttemptFailOnceAndKeepThePartForTheNextTransfer) {
  // Each answer, the ranges included, stops after 10000 bytes: five attempts hold 50000.
  const std::string path = WithFaults("/ok/80000", "close@10000,close@10000,close@10000,"
                                                    "close@10000,close@10000");
  const std::string target = folder_ / "kept.bin";
  Download(path, target);
  EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results);
  EXPECT_EQ(Cause::kConnectionLost, LastCause());
  EXPECT_EQ(4u, owner_.retries.size());
  EXPECT_FALSE(PathExists(target));
  EXPECT_TRUE(ReadFileBytes(PartOf(target)) == Body(50000));
  EXPECT_TRUE(PathExists(ResumeOf(target)));

  // The next transfer (the next run of the installer) goes on from there; its progress
  // starts at the share already held.
  owner_.progress.clear();
  Download(path, target);
  EXPECT_EQ((std::vector<Result>{kFailed, kSucceeded}), owner_.results);
  EXPECT_EQ(Cause::kNone, LastCause());
  EXPECT_TRUE(ReadFileBytes(target) == Body(80000));
  EXPECT_FALSE(PathExists(PartOf(target)));
  EXPECT_FALSE(PathExists(ResumeOf(target)));
  std::vector<std::string> lines = LoggedRequests("GET " + path);
  ASSERT_EQ(6u, lines.size());
  EXPECT_EQ("bytes=50000-", RequestLogField(lines[5], "Range"));
  ASSERT_FALSE(owner_.progress.empty());
  EXPECT_EQ(62, owner_.progress.front());  // 50000 of 80000
  EXPECT_EQ(100, owner_.progress.back());
}

TEST_F(HttpDownloadWndTest, APartThatCannotBeGoneOnFromIsFetchedAgainWhole) {
  const std::string target = folder_ / "stale.bin";
  struct Case {
    const char* what;
    std::string part;
    std::string resume;
    const char* range;  // of the first request
  } cases[] = {
      // Already all of it: the range is refused (416), then the whole body.
      {"complete", Body(20000), "\"g0-20000\"\r\n20000\r\n", "bytes=20000-"},
      // Longer than the body it says it is part of.
      {"too long", Body(30000), "\"g0-20000\"\r\n20000\r\n", ""},
      // No companion, or one that cannot be read.
      {"no companion", Body(5000), "", ""},
      {"garbled companion", Body(5000), "\"g0-20000\"\r\nmany\r\n", ""},
      // Larger than any companion: not read at all, though it begins as a good one.
      {"oversized companion", Body(5000), "\"g0-20000\"\r\n20000\r\n" + std::string(3000, ' '), ""},
      // A companion of another body: the server does not take the validator.
      {"other body", std::string(5000, 'x'), "\"other\"\r\n20000\r\n", "bytes=5000-"},
  };
  for (const Case& c : cases) {
    ::DeleteFileA(target.c_str());
    ASSERT_TRUE(WriteFileBytes(PartOf(target), c.part));
    ::DeleteFileA(ResumeOf(target).c_str());
    if (!c.resume.empty()) {
      ASSERT_TRUE(WriteFileBytes(ResumeOf(target), c.resume));
    }
    const std::string path = "/ok/20000" + UniqueQuery();
    owner_.results.clear();
    Download(path, target);
    EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results) << c.what;
    EXPECT_TRUE(ReadFileBytes(target) == Body(20000)) << c.what;
    EXPECT_FALSE(PathExists(PartOf(target))) << c.what;
    std::vector<std::string> lines = LoggedRequests("GET " + path);
    ASSERT_FALSE(lines.empty()) << c.what;
    EXPECT_EQ(c.range, RequestLogField(lines[0], "Range")) << c.what;
    EXPECT_EQ("200", RequestLogField(lines.back(), "X-Answer")) << c.what;
  }
}

TEST_F(HttpDownloadWndTest, RedirectIsFollowed) {
  const std::string query = UniqueQuery();
  const std::string target = folder_ / "redirected.bin";
  Download("/redirect/3000" + query, target);
  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
  EXPECT_TRUE(ReadFileBytes(target) == Body(3000));
  EXPECT_EQ(1u, LoggedRequests("GET /redirect/3000" + query).size());
  EXPECT_EQ(1u, LoggedRequests("GET /ok/3000" + query).size());
}

TEST_F(HttpDownloadWndTest, RequestsCarryTheAppNameAndAcceptAnything) {
  const std::string query = UniqueQuery();
  Download("/ok/10" + query, folder_ / "agent.bin");
  std::vector<std::string> lines = LoggedRequests("GET /ok/10" + query);
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("download_tests", RequestLogField(lines[0], "User-Agent")) << lines[0];
  EXPECT_EQ("*/*", RequestLogField(lines[0], "Accept")) << lines[0];
}

TEST_F(HttpDownloadWndTest, OneWindowRunsTransfersOneAfterAnother) {
  const std::string first = folder_ / "first.bin";
  const std::string second = folder_ / "second.bin";
  const std::string third = folder_ / "third.bin";
  Download("/ok/20000", first);
  EXPECT_TRUE(download_->IsIdle());
  Download("/status/404", second);
  EXPECT_TRUE(download_->IsIdle());
  Download("/ok/30000", third);
  EXPECT_TRUE(download_->IsIdle());
  EXPECT_EQ((std::vector<Result>{kSucceeded, kFailed, kSucceeded}), owner_.results);
  EXPECT_TRUE(ReadFileBytes(first) == Body(20000));
  EXPECT_FALSE(PathExists(second));
  EXPECT_TRUE(ReadFileBytes(third) == Body(30000));
}

TEST_F(HttpDownloadWndTest, UnreachablePortIsRetriedThenFailsAndLeavesNoFile) {
  const std::string target = folder_ / "refused.bin";
  download_->SetDownloadInfo(owner_.GetHwnd(), "http://127.0.0.1:1/ok/10", target);
  ASSERT_EQ(0, download_->StartDownload());  // the URL's port, not the server's
  ASSERT_TRUE(AwaitResult());
  EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results);
  EXPECT_EQ(Cause::kNoConnection, LastCause());
  EXPECT_EQ(4u, owner_.retries.size());
  EXPECT_FALSE(PathExists(target));
  EXPECT_FALSE(PathExists(PartOf(target)));
}

TEST_F(HttpDownloadWndTest, TransfersThatCannotStartSendNothingAndCreateNoFile) {
  EXPECT_EQ(-1, Start("/ok/10", folder_ / "no-such-folder\\file.bin"));
  EXPECT_FALSE(PathExists(folder_ / "no-such-folder"));

  const std::string target = folder_ / "bad-url.bin";
  download_->SetDownloadInfo(owner_.GetHwnd(), "not a url", target);
  EXPECT_EQ(-1, download_->StartDownload());
  EXPECT_FALSE(PathExists(target));
  EXPECT_FALSE(PathExists(PartOf(target)));

  // While one transfer runs, another cannot start and the running one keeps its target.
  const std::string running = folder_ / "running.bin";
  ASSERT_EQ(0, Start("/ok/100000", running));
  EXPECT_FALSE(download_->SetDownloadInfo(owner_.GetHwnd(), Url("/ok/10"), target));
  EXPECT_EQ(-1, download_->StartDownload());
  ASSERT_TRUE(AwaitResult());
  EXPECT_TRUE(ReadFileBytes(running) == Body(100000));
  EXPECT_FALSE(PathExists(target));

  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
}

TEST_F(HttpDownloadWndTest, CredentialsNotGivenFailAndLeaveNoFile) {
  // Each test asks for its own realm: WinINet remembers credentials given for one.
  for (const char* path : {"/auth/401/cancelled", "/auth/407"}) {
    owner_.results.clear();
    const std::string target = folder_ / "auth.bin";
    ASSERT_EQ(0, Start(path, target));
    // The platform's credentials dialog, where one is shown, is cancelled.
    bool ended = uidriver::WaitUntil(
        [&] {
          if (HWND dialog = FindWorkerDialog()) ::PostMessageA(dialog, WM_CLOSE, 0, 0);
          return !owner_.results.empty();
        },
        60000);
    ASSERT_TRUE(ended) << path;
    EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results) << path;
    EXPECT_EQ(Cause::kHttpStatus, LastCause()) << path;
    EXPECT_EQ(std::string(path).find("407") != std::string::npos ? 407 : 401,
              download_->LastFailure().httpStatus) << path;
    EXPECT_FALSE(PathExists(target)) << path;
    EXPECT_FALSE(PathExists(PartOf(target))) << path;
  }
  EXPECT_TRUE(owner_.retries.empty());  // not given is not passing
}

TEST_F(HttpDownloadWndTest, ConfirmedCredentialsAskTheServerAgain) {
  const std::string query = UniqueQuery();
  const std::string target = folder_ / "auth.bin";
  ASSERT_EQ(0, Start("/auth/401" + query, target));
  HWND dialog = nullptr;
  ASSERT_TRUE(uidriver::WaitUntil([&] { return (dialog = FindWorkerDialog()) != nullptr; }, 30000));
  // The user name and password fields, in this order.
  HWND user = ::FindWindowExA(dialog, nullptr, "Edit", nullptr);
  HWND password = ::FindWindowExA(dialog, user, "Edit", nullptr);
  ASSERT_NE(nullptr, password);
  ::SendMessageA(user, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("quillon"));
  ::SendMessageA(password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("secret"));
  uidriver::ClickItem(dialog, IDOK);

  ASSERT_TRUE(AwaitResult());
  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
  EXPECT_TRUE(ReadFileBytes(target) == Body(4000));
  std::vector<std::string> lines = LoggedRequests("GET /auth/401" + query);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("", RequestLogField(lines.front(), "Authorization"));
  EXPECT_EQ("Basic cXVpbGxvbjpzZWNyZXQ=", RequestLogField(lines.back(), "Authorization"));
}

// --- bounds, hash, stalls and redirects ----------------------------------------------------

HttpDownloadEngine::Limits Within(ULONGLONG maxBytes, ULONGLONG exactLength, bool hash) {
  HttpDownloadEngine::Limits limits;
  limits.maxBytes = maxBytes;
  limits.exactLength = exactLength;
  limits.hash = hash;
  return limits;
}

std::string Digest(const std::string& bytes) {
  unsigned char digest[winfx::Sha256::kSize];
  EXPECT_TRUE(winfx::Sha256::OfBytes(bytes, digest));
  return std::string(reinterpret_cast<char*>(digest), sizeof(digest));
}

TEST_F(HttpDownloadWndTest, ABodyWithinItsBoundsArrivesWithTheDigestOfItsBytes) {
  const std::string target = folder_ / "bounded.bin";
  {
    SCOPED_TRACE("whole, and exactly at the cap");
    Download("/ok/4096" + UniqueQuery(), target, Within(4096, 4096, true));
    EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
    unsigned char digest[winfx::Sha256::kSize];
    ASSERT_TRUE(download_->LastDigest(digest));
    EXPECT_EQ(Digest(Body(4096)), std::string(reinterpret_cast<char*>(digest), sizeof(digest)));
  }
  {
    SCOPED_TRACE("resumed: the held part is hashed from its file first");
    const size_t size = 3 * HttpDownloadEngine::kWriteBufferSize + 1000;
    owner_.results.clear();
    Download(WithFaults("/ok/" + std::to_string(size), "close@60%,ok"), target,
             Within(size, size, true));
    EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
    EXPECT_EQ(1u, owner_.retries.size());
    unsigned char digest[winfx::Sha256::kSize];
    ASSERT_TRUE(download_->LastDigest(digest));
    EXPECT_EQ(Digest(Body(size)), std::string(reinterpret_cast<char*>(digest), sizeof(digest)));
  }
  {
    SCOPED_TRACE("no hash asked for: none known");
    owner_.results.clear();
    Download("/ok/100" + UniqueQuery(), target);
    unsigned char digest[winfx::Sha256::kSize];
    EXPECT_FALSE(download_->LastDigest(digest));
  }
}

TEST_F(HttpDownloadWndTest, ABodyOutsideItsBoundsFailsAndLeavesNothing) {
  const struct {
    std::string path;
    HttpDownloadEngine::Limits limits;
    const char* what;
  } cases[] = {
      {"/ok/5000", Within(5000, 4999, true), "announced longer than the exact length"},
      {"/ok/5000", Within(5000, 5001, true), "announced shorter than the exact length"},
      {"/ok/5000", Within(4096, 0, false), "announced over the cap"},
      {"/nolength/100000", Within(4096, 0, false), "no length announced, over the cap"},
      {WithFaults("/ok/3000", "endless"), Within(3000, 3000, true), "more after the length"},
      {WithFaults("/ok/3000", "endless"), Within(4096, 0, false), "without end, capped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string target = folder_ / "outside.bin";
    owner_.results.clear();
    owner_.retries.clear();
    Download(c.path, target, c.limits);
    EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results);
    EXPECT_EQ(Cause::kWrongLength, LastCause());
    EXPECT_TRUE(owner_.retries.empty());
    EXPECT_FALSE(PathExists(target));
    EXPECT_FALSE(PathExists(PartOf(target)));
    EXPECT_FALSE(PathExists(ResumeOf(target)));
  }
}

TEST_F(HttpDownloadWndTest, ADripIsAStallAndFailsAfterItsRetries) {
  // Ten bytes a window of 400 ms, where a stall is fewer than 1 KiB.
  download_->SetStallWindowForTesting(400);
  const std::string target = folder_ / "drip.bin";
  Download(WithFaults("/ok/100000", "drip@40,drip@40,drip@40,drip@40,drip@40"), target,
           Within(100000, 100000, true));
  EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results);
  EXPECT_EQ(Cause::kStalled, LastCause());
  EXPECT_EQ(static_cast<size_t>(DownloadRules::kMaxRetries), owner_.retries.size());
  EXPECT_FALSE(PathExists(target));
}

TEST_F(HttpDownloadWndTest, ATransferPastItsDeadlineFailsWithoutMoreAttempts) {
  // 300 ms and 1000 bytes at 16 KiB a second: about a third of a second in all.
  download_->SetDeadlineBaseForTesting(300);
  const std::string target = folder_ / "late.bin";
  Download(WithFaults("/ok/1000", "drip@20"), target, Within(1000, 1000, false));
  EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results);
  EXPECT_EQ(Cause::kStalled, LastCause());
  EXPECT_TRUE(owner_.retries.empty());
  EXPECT_FALSE(PathExists(target));
}

TEST_F(HttpDownloadWndTest, RedirectsAreFollowedOnlyOnTheSameSchemeAndHost) {
  const std::string target = folder_ / "redirected.bin";
  Download("/redirect/2000" + UniqueQuery(), target, Within(2000, 2000, true));
  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
  EXPECT_TRUE(ReadFileBytes(target) == Body(2000));
  // The same server under another host name is another host.
  const std::string port = std::string(DOWNLOAD_TEST_URL).substr(std::string(DOWNLOAD_TEST_URL).rfind(':') + 1);
  for (const std::string& to : {"http://localhost:" + port + "/ok/10", "https://127.0.0.1:" + port + "/ok/10",
                                "//localhost:" + port + "/ok/10"}) {
    SCOPED_TRACE(to);
    owner_.results.clear();
    ::DeleteFileA(target.c_str());
    Download("/redirect/0" + UniqueQuery() + "&to=" + to, target);
    EXPECT_EQ(std::vector<Result>{kFailed}, owner_.results);
    EXPECT_EQ(Cause::kRedirect, LastCause());
    EXPECT_FALSE(PathExists(target));
  }
}


// Destroying the window while a transfer runs stops it.
class HttpDownloadWndStopTest : public HttpDownloadWndTest {
 protected:
  // Pumps messages until a transfer of 8000000 bytes that stalls at half has received most
  // of that half: its worker is then reading the last bytes before the stall or waiting
  // for the bytes the stall holds back. Either way a stop must end it at once. False on
  // timeout.
  bool AwaitStall() {
    return uidriver::WaitUntil(
        [&] { return !owner_.progress.empty() && owner_.progress.back() >= 45; }, 30000);
  }

  // Destroys the window and the object; returns how long that took.
  DWORD DestroyTimed() {
    const DWORD start = ::GetTickCount();
    download_.reset();
    return ::GetTickCount() - start;
  }
};

TEST_F(HttpDownloadWndStopTest, DestroyingTheWindowDuringAStallKeepsThePartForALaterRun) {
  const std::string path = WithFaults("/ok/8000000", "stall@4000000");
  const std::string target = folder_ / "stalled.bin";
  ASSERT_EQ(0, Start(path, target));  // the default timeout of 60 s
  ASSERT_TRUE(AwaitStall());

  EXPECT_LT(DestroyTimed(), 2000u);
  EXPECT_FALSE(PathExists(target));
  HandleQueuedMessages();  // the window is gone: nothing can send a result any more
  EXPECT_TRUE(owner_.results.empty());
  const std::string part = ReadFileBytes(PartOf(target));
  ASSERT_FALSE(part.empty());
  EXPECT_LE(part.size(), 4000000u);
  EXPECT_TRUE(part == Body(part.size()));
  EXPECT_TRUE(PathExists(ResumeOf(target)));

  // A new window, as in the next run, goes on from there.
  download_ = std::make_unique<HttpDownloadWnd>();
  ASSERT_TRUE(download_->Create(owner_.GetHwnd(), 21002, WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0}));
  Download(path, target);
  EXPECT_EQ(std::vector<Result>{kSucceeded}, owner_.results);
  EXPECT_TRUE(ReadFileBytes(target) == Body(8000000));
  std::vector<std::string> lines = LoggedRequests("GET " + path);
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("bytes=" + std::to_string(part.size()) + "-", RequestLogField(lines[1], "Range"));
}

TEST_F(HttpDownloadWndStopTest, AWorkerLeftToEndOnItsOwnLeavesLaterFilesAlone) {
  // Where the stalled read outlives the window, it ends later with the receive timeout.
  download_->SetReceiveTimeoutForTesting(3000);
  const std::string path = WithFaults("/ok/8000000", "stall@4000000");
  const std::string target = folder_ / "reused.bin";
  ASSERT_EQ(0, Start(path, target));
  ASSERT_TRUE(AwaitStall());
  EXPECT_LT(DestroyTimed(), 2000u);
  EXPECT_FALSE(PathExists(target));

  ASSERT_TRUE(WriteFileBytes(target, "a later download"));
  ASSERT_TRUE(WriteFileBytes(PartOf(target), "a later part"));
  ASSERT_TRUE(WriteFileBytes(ResumeOf(target), "a later companion"));
  // The worker's connection closes as its engine goes, after its last step.
  ASSERT_TRUE(uidriver::WaitUntil([&] { return !LoggedRequests("GONE " + path).empty(); }, 60000));
  EXPECT_EQ("a later download", ReadFileBytes(target));
  EXPECT_EQ("a later part", ReadFileBytes(PartOf(target)));
  EXPECT_EQ("a later companion", ReadFileBytes(ResumeOf(target)));
}

TEST_F(HttpDownloadWndStopTest, DestroyingTheWindowFromTheProgressHandlerDoesNotHang) {
  // The window goes while it hands the worker's percentage to the owner; the percentages
  // still queued then reach nobody.
  const std::string target = folder_ / "big.bin";
  DWORD took = 0;
  owner_.onProgress = [&](int) {
    if (download_) took = DestroyTimed();
  };
  // 1% is more than one read: the first percentage sent is 1. The stall at 3% keeps the
  // rest of the body from the request's close (under Wine it reads away what has come).
  ASSERT_EQ(0, Start(WithFaults("/ok/33554432", "stall@1000000"), target));
  ASSERT_TRUE(uidriver::WaitUntil([&] { return download_ == nullptr; }, 30000));
  EXPECT_LT(took, 2000u);
  EXPECT_FALSE(PathExists(target));
  EXPECT_EQ(std::vector<int>{1}, owner_.progress);
  EXPECT_TRUE(owner_.results.empty());
}

TEST_F(HttpDownloadWndStopTest, DestroyingTheWindowWhileCredentialsAreAskedReturnsAtOnce) {
  const std::string target = folder_ / "auth.bin";
  ASSERT_EQ(0, Start("/auth/401/stopped", target));
  ASSERT_TRUE(uidriver::WaitUntil([] { return FindWorkerDialog() != nullptr; }, 30000));
  EXPECT_LT(DestroyTimed(), 2000u);
  EXPECT_FALSE(PathExists(target));
  EXPECT_FALSE(PathExists(PartOf(target)));  // nothing was received
  EXPECT_EQ(nullptr, FindWorkerDialog());
}

TEST_F(HttpDownloadWndStopTest, DestroyingTheWindowDuringAWaitBetweenAttemptsReturnsAtOnce) {
  // The server asks for a minute's wait; the retry unit does not shorten that.
  download_->SetRetryUnitForTesting(1000);
  const std::string target = folder_ / "waiting.bin";
  ASSERT_EQ(0, Start(WithFaults("/ok/20000", "503ra60"), target));
  ASSERT_TRUE(uidriver::WaitUntil([&] { return !owner_.retries.empty(); }, 30000));
  EXPECT_LT(DestroyTimed(), 2000u);
  EXPECT_TRUE(owner_.results.empty());
  EXPECT_FALSE(PathExists(target));
}

TEST_F(HttpDownloadWndStopTest, EndingTheProgramDuringAStallDoesNotHangAndKeepsThePart) {
  const std::string target = folder_ / "ended.bin";
  uidriver::Process helper(testing_support::FromUnixPath(DOWNLOAD_END_HELPER),
                           Url(WithFaults("/ok/8000000", "stall@4000000")) + " " + target);
  ASSERT_TRUE(helper.Started());
  // Well below the 60 s for which the stalled read would otherwise block.
  ASSERT_TRUE(helper.WaitForExit(20000));
  EXPECT_EQ(0u, helper.ExitCode());
  EXPECT_FALSE(PathExists(target));
  EXPECT_TRUE(PathExists(PartOf(target)));
}

TEST(HttpDownloadRequestFlagsTest, OnlyHttpsAddsTheSecureFlag) {
  // Redirects are the engine's own to follow (INTERNET_FLAG_NO_AUTO_REDIRECT).
  EXPECT_EQ(0x84600000u, HttpDownloadEngine::RequestFlagsFor(winfx::kServiceHttp));
  EXPECT_EQ(0x84E00000u, HttpDownloadEngine::RequestFlagsFor(winfx::kServiceHttps));
  // Any other scheme is asked for as plain HTTP.
  EXPECT_EQ(0x84600000u, HttpDownloadEngine::RequestFlagsFor(winfx::kServiceFtp));
  EXPECT_EQ(0x84600000u, HttpDownloadEngine::RequestFlagsFor(winfx::kServiceUnknown));
}

}  // namespace
