#include "pe/MemoryLibrary_win.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pe/PeImage.h"

namespace kx {
namespace {

// The test DLLs sit beside this program (tests/doubles/loader).
std::vector<uint8_t> TestDll(const char* name) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, n);
    file = file.substr(0, file.find_last_of(L"\\/") + 1) + std::wstring(name, name + strlen(name));
    std::ifstream in(file.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Environment(const char* name) {
    char value[64] = {0};
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n < sizeof value ? std::string(value, n) : std::string();
}

template <typename F>
F As(FARPROC address) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(address));
}

template <typename F>
F Export(void* module, unsigned ordinal) {
    return As<F>(GetMemoryProcAddress(module, MAKEINTRESOURCEA(ordinal)));
}

using IntFn = int(WINAPI*)();
using AddFn = int(WINAPI*)(int, int);

class MemoryLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        sample = TestDll("kx_sample.dll");
        ASSERT_GT(sample.size(), 1024u) << "kx_sample.dll is not beside the test program";
        headers = *pe::ParseHeaders(sample, 0);
    }
    std::vector<uint8_t> sample;
    pe::Headers headers;
};

TEST_F(MemoryLibrary, LoadsRunsTheEntryPointAndFindsExportsByOrdinalAndName) {
    void* module = LoadLibraryFromMemory(sample.data(), static_cast<uint32_t>(sample.size()));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Export<IntFn>(module, 4)(), 1) << "process attach ran once";
    EXPECT_EQ(Export<AddFn>(module, 1)(2, 3), 5);
    EXPECT_EQ(Export<IntFn>(module, 2)(), 42) << "an address in a table of absolute addresses";
    EXPECT_EQ(static_cast<DWORD>(Export<IntFn>(module, 3)()), GetCurrentProcessId()) << "a call through the imports";
    auto byName = As<AddFn>(GetMemoryProcAddress(module, "SampleAdd"));
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName(40, 2), 42);
    EXPECT_EQ(GetMemoryProcAddress(module, "sampleadd"), nullptr);
    EXPECT_EQ(GetMemoryProcAddress(module, MAKEINTRESOURCEA(5)), nullptr) << "one past the last ordinal";
    EXPECT_EQ(GetMemoryProcAddress(module, MAKEINTRESOURCEA(0)), nullptr);
    EXPECT_EQ(GetMemoryProcAddress(module, MAKEINTRESOURCEA(0xFFFF)), nullptr);
    EXPECT_EQ(GetMemoryProcAddress(nullptr, "SampleAdd"), nullptr);

    SetEnvironmentVariableA("KX_SAMPLE_DETACHED", nullptr);
    FreeLibraryFromMemory(module);
    EXPECT_EQ(Environment("KX_SAMPLE_DETACHED"), "1");
    // The whole reservation is gone: the address is no longer part of an allocation made at the image,
    // and the image's range can be reserved again. (32-bit Wine reports address space outside its own
    // areas as reserved, with an allocation base of its own, before the load as after it; Windows says
    // MEM_FREE.)
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_NE(VirtualQuery(module, &info, sizeof info), 0u);
    EXPECT_TRUE(info.State == MEM_FREE || info.AllocationBase != module)
        << "the image memory is still allocated: state " << info.State << ", allocation base "
        << info.AllocationBase;
    void* again = VirtualAlloc(module, headers.imageSize, MEM_RESERVE, PAGE_NOACCESS);
    EXPECT_EQ(again, module) << "the image's range could not be reserved again";
    if (again) VirtualFree(again, 0, MEM_RELEASE);
}

