// Replacements for parts of the C++ runtime that a program which catches no exception does
// not need. Linked as an object into the executable (not from a library), so the linker
// takes these definitions and leaves the runtime's own members out: the verbose terminate
// handler with its name demangler, and the std::__throw_* helpers that pull in the
// exception classes with a second (copy-on-write) string implementation.
//
// A program that catches nothing ends in std::terminate on any exception: these end it
// the same way, at the point of the fault, without printing. Should new code need a helper
// missing here, the linker reports the runtime's own member clashing with these: add it.
#include <cstdlib>

namespace __gnu_cxx {

// Called by std::terminate: ends the process at once.
[[noreturn]] void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

// The library's error paths (a string too long, an index out of range, a lock that
// fails, ...) end the process as an uncaught exception would.
[[noreturn]] void __throw_bad_exception() { std::abort(); }
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_bad_cast() { std::abort(); }
[[noreturn]] void __throw_bad_typeid() { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_domain_error(const char*) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_runtime_error(const char*) { std::abort(); }
[[noreturn]] void __throw_range_error(const char*) { std::abort(); }
[[noreturn]] void __throw_overflow_error(const char*) { std::abort(); }
[[noreturn]] void __throw_underflow_error(const char*) { std::abort(); }
[[noreturn]] void __throw_system_error(int) { std::abort(); }
[[noreturn]] void __throw_bad_function_call() { std::abort(); }

}  // namespace std
