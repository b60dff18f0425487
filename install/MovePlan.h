// MovePlan: the file in which a staged installation records its moves before the first
// one, so that a later run can put back what a killed run left half done. One step a line:
// its kind, a tab, its path relative to the installation folder; UTF-8 after a byte order
// mark (an earlier installer's plan has no mark and is in the ANSI code page).
#pragma once

#include <functional>
#include <vector>

#include "winfx/WidePath.h"

class MovePlan {
 public:
  using WideString = winfx::WideString;

  // One step of the move into place, with its path relative to the installation folder.
  enum class StepKind : char {
    kTree = 'T',     // a folder new to the installation folder, moved in whole
    kReplace = 'R',  // a file (or folder) in place of an old file, folder or link, moved
                     // aside first
    kAdd = 'N',      // a file new to the installation folder
  };
  struct Step {
    StepKind kind;
    WideString path;  // as the file system names it, whatever the ANSI code page
  };

  // Which paths a plan may name (a folder's with a trailing "\").
  using PathCheck = std::function<bool(const WideString& relative)>;

  // The largest plan written or read (a step of the longest path takes under 800 bytes):
  // a larger file is never read into memory.
  static constexpr unsigned long long kMaxSize = 64ULL << 20;
  // *refusedLine of a plan larger than kMaxSize.
  static constexpr int kTooLarge = -1;

  // Writes steps to path: whole into path.part, flushed, then renamed into place, so that
  // a plan is there complete or not at all. False when that failed (last error set;
  // ERROR_FILE_TOO_LARGE for steps that take more than kMaxSize).
  static bool Write(const WideString& path, const std::vector<Step>& steps);

  // Reads the plan at path into *steps (a folder's trailing "\" dropped). False when it
  // cannot be read, and (with *refusedLine set to the line's number, from 1, and *steps
  // empty) when a line of it is not a step this installer could have written: no step of
  // a known kind, or a path that accepts refuses. An empty plan is refused at line 1, one
  // larger than kMaxSize unread, with kTooLarge.
  static bool Read(const WideString& path, const PathCheck& accepts, std::vector<Step>* steps,
                   int* refusedLine);
};
