#include "archive/ArchiveSignature.h"

#include <bcrypt.h>

#include <cstring>

#include "winfx/File.h"
#include "winfx/ScopedCng.h"
#include "winfx/ScopedHandle.h"
#include "winfx/Sha256.h"
#include "winfx/WidePath.h"

namespace {

constexpr size_t kCoordinateSize = 32;
constexpr size_t kHashSize = 32;

// DER tags of an ECDSA-Sig-Value.
constexpr unsigned char kSequenceTag = 0x30;
constexpr unsigned char kIntegerTag = 0x02;

// Reads one short-form DER element of tag at der[*at]; its contents' offset and length
// come back, *at moves past it. Lengths of 128 and more never occur in a P-256 signature.
bool ReadElement(const std::string& der, size_t* at, unsigned char tag, size_t* start,
                 size_t* length) {
  if (*at + 2 > der.size() || static_cast<unsigned char>(der[*at]) != tag) return false;
  const unsigned char size = static_cast<unsigned char>(der[*at + 1]);
  if (size >= 0x80 || *at + 2 + size > der.size()) return false;
  *start = *at + 2;
  *length = size;
  *at = *start + size;
  return true;
}

// One INTEGER of the signature as 32 big-endian bytes: positive, minimally encoded, and
// not larger than a coordinate (a leading zero byte only where the next has its top bit).
bool ReadCoordinate(const std::string& der, size_t* at, unsigned char* out) {
  size_t start = 0, length = 0;
  if (!ReadElement(der, at, kIntegerTag, &start, &length) || length == 0) return false;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(der.data()) + start;
  if (bytes[0] & 0x80) return false;  // negative
  if (bytes[0] == 0 && length > 1) {
    if (!(bytes[1] & 0x80)) return false;  // not minimal
    ++bytes;
    --length;
  }
  if (length > kCoordinateSize) return false;
  std::memset(out, 0, kCoordinateSize - length);
  std::memcpy(out + kCoordinateSize - length, bytes, length);
  return true;
}

}  // namespace

ArchiveSignature::ArchiveSignature(const unsigned char* publicKey) {
  std::memcpy(m_publicKey, publicKey, kPublicKeySize);
}

ArchiveSignature::Verdict ArchiveSignature::Verify(HANDLE archive,
                                                   const std::string& derSignature) const {
  if (derSignature.size() > kMaxSignatureFileSize) return Verdict::kSignatureTooLarge;
  unsigned char rs[2 * kCoordinateSize];
  if (!DecodeDerSignature(derSignature, rs)) return Verdict::kSignatureMalformed;
  unsigned char hash[kHashSize];
  LARGE_INTEGER start = {};
  if (!::SetFilePointerEx(archive, start, nullptr, FILE_BEGIN)) return Verdict::kArchiveUnreadable;
  winfx::Sha256 sha;
  if (!sha.AddFile(archive)) return Verdict::kArchiveUnreadable;
  if (!sha.Finish(hash)) return Verdict::kCryptoUnavailable;
  return VerifyDigest(hash, derSignature);
}

ArchiveSignature::Verdict ArchiveSignature::VerifyDigest(const unsigned char (&digest)[32],
                                                         const std::string& derSignature) const {
  if (derSignature.size() > kMaxSignatureFileSize) return Verdict::kSignatureTooLarge;
  unsigned char rs[2 * kCoordinateSize];
  if (!DecodeDerSignature(derSignature, rs)) return Verdict::kSignatureMalformed;
  BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_ECDSA_P256_ALGORITHM,
                                                    nullptr, 0))) {
    return Verdict::kCryptoUnavailable;
  }
  winfx::ScopedCngAlgorithm algorithm(rawAlgorithm);
  // BCRYPT_ECCKEY_BLOB followed by X and Y.
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + kPublicKeySize];
  BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kCoordinateSize};
  std::memcpy(blob, &header, sizeof(header));
  std::memcpy(blob + sizeof(header), m_publicKey, kPublicKeySize);
  BCRYPT_KEY_HANDLE rawKey = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptImportKeyPair(algorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                            &rawKey, blob, sizeof(blob), 0))) {
    return Verdict::kCryptoUnavailable;
  }
  winfx::ScopedCngKey key(rawKey);
  unsigned char hash[kHashSize];
  std::memcpy(hash, digest, kHashSize);
  const NTSTATUS checked =
      ::BCryptVerifySignature(key.Get(), nullptr, hash, kHashSize, rs, sizeof(rs), 0);
  return BCRYPT_SUCCESS(checked) ? Verdict::kGenuine : Verdict::kMismatch;
}

ArchiveSignature::Verdict ArchiveSignature::ReadSignatureFile(const std::string& path,
                                                              std::string* der) {
  return ReadBoundedFile(path, kMaxSignatureFileSize, der);
}

ArchiveSignature::Verdict ArchiveSignature::ReadBoundedFile(const std::string& path, DWORD limit,
                                                            std::string* der) {
  switch (winfx::ReadCappedFile(winfx::WidePath(path), limit, der)) {
    case winfx::CappedRead::kRead:
      return Verdict::kGenuine;
    case winfx::CappedRead::kTooLarge:
      return Verdict::kSignatureTooLarge;
    case winfx::CappedRead::kMissing:
    case winfx::CappedRead::kUnreadable:
      break;
  }
  return Verdict::kSignatureMissing;
}

bool ArchiveSignature::DecodeDerSignature(const std::string& der, unsigned char (&rs)[64]) {
  size_t at = 0, start = 0, length = 0;
  if (!ReadElement(der, &at, kSequenceTag, &start, &length) || at != der.size()) return false;
  at = start;
  return ReadCoordinate(der, &at, rs) && ReadCoordinate(der, &at, rs + kCoordinateSize) &&
         at == der.size();
}

const char* ArchiveSignature::VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kGenuine: return "GENUINE";
    case Verdict::kSignatureMissing: return "SIGNATURE_MISSING";
    case Verdict::kSignatureTooLarge: return "SIGNATURE_TOO_LARGE";
    case Verdict::kSignatureMalformed: return "SIGNATURE_MALFORMED";
    case Verdict::kArchiveUnreadable: return "ARCHIVE_UNREADABLE";
    case Verdict::kCryptoUnavailable: return "CRYPTO_UNAVAILABLE";
    case Verdict::kMismatch: return "MISMATCH";
  }
  return "UNKNOWN";
}
