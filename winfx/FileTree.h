// FileTree: what a path names and the operations on a tree of files and folders, on
// extended-length wide paths (WidePath.h), with links told apart from what they point to.
// A junction or symbolic link is an entry of its own: never entered, and moved or removed
// only where the system acts on the link itself. (Wine 8 does not: there every rename or
// removal of a link acts on what it points to, so a link is left alone.)
#pragma once

#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "winfx/WidePath.h"

namespace winfx {

// What a path names.
enum class EntryKind {
  kMissing,
  kFile,
  kFolder,
  kLink,  // a junction or symbolic link (to a file or a folder, or dangling)
};

class FileTree {
 public:
  // Folders are entered this many levels deep at the most (a path of MAX_PATH has fewer
  // than 130); a deeper tree is refused with kTooDeepError.
  static constexpr size_t kMaxDepth = 256;
  static constexpr DWORD kTooDeepError = ERROR_FILENAME_EXCED_RANGE;

  // The kind of path. A reparse point counts as a link unless its tag says it is some
  // other thing in a file's place (a deduplicated or compressed file, say).
  static EntryKind KindOf(const WideString& path);

  // Calls visit(relativePath, kind) for everything below root, each folder before what it
  // holds, in a stable order; a folder for which visit returns true is entered, a link
  // never. Relative paths use "\". False when a folder could not be listed completely,
  // and (last error kTooDeepError) at a folder to enter deeper than kMaxDepth.
  using Visit = std::function<bool(const WideString& relative, EntryKind kind)>;
  static bool Walk(const WideString& root, const Visit& visit);

  // True when path names an entry that leads out of its folder: a link, or what opens as
  // another path than its own (a link that the system shows as a plain file, as Wine does
  // for a link to a file), or what the folder lists but cannot be opened (a link to
  // nothing). False when nothing is there, or a plain file or folder, or it cannot be told
  // (the entry or its folder cannot be opened even to read its name).
  static bool LeadsElsewhere(const WideString& path);

  // True when path, a link, can be opened as the link itself (not as what it points to),
  // so that a move or removal of it leaves what it points to alone.
  static bool OpensLinkItself(const WideString& path);

  // Renames from to to (no replacing; same volume). A link is moved itself; where that is
  // not possible, nothing is moved and the result is false (last error
  // ERROR_NOT_SUPPORTED).
  static bool Move(const WideString& from, const WideString& to);

  // Removes path: a file, a folder with everything in it (read-only ones too) or a link
  // itself, never what a link points to. True when nothing is left at path. A folder that
  // Walk cannot list whole (too deep, say: last error kTooDeepError) is left as it is.
  static bool Remove(const WideString& path);

  // Makes every missing folder of relative's parent chain below base (which exists).
  // False when one cannot be made or a file or link stands in the way.
  static bool EnsureParentFolders(const WideString& base, const WideString& relative);

 private:
  // The path an open of path ends at, as the system names it ("\\?\C:\..."); "" when it
  // cannot be opened.
  static WideString FinalPath(const WideString& path);
  // The entries of folder, sorted by name, into *entries; false when it cannot be listed.
  static bool List(const WideString& folder, std::vector<std::pair<WideString, EntryKind>>* entries);
  // Removes path itself: a file, a link, or a folder that holds nothing.
  static bool RemoveOne(const WideString& path);
};

}  // namespace winfx
