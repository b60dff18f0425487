// The tests' certificate authority in the prefix's trust.
#pragma once

#include <string>

namespace testing_support {

// Adds the DER certificate in the file at path to the prefix's LocalMachine\Root store, so
// every program of the prefix trusts what it issued from then on (a copy already there is
// kept). false when the file can't be read or the store refuses it.
bool TrustRootCertificate(const std::string& path);

}  // namespace testing_support
