// ReleaseRecord: the vendor's signed word on a release, published beside the archive as
// "<archive>.meta" with its signature "<archive>.meta.sig": which file, which version, its
// length and SHA-256, what it unpacks to, and until when the word holds. The record is
// parsed strictly, its signature checked with any of the installer's keys, its version
// compared with the lowest one accepted and with the installed one, and after an
// installation it is kept in the folder under a name of the installer's own. It knows
// neither the download nor the screen.
#pragma once

#include <windows.h>

#include <string>

#include "archive/ArchiveSignature.h"

class ReleaseRecord {
 public:
  // The record and its signature are refused unread above these sizes.
  static constexpr DWORD kMaxRecordSize = 4096;
  static constexpr DWORD kMaxSignatureSize = ArchiveSignature::kMaxSignatureFileSize;
  // Appended to the archive's name for the published record, then for its signature.
  static constexpr char kRecordSuffix[] = ".meta";
  static constexpr char kSignatureSuffix[] = ".sig";
  // The installed release's record and its signature in the installation folder.
  static constexpr char kKeptRecordName[] = ".QuillonRelease";
  static constexpr char kKeptSignatureName[] = ".QuillonRelease.sig";
  // A version has 1 to this many dot-separated numbers.
  static constexpr int kMaxVersionParts = 4;
  static constexpr size_t kDigestSize = 32;

  // The installer's public keys: count keys of ArchiveSignature::kPublicKeySize bytes.
  struct Keys {
    const unsigned char (*keys)[ArchiveSignature::kPublicKeySize];
    size_t count;
  };

  // What reading or checking a record found; all but kValid refuse it.
  enum class Verdict {
    kValid,
    kMissing,          // no record or no signature (or unreadable)
    kTooLarge,         // over kMaxRecordSize or kMaxSignatureSize
    kNotSigned,        // no key's signature over these bytes
    kMalformed,        // signed, but not the record's exact format
    kOtherFile,        // names another file than the archive
    kExpired,          // its time is up by the machine's clock
    kBelowFloor,       // a version below the lowest this installer accepts
    kOlderThanInstalled,  // a version below the installed one
  };

  ReleaseRecord() = default;

  // The record of text signed by der: kValid when a key's signature verifies and the text
  // has the exact format (*record then holds it), else kTooLarge, kNotSigned or kMalformed
  // (*record then holds nothing of use).
  static Verdict FromBytes(const std::string& text, const std::string& der, const Keys& keys,
                           ReleaseRecord* record);
  // The same for the two files (each read only within its limit).
  static Verdict FromFiles(const std::string& recordPath, const std::string& signaturePath,
                           const Keys& keys, ReleaseRecord* record);
  // The record kept in folder by Keep, verified again.
  static Verdict ReadKept(const std::string& folder, const Keys& keys, ReleaseRecord* record);

  // The checks after the signature, in order: the record names archiveName, it has not
  // expired at nowUtc (a FILETIME's value), its version is at least floor and, with an
  // installed record, at least the installed version (an equal one is a repair).
  Verdict Check(const char* archiveName, ULONGLONG nowUtc, const char* floor,
                const ReleaseRecord* installed) const;

  // Null when the open archive (read from its start) has the record's length and SHA-256;
  // else the reason for a log line ("LENGTH", "SHA256", "UNREADABLE"). knownDigest: the
  // archive's SHA-256 when known already (computed while it was written), else null. The
  // digest found comes back in digest.
  const char* Mismatch(HANDLE archive, const unsigned char* knownDigest,
                       unsigned char (&digest)[kDigestSize]) const;

  // Moves the verified record's files (recordPath, signaturePath) into folder under the
  // kept names, replacing what was kept; false when either could not be moved.
  static bool Keep(const std::string& folder, const std::string& recordPath,
                   const std::string& signaturePath);

  const std::string& File() const { return m_file; }
  const std::string& Version() const { return m_version; }
  ULONGLONG Length() const { return m_length; }
  const unsigned char* Sha256() const { return m_sha256; }
  ULONGLONG Unpacked() const { return m_unpacked; }
  ULONGLONG Entries() const { return m_entries; }
  ULONGLONG Expires() const { return m_expires; }

  // The numbers of a version text ("1.4.2"; 1 to kMaxVersionParts decimal numbers of at
  // most 9 digits, dot-separated), missing ones 0; false for any other text.
  static bool ParseVersion(const std::string& text, unsigned long (&parts)[kMaxVersionParts]);
  // Below 0, 0 or above 0 as version a is lower than, equal to or higher than b, by their
  // numbers ("1.10" above "1.9", "1.4" equal to "1.4.0"). Both must parse.
  static int CompareVersions(const char* a, const char* b);
  // A UTC time "YYYY-MM-DDThh:mm:ssZ" as a FILETIME's value; false for any other text.
  static bool ParseUtcTime(const std::string& text, ULONGLONG* fileTime);
  // The machine's clock as a FILETIME's value (UTC).
  static ULONGLONG NowUtc();

  // The verdict's name for a log line ("EXPIRED", ...).
  static const char* VerdictName(Verdict verdict);

 private:
  // Takes the exact format of text; false for anything else.
  bool Parse(const std::string& text);

  std::string m_file;
  std::string m_version;
  ULONGLONG m_length = 0;
  unsigned char m_sha256[kDigestSize] = {};
  ULONGLONG m_unpacked = 0;
  ULONGLONG m_entries = 0;
  ULONGLONG m_expires = 0;
};
