#include <windows.h>

#include "disk/DiskPorts_win.h"
#include "platform/Automation_win.h"
#include "platform/Handle_win.h"
#include "platform/LastError_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

std::wstring Root(char letter) { return {static_cast<wchar_t>(letter), L':', L'\\'}; }

// An empty card reader or CD drive must not bring up the system's "no disk" box while the lists fill.
class NoCriticalErrorBoxes {
public:
    NoCriticalErrorBoxes() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {
        SetErrorMode(previous_ | SEM_FAILCRITICALERRORS);
    }
    ~NoCriticalErrorBoxes() { SetErrorMode(previous_); }
    NoCriticalErrorBoxes(const NoCriticalErrorBoxes&) = delete;
    NoCriticalErrorBoxes& operator=(const NoCriticalErrorBoxes&) = delete;

private:
    UINT previous_;
};

}  // namespace

std::string WindowsDrives::WindowsDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT n = GetWindowsDirectoryW(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? Narrow(buffer) : std::string();
}

int WindowsDrives::DriveType(char letter) {
    NoCriticalErrorBoxes guard;
    return static_cast<int>(GetDriveTypeW(Root(letter).c_str()));
}

VolumeFacts WindowsDrives::Volume(char letter) {
    NoCriticalErrorBoxes guard;
    wchar_t label[256] = {}, fileSystem[256] = {};
    VolumeFacts facts;
    facts.ok =
        GetVolumeInformationW(Root(letter).c_str(), label, 255, nullptr, nullptr, nullptr, fileSystem, 255) != FALSE;
    if (facts.ok) {
        facts.label = Narrow(label);
        facts.fileSystem = Narrow(fileSystem);
    }
    return facts;
}

SpaceFacts WindowsDrives::Space(char letter) {
    NoCriticalErrorBoxes guard;
    ULARGE_INTEGER available{}, total{}, free{};
    SpaceFacts facts;
    facts.ok = GetDiskFreeSpaceExW(Root(letter).c_str(), &available, &total, &free) != FALSE;
    if (facts.ok) {
        facts.availableToCaller = available.QuadPart;
        facts.total = total.QuadPart;
        facts.totalFree = free.QuadPart;
    }
    return facts;
}

Result<int> WindowsDrives::CountPhysicalDisks() {
    constexpr const char* kWhat = "WMI 没有回答有几块硬盘";
    auto failed = [](HRESULT hr, const char* call) {
        return Outcome::Failed(kWhat, Win32Error{static_cast<uint32_t>(hr), call});
    };
    ComApartment apartment;
    ComPtr<IDispatch> locator = CreateAutomationObject(L"WbemScripting.SWbemLocator");
    if (!locator) return Outcome::Failed(kWhat + std::string("（无法创建 WbemScripting.SWbemLocator）"));
    Variant args[2], service, disks, count;
    SetString(args[0].get(), L".");
    SetString(args[1].get(), L"root\\CIMV2");
    VARIANT raw[2] = {*args[0], *args[1]};
    if (HRESULT hr = CallMethod(locator.get(), L"ConnectServer", raw, 2, service.get()); FAILED(hr))
        return failed(hr, "ConnectServer");
    ComPtr<IDispatch> wmi = DispatchOf(*service);
    Variant className;
    SetString(className.get(), L"Win32_DiskDrive");
    if (!wmi) return failed(E_NOINTERFACE, "ConnectServer");
    if (HRESULT hr = CallMethod(wmi.get(), L"InstancesOf", className.get(), 1, disks.get()); FAILED(hr))
        return failed(hr, "InstancesOf Win32_DiskDrive");
    ComPtr<IDispatch> collection = DispatchOf(*disks);
    if (!collection) return failed(E_NOINTERFACE, "InstancesOf Win32_DiskDrive");
    if (HRESULT hr = GetProperty(collection.get(), L"Count", count.get()); FAILED(hr)) return failed(hr, "Count");
    double n = NumberOf(*count);
    return n > 0 && n < 1000 ? static_cast<int>(n) : 0;
}

std::string WindowsDrives::NewScriptName() { return "kxdisk" + std::to_string(++scripts_) + ".txt"; }

Outcome WindowsDrives::WriteScript(const std::string& name, const std::string& bytes) {
    const std::string what = "无法写入 diskpart 脚本 " + name;
    UniqueFile file(
        CreateFileW(Widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError(what, "CreateFileW");
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return LastError(what, "WriteFile");
    if (written != bytes.size()) return Outcome::Failed(what + "（只写入了一部分）");
    if (!CloseHandle(file.release())) return LastError(what, "CloseHandle");
    return Outcome::Done();
}

void WindowsDrives::DeleteScript(const std::string& name) { DeleteFileW(Widen(name).c_str()); }

std::unique_ptr<SystemServicePorts> MakeSystemServicePorts() { return std::make_unique<SystemServicePorts>(); }

}  // namespace kx
