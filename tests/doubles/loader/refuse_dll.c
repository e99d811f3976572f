/* A DLL whose entry point refuses process attach. It records every call in an environment variable of
   the process (its own memory is gone once the load fails): "1" for attach, "0" for detach. */
#include <windows.h>

BOOL WINAPI DllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    char calls[64] = {0};
    DWORD n;
    (void)instance;
    (void)reserved;
    n = GetEnvironmentVariableA("KX_REFUSE_CALLS", calls, sizeof calls - 2);
    if (n > sizeof calls - 2) n = 0;
    calls[n] = (char)('0' + reason);
    calls[n + 1] = 0;
    SetEnvironmentVariableA("KX_REFUSE_CALLS", calls);
    return reason != DLL_PROCESS_ATTACH;
}

int WINAPI RefuseNothing(void) { return 0; }
