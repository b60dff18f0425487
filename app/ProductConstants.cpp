#include "app/ProductConstants.h"

#include "ArchivePublicKey.h"

#ifndef QUILLON_SERVER_URL
#error "QUILLON_SERVER_URL must be defined by the build"
#endif

namespace product {

const char kServerUrl[] = QUILLON_SERVER_URL;

#ifdef QUILLON_ARCHIVE_PUBLIC_KEY_BYTES
namespace {
const unsigned char kArchivePublicKeyBytes[] = {QUILLON_ARCHIVE_PUBLIC_KEY_BYTES};
static_assert(sizeof(kArchivePublicKeyBytes) == 64, "X and Y of a P-256 point");
}  // namespace
const unsigned char* const kArchivePublicKey = kArchivePublicKeyBytes;
#else
const unsigned char* const kArchivePublicKey = nullptr;
#endif

}  // namespace product