TEST_F(MemoryLibrary, WhenThePreferredBaseIsTakenTheImageIsRelocated) {
    void* preferred = reinterpret_cast<void*>(static_cast<uintptr_t>(headers.imageBase));
    void* squatter = VirtualAlloc(preferred, headers.imageSize, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_EQ(squatter, preferred) << "could not occupy the preferred base for the test";
    void* module = LoadLibraryFromMemory(sample.data(), static_cast<uint32_t>(sample.size()));
    VirtualFree(squatter, 0, MEM_RELEASE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(module, preferred);
    EXPECT_EQ(Export<IntFn>(module, 2)(), 42);
    EXPECT_EQ(Export<AddFn>(module, 1)(-1, 1), 0);
    FreeLibraryFromMemory(module);

    // With the base free again, the image goes there and a delta of 0 changes nothing.
    module = LoadLibraryFromMemory(sample.data(), static_cast<uint32_t>(sample.size()));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module, preferred);
    EXPECT_EQ(Export<IntFn>(module, 2)(), 42);
    FreeLibraryFromMemory(module);
}

TEST_F(MemoryLibrary, RefusesDataThatIsNotAnImageOfThisProcess) {
    EXPECT_EQ(LoadLibraryFromMemory(nullptr, 100), nullptr);
    EXPECT_EQ(LoadLibraryFromMemory(sample.data(), 63), nullptr);
    EXPECT_EQ(LoadLibraryFromMemory(sample.data(), static_cast<uint32_t>(sample.size() / 2)), nullptr)
        << "sections beyond the data";
    std::vector<uint8_t> bad = sample;
    bad[0] = 'N';
    EXPECT_EQ(LoadLibraryFromMemory(bad.data(), static_cast<uint32_t>(bad.size())), nullptr);
    // The other machine: a 64-bit image in the 32-bit program, a 32-bit one in the 64-bit build.
    bad = sample;
    const uint16_t other = headers.is64 ? pe::kMachineI386 : pe::kMachineAmd64;
    uint32_t nt = 0;
    memcpy(&nt, bad.data() + 0x3C, 4);
    memcpy(bad.data() + nt + 4, &other, 2);
    EXPECT_EQ(LoadLibraryFromMemory(bad.data(), static_cast<uint32_t>(bad.size())), nullptr);
    // Relocations that point outside the image.
    bad = sample;
    const pe::DataDirectory reloc = headers.Dir(pe::kRelocDir);
    ASSERT_NE(reloc.size, 0u) << "the sample must carry relocations";
    for (const auto& s : headers.sections) {
        if (reloc.rva >= s.virtualAddress && reloc.rva < s.virtualAddress + s.rawSize) {
            const uint32_t huge = 0x7FFFF000;
            memcpy(bad.data() + s.rawOffset + (reloc.rva - s.virtualAddress), &huge, 4);
        }
    }
    EXPECT_EQ(LoadLibraryFromMemory(bad.data(), static_cast<uint32_t>(bad.size())), nullptr);
}

TEST(MemoryLibraryEntry, AnEntryPointRefusingAttachIsDetachedAndTheLoadFails) {
    std::vector<uint8_t> dll = TestDll("kx_refuse.dll");
    ASSERT_FALSE(dll.empty());
    SetEnvironmentVariableA("KX_REFUSE_CALLS", nullptr);
    EXPECT_EQ(LoadLibraryFromMemory(dll.data(), static_cast<uint32_t>(dll.size())), nullptr);
    EXPECT_EQ(Environment("KX_REFUSE_CALLS"), "10") << "process attach, then process detach";
}

DWORD WINAPI Substitute() { return 7; }

FARPROC SupplyMissing(HMODULE library, const char* name, bool byOrdinal, void* context) {
    if (byOrdinal || strcmp(name, "KxNoSuchFunction") != 0) return nullptr;
    *static_cast<HMODULE*>(context) = library;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&Substitute));
}

TEST(MemoryLibraryImports, AnUnresolvableImportFreesItsLibrariesAndAResolverCanSupplyIt) {
    std::vector<uint8_t> dll = TestDll("kx_missing.dll");
    ASSERT_FALSE(dll.empty());
    ASSERT_EQ(GetModuleHandleW(L"msacm32.dll"), nullptr) << "the test needs msacm32.dll unloaded at first";
    EXPECT_EQ(LoadLibraryFromMemory(dll.data(), static_cast<uint32_t>(dll.size())), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"msacm32.dll"), nullptr) << "the library loaded for the import was freed";

    HMODULE askedWith = nullptr;
    void* module = LoadLibraryFromMemory(dll.data(), static_cast<uint32_t>(dll.size()), SupplyMissing, &askedWith);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(askedWith, GetModuleHandleW(L"msacm32.dll")) << "the resolver gets the library's handle";
    auto call = As<DWORD(WINAPI*)()>(GetMemoryProcAddress(module, "MissingCall"));
    if (!call) call = As<DWORD(WINAPI*)()>(GetMemoryProcAddress(module, "MissingCall@0"));
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call(), 7u);
    FreeLibraryFromMemory(module);
    EXPECT_EQ(GetModuleHandleW(L"msacm32.dll"), nullptr);
}

TEST(MemoryLibraryKernel32, IsFoundWithoutTheSystemLoader) {
    void* kernel32 = FindKernel32();
    ASSERT_EQ(kernel32, reinterpret_cast<void*>(GetModuleHandleW(L"kernel32.dll")));
    for (const char* name : {"LoadLibraryA", "FreeLibrary", "GetProcAddress", "GetModuleHandleA"})
        EXPECT_NE(GetExportAddress(kernel32, name), nullptr) << name;
    auto pid = As<DWORD(WINAPI*)()>(GetExportAddress(kernel32, "GetCurrentProcessId"));
    ASSERT_NE(pid, nullptr);
    EXPECT_EQ(pid(), GetCurrentProcessId());
    EXPECT_EQ(GetExportAddress(kernel32, "NoSuchExportAnywhere"), nullptr);
}

}  // namespace
}  // namespace kx
