// URLs split into the parts a WinINet connection needs.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

namespace winfx {

// Service types of a URL, numbered as MFC's AFX_INET_SERVICE_* values.
enum InternetService : DWORD {
  kServiceFtp = 1,
  kServiceGopher = 2,
  kServiceHttp = 3,
  kServiceUnknown = 0x1000,
  kServiceFile = 0x1001,
  kServiceMailto = 0x1003,
  kServiceNews = 0x1006,
  kServiceHttps = 0x100B,
};

struct ParsedUrl {
  DWORD serviceType = kServiceUnknown;
  std::string server;  // host name as written
  std::string object;  // path and query as written; "/" when the URL has none
  INTERNET_PORT port = 0;  // the URL's port, else its scheme's default
};

// Splits url with WinINet (InternetCrackUrlA, no decoding). Returns false, leaving *out
// unspecified, for text that is not an absolute URL naming a host.
bool ParseUrl(const std::string& url, ParsedUrl* out);

}  // namespace winfx
