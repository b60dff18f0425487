#include "install/MovePlan.h"

#include <string>

#include "winfx/File.h"
#include "winfx/ScopedHandle.h"

namespace {

// The plan's first bytes when its lines are UTF-8.
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr size_t kUtf8MarkSize = 3;

}  // namespace

bool MovePlan::Write(const WideString& path, const std::vector<Step>& steps) {
  std::string text = kUtf8Mark;
  for (const Step& step : steps) {
    text += static_cast<char>(step.kind);
    text += '\t';
    text += winfx::ToUtf8(step.path);
    text += "\r\n";
  }
  if (text.size() > kMaxSize) {
    ::SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  const WideString partial = path + L".part";
  winfx::File file;
  if (!file.Create(partial) || !file.Write(text.data(), static_cast<DWORD>(text.size())) ||
      !file.Flush() || !file.Close()) {
    return false;
  }
  return ::MoveFileExW(partial.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool MovePlan::Read(const WideString& path, const PathCheck& accepts, std::vector<Step>* steps,
                    int* refusedLine) {
  std::string text;
  const winfx::CappedRead read = winfx::ReadCappedFile(path, kMaxSize, &text);
  if (read != winfx::CappedRead::kRead) {
    if (read == winfx::CappedRead::kTooLarge) *refusedLine = kTooLarge;
    return false;
  }
  const bool utf8 = text.compare(0, kUtf8MarkSize, kUtf8Mark) == 0;
  if (utf8) text.erase(0, kUtf8MarkSize);
  // One step a line (a string stream would link the whole of iostreams into the program);
  // every line a step, and at least one: the plan as Write writes it.
  int number = 1;
  bool valid = !text.empty();
  for (size_t start = 0, end; valid && start < text.size(); start = end + 1, ++number) {
    end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const char kind = line.size() >= 3 && line[1] == '\t' ? line[0] : '\0';
    WideString stepPath;
    const std::string bytes = line.size() >= 3 ? line.substr(2) : std::string();
    const bool decoded = utf8 ? winfx::Utf8ToWide(bytes, &stepPath) : winfx::ToWide(bytes, &stepPath);
    valid = decoded && (kind == 'T' || kind == 'R' || kind == 'N') && accepts(stepPath);
    if (!valid) break;
    if (stepPath.back() == L'\\') stepPath.pop_back();
    steps->push_back({static_cast<StepKind>(kind), stepPath});
  }
  if (valid) return true;
  steps->clear();
  *refusedLine = number;
  return false;
}
