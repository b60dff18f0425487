#include "tools/uidriver/MovePause.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace uidriver {

namespace {

using MoveFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);

constexpr wchar_t kStagingPart[] = L"\\.QuillonStaging\\";

MoveFunction g_move = nullptr;
LONG g_moves = 0;
LONG g_pauseAt = 0;

bool FromStaging(LPCWSTR from, LPCWSTR to) {
  return from != nullptr && to != nullptr && std::wcsstr(from, kStagingPart) != nullptr &&
         std::wcsstr(to, kStagingPart) == nullptr;
}

BOOL WINAPI PausingMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (FromStaging(from, to) && ::InterlockedIncrement(&g_moves) == g_pauseAt) {
    char paused[64];
    char resume[64];
    MovePauseEvents::Names(::GetCurrentProcessId(), paused, resume);
    winfx::ScopedHandle pausedEvent(::OpenEventA(EVENT_MODIFY_STATE, FALSE, paused));
    winfx::ScopedHandle resumeEvent(::OpenEventA(SYNCHRONIZE, FALSE, resume));
    if (pausedEvent && resumeEvent) {
      ::SetEvent(pausedEvent.Get());
      ::WaitForSingleObject(resumeEvent.Get(), INFINITE);
    }
  }
  return g_move(from, to, flags);
}

}  // namespace

MovePauseEvents::MovePauseEvents(DWORD processId) {
  char paused[64];
  char resume[64];
  Names(processId, paused, resume);
  paused_.Reset(::CreateEventA(nullptr, TRUE, FALSE, paused));
  resume_.Reset(::CreateEventA(nullptr, TRUE, FALSE, resume));
}

void MovePauseEvents::Names(DWORD processId, char (&paused)[64], char (&resume)[64]) {
  std::snprintf(paused, sizeof(paused), "UiDriver.MovesPaused.%lu", static_cast<unsigned long>(processId));
  std::snprintf(resume, sizeof(resume), "UiDriver.MovesResume.%lu", static_cast<unsigned long>(processId));
}

bool PauseStagedMovesAt(int nth) {
  auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return false;
  g_moves = 0;
  g_pauseAt = nth;
  for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       module->Name != 0; ++module) {
    if (module->OriginalFirstThunk == 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "MoveFileExW") != 0) continue;
      DWORD oldProtection = 0;
      if (!::VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &oldProtection)) {
        return false;
      }
      if (slots->u1.Function != reinterpret_cast<ULONG_PTR>(&PausingMove)) {
        g_move = reinterpret_cast<MoveFunction>(slots->u1.Function);
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(&PausingMove);
      }
      ::VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), oldProtection, &oldProtection);
      return true;
    }
  }
  return false;
}

}  // namespace uidriver
