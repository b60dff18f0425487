// Checks an archive entry's name before it becomes a path below the target folder: it must
// stay inside that folder and name a plain file or folder there, not a device, a stream of
// another file or something Windows would rewrite.
#pragma once

#include <string>

// What an entry name (with "\" separators) stands for below the target folder.
enum class ZipEntryNameKind {
  kFile,          // a relative path of plain names: written as a file
  kFolder,        // the same, ending in "\": a folder entry
  kLeavesFolder,  // a ".." component, a leading "\", a drive letter or any ":"
  kNotPlainName,  // empty; a device name (CON, NUL, COM1, ...); < > " | ? * or a control
                  // character; a component that is empty or ends in a dot or a blank; or
                  // bytes that are no text in the ANSI code page
};

// The stored name with every "/" turned into "\".
std::string ToWindowsSeparators(std::string name);

// Classifies a name that already has "\" separators. The name is judged as the ANSI
// functions will read it (converted with the ANSI code page), so a double-byte character
// can't hide a separator or a dot. Refusals of both kinds are checked before kFolder.
ZipEntryNameKind ClassifyZipEntryName(const std::string& name);
