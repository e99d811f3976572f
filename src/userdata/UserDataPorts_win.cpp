// The user-data ports on Win32: the registry under HKEY_CURRENT_USER, the shell's folders and folder
// browser, file queries, and folder copies through "Scripting.FileSystemObject".
#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>

#include "platform/Automation_win.h"
#include "platform/Handle_win.h"
#include "text/Wide_win.h"
#include "userdata/UserDataPorts_win.h"

namespace kx {
namespace {

// "Key\Sub\Value" into the key's path and the value's name.
void SplitValue(const std::string& keyAndValue, std::wstring& key, std::wstring& value) {
    size_t cut = keyAndValue.rfind('\\');
    key = Widen(cut == std::string::npos ? "" : keyAndValue.substr(0, cut));
    value = Widen(cut == std::string::npos ? keyAndValue : keyAndValue.substr(cut + 1));
}

class Registry final : public RegistryPort {
public:
    std::optional<std::string> ReadText(const std::string& keyAndValue) override {
        std::wstring keyPath, name;
        SplitValue(keyAndValue, keyPath, name);
        UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
            return std::nullopt;
        DWORD type = 0, bytes = 0;
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                             &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        text.resize(wcsnlen(text.c_str(), bytes / sizeof(wchar_t)));  // the stored text may lack its terminator
        if (type == REG_EXPAND_SZ) {
            DWORD need = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
            std::wstring expanded(need, L'\0');
            if (need && ExpandEnvironmentStringsW(text.c_str(), expanded.data(), need) == need) {
                expanded.resize(need - 1);
                text = expanded;
            }
        }
        return Narrow(text);
    }

    Outcome WriteText(const std::string& keyAndValue, const std::string& text) override {
        std::wstring keyPath, name;
        SplitValue(keyAndValue, keyPath, name);
        const std::string what = "写入注册表值 HKEY_CURRENT_USER\\" + keyAndValue + " 失败";
        UniqueRegKey key;
        // The registry calls answer their error instead of leaving it for GetLastError.
        LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                         key.put(), nullptr);
        if (status != ERROR_SUCCESS)
            return Outcome::Failed(what, Win32Error{static_cast<uint32_t>(status), "RegCreateKeyExW"});
        std::wstring value = Widen(text);
        DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        status =
            RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
        if (status != ERROR_SUCCESS)
            return Outcome::Failed(what, Win32Error{static_cast<uint32_t>(status), "RegSetValueExW"});
        return Outcome::Done();
    }
};

class ShellFolders final : public ShellFolderPort {
public:
    std::string FolderPath(int csidl) override {
        wchar_t path[MAX_PATH] = {};
        return SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) ? Narrow(path) : std::string();
    }
};

// OLE for the calling thread, released only when this call was the one that set it up.
class OleApartment {
public:
    OleApartment() : owned_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleApartment() {
        if (owned_) OleUninitialize();
    }
    OleApartment(const OleApartment&) = delete;
    OleApartment& operator=(const OleApartment&) = delete;
    bool owned() const { return owned_; }

private:
    bool owned_;
};

class FolderDialog final : public FolderDialogPort {
public:
    std::string BrowseForFolder(const std::string& title) override {
        // The resizable dialog needs OLE on this thread; where the thread already chose another model the
        // classic dialog still works.
        OleApartment ole;
        std::wstring caption = Widen(title);
        BROWSEINFOW info{};
        info.hwndOwner = GetActiveWindow();
        info.lpszTitle = caption.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | (ole.owned() ? BIF_NEWDIALOGSTYLE : 0);
        LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
        if (!chosen) return {};
        wchar_t path[MAX_PATH] = {};
        bool named = SHGetPathFromIDListW(chosen, path);
        CoTaskMemFree(chosen);
        return named ? Narrow(path) : std::string();
    }
};

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Widen(path).c_str()); }

class FileSystem final : public FileSystemPort {
public:
    bool FolderExists(const std::string& path) override {
        DWORD a = Attributes(path);
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }

