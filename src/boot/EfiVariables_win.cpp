#include "boot/EfiVariables_win.h"

#include <windows.h>

#include <vector>

#include "platform/Handle_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

// Both calls taken by name: the program starts on every Windows it supports, whatever its kernel32
// exports, and only a UEFI machine asks for them.
using GetVariableFn = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, PVOID, DWORD);
using SetVariableFn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, PVOID, DWORD);

const wchar_t* const kGlobalGuid = L"{8BE4DF61-93CA-11D2-AA0D-00E098032B8C}";

class FirmwareVariables : public EfiVariablePort {
public:
    FirmwareVariables() {
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        get_ = kernel ? reinterpret_cast<GetVariableFn>(
                            reinterpret_cast<void*>(GetProcAddress(kernel, "GetFirmwareEnvironmentVariableW")))
                      : nullptr;
        set_ = kernel ? reinterpret_cast<SetVariableFn>(
                            reinterpret_cast<void*>(GetProcAddress(kernel, "SetFirmwareEnvironmentVariableW")))
                      : nullptr;
    }

    Result<std::optional<std::string>> Read(const std::string& name) override {
        if (Outcome ready = Ready(); !ready) return ready;
        std::vector<char> buffer(4096);
        for (;;) {
            DWORD n = get_(Widen(name).c_str(), kGlobalGuid, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n > 0) return std::optional<std::string>(std::string(buffer.data(), n));
            const DWORD error = GetLastError();
            if (error == ERROR_ENVVAR_NOT_FOUND) return std::optional<std::string>();
            if (error == ERROR_INSUFFICIENT_BUFFER && buffer.size() < 65536) {
                buffer.resize(buffer.size() * 4);
                continue;
            }
            return Outcome::Failed("读取固件变量 " + name + " 失败", {error, "GetFirmwareEnvironmentVariableW"});
        }
    }

    Outcome Write(const std::string& name, std::string_view value) override {
        if (Outcome ready = Ready(); !ready) return ready;
        // Attributes travel with the value only from Windows 8 on (SetFirmwareEnvironmentVariableExW); the
        // plain call writes non-volatile, boot-service and run-time access, which is what Boot#### and
        // BootNext need (kEfiBootVariableAttributes).
        std::string bytes(value);
        if (!set_(Widen(name).c_str(), kGlobalGuid, bytes.empty() ? nullptr : bytes.data(),
                  static_cast<DWORD>(bytes.size())))
            return Outcome::Failed("写入固件变量 " + name + " 失败",
                                   {GetLastError(), "SetFirmwareEnvironmentVariableW"});
        return Outcome::Done();
    }

private:
    Outcome Ready() {
        if (!get_ || !set_)
            return Outcome::Failed("此版本的 Windows 不能读写固件变量", {ERROR_PROC_NOT_FOUND, "GetProcAddress"});
        if (privileged_) return Outcome::Done();
        UniqueKernelHandle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
            return Outcome::Failed("无法取得修改固件变量的权限", {GetLastError(), "OpenProcessToken"});
        TOKEN_PRIVILEGES tp{};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!LookupPrivilegeValueW(nullptr, L"SeSystemEnvironmentPrivilege", &tp.Privileges[0].Luid))
            return Outcome::Failed("无法取得修改固件变量的权限", {GetLastError(), "LookupPrivilegeValueW"});
        // AdjustTokenPrivileges succeeds even when it enabled nothing; only the last error tells.
        SetLastError(ERROR_SUCCESS);
        AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr);
        if (const DWORD error = GetLastError(); error != ERROR_SUCCESS)
            return Outcome::Failed("无法取得修改固件变量的权限", {error, "AdjustTokenPrivileges"});
        privileged_ = true;
        return Outcome::Done();
    }

    GetVariableFn get_ = nullptr;
    SetVariableFn set_ = nullptr;
    bool privileged_ = false;
};

// The test hook: one file a variable in a folder.
class FolderVariables : public EfiVariablePort {
public:
    explicit FolderVariables(std::wstring folder) : folder_(std::move(folder)) {}

    Result<std::optional<std::string>> Read(const std::string& name) override {
        UniqueFile file(CreateFileW(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND) return std::optional<std::string>();
            return Outcome::Failed("读取固件变量 " + name + " 失败", {error, "CreateFileW"});
        }
        std::string bytes(65536, '\0');
        DWORD n = 0;
        if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr))
            return Outcome::Failed("读取固件变量 " + name + " 失败", {GetLastError(), "ReadFile"});
        bytes.resize(n);
        return std::optional<std::string>(bytes);
    }

    Outcome Write(const std::string& name, std::string_view value) override {
        if (GetFileAttributesW((folder_ + L"\\REFUSE").c_str()) != INVALID_FILE_ATTRIBUTES)
            return Outcome::Failed("写入固件变量 " + name + " 失败",
                                   {ERROR_INVALID_FUNCTION, "SetFirmwareEnvironmentVariableW"});
        if (value.empty()) {
            if (DeleteFileW(Path(name).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return Outcome::Done();
            return Outcome::Failed("删除固件变量 " + name + " 失败", {GetLastError(), "DeleteFileW"});
        }
        UniqueFile file(
            CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), value.data(), static_cast<DWORD>(value.size()), &written, nullptr) ||
            written != value.size())
            return Outcome::Failed("写入固件变量 " + name + " 失败", {GetLastError(), "WriteFile"});
        return Outcome::Done();
    }

private:
    std::wstring Path(const std::string& name) const { return folder_ + L"\\" + Widen(name) + L"-" + kGlobalGuid; }
    std::wstring folder_;
};

}  // namespace

std::unique_ptr<EfiVariablePort> MakeEfiVariablePort() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"KORVANIX_EFI_VARS", folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return std::make_unique<FolderVariables>(std::wstring(folder, n));
    return std::make_unique<FirmwareVariables>();
}

}  // namespace kx
