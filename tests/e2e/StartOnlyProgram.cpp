// A program that does nothing: it ends as soon as it starts. It imports a function of each DLL
// an installer may import and binds comctl32 through the installer's manifest, so Wine's
// start-up maps for it what it maps for the installer before the installer's first
// instruction. The planted-DLL tests run it as their control.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

// Named, never called: each keeps its DLL in the import table (kernel32 and msvcrt come with
// the C runtime).
void* volatile g_imports[] = {
    reinterpret_cast<void*>(&::MessageBoxA),          // user32
    reinterpret_cast<void*>(&::GetStockObject),       // gdi32
    reinterpret_cast<void*>(&::RegCloseKey),          // advapi32
    reinterpret_cast<void*>(&::CoInitializeEx),       // ole32
    reinterpret_cast<void*>(&::SysFreeString),        // oleaut32
    reinterpret_cast<void*>(&::ShellExecuteA),        // shell32
    reinterpret_cast<void*>(&::InitCommonControlsEx), // comctl32
};

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
