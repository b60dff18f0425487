#include "winfx/UrlOrigin.h"

namespace winfx {

namespace {

constexpr unsigned kNoPort = 0;
constexpr unsigned kMaxPort = 65535;

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool IsHostCharacter(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.' || c == L'-';
}

// Where the authority (host and port) of a URL ends: at the path, the query or the
// fragment. A backslash, which engines read either as a slash or as part of a user name,
// stays in the authority and so makes the address no match.
bool EndsAuthority(wchar_t c) { return c == L'\0' || c == L'/' || c == L'?' || c == L'#'; }

// The port written from text to end: decimal digits only, at most 65535; empty is the
// scheme's default. kNoPort when it is no such port.
unsigned ParsePort(const wchar_t* text, const wchar_t* end, unsigned defaultPort) {
  if (text == end) return defaultPort;
  unsigned port = 0;
  for (; text != end; ++text) {
    if (*text < L'0' || *text > L'9') return kNoPort;
    port = port * 10 + static_cast<unsigned>(*text - L'0');
    if (port > kMaxPort) return kNoPort;
  }
  return port;
}

// Splits url into scheme, host and port; false for anything but a plain http:// or
// https:// address (see UrlOrigin::Matches).
bool ParseOrigin(const wchar_t* url, WideString* scheme, WideString* host, unsigned* port) {
  if (url == nullptr) return false;
  const wchar_t* p = url;
  scheme->clear();
  for (; *p != L':'; ++p) {
    const wchar_t c = Lower(*p);
    if (c < L'a' || c > L'z') return false;  // also the end of the text
    scheme->push_back(c);
  }
  unsigned defaultPort;
  if (*scheme == L"http") {
    defaultPort = 80;
  } else if (*scheme == L"https") {
    defaultPort = 443;
  } else {
    return false;
  }
  if (p[1] != L'/' || p[2] != L'/') return false;
  p += 3;

  const wchar_t* authorityEnd = p;
  while (!EndsAuthority(*authorityEnd)) ++authorityEnd;
  // The host ends at the port's colon; a user name ('@') or a second colon leaves a
  // character no host has, and so no match.
  const wchar_t* hostEnd = p;
  while (hostEnd != authorityEnd && *hostEnd != L':') ++hostEnd;
  host->clear();
  for (const wchar_t* c = p; c != hostEnd; ++c) {
    const wchar_t lower = Lower(*c);
    if (!IsHostCharacter(lower)) return false;
    host->push_back(lower);
  }
  if (host->empty()) return false;
  *port = hostEnd == authorityEnd ? defaultPort : ParsePort(hostEnd + 1, authorityEnd, defaultPort);
  return *port != kNoPort;
}

}  // namespace

UrlOrigin::UrlOrigin(const wchar_t* url) {
  if (!ParseOrigin(url, &scheme_, &host_, &port_)) {
    scheme_.clear();
    host_.clear();
    port_ = kNoPort;
  }
}

bool UrlOrigin::Matches(const wchar_t* url) const {
  WideString scheme, host;
  unsigned port;
  return !IsEmpty() && ParseOrigin(url, &scheme, &host, &port) && scheme == scheme_ &&
         host == host_ && port == port_;
}

}  // namespace winfx
