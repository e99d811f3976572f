/* A DLL that imports a function its library does not have (KxNoSuchFunction from msacm32.dll, whose
   import library is made from missing_imports.def), beside one it does have (acmGetVersion). */
#include <windows.h>

__declspec(dllimport) DWORD KxNoSuchFunction(void);
__declspec(dllimport) DWORD acmGetVersion(void);

BOOL WINAPI DllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

__declspec(dllexport) DWORD WINAPI MissingCall(void) { return KxNoSuchFunction() + (acmGetVersion() & 0); }
