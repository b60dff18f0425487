// Waiting on a kernel object from a thread with windows, without holding up other threads
// that send to those windows meanwhile.
#pragma once

#include <windows.h>

namespace winfx {

// Waits up to timeoutMs (or INFINITE) for handle to be signalled, handling every message
// sent to this thread while it waits (posted ones stay queued). True when it was signalled.
bool WaitHandlingSentMessages(HANDLE handle, DWORD timeoutMs);

}  // namespace winfx
