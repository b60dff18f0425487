// printf-style formatting into a std::string, however long the result.
#pragma once

#include <string>

namespace winfx {

// The text format gives with the arguments (vsnprintf rules); "" when format is invalid.
__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...);

}  // namespace winfx
