#include "archive/ReleaseRecord.h"

#include <cstdlib>

#include "winfx/File.h"
#include "winfx/Sha256.h"
#include "winfx/WidePath.h"

namespace {

// The record's keys, one per line, in this order.
constexpr const char* kKeys[] = {"format", "file", "version", "length",
                                 "sha256", "unpacked", "entries", "expires"};
constexpr char kFormat[] = "1";
// A decimal number of the record fits in 64 bits with this many digits.
constexpr size_t kMaxNumberDigits = 19;
constexpr size_t kMaxVersionPartDigits = 9;

bool IsDigits(const std::string& text, size_t maxDigits) {
  if (text.empty() || text.size() > maxDigits) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A count or size: decimal digits without a leading zero (but "0").
bool ParseNumber(const std::string& text, ULONGLONG* value) {
  if (!IsDigits(text, kMaxNumberDigits) || (text.size() > 1 && text[0] == '0')) return false;
  *value = 0;
  for (char c : text) *value = *value * 10 + static_cast<ULONGLONG>(c - '0');
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case included: the record's digits are lower case
}

bool ParseDigest(const std::string& text, unsigned char (&digest)[ReleaseRecord::kDigestSize]) {
  if (text.size() != 2 * ReleaseRecord::kDigestSize) return false;
  for (size_t i = 0; i < ReleaseRecord::kDigestSize; ++i) {
    const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

// Printable text and LF line ends only, valid UTF-8 beyond ASCII.
bool IsRecordText(const std::string& text) {
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && byte != '\n') return false;
    if (byte == 0x7F) return false;
  }
  winfx::WideString wide;
  return text.empty() || winfx::Utf8ToWide(text, &wide);
}

bool WriteThrough(const std::string& path, const std::string& bytes) {
  winfx::File file;
  const bool written = file.Create(path) && file.Write(bytes.data(), static_cast<DWORD>(bytes.size())) &&
                       file.Flush();
  return file.Close() && written;
}

}  // namespace

ReleaseRecord::Verdict ReleaseRecord::FromBytes(const std::string& text, const std::string& der,
                                                const Keys& keys, ReleaseRecord* record) {
  if (text.size() > kMaxRecordSize || der.size() > kMaxSignatureSize) return Verdict::kTooLarge;
  unsigned char digest[kDigestSize];
  if (!winfx::Sha256::OfBytes(text, digest)) return Verdict::kNotSigned;
  bool signedByKey = false;
  for (size_t i = 0; i < keys.count && !signedByKey; ++i) {
    signedByKey = ArchiveSignature(keys.keys[i]).VerifyDigest(digest, der) ==
                  ArchiveSignature::Verdict::kGenuine;
  }
  if (!signedByKey) return Verdict::kNotSigned;
  ReleaseRecord parsed;
  if (!parsed.Parse(text)) return Verdict::kMalformed;
  parsed.m_text = text;
  parsed.m_signature = der;
  *record = parsed;
  return Verdict::kValid;
}

ReleaseRecord::Verdict ReleaseRecord::FromFiles(const std::string& recordPath,
                                                const std::string& signaturePath,
                                                const Keys& keys, ReleaseRecord* record) {
  std::string text, der;
  const ArchiveSignature::Verdict readRecord =
      ArchiveSignature::ReadBoundedFile(recordPath, kMaxRecordSize, &text);
  const ArchiveSignature::Verdict readSignature =
      ArchiveSignature::ReadBoundedFile(signaturePath, kMaxSignatureSize, &der);
  for (ArchiveSignature::Verdict read : {readRecord, readSignature}) {
    if (read == ArchiveSignature::Verdict::kSignatureTooLarge) return Verdict::kTooLarge;
    if (read != ArchiveSignature::Verdict::kGenuine) return Verdict::kMissing;
  }
  return FromBytes(text, der, keys, record);
}

ReleaseRecord::Verdict ReleaseRecord::ReadKept(const std::string& folder, const Keys& keys,
                                               ReleaseRecord* record) {
  return FromFiles(winfx::JoinPath(folder, kKeptRecordName),
                   winfx::JoinPath(folder, kKeptSignatureName), keys, record);
}

ReleaseRecord::Verdict ReleaseRecord::Check(const std::string& archiveName, ULONGLONG nowUtc,
                                            const std::string& floor,
                                            const ReleaseRecord* installed) const {
  if (m_file != archiveName) return Verdict::kOtherFile;
  if (nowUtc >= m_expires) return Verdict::kExpired;
  if (CompareVersions(m_version, floor) < 0) return Verdict::kBelowFloor;
  if (installed != nullptr && CompareVersions(m_version, installed->m_version) < 0) {
    return Verdict::kOlderThanInstalled;
  }
  return Verdict::kValid;
}

bool ReleaseRecord::Keep(const std::string& folder) const {
  // The signature first: a record whose signature is missing or stale reads as none.
  return WriteThrough(winfx::JoinPath(folder, kKeptSignatureName), m_signature) &&
         WriteThrough(winfx::JoinPath(folder, kKeptRecordName), m_text);
}

bool ReleaseRecord::Parse(const std::string& text) {
  if (!IsRecordText(text)) return false;
  std::string values[sizeof(kKeys) / sizeof(kKeys[0])];
  size_t at = 0;
  for (size_t i = 0; i < sizeof(kKeys) / sizeof(kKeys[0]); ++i) {
    const std::string prefix = std::string(kKeys[i]) + ": ";
    const size_t end = text.find('\n', at);
    if (end == std::string::npos || text.compare(at, prefix.size(), prefix) != 0) return false;
    values[i] = text.substr(at + prefix.size(), end - at - prefix.size());
    at = end + 1;
  }
  unsigned long parts[kMaxVersionParts];
  if (at != text.size() || values[0] != kFormat || values[1].empty() ||
      !ParseVersion(values[2], parts) || !ParseNumber(values[3], &m_length) ||
      !ParseDigest(values[4], m_sha256) || !ParseNumber(values[5], &m_unpacked) ||
      !ParseNumber(values[6], &m_entries) || !ParseUtcTime(values[7], &m_expires)) {
    return false;
  }
  m_file = values[1];
  m_version = values[2];
  return true;
}

bool ReleaseRecord::ParseVersion(const std::string& text, unsigned long (&parts)[kMaxVersionParts]) {
  int count = 0;
  size_t at = 0;
  for (;;) {
    const size_t dot = text.find('.', at);
    const std::string part = text.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
    if (count == kMaxVersionParts || !IsDigits(part, kMaxVersionPartDigits)) return false;
    parts[count++] = std::strtoul(part.c_str(), nullptr, 10);
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  for (int i = count; i < kMaxVersionParts; ++i) parts[i] = 0;
  return true;
}

int ReleaseRecord::CompareVersions(const std::string& a, const std::string& b) {
  unsigned long first[kMaxVersionParts], second[kMaxVersionParts];
  if (!ParseVersion(a, first) || !ParseVersion(b, second)) return 0;
  for (int i = 0; i < kMaxVersionParts; ++i) {
    if (first[i] != second[i]) return first[i] < second[i] ? -1 : 1;
  }
  return 0;
}

bool ReleaseRecord::ParseUtcTime(const std::string& text, ULONGLONG* fileTime) {
  // YYYY-MM-DDThh:mm:ssZ
  static constexpr char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
  if (text.size() != sizeof(kShape) - 1) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (kShape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i]) return false;
  }
  auto number = [&](size_t at, size_t digits) {
    return static_cast<WORD>(std::strtoul(text.substr(at, digits).c_str(), nullptr, 10));
  };
  SYSTEMTIME time = {};
  time.wYear = number(0, 4);
  time.wMonth = number(5, 2);
  time.wDay = number(8, 2);
  time.wHour = number(11, 2);
  time.wMinute = number(14, 2);
  time.wSecond = number(17, 2);
  // The system refuses a day the month lacks, an hour of 24 and the like.
  FILETIME converted;
  if (time.wYear < 1601 || time.wHour > 23 || time.wMinute > 59 || time.wSecond > 59 ||
      !::SystemTimeToFileTime(&time, &converted)) {
    return false;
  }
  *fileTime = (static_cast<ULONGLONG>(converted.dwHighDateTime) << 32) | converted.dwLowDateTime;
  return true;
}

ULONGLONG ReleaseRecord::NowUtc() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

const char* ReleaseRecord::VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kValid: return "VALID";
    case Verdict::kMissing: return "MISSING";
    case Verdict::kTooLarge: return "TOO_LARGE";
    case Verdict::kNotSigned: return "NOT_SIGNED";
    case Verdict::kMalformed: return "MALFORMED";
    case Verdict::kOtherFile: return "OTHER_FILE";
    case Verdict::kExpired: return "EXPIRED";
    case Verdict::kBelowFloor: return "BELOW_FLOOR";
    case Verdict::kOlderThanInstalled: return "OLDER_THAN_INSTALLED";
  }
  return "UNKNOWN";
}