    bool FileExists(const std::string& path) override {
        DWORD a = Attributes(path);
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::vector<std::string> Subfolders(const std::string& folder) override {
        std::vector<std::string> names;
        std::wstring pattern = Widen(folder.ends_with('\\') ? folder + "*.*" : folder + "\\*.*");
        WIN32_FIND_DATAW found;
        UniqueFind find(FindFirstFileW(pattern.c_str(), &found));
        if (!find) return names;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.push_back(Narrow(found.cFileName));
        } while (FindNextFileW(find.get(), &found));
        return names;
    }

    // Folder by folder from the top, so that it works the same for "D:\a\b", "\\server\share\a" and
    // relative paths; a part that exists already is passed over.
    Outcome CreateFolders(const std::string& path) override {
        const std::string what = "创建文件夹 " + path + " 失败";
        std::wstring wide = Widen(path);
        while (!wide.empty() && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
        if (wide.empty()) return Outcome::Failed(what, Win32Error{ERROR_INVALID_NAME, "CreateDirectoryW"});
        size_t from = 0;
        if (wide.starts_with(L"\\\\")) {  // \\server\share is not a folder to create
            size_t server = wide.find(L'\\', 2);
            from = server == std::wstring::npos ? wide.size() : wide.find(L'\\', server + 1);
            if (from == std::wstring::npos) from = wide.size();
        }
        // The error kept is that of the first level that could not be made; the levels above an existing
        // one answer "already exists", which is no failure.
        DWORD firstError = ERROR_SUCCESS;
        for (size_t at = from; at != std::wstring::npos;) {
            at = wide.find_first_of(L"\\/", at + 1);
            std::wstring part = wide.substr(0, at);
            if (part.size() == 2 && part[1] == L':') continue;  // a drive
            if (!CreateDirectoryW(part.c_str(), nullptr) && firstError == ERROR_SUCCESS &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                firstError = GetLastError();
        }
        DWORD a = GetFileAttributesW(wide.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return Outcome::Done();
        // A file of that name answers "already exists" at the last level; it is still not a folder.
        if (firstError == ERROR_SUCCESS) firstError = ERROR_DIRECTORY;
        return Outcome::Failed(what, Win32Error{firstError, "CreateDirectoryW"});
    }

    Outcome CopyFolder(const std::string& source, const std::string& destination) override {
        const std::string what = "把 " + source + " 复制到 " + destination + " 失败";
        ComApartment com;
        ComPtr<IDispatch> fso = CreateAutomationObject(L"Scripting.FileSystemObject");
        if (!fso)
            return Outcome::Failed(
                what, Win32Error{static_cast<uint32_t>(REGDB_E_CLASSNOTREG), "Scripting.FileSystemObject"});
        VARIANT args[3];
        for (auto& a : args) VariantInit(&a);
        SetString(&args[0], Widen(source));
        SetString(&args[1], Widen(destination));
        SetBool(&args[2], true);  // overwrite files that exist
        Variant result;
        HRESULT hr = CallMethod(fso.get(), L"CopyFolder", args, 3, result.get());
        for (auto& a : args) VariantClear(&a);
        if (FAILED(hr)) return Outcome::Failed(what, Win32Error{static_cast<uint32_t>(hr), "CopyFolder"});
        return Outcome::Done();
    }
};

struct WindowsUserData final : OwnedUserDataPorts {
    Registry registry;
    ShellFolders shellFolders;
    FolderDialog folderDialog;
    FileSystem files;
    ZipComponent archives;
};

}  // namespace

std::unique_ptr<OwnedUserDataPorts> MakeUserDataPorts() {
    auto owned = std::make_unique<WindowsUserData>();
    owned->ports =
        UserDataPorts{&owned->registry, &owned->shellFolders, &owned->folderDialog, &owned->files, &owned->archives};
    return owned;
}

}  // namespace kx
