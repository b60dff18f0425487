// The origin of a web address (scheme, host and port), by which a hosted page is kept to
// its own site.
#pragma once

#include "winfx/WidePath.h"

namespace winfx {

class UrlOrigin {
 public:
  // No origin: it matches no address.
  UrlOrigin() = default;
  // The origin of url; none when url is not an address Matches could ever accept.
  explicit UrlOrigin(const wchar_t* url);

  bool IsEmpty() const { return host_.empty(); }

  // True when url is an http:// or https:// address of exactly this origin: the same
  // scheme, the same host (ASCII letters in either case) and the same port (80 and 443 when
  // none is written). Anything the comparison cannot vouch for is no match: other schemes
  // (file:, javascript:, about:, res:, ...), a user name before the host, a host with
  // characters beyond ASCII letters, digits, '.' and '-' (percent escapes, IDN, IPv6
  // brackets, blanks, a backslash before the path), a port that is no number up to
  // 65535. Null is no match.
  bool Matches(const wchar_t* url) const;

 private:
  WideString scheme_;  // "http" or "https"
  WideString host_;    // in lower case
  unsigned port_ = 0;
};

}  // namespace winfx
