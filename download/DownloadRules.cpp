#include "download/DownloadRules.h"

#include <wininet.h>

#include <cstdlib>

#include "winfx/Url.h"

namespace {

// Decimal digits only, at least one; the value into *value (saturating at ULLONG_MAX).
bool ParseDigits(const std::string& text, ULONGLONG* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  if (text.size() > 19) return false;  // beyond any length this program meets
  *value = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

ULONGLONG SecondsOf(const SYSTEMTIME& time) {
  FILETIME file;
  if (!::SystemTimeToFileTime(&time, &file)) return 0;
  ULARGE_INTEGER value;
  value.LowPart = file.dwLowDateTime;
  value.HighPart = file.dwHighDateTime;
  return value.QuadPart / 10000000ULL;
}

}  // namespace

bool DownloadRules::IsTransientStatus(long status) {
  switch (status) {
    case 408:
    case 429:
    case 500:
    case 502:
    case 503:
    case 504:
      return true;
    default:
      return false;
  }
}

bool DownloadRules::EndsResume(long status) {
  return status >= 400 && status < 500 && !IsTransientStatus(status);
}

bool DownloadRules::IsValidatorText(const std::string& validator) {
  if (validator.empty() || validator.size() > kMaxValidatorBytes) return false;
  for (unsigned char c : validator) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

bool DownloadRules::IsTransientNetworkError(DWORD error) {
  return error != ERROR_INTERNET_INVALID_URL && error != ERROR_INTERNET_UNRECOGNIZED_SCHEME &&
         !IsCertificateError(error);
}

bool DownloadRules::IsCertificateError(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return true;
    default:
      return false;
  }
}

DWORD DownloadRules::RetryWaitMs(int retry, double jitter, long retryAfterSeconds, DWORD unitMs) {
  if (retryAfterSeconds >= 0 && retryAfterSeconds <= kMaxRetryAfterSeconds) {
    return static_cast<DWORD>(static_cast<ULONGLONG>(retryAfterSeconds) * unitMs);
  }
  if (retry < 1) retry = 1;
  if (retry > kMaxRetries) retry = kMaxRetries;
  if (jitter < -1) jitter = -1;
  if (jitter > 1) jitter = 1;
  const double base = static_cast<double>(unitMs) * static_cast<double>(1u << (retry - 1));
  return static_cast<DWORD>(base * (1.0 + jitter * kJitterShare) + 0.5);
}

long DownloadRules::RetryAfterSeconds(const std::string& value, const SYSTEMTIME& nowUtc) {
  ULONGLONG seconds = 0;
  if (ParseDigits(value, &seconds)) {
    return seconds > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(seconds);
  }
  // WinINet's date reader takes almost anything; an HTTP date has at least a time of day.
  SYSTEMTIME when;
  if (value.find(':') == std::string::npos ||
      !::InternetTimeToSystemTimeA(value.c_str(), &when, 0)) {
    return -1;
  }
  const ULONGLONG then = SecondsOf(when);
  const ULONGLONG now = SecondsOf(nowUtc);
  if (then == 0 || now == 0) return -1;
  if (then <= now) return 0;
  return then - now > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(then - now);
}

bool DownloadRules::ParseContentRange(const std::string& value, ULONGLONG* first, ULONGLONG* last,
                                      ULONGLONG* total) {
  const std::string unit = "bytes ";
  if (value.compare(0, unit.size(), unit) != 0) return false;
  const size_t dash = value.find('-', unit.size());
  const size_t slash = value.find('/', unit.size());
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return false;
  if (!ParseDigits(value.substr(unit.size(), dash - unit.size()), first) ||
      !ParseDigits(value.substr(dash + 1, slash - dash - 1), last) ||
      !ParseDigits(value.substr(slash + 1), total)) {
    return false;
  }
  return *first <= *last && *last < *total;
}

bool DownloadRules::MayUseProxy(DWORD perConnectionFlags) { return perConnectionFlags != PROXY_TYPE_DIRECT; }

bool DownloadRules::IsRedirect(long status) {
  switch (status) {
    case HTTP_STATUS_MOVED:
    case HTTP_STATUS_REDIRECT:
    case HTTP_STATUS_REDIRECT_METHOD:
    case HTTP_STATUS_REDIRECT_KEEP_VERB:
    case 308:  // permanent redirect
      return true;
    default:
      return false;
  }
}

bool DownloadRules::RedirectStays(const std::string& location, DWORD serviceType,
                                  const std::string& server, INTERNET_PORT port,
                                  std::string* object) {
  if (location.empty() || location.find_first_of("\r\n") != std::string::npos) return false;
  if (location[0] == '/') {
    // "//host/path" names another host, in the request's scheme.
    if (location.size() > 1 && location[1] == '/') return false;
    *object = location;
    return true;
  }
  winfx::ParsedUrl target;
  if (!winfx::ParseUrl(location, &target) || target.serviceType != serviceType ||
      target.port != port || lstrcmpiA(target.server.c_str(), server.c_str()) != 0) {
    return false;
  }
  *object = target.object;
  return true;
}
