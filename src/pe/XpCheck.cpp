#include "pe/XpCheck.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "pe/PeImage.h"
#include "text/Text.h"

namespace kx {
namespace {

// Functions that Windows XP SP3 (32-bit) does not export, by library. Every one of them appeared in Vista
// or later (a few in XP x64 or Server 2003 only, which is not the XP the program supports). The threads
// runtime imports GetTickCount64; the others are what a newer runtime or a careless call brings in.
struct PostXp {
    std::string_view library;
    std::string_view functions[40];
};

const PostXp kPostXp[] = {
    {"kernel32.dll",
     {"GetTickCount64",
      "InitializeSRWLock",
      "AcquireSRWLockExclusive",
      "AcquireSRWLockShared",
      "ReleaseSRWLockExclusive",
      "ReleaseSRWLockShared",
      "TryAcquireSRWLockExclusive",
      "TryAcquireSRWLockShared",
      "InitializeConditionVariable",
      "SleepConditionVariableCS",
      "SleepConditionVariableSRW",
      "WakeConditionVariable",
      "WakeAllConditionVariable",
      "InitOnceInitialize",
      "InitOnceExecuteOnce",
      "InitOnceBeginInitialize",
      "InitOnceComplete",
      "CreateSymbolicLinkA",
      "CreateSymbolicLinkW",
      "GetFileInformationByHandleEx",
      "SetFileInformationByHandle",
      "GetFinalPathNameByHandleA",
      "GetFinalPathNameByHandleW",
      "CompareStringEx",
      "LCMapStringEx",
      "GetLocaleInfoEx",
      "ResolveLocaleName",
      "GetUserDefaultLocaleName",
      "LocaleNameToLCID",
      "LCIDToLocaleName",
      "CreateEventExA",
      "CreateEventExW",
      "CreateMutexExA",
      "CreateMutexExW",
      "CreateSemaphoreExW",
      "CreateWaitableTimerExW",
      "FlsAlloc",
      "FlsFree",
      "FlsGetValue",
      "FlsSetValue"}},
    {"kernel32.dll",
     {"InterlockedCompareExchange64",
      "WaitOnAddress",
      "WakeByAddressSingle",
      "WakeByAddressAll",
      "GetSystemTimePreciseAsFileTime",
      "QueryFullProcessImageNameA",
      "QueryFullProcessImageNameW",
      "CancelIoEx",
      "CancelSynchronousIo",
      "GetQueuedCompletionStatusEx",
      "SetFileCompletionNotificationModes",
      "GetCurrentProcessorNumber",
      "GetThreadId",
      "GetProcessIdOfThread",
      "GetErrorMode",
      "SetThreadErrorMode",
      "CreateThreadpoolWork",
      "SubmitThreadpoolWork",
      "CloseThreadpoolWork",
      "TrySubmitThreadpoolCallback",
      "SetDefaultDllDirectories",
      "AddDllDirectory",
      "RemoveDllDirectory",
      "Wow64DisableWow64FsRedirection",
      "Wow64RevertWow64FsRedirection",
      "GetDynamicTimeZoneInformation",
      "InitializeCriticalSectionEx",
      "GetLogicalProcessorInformationEx",
      "GetNamedPipeClientProcessId"}},
    {"advapi32.dll",
     {"RegGetValueA", "RegGetValueW", "RegDeleteTreeA", "RegDeleteTreeW", "RegSetKeyValueW", "RegDeleteKeyExA",
      "RegDeleteKeyExW", "RegCopyTreeW", "RegLoadMUIStringW"}},
    {"user32.dll",
     {"ChangeWindowMessageFilter", "ChangeWindowMessageFilterEx", "SetProcessDPIAware", "IsProcessDPIAware",
      "GetWindowDisplayAffinity", "ShutdownBlockReasonCreate"}},
    {"shell32.dll", {"SHGetKnownFolderPath", "SHCreateItemFromParsingName", "SHGetStockIconInfo"}},
};

std::string SubsystemName(uint16_t subsystem) {
    if (subsystem == 2) return "windows";
    if (subsystem == 3) return "console";
    return std::to_string(subsystem);
}

}  // namespace

bool IsPostXpImport(const std::string& library, const std::string& function) {
    const std::string lib = AsciiLower(library);
    for (const PostXp& group : kPostXp) {
        if (group.library != lib) continue;
        for (std::string_view f : group.functions) {
            if (!f.empty() && f == function) return true;
        }
    }
    // The API-set libraries ("api-ms-win-core-...") exist from Windows 7 on.
    return lib.rfind("api-ms-win-", 0) == 0 || lib.rfind("ext-ms-win-", 0) == 0;
}

XpCheckReport CheckForXp(std::span<const uint8_t> file) {
    XpCheckReport report;
    auto headers = pe::ParseHeaders(file, 0);
    if (!headers) {
        report.problems.push_back("not a Windows executable or DLL this tool can read");
        return report;
    }
    report.parsed = true;
    report.machine = headers->is64 ? "amd64" : "i386";
    report.subsystem = SubsystemName(headers->subsystem);
    report.subsystemMajor = headers->subsystemMajor;
    report.subsystemMinor = headers->subsystemMinor;
    report.isDll = (headers->characteristics & pe::kCharDll) != 0;

    std::vector<uint8_t> image(headers->imageSize);
    pe::MapSections(file, *headers, image);
    constexpr uint32_t kManifestType = 24;
    report.hasManifest = pe::HasResourceType(image, *headers, kManifestType);

    if (report.subsystemMajor > 5 || (report.subsystemMajor == 5 && report.subsystemMinor > 1))
        report.problems.push_back("subsystem version " + std::to_string(report.subsystemMajor) + "." +
                                  (report.subsystemMinor < 10 ? "0" : "") + std::to_string(report.subsystemMinor) +
                                  " is above 5.01");
    if (!report.isDll && !report.hasManifest) report.problems.push_back("no application manifest");

    auto imports = pe::ReadImports(image, *headers);
    if (!imports) {
        report.problems.push_back("import table is malformed");
        return report;
    }
    for (const auto& library : *imports) {
        for (const auto& entry : library.entries) {
            if (!entry.byOrdinal && IsPostXpImport(library.name, entry.name))
                report.postXpImports.push_back(library.name + "!" + entry.name);
        }
    }
    for (const auto& import : report.postXpImports) report.problems.push_back("imports " + import);
    return report;
}

}  // namespace kx
