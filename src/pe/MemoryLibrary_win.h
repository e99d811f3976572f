#pragma once
// Loads a DLL image from memory into this process (it is never written to disk): the image is laid out,
// relocated, its imports bound and its entry point run. Only images of the running process's own kind
// load (PE32 in the 32-bit program, PE32+ in the 64-bit build). Every failure returns null.
#include <windows.h>

#include <cstdint>

namespace kx {

// Consulted before GetProcAddress for every import; null or a null answer falls back to GetProcAddress.
// `nameOrOrdinal` is an ordinal (below 65536) when `byOrdinal` is set.
using ImportResolver = FARPROC (*)(HMODULE library, const char* nameOrOrdinal, bool byOrdinal, void* context);

// Returns the base of the loaded image (also the handle for GetMemoryProcAddress), or null.
void* LoadLibraryFromMemory(const void* data, uint32_t size, ImportResolver resolver = nullptr,
                            void* context = nullptr);
// An export of a loaded image by name or by ordinal (MAKEINTRESOURCEA(n)); null when there is none.
FARPROC GetMemoryProcAddress(void* module, const char* nameOrOrdinal);
// Detaches and unloads an image loaded by LoadLibraryFromMemory, releasing the libraries it imported.
void FreeLibraryFromMemory(void* module);

// The base of the kernel32.dll this process already has, found in the loader's module list; or null.
void* FindKernel32();
// The same export lookup on any mapped module (kernel32 included); forwarded exports are followed.
FARPROC GetExportAddress(void* module, const char* nameOrOrdinal);

}  // namespace kx
