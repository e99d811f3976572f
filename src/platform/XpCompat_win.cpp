// Windows XP has no GetTickCount64, yet the threads runtime linked into every static -posix binary
// imports it, and XP then refuses to load the program. We fill that import slot ourselves with a
// version built on GetTickCount that counts the 49.7-day wraps, so the import disappears.
#include <windows.h>

namespace {

ULONGLONG WINAPI TickCount64Xp() {
    static volatile LONG lock = 0;
    static DWORD last = 0;
    static ULONGLONG high = 0;
    while (InterlockedExchange(&lock, 1) != 0) Sleep(0);
    DWORD now = GetTickCount();
    if (now < last) high += 0x100000000ULL;
    last = now;
    ULONGLONG result = high + now;
    InterlockedExchange(&lock, 0);
    return result;
}

}  // namespace

#if defined(_WIN64)
extern "C" void* slot __asm__("__imp_GetTickCount64");
#else
extern "C" void* slot __asm__("__imp__GetTickCount64@0");
#endif
void* slot = reinterpret_cast<void*>(&TickCount64Xp);
