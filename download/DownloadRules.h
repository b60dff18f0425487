// DownloadRules: the download's decisions that depend on nothing but their inputs: which
// answers are worth another attempt, how long to wait before it, what a range answer and a
// Retry-After header say, and whether a connection may go through a proxy.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

class DownloadRules {
 public:
  // Attempts after the first one.
  static constexpr int kMaxRetries = 4;
  // A Retry-After of at most this many seconds replaces the computed wait.
  static constexpr long kMaxRetryAfterSeconds = 60;
  // The wait before retry n is 2^(n-1) units, give or take this share.
  static constexpr double kJitterShare = 0.25;

  // A validator kept for a part is at most this long.
  static constexpr size_t kMaxValidatorBytes = 256;

  // True for the statuses that a later attempt may get past: 408, 429, 500, 502, 503, 504.
  static bool IsTransientStatus(long status);

  // True for an answer to a resumed request that no later resume gets past, so the held
  // bytes are dropped: any 4xx (416 among them) but 408 and 429.
  static bool EndsResume(long status);

  // True for a validator that may be sent back as a header's value as it is: 1 to
  // kMaxValidatorBytes bytes of printable ASCII (no CR, LF or other control character).
  static bool IsValidatorText(const std::string& validator);

  // True for a WinINet error of a send or read that a later attempt may get past: all but
  // certificate and secure-channel errors and addresses WinINet does not understand.
  static bool IsTransientNetworkError(DWORD error);

  // True for a WinINet error that refuses the server's certificate or the secure channel.
  static bool IsCertificateError(DWORD error);

  // Milliseconds to wait before retry (1 to kMaxRetries): unitMs × 2^(retry-1), moved by
  // jitter (from -1 to 1) times kJitterShare of it; retryAfterSeconds × unitMs instead
  // when the server asked for 0 to kMaxRetryAfterSeconds seconds (negative: it did not).
  // unitMs is a second's worth (1000) outside tests.
  static DWORD RetryWaitMs(int retry, double jitter, long retryAfterSeconds, DWORD unitMs);

  // Seconds a Retry-After value asks for: delta-seconds, or an HTTP date minus now (0
  // when past); -1 when the text is neither.
  static long RetryAfterSeconds(const std::string& value, const SYSTEMTIME& nowUtc);

  // Parses "bytes FIRST-LAST/TOTAL" into its three numbers; false for anything else
  // (an unknown total "*" included) or LAST before FIRST or not below TOTAL.
  static bool ParseContentRange(const std::string& value, ULONGLONG* first, ULONGLONG* last,
                                ULONGLONG* total);

  // True for the statuses of a redirect that names its target in Location: 301, 302, 303,
  // 307, 308.
  static bool IsRedirect(long status);

  // The request path that a redirect to location leads to, into *object, when it stays on
  // the scheme (serviceType, winfx::InternetService), host and port of the request: an
  // absolute URL of the same three, or a path beginning with "/". False for any other
  // location (https to http among them).
  static bool RedirectStays(const std::string& location, DWORD serviceType,
                            const std::string& server, INTERNET_PORT port, std::string* object);

  // From a connection's INTERNET_PER_CONN_FLAGS: false only for a connection that is
  // direct and nothing else (no named proxy, no configuration script, no detection).
  static bool MayUseProxy(DWORD perConnectionFlags);
};
