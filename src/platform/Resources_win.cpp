#include "platform/Resources_win.h"

#include <windows.h>

namespace kx {

std::string_view ProgramResource(const wchar_t* name) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return {};
    // A loaded resource stays mapped with the module: nothing to free.
    HGLOBAL loaded = LoadResource(self, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return std::string_view(static_cast<const char*>(bytes), SizeofResource(self, found));
}

}  // namespace kx
