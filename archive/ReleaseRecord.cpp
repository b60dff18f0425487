#include "archive/ReleaseRecord.h"

#include <cstring>

#include "winfx/Sha256.h"
#include "winfx/WidePath.h"

namespace {

// The record's lines, each a key and its separator then the value, in this order.
constexpr const char* kKeys[] = {"format: ", "file: ", "version: ", "length: ",
                                 "sha256: ", "unpacked: ", "entries: ", "expires: "};
constexpr size_t kFieldCount = sizeof(kKeys) / sizeof(kKeys[0]);
// A decimal number of the record fits in 64 bits with this many digits.
constexpr size_t kMaxNumberDigits = 19;
constexpr size_t kMaxVersionPartDigits = 9;

// A value's bytes within the record.
struct Field {
  const char* text;
  size_t size;
};

bool IsDigits(Field field, size_t maxDigits) {
  if (field.size == 0 || field.size > maxDigits) return false;
  for (size_t i = 0; i < field.size; ++i) {
    if (field.text[i] < '0' || field.text[i] > '9') return false;
  }
  return true;
}

ULONGLONG DigitsValue(Field field) {
  ULONGLONG value = 0;
  for (size_t i = 0; i < field.size; ++i) value = value * 10 + static_cast<ULONGLONG>(field.text[i] - '0');
  return value;
}

// A count or size: decimal digits without a leading zero (but "0").
bool ParseNumber(Field field, ULONGLONG* value) {
  if (!IsDigits(field, kMaxNumberDigits) || (field.size > 1 && field.text[0] == '0')) return false;
  *value = DigitsValue(field);
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case included: the record's digits are lower case
}

bool ParseDigest(Field field, unsigned char (&digest)[ReleaseRecord::kDigestSize]) {
  if (field.size != 2 * ReleaseRecord::kDigestSize) return false;
  for (size_t i = 0; i < ReleaseRecord::kDigestSize; ++i) {
    const int high = HexValue(field.text[2 * i]), low = HexValue(field.text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

bool ParseVersionField(Field field, unsigned long (&parts)[ReleaseRecord::kMaxVersionParts]) {
  int count = 0;
  const char* end = field.text + field.size;
  for (const char* at = field.text;;) {
    const char* dot = at;
    while (dot != end && *dot != '.') ++dot;
    const Field part = {at, static_cast<size_t>(dot - at)};
    if (count == ReleaseRecord::kMaxVersionParts || !IsDigits(part, kMaxVersionPartDigits)) return false;
    parts[count++] = static_cast<unsigned long>(DigitsValue(part));
    if (dot == end) break;
    at = dot + 1;
  }
  for (int i = count; i < ReleaseRecord::kMaxVersionParts; ++i) parts[i] = 0;
  return true;
}

bool ParseTimeField(Field field, ULONGLONG* fileTime) {
  static constexpr char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
  if (field.size != sizeof(kShape) - 1) return false;
  for (size_t i = 0; i < field.size; ++i) {
    if (kShape[i] == 'd' ? (field.text[i] < '0' || field.text[i] > '9') : field.text[i] != kShape[i]) {
      return false;
    }
  }
  auto number = [&](size_t at, size_t digits) {
    return static_cast<WORD>(DigitsValue({field.text + at, digits}));
  };
  SYSTEMTIME time = {};
  time.wYear = number(0, 4);
  time.wMonth = number(5, 2);
  time.wDay = number(8, 2);
  time.wHour = number(11, 2);
  time.wMinute = number(14, 2);
  time.wSecond = number(17, 2);
  // The system refuses a day the month lacks; the clock's fields it takes as they come.
  FILETIME converted;
  if (time.wYear < 1601 || time.wHour > 23 || time.wMinute > 59 || time.wSecond > 59 ||
      !::SystemTimeToFileTime(&time, &converted)) {
    return false;
  }
  *fileTime = (static_cast<ULONGLONG>(converted.dwHighDateTime) << 32) | converted.dwLowDateTime;
  return true;
}

// Printable text and LF line ends only, valid UTF-8 beyond ASCII.
bool IsRecordText(const std::string& text) {
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\n') || byte == 0x7F) return false;
  }
  winfx::WideString wide;
  return text.empty() || winfx::Utf8ToWide(text, &wide);
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
  return record->Parse(text) ? Verdict::kValid : Verdict::kMalformed;
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

ReleaseRecord::Verdict ReleaseRecord::Check(const char* archiveName, ULONGLONG nowUtc,
                                            const char* floor,
                                            const ReleaseRecord* installed) const {
  if (m_file != archiveName) return Verdict::kOtherFile;
  if (nowUtc >= m_expires) return Verdict::kExpired;
  if (CompareVersions(m_version.c_str(), floor) < 0) return Verdict::kBelowFloor;
  if (installed != nullptr && CompareVersions(m_version.c_str(), installed->m_version.c_str()) < 0) {
    return Verdict::kOlderThanInstalled;
  }
  return Verdict::kValid;
}

const char* ReleaseRecord::Mismatch(HANDLE archive, const unsigned char* knownDigest,
                                    unsigned char (&digest)[kDigestSize]) const {
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(archive, &size)) return "UNREADABLE";
  if (static_cast<ULONGLONG>(size.QuadPart) != m_length) return "LENGTH";
  if (knownDigest != nullptr) {
    std::memcpy(digest, knownDigest, kDigestSize);
  } else if (!winfx::Sha256::OfFile(archive, digest)) {
    return "UNREADABLE";
  }
  return std::memcmp(digest, m_sha256, kDigestSize) == 0 ? nullptr : "SHA256";
}

bool ReleaseRecord::Keep(const std::string& folder, const std::string& recordPath,
                         const std::string& signaturePath) {
  // The signature first: a record whose signature is missing or stale reads as none.
  constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  return ::MoveFileExW(winfx::WidePath(signaturePath).c_str(), winfx::WidePath(winfx::JoinPath(folder, kKeptSignatureName)).c_str(), kFlags) &&
         ::MoveFileExW(winfx::WidePath(recordPath).c_str(), winfx::WidePath(winfx::JoinPath(folder, kKeptRecordName)).c_str(), kFlags);
}

bool ReleaseRecord::Parse(const std::string& text) {
  if (!IsRecordText(text)) return false;
  Field fields[kFieldCount];
  const char* at = text.data();
  const char* const end = at + text.size();
  for (size_t i = 0; i < kFieldCount; ++i) {
    const size_t keySize = std::strlen(kKeys[i]);
    if (static_cast<size_t>(end - at) < keySize || std::memcmp(at, kKeys[i], keySize) != 0) return false;
    at += keySize;
    const char* lineEnd = static_cast<const char*>(std::memchr(at, '\n', end - at));
    if (lineEnd == nullptr) return false;
    fields[i] = {at, static_cast<size_t>(lineEnd - at)};
    at = lineEnd + 1;
  }
  unsigned long parts[kMaxVersionParts];
  if (at != end || fields[0].size != 1 || fields[0].text[0] != '1' || fields[1].size == 0 ||
      !ParseVersionField(fields[2], parts) || !ParseNumber(fields[3], &m_length) ||
      !ParseDigest(fields[4], m_sha256) || !ParseNumber(fields[5], &m_unpacked) ||
      !ParseNumber(fields[6], &m_entries) || !ParseTimeField(fields[7], &m_expires)) {
    return false;
  }
  m_file.assign(fields[1].text, fields[1].size);
  m_version.assign(fields[2].text, fields[2].size);
  return true;
}

bool ReleaseRecord::ParseVersion(const std::string& text, unsigned long (&parts)[kMaxVersionParts]) {
  return ParseVersionField({text.data(), text.size()}, parts);
}

int ReleaseRecord::CompareVersions(const char* a, const char* b) {
  unsigned long first[kMaxVersionParts], second[kMaxVersionParts];
  if (!ParseVersionField({a, std::strlen(a)}, first) || !ParseVersionField({b, std::strlen(b)}, second)) {
    return 0;
  }
  for (int i = 0; i < kMaxVersionParts; ++i) {
    if (first[i] != second[i]) return first[i] < second[i] ? -1 : 1;
  }
  return 0;
}

bool ReleaseRecord::ParseUtcTime(const std::string& text, ULONGLONG* fileTime) {
  return ParseTimeField({text.data(), text.size()}, fileTime);
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
