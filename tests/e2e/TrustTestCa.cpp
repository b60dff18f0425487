// The HTTPS tests' fixture: trusts the tests' CA in the prefix's LocalMachine\Root store and
// proves that a new process trusts it, by a TLS request of that new process to the loopback
// server whose certificate the CA issued. Wine's crypt32 brings the host's roots into the
// prefix's store the first time a process of the prefix opens it; a CA added in the same
// moment is only known to be trusted once a new process has been seen to trust it.
//   trust_test_ca CA.der https://127.0.0.1:port        add, then prove (exit code 0 or 1)
//   trust_test_ca --check https://127.0.0.1:port       one TLS request (exit code 0 or its error)
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

#include "tests/support/RootCertificate.h"
#include "winfx/InternetHandle.h"
#include "winfx/ScopedHandle.h"
#include "winfx/Url.h"

namespace {

// New processes asked at the most, and how long each may take.
constexpr int kAttempts = 10;
constexpr DWORD kAttemptMs = 60000;

// A GET of url with every certificate check on: 0 when the server answered (any status),
// else the error of the request.
DWORD Request(const std::string& url) {
  winfx::ParsedUrl parsed;
  if (!winfx::ParseUrl(url + "/ca-check", &parsed)) return ERROR_INVALID_PARAMETER;
  winfx::ScopedInternetHandle internet(
      ::InternetOpenA("QuillonTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  winfx::ScopedInternetHandle connection(::InternetConnectA(
      internet.Get(), parsed.server.c_str(), parsed.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  winfx::ScopedInternetHandle request(::HttpOpenRequestA(
      connection.Get(), "GET", parsed.object.c_str(), nullptr, nullptr, nullptr,
      INTERNET_FLAG_SECURE | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!request) return ::GetLastError();
  return ::HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0) ? 0 : ::GetLastError();
}

// Runs this program with --check url as a new process: its exit code, or a failure of its
// own when it could not be run or did not end in time.
DWORD CheckInNewProcess(const std::string& url) {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string line = "\"" + std::string(self) + "\" --check " + url;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessA(self, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return ::GetLastError();
  }
  winfx::ScopedHandle process(info.hProcess);
  winfx::ScopedHandle thread(info.hThread);
  if (::WaitForSingleObject(process.Get(), kAttemptMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.Get(), 1);
    return WAIT_TIMEOUT;
  }
  DWORD code = 1;
  ::GetExitCodeProcess(process.Get(), &code);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  // The check's exit code is the request's error, so that the attempt can name it.
  if (argc == 3 && std::string(argv[1]) == "--check") return static_cast<int>(Request(argv[2]));
  if (argc != 3) {
    std::fprintf(stderr, "usage: trust_test_ca CA.der URL | --check URL\n");
    return 2;
  }
  if (!testing_support::TrustRootCertificate(argv[1])) {
    std::fprintf(stderr, "the CA %s could not be added to LocalMachine\\Root (error %lu)\n", argv[1],
                 ::GetLastError());
    return 1;
  }
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    const DWORD result = CheckInNewProcess(argv[2]);
    if (result == 0) {
      std::printf("a new process trusts the CA (attempt %d)\n", attempt);
      return 0;
    }
    std::printf("attempt %d: the request of a new process failed (error %lu%s); the CA is added again\n",
                attempt, result,
                result == ERROR_INTERNET_CANNOT_CONNECT ? ": no server listens" : "");
    testing_support::TrustRootCertificate(argv[1]);
  }
  std::fprintf(stderr, "no new process trusted the CA after %d attempts\n", kAttempts);
  return 1;
}
