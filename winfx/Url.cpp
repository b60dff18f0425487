#include "winfx/Url.h"

#include <vector>

namespace winfx {

namespace {

DWORD ServiceOf(INTERNET_SCHEME scheme) {
  switch (scheme) {
    case INTERNET_SCHEME_FTP:
      return kServiceFtp;
    case INTERNET_SCHEME_GOPHER:
      return kServiceGopher;
    case INTERNET_SCHEME_HTTP:
      return kServiceHttp;
    case INTERNET_SCHEME_HTTPS:
      return kServiceHttps;
    case INTERNET_SCHEME_FILE:
      return kServiceFile;
    case INTERNET_SCHEME_MAILTO:
      return kServiceMailto;
    case INTERNET_SCHEME_NEWS:
      return kServiceNews;
    default:
      return kServiceUnknown;
  }
}

}  // namespace

bool ParseUrl(const std::string& url, ParsedUrl* out) {
  if (url.empty() || url.size() >= INTERNET_MAX_URL_LENGTH) return false;
  // No part is longer than the whole URL (nothing is decoded or escaped).
  const DWORD size = static_cast<DWORD>(url.size() + 1);
  std::vector<char> host(size), path(size), extra(size);
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = 1;  // a pointer into url, to see that it names a scheme
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = size;
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = size;
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = size;
  if (!::InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.dwSchemeLength == 0 || parts.dwHostNameLength == 0) return false;

  out->serviceType = ServiceOf(parts.nScheme);
  out->server.assign(host.data(), parts.dwHostNameLength);
  out->object.assign(path.data(), parts.dwUrlPathLength);
  out->object.append(extra.data(), parts.dwExtraInfoLength);
  if (out->object.empty()) out->object = "/";
  out->port = parts.nPort;
  return true;
}

}  // namespace winfx
