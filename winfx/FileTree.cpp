#include "winfx/FileTree.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "winfx/HeldFolder.h"
#include "winfx/ScopedHandle.h"

namespace winfx {

namespace {


// The kind of an entry by its attributes and, for a reparse point, its tag (0 where the
// system gives none, as Wine does: then it is taken for a link).
EntryKind KindFrom(DWORD attributes, DWORD reparseTag) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::kMissing;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag))) {
    return EntryKind::kLink;
  }
  return folder ? EntryKind::kFolder : EntryKind::kFile;
}

}  // namespace

EntryKind FileTree::KindOf(const WideString& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return KindFrom(attributes, 0);
  }
  // Only a search tells the reparse tag.
  WIN32_FIND_DATAW data;
  ScopedFindHandle search(::FindFirstFileW(path.c_str(), &data));
  return KindFrom(attributes, search ? data.dwReserved0 : 0);
}

bool FileTree::List(const WideString& folder, std::vector<std::pair<WideString, EntryKind>>* entries) {
  WIN32_FIND_DATAW data;
  ScopedFindHandle search(::FindFirstFileW(JoinPath(folder, L"*").c_str(), &data));
  if (!search) return ::GetLastError() == ERROR_FILE_NOT_FOUND;  // an empty folder
  do {
    const WideString name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD tag = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? data.dwReserved0 : 0;
    entries->emplace_back(name, KindFrom(data.dwFileAttributes, tag));
  } while (::FindNextFileW(search.Get(), &data));
  if (::GetLastError() != ERROR_NO_MORE_FILES) return false;
  // A stable order, whatever the file system's.
  std::sort(entries->begin(), entries->end());
  return true;
}

bool FileTree::Walk(const WideString& root, const Visit& visit) {
  // The folders being walked, from root down: what each holds and how far it is done. A
  // stack of its own rather than recursion, so the depth is bounded here, not by the
  // thread's stack.
  struct Level {
    WideString relative;
    std::vector<std::pair<WideString, EntryKind>> entries;
    size_t next = 0;
  };
  std::vector<Level> levels(1);
  if (!List(root, &levels.back().entries)) return false;
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.entries.size()) {
      levels.pop_back();
      continue;
    }
    const std::pair<WideString, EntryKind>& entry = level.entries[level.next++];
    const WideString path = level.relative.empty() ? entry.first : JoinPath(level.relative, entry.first);
    const EntryKind kind = entry.second;
    if (!visit(path, kind) || kind != EntryKind::kFolder) continue;
    if (levels.size() >= kMaxDepth) {
      ::SetLastError(kTooDeepError);
      return false;
    }
    levels.emplace_back();
    levels.back().relative = path;
    if (!List(JoinPath(root, path), &levels.back().entries)) return false;
  }
  return true;
}

bool FileTree::LeadsElsewhere(const WideString& path) {
  const EntryKind kind = KindOf(path);
  if (kind == EntryKind::kLink) return true;
  if (kind == EntryKind::kMissing) {
    WIN32_FIND_DATAW data;
    ScopedFindHandle search(::FindFirstFileW(path.c_str(), &data));
    return search.IsValid();
  }
  const size_t cut = path.find_last_of(L'\\');
  if (cut == WideString::npos || cut == 0 || cut + 1 == path.size()) return false;
  // The folder as itself: "C:\" for a drive's root.
  const WideString folder = path.substr(0, path[cut - 1] == L':' ? cut + 1 : cut);
  WideString entryFinal = FinalPath(path);
  WideString folderFinal = FinalPath(folder);
  if (entryFinal.empty() || folderFinal.empty()) return false;
  if (folderFinal.back() != L'\\') folderFinal += L'\\';
  const WideString expected = folderFinal + path.substr(cut + 1);
  return ::CompareStringOrdinal(entryFinal.c_str(), -1, expected.c_str(), -1, TRUE) != CSTR_EQUAL;
}

WideString FileTree::FinalPath(const WideString& path) {
  // No access asked for: an entry another handle holds without sharing opens too.
  ScopedHandle entry(::CreateFileW(path.c_str(), 0,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return entry ? FinalPathOf(entry.Get()) : WideString();
}

bool FileTree::OpensLinkItself(const WideString& path) {
  ScopedHandle link(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  return link &&
         ::GetFileInformationByHandleEx(link.Get(), FileAttributeTagInfo, &tag, sizeof(tag)) &&
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool FileTree::Move(const WideString& from, const WideString& to) {
  if (KindOf(from) == EntryKind::kLink && !OpensLinkItself(from)) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  return ::MoveFileExW(from.c_str(), to.c_str(), 0) != FALSE;
}

bool FileTree::Remove(const WideString& path) {
  if (KindOf(path) != EntryKind::kFolder) return RemoveOne(path);
  // Everything inside is listed first: a tree that cannot be listed whole (too deep, say)
  // is left as it is.
  std::vector<WideString> inside;
  if (!Walk(path, [&](const WideString& relative, EntryKind kind) {
        inside.push_back(relative);
        return kind == EntryKind::kFolder;
      })) {
    return false;
  }
  bool removed = true;
  // Each folder is listed before what it holds: backwards, what it holds goes first.
  for (auto entry = inside.rbegin(); entry != inside.rend(); ++entry) {
    removed = RemoveOne(JoinPath(path, *entry)) && removed;
  }
  return RemoveOne(path) && removed;
}

bool FileTree::RemoveOne(const WideString& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  switch (KindOf(path)) {
    case EntryKind::kMissing:
      return true;
    case EntryKind::kLink:
      // Its own attributes are not touched: a change would reach what it points to.
      if (!OpensLinkItself(path)) return false;
      if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ::RemoveDirectoryW(path.c_str()) != FALSE;
      return ::DeleteFileW(path.c_str()) != FALSE;
    case EntryKind::kFile:
      if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      return ::DeleteFileW(path.c_str()) != FALSE;
    case EntryKind::kFolder:
      break;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

bool FileTree::EnsureParentFolders(const WideString& base, const WideString& relative) {
  const size_t last = relative.rfind(L'\\');
  // Mostly the parent is there already: one look.
  if (last == WideString::npos || KindOf(JoinPath(base, relative.substr(0, last))) == EntryKind::kFolder) {
    return true;
  }
  for (size_t cut = relative.find(L'\\'); cut != WideString::npos; cut = relative.find(L'\\', cut + 1)) {
    const WideString folder = JoinPath(base, relative.substr(0, cut));
    if (!::CreateDirectoryW(folder.c_str(), nullptr) && KindOf(folder) != EntryKind::kFolder) {
      return false;
    }
  }
  return true;
}

}  // namespace winfx
