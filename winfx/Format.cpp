#include "winfx/Format.h"

#include <cstdarg>
#include <cstdio>

namespace winfx {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  // The C runtime's own formatter (msvcrt), not the portable one of the toolchain: msvcrt
  // formats floating point itself, where the portable one would link its own code for it.
  int length = ::_vscprintf(format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) ::_vsnprintf(&text[0], text.size() + 1, format, again);
  va_end(again);
  return text;
}

}  // namespace winfx
