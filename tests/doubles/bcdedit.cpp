// Stands in for bcdedit in the tests: keeps a small boot store in a file, answers the commands that
// Korvanix runs (listing, /create ... /application bootsector, /set ID device|path, /displayorder ID
// /addlast, /bootsequence ID, /default ID, /timeout N, /delete ID, /deletevalue {bootmgr} timeout) in the
// formats of Chinese or English Windows 7, and logs every command line it received. As the real tool's
// /delete (which cleans up by default), a deleted entry leaves the display order, the boot sequence and the
// default too; a store without a time-out lists none.
//
// The store is KORVANIX_BCDEDIT_STORE, else bcdedit-store.txt beside this program (created on first
// use with the running Windows as the only entry). The log is KORVANIX_BCDEDIT_LOG, else bcdedit.log
// beside it. KORVANIX_BCDEDIT_LANG=en answers in English; the default is Chinese. Output goes out in
// the OEM code page, as the real tool's does.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[2048];
    DWORD n = GetEnvironmentVariableW(name, buffer, 2048);
    return n > 0 && n < 2048 ? std::wstring(buffer, n) : std::wstring();
}

std::wstring Beside(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1) + name;
}

std::string ToUtf8(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring FromUtf8(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string ReadText(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

void WriteText(const std::wstring& path, const std::string& text, bool append) {
    HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void Print(const std::string& utf8) {
    const std::wstring wide = FromUtf8(utf8);
    const UINT cp = GetOEMCP();
    int n = WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(n, '\0');
    WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

struct Entry {
    std::string id, description, device, path;
};

// One setting a line: "timeout 30" ("timeout " for none), "default {id}", "bootsequence {id}",
// "display {id}", "entry {id}\tdescription\tdevice\tpath". A new entry takes the lowest number no entry
// has, so a store whose entries were all deleted again is the same file as before.
struct Store {
    std::string timeout = "30", defaultId = "{current}", bootSequence;
    std::vector<std::string> displayOrder{"{current}"};
    std::vector<Entry> entries;

    void Load(const std::string& text) {
        bool sawDisplay = false;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(start, end - start);
            start = end + 1;
            const size_t space = line.find(' ');
            if (space == std::string::npos) continue;
            const std::string key = line.substr(0, space), value = line.substr(space + 1);
            if (key == "timeout") timeout = value;
            if (key == "default") defaultId = value;
            if (key == "bootsequence") bootSequence = value;
            if (key == "display") {
                if (!sawDisplay) displayOrder.clear();
                sawDisplay = true;
                displayOrder.push_back(value);
            }
            if (key == "entry") {
                Entry e;
                std::vector<std::string> parts;
                size_t from = 0;
                for (size_t tab; (tab = value.find('\t', from)) != std::string::npos; from = tab + 1)
                    parts.push_back(value.substr(from, tab - from));
                parts.push_back(value.substr(from));
                parts.resize(4);
                entries.push_back({parts[0], parts[1], parts[2], parts[3]});
            }
        }
    }

    std::string Save() const {
        std::string out = "timeout " + timeout + "\ndefault " + defaultId + "\n";
        if (!bootSequence.empty()) out += "bootsequence " + bootSequence + "\n";
        for (const std::string& id : displayOrder) out += "display " + id + "\n";
        for (const Entry& e : entries)
            out += "entry " + e.id + "\t" + e.description + "\t" + e.device + "\t" + e.path + "\n";
        return out;
    }

    Entry* Find(const std::string& id) {
        for (Entry& e : entries)
            if (e.id == id) return &e;
        return nullptr;
    }
    bool Known(const std::string& id) { return id == "{current}" || Find(id) != nullptr; }
    std::string NewIdentifier() {
        for (int n = 1;; ++n) {
            char id[64];
            std::snprintf(id, sizeof id, "{4b52564e-0000-4000-8000-%012d}", n);
            if (!Find(id)) return id;
        }
    }
    void Delete(const std::string& id) {
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].id == id) entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        for (size_t i = displayOrder.size(); i-- > 0;)
            if (displayOrder[i] == id) displayOrder.erase(displayOrder.begin() + static_cast<std::ptrdiff_t>(i));
        if (bootSequence == id) bootSequence.clear();
        if (defaultId == id) defaultId = "{current}";
    }
};

std::string Field(const std::string& name, const std::string& value) {
    std::string line = name;
    // bcdedit pads the names to 24 columns; a Chinese name is two columns a character.
    size_t columns = 0;
    for (unsigned char c : name) columns += (c & 0xC0) != 0x80 ? ((c >= 0xE0) ? 2 : 1) : 0;
    line.append(columns < 24 ? 24 - columns : 1, ' ');
    return line + value + "\r\n";
}

std::string Listing(const Store& store, bool chinese) {
    const std::string identifier = chinese ? "标识符" : "identifier";
    std::string out;
    out += chinese ? "\r\nWindows 启动管理器\r\n--------------------\r\n"
                   : "\r\nWindows Boot Manager\r\n--------------------\r\n";
    out += Field(identifier, "{bootmgr}");
    out += Field("device", "partition=C:");
    out += Field("description", "Windows Boot Manager");
    out += Field("locale", chinese ? "zh-CN" : "en-US");
    out += Field("default", store.defaultId);
    if (!store.bootSequence.empty()) out += Field("bootsequence", store.bootSequence);
    for (size_t i = 0; i < store.displayOrder.size(); ++i)
        out += Field(i == 0 ? "displayorder" : "", store.displayOrder[i]);
    out += Field("toolsdisplayorder", "{memdiag}");
    if (!store.timeout.empty()) out += Field("timeout", store.timeout);
    out += chinese ? "\r\nWindows 启动加载器\r\n-------------------\r\n"
                   : "\r\nWindows Boot Loader\r\n-------------------\r\n";
    out += Field(identifier, "{current}");
    out += Field("device", "partition=C:");
    out += Field("path", "\\Windows\\system32\\winload.exe");
    out += Field("description", "Windows 7");
    out += Field("locale", chinese ? "zh-CN" : "en-US");
    out += Field("osdevice", "partition=C:");
    out += Field("systemroot", "\\Windows");
    for (const Entry& e : store.entries) {
        out += chinese ? "\r\n实模式启动扇区\r\n---------------------\r\n"
                       : "\r\nReal-mode Boot Sector\r\n---------------------\r\n";
        out += Field(identifier, e.id);
        if (!e.device.empty()) out += Field("device", e.device);
        if (!e.path.empty()) out += Field("path", e.path);
        out += Field("description", e.description);
    }
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));

    std::wstring storePath = Environment(L"KORVANIX_BCDEDIT_STORE");
    if (storePath.empty()) storePath = Beside(L"bcdedit-store.txt");
    std::wstring logPath = Environment(L"KORVANIX_BCDEDIT_LOG");
    if (logPath.empty()) logPath = Beside(L"bcdedit.log");
    const bool chinese = Environment(L"KORVANIX_BCDEDIT_LANG") != L"en";

    std::string logged = "bcdedit";
    for (const std::string& a : args) logged += " " + a;
    WriteText(logPath, logged + "\n", true);

    Store store;
    store.Load(ReadText(storePath));
    const std::string ok = chinese ? "操作成功完成。\r\n" : "The operation completed successfully.\r\n";
    const std::string badId = chinese ? "指定的标识符无效。\r\n参数错误。\r\n"
                                      : "The specified identifier is not valid.\r\nThe parameter is incorrect.\r\n";
    const auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    };

    std::string answer;
    int status = 0;
    const std::string verb = args.empty() ? "" : lower(args[0]);
    if (args.empty() || verb == "/enum") {
        answer = Listing(store, chinese);
    } else if (verb == "/create" && args.size() >= 5 && lower(args[1]) == "/d" && lower(args[3]) == "/application") {
        const std::string id = store.NewIdentifier();
        store.entries.push_back({id, args[2], "", ""});
        answer = chinese ? "已成功创建该项 " + id + "。\r\n" : "The entry " + id + " was successfully created.\r\n";
    } else if (verb == "/set" && args.size() >= 4 && store.Find(args[1])) {
        Entry& e = *store.Find(args[1]);
        (lower(args[2]) == "device" ? e.device : e.path) = args[3];
        answer = ok;
    } else if (verb == "/displayorder" && args.size() >= 3 && store.Known(args[1])) {
        store.displayOrder.push_back(args[1]);
        answer = ok;
    } else if (verb == "/bootsequence" && args.size() >= 2 && store.Known(args[1])) {
        store.bootSequence = args[1];
        answer = ok;
    } else if (verb == "/default" && args.size() >= 2 && store.Known(args[1])) {
        store.defaultId = args[1];
        answer = ok;
    } else if (verb == "/timeout" && args.size() == 2 && !args[1].empty() &&
               args[1].find_first_not_of("0123456789") == std::string::npos) {
        store.timeout = args[1];
        answer = ok;
    } else if (verb == "/delete" && args.size() == 2 && store.Find(args[1])) {
        store.Delete(args[1]);
        answer = ok;
    } else if (verb == "/deletevalue" && args.size() == 3 && lower(args[1]) == "{bootmgr}" &&
               lower(args[2]) == "timeout") {
        if (store.timeout.empty()) {
            answer = chinese ? "删除指定的数据元素时出错。\r\n找不到元素。\r\n"
                             : "An error occurred while attempting to delete the specified data element.\r\n"
                               "Element not found.\r\n";
            status = 1;
        } else {
            store.timeout.clear();
            answer = ok;
        }
    } else {
        answer = badId;
        status = 1;
    }
    WriteText(storePath, store.Save(), false);
    Print(answer);
    return status;
}
