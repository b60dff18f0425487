// A program whose import table names a DLL outside the allowed list (version.dll): the import
// check must refuse it.
#include <windows.h>

int main() { return static_cast<int>(::GetFileVersionInfoSizeA("QuillonSetup.exe", nullptr)); }
