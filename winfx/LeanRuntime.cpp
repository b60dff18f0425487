// Replacements for parts of the C++ runtime that a program which catches no exception does
// not need. Linked as an object into the executable (not from a library), so the linker
// takes these definitions and leaves the runtime's own members out: the verbose terminate
// handler with its name demangler, and the std::__throw_* helpers that pull in the
// exception classes with a second (copy-on-write) string implementation.
//
// A program that catches nothing ends in std::terminate on any exception: these end it
// the same way, at the point of the fault, without printing. Should new code need a helper
// missing here, the linker reports the runtime's own member clashing with these: add it.
#include <windows.h>

#include <cstddef>
#include <cstdlib>

namespace {

// Ends the process at once with exit code 3, as abort's code would be, but without the
// C runtime's "abnormal program termination" box, which would hold an unattended run.
[[noreturn]] void EndAtOnce() {
  ::TerminateProcess(::GetCurrentProcess(), 3);
  for (;;) ::Sleep(INFINITE);  // not reached: the process is gone
}

}  // namespace

namespace __gnu_cxx {

// Called by std::terminate: ends the process at once.
[[noreturn]] void __verbose_terminate_handler() { EndAtOnce(); }

}  // namespace __gnu_cxx

namespace std {

// The library's error paths (a string too long, an index out of range, a lock that
// fails, ...) end the process as an uncaught exception would.
[[noreturn]] void __throw_bad_exception() { EndAtOnce(); }
[[noreturn]] void __throw_bad_alloc() { EndAtOnce(); }
[[noreturn]] void __throw_bad_array_new_length() { EndAtOnce(); }
[[noreturn]] void __throw_bad_cast() { EndAtOnce(); }
[[noreturn]] void __throw_bad_typeid() { EndAtOnce(); }
[[noreturn]] void __throw_logic_error(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_domain_error(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_invalid_argument(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_length_error(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_out_of_range(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { EndAtOnce(); }
[[noreturn]] void __throw_runtime_error(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_range_error(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_overflow_error(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_underflow_error(const char*) { EndAtOnce(); }
[[noreturn]] void __throw_system_error(int) { EndAtOnce(); }
[[noreturn]] void __throw_bad_function_call() { EndAtOnce(); }
// A library precondition that does not hold (an index past a string's end, say; checked
// with _GLIBCXX_ASSERTIONS) ends the process where it is found.
[[noreturn]] void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { EndAtOnce(); }

}  // namespace std

// Allocation: the library's operator new throws std::bad_alloc, which links the exception
// machinery; out of memory ends the process here as that uncaught exception would.
void* operator new(std::size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) EndAtOnce();
  return block;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

// The exception-handling entry points that the library's prebuilt code (string operations
// with their clean-up paths) refers to. Nothing ever throws in this program (every throw
// above ends it), so no landing pad runs and these are never reached; defined here, they
// keep the unwinder and the threads library it needs out of the program.
extern "C" {
[[noreturn]] void _Unwind_Resume(void*) { EndAtOnce(); }
[[noreturn]] int __gxx_personality_v0(...) { EndAtOnce(); }
[[noreturn]] void* __cxa_begin_catch(void*) noexcept { EndAtOnce(); }
[[noreturn]] void __cxa_end_catch() { EndAtOnce(); }
[[noreturn]] void __cxa_rethrow() { EndAtOnce(); }
}
