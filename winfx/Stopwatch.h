// Stopwatch: milliseconds since it was made, by the performance counter (for log lines of
// durations).
#pragma once

#include <windows.h>

namespace winfx {

class Stopwatch {
 public:
  Stopwatch() { ::QueryPerformanceCounter(&start_); }

  double Milliseconds() const {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
  }

 private:
  LARGE_INTEGER start_;
};

}  // namespace winfx
