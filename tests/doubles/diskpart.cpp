// Stands in for diskpart in the tests: answers "select disk N" / "detail disk" and "list volume",
// read from a script (/s FILE) or from standard input, with recorded outputs of real Chinese and
// English Windows, and logs what it was asked.
//
// The recorded outputs are UTF-8 files in one folder per case (disk0.txt, disk1.txt ..., nodisk.txt,
// volumes.txt); they are printed in the console's code page with CRLF line ends, as diskpart prints.
// The case folder comes from KORVANIX_DISKPART_CASE, else from the first line of diskpart-case.txt
// beside this program, else the build's default (the Chinese two-disk machine). The log goes to
// KORVANIX_DISKPART_LOG, else to diskpart.log beside it; each "detail disk" answered adds a line
// "asked: N@SCRIPT" (the disk index and the script file, "stdin" without one).
// KORVANIX_DISKPART_DELAY_MS makes every run wait that long before it answers (a slow machine);
// KORVANIX_DISKPART_HANG=1 makes it never answer (a tool that hangs), once it has logged what it was asked.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[2048];
    DWORD n = GetEnvironmentVariableW(name, buffer, 2048);
    return n > 0 && n < 2048 ? std::wstring(buffer, n) : std::wstring();
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

bool ReadAll(HANDLE file, std::string& bytes) {
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return true;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ReadAll(file, bytes);
    CloseHandle(file);
    return true;
}

std::wstring FromUtf8(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string ToCodePage(const std::wstring& w, UINT codePage) {
    int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

void Log(const std::string& utf8) {
    std::wstring path = Environment(L"KORVANIX_DISKPART_LOG");
    if (path.empty()) path = ProgramFolder() + L"diskpart.log";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring CaseFolder() {
    std::wstring folder = Environment(L"KORVANIX_DISKPART_CASE");
    if (folder.empty()) {
        std::string line;
        ReadFileBytes(ProgramFolder() + L"diskpart-case.txt", line);
        line = line.substr(0, line.find_first_of("\r\n"));
        folder = FromUtf8(line);
    }
#ifdef KX_DEFAULT_CASE
    if (folder.empty()) folder = FromUtf8(KX_DEFAULT_CASE);
#endif
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

// Prints a recorded output; false when the case has no such file.
bool Print(const std::wstring& name) {
    std::string utf8;
    if (!ReadFileBytes(CaseFolder() + name, utf8)) return false;
    std::string text;
    for (char c : utf8) {
        if (c == '\n' && (text.empty() || text.back() != '\r')) text += '\r';
        text += c;
    }
    std::string bytes = ToCodePage(FromUtf8(text), GetConsoleOutputCP() ? GetConsoleOutputCP() : GetOEMCP());
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return true;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring commandLine = GetCommandLineW();
    Log("args: " + ToCodePage(commandLine, CP_UTF8) + "\n");
    std::string script, source = "stdin";
    bool fromFile = false;
    for (int i = 1; i + 1 < argc; ++i) {
        if (_wcsicmp(argv[i], L"/s") == 0) {
            fromFile = true;
            source = ToCodePage(argv[i + 1], CP_UTF8);
            if (!ReadFileBytes(argv[i + 1], script)) {
                Print(L"noscript.txt");
                Log("script: (cannot be read)\n");
                return 1;
            }
        }
    }
    if (!fromFile) ReadAll(GetStdHandle(STD_INPUT_HANDLE), script);
    Log(std::string(fromFile ? "script: " : "stdin: ") + script + "\n");
    if (Environment(L"KORVANIX_DISKPART_HANG") == L"1") Sleep(INFINITE);
    if (int delay = _wtoi(Environment(L"KORVANIX_DISKPART_DELAY_MS").c_str()); delay > 0) Sleep(delay);

    int disk = -1;
    size_t start = 0;
    while (start < script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string::npos) end = script.size();
        std::string line = Lower(script.substr(start, end - start));
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.rfind("select disk ", 0) == 0) {
            disk = std::atoi(line.c_str() + 12);
        } else if (line == "detail disk") {
            Log("asked: " + std::to_string(disk) + "@" + source + "\n");
            if (disk < 0 || !Print(L"disk" + std::to_wstring(disk) + L".txt")) Print(L"nodisk.txt");
        } else if (line == "list volume") {
            Print(L"volumes.txt");
        }
    }
    return 0;
}
