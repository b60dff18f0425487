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

// True when text starts with the ASCII word (lower case) in either case, then ':'.
bool StartsWithScheme(const wchar_t* text, const wchar_t* word) {
  for (; *word != L'\0'; ++text, ++word) {
    if (Lower(*text) != *word) return false;
  }
  return *text == L':';
}

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

// An origin as it stands in a URL: its host is a part of the URL's text.
struct OriginParts {
  bool https;
  const wchar_t* host;
  size_t hostLength;
  unsigned port;
};

// Finds scheme, host and port of url; false for anything but a plain http:// or https://
// address (see UrlOrigin::Matches).
bool ParseOrigin(const wchar_t* url, OriginParts* out) {
  if (url == nullptr) return false;
  const wchar_t* p = url;
  if (StartsWithScheme(p, L"http")) {
    out->https = false;
    p += 5;
  } else if (StartsWithScheme(p, L"https")) {
    out->https = true;
    p += 6;
  } else {
    return false;
  }
  if (p[0] != L'/' || p[1] != L'/') return false;
  p += 2;

  const wchar_t* authorityEnd = p;
  while (!EndsAuthority(*authorityEnd)) ++authorityEnd;
  // The host ends at the port's colon; a user name ('@') or a second colon leaves a
  // character no host has, and so no match.
  const wchar_t* hostEnd = p;
  while (hostEnd != authorityEnd && *hostEnd != L':') ++hostEnd;
  for (const wchar_t* c = p; c != hostEnd; ++c) {
    if (!IsHostCharacter(Lower(*c))) return false;
  }
  out->host = p;
  out->hostLength = static_cast<size_t>(hostEnd - p);
  const unsigned defaultPort = out->https ? 443 : 80;
  out->port = hostEnd == authorityEnd ? defaultPort : ParsePort(hostEnd + 1, authorityEnd, defaultPort);
  return out->hostLength != 0 && out->port != kNoPort;
}

}  // namespace

UrlOrigin::UrlOrigin(const wchar_t* url) {
  OriginParts parts;
  if (!ParseOrigin(url, &parts) || parts.hostLength > kMaxHostLength) return;
  https_ = parts.https;
  port_ = parts.port;
  hostLength_ = parts.hostLength;
  for (size_t i = 0; i < hostLength_; ++i) host_[i] = Lower(parts.host[i]);
}

bool UrlOrigin::Matches(const wchar_t* url) const {
  OriginParts parts;
  if (IsEmpty() || !ParseOrigin(url, &parts) || parts.https != https_ || parts.port != port_ ||
      parts.hostLength != hostLength_) {
    return false;
  }
  for (size_t i = 0; i < hostLength_; ++i) {
    if (Lower(parts.host[i]) != host_[i]) return false;
  }
  return true;
}

}  // namespace winfx
