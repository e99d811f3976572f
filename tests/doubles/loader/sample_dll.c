/* A DLL for the in-memory loader's tests, built without the C runtime so that its entry point is exactly
   the function below. Its exports (by ordinal, see sample_dll.def) show that relocations and imports were
   applied: a table of absolute addresses and a call through the import table. */
#include <windows.h>

static int value = 42;
static int* const table[] = {&value};
static LONG attached;

BOOL WINAPI DllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) ++attached;
    if (reason == DLL_PROCESS_DETACH) SetEnvironmentVariableA("KX_SAMPLE_DETACHED", "1");
    return TRUE;
}

int WINAPI SampleAdd(int a, int b) { return a + b; }
int WINAPI SampleValue(void) { return *table[0]; }
DWORD WINAPI SampleProcessId(void) { return GetCurrentProcessId(); }
LONG WINAPI SampleAttachCount(void) { return attached; }
