// The origin of a web address (scheme, host and port), by which a hosted page is kept to
// its own site.
#pragma once

#include <stddef.h>

namespace winfx {

class UrlOrigin {
 public:
  // No origin: it matches no address.
  UrlOrigin() = default;
  // The origin of url; none when url is not an address Matches could ever accept (or its
  // host is longer than a host name can be).
  explicit UrlOrigin(const wchar_t* url);

  bool IsEmpty() const { return hostLength_ == 0; }

  // True when url is an http:// or https:// address of exactly this origin: the same
  // scheme, the same host (ASCII letters in either case) and the same port (80 and 443 when
  // none is written). Anything the comparison cannot vouch for is no match: other schemes
  // (file:, javascript:, about:, res:, ...), a user name before the host, a host with
  // characters beyond ASCII letters, digits, '.' and '-' (percent escapes, IDN, IPv6
  // brackets, blanks, a backslash before the path), a port that is no number up to
  // 65535. Null is no match.
  bool Matches(const wchar_t* url) const;

  // The longest host name kept (that of DNS).
  static constexpr size_t kMaxHostLength = 253;

 private:
  bool https_ = false;
  unsigned port_ = 0;
  size_t hostLength_ = 0;
  wchar_t host_[kMaxHostLength] = {};  // in lower case, not terminated
};

}  // namespace winfx
