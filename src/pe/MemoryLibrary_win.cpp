#include "pe/MemoryLibrary_win.h"

#include <winternl.h>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "pe/PeImage.h"

namespace kx {
namespace {

#if defined(_WIN64)
constexpr uint16_t kOwnMachine = pe::kMachineAmd64;
#else
constexpr uint16_t kOwnMachine = pe::kMachineI386;
#endif

using DllEntry = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);
using LoadLibraryAFn = HMODULE(WINAPI*)(LPCSTR);
using FreeLibraryFn = BOOL(WINAPI*)(HMODULE);
using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using GetModuleHandleAFn = HMODULE(WINAPI*)(LPCSTR);

// The start of the loader's per-module record. Its layout has been the same since Windows NT 4; the SDK's
// own declaration hides the base name, which is what we compare.
struct LoaderEntry {
    LIST_ENTRY inLoadOrder;
    LIST_ENTRY inMemoryOrder;
    LIST_ENTRY inInitializationOrder;
    void* dllBase;
    void* entryPoint;
    ULONG sizeOfImage;
    UNICODE_STRING fullName;
    UNICODE_STRING baseName;
};

bool SameAsciiName(const UNICODE_STRING& name, std::string_view wanted) {
    const size_t length = name.Length / sizeof(wchar_t);
    if (!name.Buffer || length != wanted.size()) return false;
    auto fold = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    for (size_t i = 0; i < length; ++i) {
        if (fold(name.Buffer[i]) != fold(static_cast<unsigned char>(wanted[i]))) return false;
    }
    return true;
}

// The process environment block, read from the thread block's fixed slot (what NtCurrentTeb() does, without
// the header's intrinsic that newer compilers warn about).
PEB* CurrentPeb() {
    PEB* peb = nullptr;
#if defined(_WIN64)
    asm("movq %%gs:0x60, %0" : "=r"(peb));
#else
    asm("movl %%fs:0x30, %0" : "=r"(peb));
#endif
    return peb;
}

// Walks the process's in-memory-order module list for a module by base name (ASCII letters ignore case).
void* FindLoadedModule(std::string_view baseName) {
    PEB* peb = CurrentPeb();
    if (!peb || !peb->Ldr) return nullptr;
    LIST_ENTRY* head = &peb->Ldr->InMemoryOrderModuleList;
    for (LIST_ENTRY* link = head->Flink; link && link != head; link = link->Flink) {
        auto* entry =
            reinterpret_cast<LoaderEntry*>(reinterpret_cast<char*>(link) - offsetof(LoaderEntry, inMemoryOrder));
        if (!entry->baseName.Buffer || entry->baseName.Length == 0) break;
        if (SameAsciiName(entry->baseName, baseName)) return entry->dllBase;
    }
    return nullptr;
}

std::span<uint8_t> ImageOf(void* module, pe::Headers& headers) {
    auto* base = static_cast<uint8_t*>(module);
    // The first page always holds the headers of a mapped module.
    auto parsed = pe::ParseMappedHeaders({base, 4096});
    if (!parsed) return {};
    headers = std::move(*parsed);
    return {base, headers.imageSize};
}

FARPROC ExportOf(void* module, const char* nameOrOrdinal, int depth) {
    if (!module || !nameOrOrdinal || depth > 4) return nullptr;
    pe::Headers headers;
    std::span<uint8_t> image = ImageOf(module, headers);
    if (image.empty()) return nullptr;
    const auto value = reinterpret_cast<uintptr_t>(nameOrOrdinal);
    // Values below 65536 are ordinals and nothing else: one that is not exported must not be read as a name.
    pe::ExportTarget target = value < 0x10000 ? pe::FindExport(image, headers, static_cast<uint32_t>(value))
                                              : pe::FindExport(image, headers, std::string_view(nameOrOrdinal));
    if (target.rva != 0) return reinterpret_cast<FARPROC>(image.data() + target.rva);
    // A forwarder ("NTDLL.RtlFoo", "api-ms-win-core-x.Foo", "DLL.#12") names the module that implements it.
    // Kernel32 forwards to already loaded modules; the API-set names are served by kernelbase.
    const std::string& forward = target.forwardedTo;
    const size_t dot = forward.find('.');
    if (dot == std::string::npos) return nullptr;
    std::string library = forward.substr(0, dot) + ".dll";
    void* next = FindLoadedModule(library);
    if (!next && (library.rfind("api-", 0) == 0 || library.rfind("ext-", 0) == 0))
        next = FindLoadedModule("kernelbase.dll");
    const std::string function = forward.substr(dot + 1);
    if (function.size() > 1 && function[0] == '#') {
        const unsigned long ordinal = std::strtoul(function.c_str() + 1, nullptr, 10);
        if (ordinal == 0 || ordinal >= 0x10000) return nullptr;
        return ExportOf(next, MAKEINTRESOURCEA(ordinal), depth + 1);
    }
    return ExportOf(next, function.c_str(), depth + 1);
}

template <typename F>
F FunctionFrom(FARPROC address) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(address));
}

