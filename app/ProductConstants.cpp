#include "app/ProductConstants.h"

#include "ArchivePublicKey.h"

#ifndef QUILLON_SERVER_URL
#error "QUILLON_SERVER_URL must be defined by the build"
#endif

namespace product {

const char kServerUrl[] = QUILLON_SERVER_URL;
const char kMinArchiveVersion[] = QUILLON_MIN_ARCHIVE_VERSION;

#ifdef QUILLON_ARCHIVE_PUBLIC_KEYS
namespace {
const unsigned char kArchivePublicKeyBytes[][kArchivePublicKeySize] = {QUILLON_ARCHIVE_PUBLIC_KEYS};
}  // namespace
const unsigned char (*const kArchivePublicKeys)[kArchivePublicKeySize] = kArchivePublicKeyBytes;
const size_t kArchivePublicKeyCount = sizeof(kArchivePublicKeyBytes) / sizeof(kArchivePublicKeyBytes[0]);
#else
const unsigned char (*const kArchivePublicKeys)[kArchivePublicKeySize] = nullptr;
const size_t kArchivePublicKeyCount = 0;
#endif

}  // namespace product
