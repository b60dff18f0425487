// Test helpers for files whose names have no form in code page 949: wide paths throughout,
// names given as UTF-8 (u8"..." literals).
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace testing_support {

// utf8 as UTF-16; ansi (code page 949, as the tests' narrow literals) as UTF-16.
std::wstring Utf16(const std::string& utf8);
std::wstring AnsiToUtf16(const std::string& ansi);

// Files and folders below root, relative with "\" (folders end in "\"), sorted; a link is
// listed, never entered.
std::vector<std::wstring> ListWideTree(const std::wstring& root);

// Whole file as bytes; "" when it cannot be read.
std::string ReadWideFile(const std::wstring& path);

// Creates or replaces root\relative with bytes and the given last-write time's year
// (0: now), making the folders on the way; false on failure.
bool PutWideFile(const std::wstring& root, const std::wstring& relative, const std::string& bytes,
                 WORD year = 0);

// Last-write time of path in 100 ns ticks; 0 when it cannot be read.
ULONGLONG WideWriteTime(const std::wstring& path);

// Every file below root (relative path) with its bytes and its last-write time.
std::map<std::wstring, std::pair<std::string, ULONGLONG>> WideFileStates(const std::wstring& root);

}  // namespace testing_support