// The four loader functions the import step needs, found without importing them.
struct Kernel32 {
    LoadLibraryAFn loadLibrary = nullptr;
    FreeLibraryFn freeLibrary = nullptr;
    GetProcAddressFn getProcAddress = nullptr;
    GetModuleHandleAFn getModuleHandle = nullptr;

    bool Find() {
        void* k = FindKernel32();
        loadLibrary = FunctionFrom<LoadLibraryAFn>(GetExportAddress(k, "LoadLibraryA"));
        freeLibrary = FunctionFrom<FreeLibraryFn>(GetExportAddress(k, "FreeLibrary"));
        getProcAddress = FunctionFrom<GetProcAddressFn>(GetExportAddress(k, "GetProcAddress"));
        getModuleHandle = FunctionFrom<GetModuleHandleAFn>(GetExportAddress(k, "GetModuleHandleA"));
        return loadLibrary && freeLibrary && getProcAddress && getModuleHandle;
    }
};

void FreeLibraries(const Kernel32& k, std::vector<HMODULE>& libraries) {
    for (auto it = libraries.rbegin(); it != libraries.rend(); ++it) k.freeLibrary(*it);
    libraries.clear();
}

// Binds every import; on failure frees what it loaded and returns false.
bool BindImports(std::span<uint8_t> image, const pe::Headers& headers, const Kernel32& k, ImportResolver resolver,
                 void* context, std::vector<HMODULE>& loaded) {
    auto imports = pe::ReadImports(image, headers);
    if (!imports) return false;
    for (const pe::ImportLibrary& library : *imports) {
        HMODULE module = k.loadLibrary(library.name.c_str());
        if (!module) {
            FreeLibraries(k, loaded);
            return false;
        }
        loaded.push_back(module);
        for (const pe::ImportEntry& entry : library.entries) {
            const char* key = entry.byOrdinal ? MAKEINTRESOURCEA(entry.ordinal) : entry.name.c_str();
            FARPROC address = resolver ? resolver(module, key, entry.byOrdinal, context) : nullptr;
            if (!address) address = k.getProcAddress(module, key);
            if (!address || !pe::WriteSlot(image, headers.is64, entry.slotRva, reinterpret_cast<uintptr_t>(address))) {
                FreeLibraries(k, loaded);
                return false;
            }
        }
    }
    return true;
}

// x86-64 code finds its unwind data only through a registered function table; without it an exception
// thrown inside the DLL could not unwind. 32-bit images carry no such table.
bool RegisterUnwindTable(std::span<uint8_t> image, const pe::Headers& headers, bool add) {
#if defined(_WIN64)
    const pe::DataDirectory dir = headers.Dir(pe::kExceptionDir);
    if (dir.size < sizeof(RUNTIME_FUNCTION) || dir.rva > image.size() || dir.size > image.size() - dir.rva) return true;
    auto* table = reinterpret_cast<RUNTIME_FUNCTION*>(image.data() + dir.rva);
    if (!add) return RtlDeleteFunctionTable(table);
    return RtlAddFunctionTable(table, dir.size / sizeof(RUNTIME_FUNCTION), reinterpret_cast<DWORD64>(image.data()));
#else
    (void)image;
    (void)headers;
    (void)add;
    return true;
#endif
}

