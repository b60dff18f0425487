#include "tests/support/RootCertificate.h"

#include <windows.h>
#include <wincrypt.h>

#include "tests/support/TestSupport.h"
#include "winfx/ScopedHandle.h"

namespace testing_support {
namespace {

// An open certificate store; closed with CertCloseStore.
struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Empty() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::CertCloseStore(h, 0); }
};
using ScopedCertStore = winfx::ScopedGeneric<CertStoreTraits>;

}  // namespace

bool TrustRootCertificate(const std::string& path) {
  const std::string der = ReadFileBytes(path);
  if (der.empty()) return false;
  ScopedCertStore store(::CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                        CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root"));
  if (!store) return false;
  return ::CertAddEncodedCertificateToStore(
             store.Get(), X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
             static_cast<DWORD>(der.size()), CERT_STORE_ADD_USE_EXISTING, nullptr) != FALSE;
}

}  // namespace testing_support
