// Checks an archive entry's name before it becomes a path below the target folder: it must
// stay inside that folder and name a plain file or folder there, not a device, a stream of
// another file or something Windows would rewrite.
#pragma once

#include <string>

#include "winfx/WidePath.h"

// What an entry name (with "\" separators) stands for below the target folder.
enum class ZipEntryNameKind {
  kFile,          // a relative path of plain names: written as a file
  kFolder,        // the same, ending in "\": a folder entry
  kLeavesFolder,  // a ".." component, a leading "\", a drive letter or any ":"
  kNotPlainName,  // empty; a device name (CON, NUL, COM1, ...); < > " | ? * or a control
                  // character, half a surrogate pair or U+F000-U+F0FF (the private-use
                  // stand-ins of those); a component that is empty or ends in a dot or a
                  // blank; or bytes that are no text in the code page they are read in
};

// General-purpose flag bit: the entry's name is stored in UTF-8.
constexpr unsigned long kZipFlagUtf8Name = 0x0800;
// Extra field (Info-ZIP's Unicode Path, version 1) that carries a UTF-8 name for an entry
// whose stored name is in some local code page.
constexpr unsigned kZipUnicodePathField = 0x7075;
constexpr unsigned char kZipUnicodePathVersion = 1;

// The stored name with every "/" turned into "\".
std::string ToWindowsSeparators(std::string name);

// Decodes an entry's stored name into *name ("\" separators) and classifies it as the
// wide overload does. A name flagged as UTF-8 is read as UTF-8 (invalid UTF-8 is
// kNotPlainName); else a Unicode Path field in extra (the central directory's extra
// data) of version 1 whose CRC-32 matches the stored name gives the name; else the stored
// name is read in the ANSI code page. *name is "" when the name could not be decoded.
ZipEntryNameKind DecodeZipEntryName(const std::string& stored, unsigned long flag,
                                    const std::string& extra, winfx::WideString* name);

// Classifies a wide name that already has "\" separators, as the wide file functions will
// see it (no conversion, so no look-alike character can turn into a separator or a dot).
// Refusals of both kinds are checked before kFolder.
ZipEntryNameKind ClassifyZipEntryName(const winfx::WideString& name);

// ClassifyZipEntryName of an ANSI name (converted with the ANSI code page, so a
// double-byte character can't hide a separator or a dot); kNotPlainName for bytes that
// are no text there.
ZipEntryNameKind ClassifyZipEntryName(const std::string& name);
