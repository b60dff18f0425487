// The program's one pair of text converters and the paths for the wide (...W) functions.
// The program's narrow text is code page 949 by construction (its literals are compiled so,
// its log is read so), whatever the system's ANSI code page: it is converted with 949
// explicitly, never with CP_ACP, so the Korean texts and paths mean the same on a Windows
// whose language for non-Unicode programs is not Korean.
#pragma once

#include <string>

namespace winfx {

// Wide text. Its own traits type makes it a string class of its own, built with only the
// members used: std::wstring would link the C++ library's whole prebuilt one.
struct WideTraits : std::char_traits<wchar_t> {};
using WideString = std::basic_string<wchar_t, WideTraits>;

// The code page of the program's narrow text.
constexpr unsigned kTextCodePage = 949;

// ansi (code page 949) as wide text into *wide; false when it is no text in that code
// page (*wide then empty). "" converts to "".
bool ToWide(const std::string& ansi, WideString* wide);
// The same as a value: "" when ansi is no text in that code page.
WideString ToWide(const std::string& ansi);

// wide as code page 949 text; *exact false when a character has no form of its own there
// (it is then replaced by "?"). Never a best-fit look-alike.
std::string ToAnsi(const WideString& wide, bool* exact);

// wide as code page 949 text for a log line or a label: "?" for each character without a
// form of its own there, never a cut or best-fit byte sequence.
std::string ToShownAnsi(const WideString& wide);

// utf8 as wide text into *wide; false when it is no valid UTF-8 (*wide then empty).
bool Utf8ToWide(const std::string& utf8, WideString* wide);

// wide as UTF-8 (unpaired surrogates as U+FFFD).
std::string ToUtf8(const WideString& wide);

// The extended-length form of path, a code page 949 path: made absolute (from the current
// folder and drive) and normalised as the ...A functions would ("/" separators, "." and ".."
// components, trailing dots and blanks of names), then "\\?\C:\..." or
// "\\?\UNC\server\share\...". "" when path is no 949 text or cannot be made absolute.
WideString ExtendedLengthPath(const std::string& path);
// The same for a wide path.
WideString ExtendedLengthPath(const WideString& path);

// path (code page 949) for a ...W function: its plain wide form while it is shorter than
// MAX_PATH, else its extended-length form.
WideString WidePath(const std::string& path);
// The same for a wide path.
WideString WidePath(const WideString& path);

// folder\name; "" when either is empty, so that no joined path ever means the folder
// itself or the root of a drive.
std::string JoinPath(const std::string& folder, const std::string& name);
WideString JoinPath(const WideString& folder, const WideString& name);

}  // namespace winfx