bool IsDllWithEntry(const pe::Headers& headers) {
    return (headers.characteristics & pe::kCharDll) && headers.entryPoint != 0;
}

DllEntry EntryOf(std::span<uint8_t> image, const pe::Headers& headers) {
    return reinterpret_cast<DllEntry>(image.data() + headers.entryPoint);
}

}  // namespace

void* FindKernel32() { return FindLoadedModule("kernel32.dll"); }

FARPROC GetExportAddress(void* module, const char* nameOrOrdinal) { return ExportOf(module, nameOrOrdinal, 0); }

FARPROC GetMemoryProcAddress(void* module, const char* nameOrOrdinal) {
    return GetExportAddress(module, nameOrOrdinal);
}

void* LoadLibraryFromMemory(const void* data, uint32_t size, ImportResolver resolver, void* context) {
    if (!data) return nullptr;
    const std::span<const uint8_t> file(static_cast<const uint8_t*>(data), size);
    auto headers = pe::ParseHeaders(file, kOwnMachine);
    if (!headers) return nullptr;
    Kernel32 k;
    if (!k.Find()) return nullptr;

    // One allocation for the whole image, at its preferred base when that is free.
    void* preferred = reinterpret_cast<void*>(static_cast<uintptr_t>(headers->imageBase));
    auto* base = static_cast<uint8_t*>(
        VirtualAlloc(preferred, headers->imageSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
    if (!base)
        base = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, headers->imageSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
    if (!base) return nullptr;
    const std::span<uint8_t> image(base, headers->imageSize);
    auto release = [&] {
        VirtualFree(base, 0, MEM_RELEASE);
        return nullptr;
    };

    pe::MapSections(file, *headers, image);
    const uint64_t delta = reinterpret_cast<uintptr_t>(base) - headers->imageBase;
    // An image moved away from its base without relocations would run with every absolute address wrong.
    if (delta != 0 && headers->Dir(pe::kRelocDir).size == 0) return release();
    if (!pe::ApplyRelocations(image, *headers, delta)) return release();

    std::vector<HMODULE> loaded;
    if (!BindImports(image, *headers, k, resolver, context, loaded)) return release();
    FlushInstructionCache(GetCurrentProcess(), base, headers->imageSize);
    RegisterUnwindTable(image, *headers, true);

    if (IsDllWithEntry(*headers)) {
        DllEntry entry = EntryOf(image, *headers);
        if (!entry(reinterpret_cast<HINSTANCE>(base), DLL_PROCESS_ATTACH, nullptr)) {
            entry(reinterpret_cast<HINSTANCE>(base), DLL_PROCESS_DETACH, nullptr);
            RegisterUnwindTable(image, *headers, false);
            FreeLibraries(k, loaded);
            return release();
        }
    }
    return base;
}

void FreeLibraryFromMemory(void* module) {
    pe::Headers headers;
    std::span<uint8_t> image = ImageOf(module, headers);
    if (image.empty()) return;
    if (IsDllWithEntry(headers)) EntryOf(image, headers)(static_cast<HINSTANCE>(module), DLL_PROCESS_DETACH, nullptr);
    RegisterUnwindTable(image, headers, false);
    // Nothing but the mapped headers records what was loaded: free each imported library by its name.
    Kernel32 k;
    auto imports = pe::ReadImports(image, headers);
    if (k.Find() && imports) {
        for (auto it = imports->rbegin(); it != imports->rend(); ++it) {
            if (HMODULE library = k.getModuleHandle(it->name.c_str())) k.freeLibrary(library);
        }
    }
    VirtualFree(module, 0, MEM_RELEASE);
}

}  // namespace kx
