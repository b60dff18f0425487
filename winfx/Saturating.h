// Sums and products of 64-bit counts that stop at the largest value instead of wrapping
// round to a small one: sizes declared by a file can be anything.
#pragma once

namespace winfx {

constexpr unsigned long long kMostBytes = ~0ULL;

inline unsigned long long SaturatingAdd(unsigned long long a, unsigned long long b) {
  return a > kMostBytes - b ? kMostBytes : a + b;
}

inline unsigned long long SaturatingMultiply(unsigned long long a, unsigned long long b) {
  return b != 0 && a > kMostBytes / b ? kMostBytes : a * b;
}

}  // namespace winfx
