// ArchiveSignature: checks that bytes are the vendor's: an ECDSA P-256 signature over their
// SHA-256, made with the vendor's private key and checked with its public key through the
// system's cryptography (CNG). It knows neither where the bytes came from nor who asks.
#pragma once

#include <windows.h>

#include <string>

class ArchiveSignature {
 public:
  // The public key: X then Y of the curve point, 32 bytes each, big-endian.
  static constexpr size_t kPublicKeySize = 64;
  // A signature file larger than this is refused unread (a DER P-256 signature is at
  // most 72 bytes).
  static constexpr DWORD kMaxSignatureFileSize = 1024;

  // What a check found; everything but kGenuine refuses the archive.
  enum class Verdict {
    kGenuine,             // the signature is the vendor key's over these very bytes
    kSignatureMissing,    // no signature file
    kSignatureTooLarge,   // a signature file over kMaxSignatureFileSize
    kSignatureMalformed,  // no DER ECDSA-Sig-Value of a P-256 signature
    kArchiveUnreadable,   // the archive's bytes could not be read to their end
    kCryptoUnavailable,   // the system's cryptography refused the key or the hash
    kMismatch,            // a well-formed signature that does not verify
  };

  // Checks against publicKey (kPublicKeySize bytes, copied).
  explicit ArchiveSignature(const unsigned char* publicKey);

  // Checks the archive's bytes from its start to its end (read through archive, whose
  // file position is left at its end) against the DER signature. Never throws.
  Verdict Verify(HANDLE archive, const std::string& derSignature) const;
  // Checks a SHA-256 digest (32 bytes) against the DER signature.
  Verdict VerifyDigest(const unsigned char (&digest)[32], const std::string& derSignature) const;

  // Reads the signature file at path into *der: kGenuine when read, kSignatureMissing when
  // it does not exist or cannot be read, kSignatureTooLarge (nothing read) when too large.
  static Verdict ReadSignatureFile(const std::string& path, std::string* der);
  // The same for any file of at most limit bytes.
  static Verdict ReadBoundedFile(const std::string& path, DWORD limit, std::string* bytes);

  // Turns a DER ECDSA-Sig-Value (SEQUENCE of two positive INTEGERs, strict DER) into r
  // and s as 32 big-endian bytes each. False for anything else, trailing bytes included.
  static bool DecodeDerSignature(const std::string& der, unsigned char (&rs)[64]);

  // The verdict's name for a log line ("MISMATCH", ...).
  static const char* VerdictName(Verdict verdict);

 private:
  unsigned char m_publicKey[kPublicKeySize];
};
