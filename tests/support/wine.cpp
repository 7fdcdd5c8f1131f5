#include "wine.h"

#include <windows.h>

bool RunningUnderWine() {
#ifdef _WIN32
    // Only Wine's ntdll exports its version.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}
