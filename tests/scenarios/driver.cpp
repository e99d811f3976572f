// Drives the real Korvanix.exe from outside, as a user would: reads a scenario (one command a line) and
// carries it out against the program's window, addressing controls by the names they carry as window
// properties. Exits 0 when every expectation held; otherwise prints what failed and exits 1.
//
//   start [ARGS...]              start the program (the exe given on the command line) and wait for its window
//   launch [ARGS...]             start the program without waiting for its window (a message box may come first)
//   wait-window                  wait (up to 30 s) for the program's main window
//   start-second [ARGS...]       start another instance and wait for it to end; its exit code is kept
//   expect-exit CODE             the last ended instance's exit code
//   expect-layout [NAME...]      every control's name, kind, parent, place, caption and visibility; the named
//                                controls are filled by the start-up workflows, so their captions are not compared
//   expect-windows N             how many main windows exist
//   minimise | expect-minimised yes|no | expect-foreground
//   click NAME                   a click on a button (or check box)
//   select-page NAME INDEX       a click on a page control's tab
//   click-item NAME INDEX        a click on a list box's item
//   expect-text NAME TEXT...     a control's text ("" for the empty text)
//   expect-visible NAME yes|no
//   expect-rows NAME CELLS...    a list view's rows, each given as its cells joined by '|' (columns 0, 1, ...)
//   expect-selection NAME INDEX
//   wait-selection NAME INDEX    wait (up to 20 s) until a list view's selected row is INDEX
//   wait-text NAME TEXT...       wait (up to 20 s) until the control shows TEXT
//   wait-rows NAME COUNT         wait (up to 20 s) until a list view has COUNT rows
//   sleep MS
//   screenshot FILE.bmp          the window as it is on the screen
//   close                        the close button; waits for the process to end
//   close-within MS              the close button; the process must end within MS milliseconds
//   set-text NAME TEXT...        types a text into an edit box (replacing what it held)
//   expect-no-program            no process of the program's file is left running
//   wait-log FILE COUNT TEXT...  wait (up to 20 s) until FILE (a server's request log) has COUNT lines holding TEXT
//   expect-log FILE COUNT TEXT...  FILE has exactly COUNT lines holding TEXT
//   expect-log-sequence FILE MARK WORD...  the word after MARK in each line of FILE holding MARK, in order
//   expect-enabled NAME yes|no   whether the control takes input
//   expect-no-process FILE.exe   no process of that file name is left running (a tool the program ended)
// %NAME% in a line is replaced by the environment variable NAME (the runner passes server ports this way).
//   expect-message TITLE TEXT... wait (up to 20 s) for a message box of the program; its title and text
//   answer BUTTON                press a button of the program's message box and wait until it is gone:
//                                是/否/取消/确定 or Yes/No/Cancel/OK (found by their ids, whatever the language)
//   expect-box-holding TEXT...   wait (up to 20 s) for a message box of the program whose text holds TEXT (a
//                                question of several lines, a title with blanks)
//   click-async NAME             a click on a button whose handler asks a question: the driver goes on at once
//   expect-items NAME ITEMS...   wait (up to 20 s) until a list box's items are these, each given as one word
//   choose ITEM...               in the program's list question (a dialog with a list box), a click on the item
//                                whose text is ITEM, then on 确定; the driver waits until the dialog is gone
//   choose-index INDEX           the same for the item at INDEX (0 the first)
//   screenshot-box FILE.bmp      the program's message box or question as it is on the screen
//   expect-file PATH TEXT...     wait (up to 20 s) until the file exists and holds TEXT (compared as bytes)
//   wait-limit MS                how long the wait-* commands and expect-message wait from here on (20 s at first)
//   wait-shown NAME yes|no       wait until the control is (or is no longer) on the screen, its page included
//   wait-other-text NAME TEXT... wait until the control shows something other than TEXT
//   wait-rise NAME               wait until the number the control's text starts with grows
//   expect-file-sha256 PATH HEX  the file's SHA-256; PATH "@NAME" is the text of control NAME
//   expect-file-contains PATH TEXT...  the file holds TEXT (in code page 936)
//   expect-file-lacks PATH TEXT...  the file exists and does not hold TEXT (compared as bytes)
//   expect-no-file PATH [SUFFIX] no file at PATH (with SUFFIX appended)
//   stopwatch | lap LABEL...     start a stopwatch; print "lap LABEL: N ms" since it started (for bench/)
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/Controls_win.h"
#include "app/Layout.h"
#include "download/Sha256.h"
#include "platform/Handle_win.h"
#include "platform/WindowMessages_win.h"
#include "text/Text.h"
#include "text/Wide_win.h"

using kx::ControlKind;
using kx::ControlSpec;
using kx::Narrow;
using kx::Widen;

namespace {

std::wstring gExe;
PROCESS_INFORMATION gProcess{};
DWORD gLastExit = 0xFFFFFFFF;
HWND gMain = nullptr;
int gFailures = 0;

void Fail(const std::string& what) {
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
    ++gFailures;
}

HWND FindMain() {
    const kx::WindowSpec& w = kx::MainWindowSpec();
    return FindWindowW(Widen(w.className).c_str(), Widen(w.title).c_str());
}

bool StartProcess(const std::string& args, PROCESS_INFORMATION& pi) {
    std::wstring line = L"\"" + gExe + L"\" " + Widen(args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    return CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi) != FALSE;
}

std::string NameOf(HWND hwnd) {
    auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(hwnd, kx::kNameProperty)));
    wchar_t name[256];
    if (!atom || !GlobalGetAtomNameW(atom, name, 256)) return {};
    return Narrow(name);
}

BOOL CALLBACK CollectNamed(HWND h, LPARAM lp) {
    std::string name = NameOf(h);
    if (!name.empty()) (*reinterpret_cast<std::map<std::string, HWND>*>(lp))[name] = h;
    return TRUE;
}

BOOL CALLBACK CountMainWindows(HWND h, LPARAM lp) {
    wchar_t cls[64];
    GetClassNameW(h, cls, 64);
    if (Widen(kx::MainWindowSpec().className) == cls) ++*reinterpret_cast<int*>(lp);
    return TRUE;
}

std::map<std::string, HWND> Controls() {
    std::map<std::string, HWND> found;
    EnumChildWindows(gMain, CollectNamed, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND Control(const std::string& name) {
    auto all = Controls();
    auto it = all.find(name);
    if (it == all.end()) {
        Fail("no control named " + name);
        return nullptr;
    }
    return it->second;
}

std::string TextOf(HWND h) {
    wchar_t buffer[4096];
    DWORD_PTR n = 0;
    SendMessageTimeoutW(h, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &n);
    return Narrow(std::wstring(buffer, n));
}

// A list view cell of another process: the item record and the text buffer live in its memory.
std::string CellOf(HWND list, int row, int column) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    kx::UniqueKernelHandle owner(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!owner) return {};
    HANDLE process = owner.get();
    const size_t textBytes = 1024 * sizeof(wchar_t);
    char* remote =
        static_cast<char*>(VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + textBytes, MEM_COMMIT, PAGE_READWRITE));
    if (!remote) return {};
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = 1024;
    item.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(LVITEMW));
    WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
    LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
    std::wstring text(1024, L'\0');
    ReadProcessMemory(process, remote + sizeof(LVITEMW), text.data(), textBytes, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    text.resize(n > 0 && n < 1024 ? n : 0);
    return Narrow(text);
}

RECT PlaceOf(HWND h, HWND relativeTo) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, relativeTo, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// `exceptions`: the controls whose caption the start fills, and, marked "+name", those the start shows though
// the layout hides them.
void ExpectLayout(const std::vector<std::string>& exceptions) {
    std::vector<std::string> filledAtStart, shownAtStart;
    for (const std::string& e : exceptions)
        (e.starts_with("+") ? shownAtStart : filledAtStart).push_back(e.starts_with("+") ? e.substr(1) : e);
    auto all = Controls();
    for (const ControlSpec& spec : kx::MainLayout()) {
        std::string name = spec.name;
        auto it = all.find(name);
        if (it == all.end()) {
            Fail("missing control " + name);
            continue;
        }
        HWND h = it->second;
        auto kind = static_cast<int>(reinterpret_cast<UINT_PTR>(GetPropW(h, kx::kKindProperty))) - 1;
        if (kind != static_cast<int>(spec.kind))
            Fail(name + ": kind " + std::to_string(kind) + ", expected " + std::string(kx::KindName(spec.kind)));
        HWND parent = GetParent(h);
        std::string parentName = parent == gMain ? "" : NameOf(parent);
        if (parentName != spec.parent) Fail(name + ": parent '" + parentName + "', expected '" + spec.parent + "'");
        // Places are relative to the parent; a page's children are placed relative to its page control.
        const ControlSpec* parentSpec = *spec.parent ? kx::FindControl(spec.parent) : nullptr;
        HWND origin = parent;
        int tab = 0;
        if (spec.kind == ControlKind::Page) tab = kx::TabStripHeight(spec.parent);
        if (parentSpec && parentSpec->kind == ControlKind::Page) origin = GetParent(parent);
        RECT r = PlaceOf(h, origin);
        int expected[4] = {spec.x, spec.y + tab, spec.w, spec.h - tab};
        int actual[4] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
        for (int i = 0; i < 4; ++i) {
            if (actual[i] != expected[i]) {
                Fail(name + ": place " + std::to_string(actual[0]) + "," + std::to_string(actual[1]) + "," +
                     std::to_string(actual[2]) + "," + std::to_string(actual[3]) + ", expected " +
                     std::to_string(spec.x) + "," + std::to_string(spec.y) + "," + std::to_string(spec.w) + "," +
                     std::to_string(spec.h));
                break;
            }
        }
        std::string caption = TextOf(h);
        bool sitePage = spec.kind == ControlKind::WebView && spec.caption[0] == '/';
        bool filled = std::find(filledAtStart.begin(), filledAtStart.end(), name) != filledAtStart.end();
        if (!filled && (sitePage ? !caption.ends_with(spec.caption) : caption != spec.caption))
            Fail(name + ": caption '" + caption + "', expected '" + spec.caption + "'");
        bool visible = (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0;
        bool expectVisible =
            spec.visible || std::find(shownAtStart.begin(), shownAtStart.end(), name) != shownAtStart.end();
        if (spec.kind == ControlKind::Page) expectVisible = std::string(spec.name).ends_with("#0");
        if (spec.kind == ControlKind::Timer || spec.kind == ControlKind::FileDialog ||
            spec.kind == ControlKind::ZipComponent)
            expectVisible = false;
        if (visible != expectVisible) Fail(name + (visible ? ": visible" : ": hidden") + " at start");
        all.erase(it);
    }
    for (const auto& [name, h] : all) Fail("control not in the layout: " + name);
}

int LinesHolding(const std::string& file, const std::string& text) {
    std::ifstream in(file, std::ios::binary);
    int count = 0;
    for (std::string line; std::getline(in, line);) count += line.find(text) != std::string::npos;
    return count;
}
// How long the wait-* commands and message boxes are waited for; `wait-limit` changes it.
int gWaitMs = 20000;
DWORD gStopwatch = 0;

bool WaitFor(const std::function<bool()>& done, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 50) {
        if (done()) return true;
        Sleep(50);
    }
    return done();
}

void WaitForMainWindow() {
    WaitForInputIdle(gProcess.hProcess, 20000);
    // The window is shown once it is created with all its controls.
    if (!WaitFor([] { return (gMain = FindMain()) != nullptr && IsWindowVisible(gMain); }, 30000))
        Fail("no main window appeared");
}

// A message box of the program: a shown top-level dialog (class #32770) of the process this driver started.
struct BoxSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindBox(HWND h, LPARAM lp) {
    auto* search = reinterpret_cast<BoxSearch*>(lp);
    DWORD process = 0;
    GetWindowThreadProcessId(h, &process);
    wchar_t cls[16] = {};
    if (process != search->process || !IsWindowVisible(h) || !GetClassNameW(h, cls, 16) || wcscmp(cls, L"#32770"))
        return TRUE;
    search->found = h;
    return FALSE;
}

HWND WaitForMessageBox() {
    BoxSearch search{gProcess.dwProcessId, nullptr};
    WaitFor([&] { return EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search)), search.found != nullptr; }, gWaitMs);
    if (!search.found) Fail("no message box of the program appeared");
    return search.found;
}

// A message box's buttons carry the ids of the answers in every language.
int ButtonId(const std::string& name) {
    static const std::pair<const char*, int> kButtons[] = {{"是", IDYES},  {"Yes", IDYES},     {"否", IDNO},
                                                           {"No", IDNO},   {"取消", IDCANCEL}, {"Cancel", IDCANCEL},
                                                           {"确定", IDOK}, {"OK", IDOK}};
    for (const auto& [word, id] : kButtons)
        if (name == word) return id;
    return 0;
}

void ExpectMessage(const std::string& title, const std::string& text) {
    HWND box = WaitForMessageBox();
    if (!box) return;
    if (TextOf(box) != title) Fail("message box title '" + TextOf(box) + "', expected '" + title + "'");
    // The box shows its message in a static control of the id 0xFFFF (the icon is another static).
    HWND message = GetDlgItem(box, 0xFFFF);
    std::string shown = message ? TextOf(message) : std::string();
    if (shown != text) Fail("message box text '" + shown + "', expected '" + text + "'");
}

void ExpectBoxHolding(const std::string& text) {
    HWND box = WaitForMessageBox();
    if (!box) return;
    HWND message = GetDlgItem(box, 0xFFFF);
    std::string shown = message ? TextOf(message) : std::string();
    if (shown.find(text) == std::string::npos)
        Fail("message box text '" + shown + "', expected it to hold '" + text + "'");
}

void Answer(const std::string& name) {
    int id = ButtonId(name);
    if (!id) return Fail("no such message box button: " + name);
    HWND box = WaitForMessageBox();
    if (!box) return;
    HWND button = GetDlgItem(box, id);
    if (!button) return Fail("the message box has no button " + name);
    // Posted as the button's own notification would be: the box ends with that answer.
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    if (!WaitFor([&] { return !IsWindow(box); }, 10000)) Fail("the message box stayed after " + name);
}

// A click on an item of the program's list question, then on its 确定: `text` names the item, or else `index`.
void Choose(const std::string* text, int index) {
    HWND box = WaitForMessageBox();
    if (!box) return;
    if (GetWindow(box, GW_OWNER) != gMain) Fail("the list question is not owned by the main window");
    HWND list = FindWindowExW(box, nullptr, L"ListBox", nullptr);
    if (!list) return Fail("the program's box has no list");
    const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    std::string items;
    for (int i = 0; text && i < count; ++i) {
        std::wstring item(static_cast<size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        if (Narrow(item.c_str()) == *text) index = i;
        items += (i ? "', '" : "'") + Narrow(item.c_str()) + (i + 1 == count ? "'" : "");
    }
    if (index < 0 || index >= count)
        return Fail("the list has no item " +
                    (text ? "'" + *text + "' (it has " + items + ")" : std::to_string(index)));
    SendMessageW(list, LB_SETTOPINDEX, index, 0);
    RECT item{};
    SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
    if (SendMessageW(list, LB_GETCURSEL, 0, 0) != index)
        return Fail("the click did not select item " + std::to_string(index));
    Answer("确定");
}

void Screenshot(const std::string& file, HWND window = gMain) {
    RECT r;
    GetWindowRect(window, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    kx::WindowDc screen(nullptr);
    kx::UniqueMemoryDc mem(CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    kx::UniqueBitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return Fail("cannot take a screenshot");
    kx::SelectObjectScope select(mem.get(), bitmap.get());
    BitBlt(mem.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD stride = (w * 3 + 3) & ~3u;
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof info.bmiHeader + stride * h), 0, 0,
                        static_cast<DWORD>(sizeof fh + sizeof info.bmiHeader)};
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&fh), sizeof fh);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), stride * h);
}

// Processes whose file name is `file` (the program's by default; started by this driver or not) that are
// still running.
int RunningPrograms(std::wstring file = {}) {
    if (file.empty()) file = gExe.substr(gExe.find_last_of(L"\\/") + 1);
    kx::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));  // INVALID_HANDLE_VALUE on failure
    if (!snapshot) return -1;
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        if (lstrcmpiW(entry.szExeFile, file.c_str()) == 0) ++count;
    return count;
}

std::string ExpandVariables(const std::string& line) {
    std::wstring wide = Widen(line);
    std::wstring out(32768, L'\0');
    DWORD n = ExpandEnvironmentStringsW(wide.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (n == 0 || n > out.size()) return line;
    out.resize(n - 1);
    return Narrow(out);
}

std::string Joined(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
    return text == "\"\"" ? "" : text;
}

// The leading number of a text such as "1234 KB" or "56%"; -1 when it has none.
long long LeadingNumber(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return -1;
    return std::strtoll(text.c_str(), nullptr, 10);
}

// A path word: "@NAME" is the text of the control NAME, anything else the path itself; `suffix` is appended.
std::string PathOf(const std::string& word, const std::string& suffix) {
    if (word.size() > 1 && word[0] == '@') {
        HWND h = Control(word.substr(1));
        return (h ? TextOf(h) : std::string()) + suffix;
    }
    return word + suffix;
}

std::string FileBytes(const std::string& path, bool& found) {
    found = false;
    kx::UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    found = true;
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    return bytes;
}

std::string FileSha256(const std::string& path, bool& found) {
    found = false;
    kx::UniqueFile file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return {};
    found = true;
    std::vector<uint8_t> buffer(1 << 20);
    kx::Sha256 hash;
    DWORD read = 0;
    while (ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0)
        hash.Update(buffer.data(), read);
    return hash.HexDigest();
}

void Run(const std::vector<std::string>& w) {
    const std::string& cmd = w[0];
    if (cmd == "start" || cmd == "launch") {
        if (!StartProcess(Joined(w, 1), gProcess)) return Fail("cannot start the program");
        if (cmd == "start") WaitForMainWindow();
    } else if (cmd == "wait-window") {
        WaitForMainWindow();
    } else if (cmd == "expect-message") {
        ExpectMessage(w.at(1), Joined(w, 2));
    } else if (cmd == "answer") {
        Answer(w.at(1));
    } else if (cmd == "start-second") {
        PROCESS_INFORMATION pi{};
        if (!StartProcess(Joined(w, 1), pi)) return Fail("cannot start a second instance");
        if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) Fail("the second instance did not end");
        GetExitCodeProcess(pi.hProcess, &gLastExit);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    } else if (cmd == "expect-exit") {
        if (gLastExit != static_cast<DWORD>(std::stoul(w.at(1))))
            Fail("exit code " + std::to_string(gLastExit) + ", expected " + w[1]);
    } else if (cmd == "expect-layout") {
        ExpectLayout(std::vector<std::string>(w.begin() + 1, w.end()));
    } else if (cmd == "expect-windows") {
        int count = 0;
        EnumWindows(CountMainWindows, reinterpret_cast<LPARAM>(&count));
        if (count != std::stoi(w.at(1))) Fail(std::to_string(count) + " main windows, expected " + w[1]);
    } else if (cmd == "minimise") {
        ShowWindow(gMain, SW_MINIMIZE);
        WaitFor([] { return IsIconic(gMain) != FALSE; }, 5000);
    } else if (cmd == "expect-minimised") {
        bool iconic = WaitFor([&] { return (IsIconic(gMain) != FALSE) == (w.at(1) == "yes"); }, 5000);
        if (!iconic) Fail(std::string("window ") + (IsIconic(gMain) ? "minimised" : "not minimised"));
    } else if (cmd == "expect-foreground") {
        if (!WaitFor([] { return GetForegroundWindow() == gMain; }, 5000)) Fail("the first window is not in front");
    } else if (cmd == "stopwatch") {
        gStopwatch = GetTickCount();
    } else if (cmd == "lap") {
        std::printf("lap %s: %lu ms\n", Joined(w, 1).c_str(), static_cast<unsigned long>(GetTickCount() - gStopwatch));
    } else if (cmd == "wait-limit") {
        gWaitMs = std::stoi(w.at(1));
    } else if (cmd == "wait-shown") {
        // Shown on the screen: the control and every window it sits in (a page of a page control).
        HWND h = Control(w.at(1));
        const bool wanted = w.at(2) == "yes";
        if (h && !WaitFor([&] { return (IsWindowVisible(h) != FALSE) == wanted; }, gWaitMs))
            Fail(w[1] + (wanted ? " is not shown" : " is still shown"));
    } else if (cmd == "wait-other-text") {
        HWND h = Control(w.at(1));
        std::string old = Joined(w, 2);
        if (h && !WaitFor([&] { return TextOf(h) != old; }, gWaitMs)) Fail(w[1] + ": still '" + old + "'");
    } else if (cmd == "wait-rise") {
        // The number the control shows grows (received bytes, percent).
        HWND h = Control(w.at(1));
        if (!h) return;
        const long long before = LeadingNumber(TextOf(h));
        if (!WaitFor([&] { return LeadingNumber(TextOf(h)) > before; }, gWaitMs))
            Fail(w[1] + ": '" + TextOf(h) + "' did not rise above " + std::to_string(before));
        else
            std::printf("  %s: %lld -> %s\n", w[1].c_str(), before, TextOf(h).c_str());
    } else if (cmd == "expect-file-sha256") {
        bool found = false;
        const std::string path = PathOf(w.at(1), "");
        const std::string digest = FileSha256(path, found);
        if (!found)
            Fail("no file " + path);
        else if (digest != w.at(2))
            Fail(path + ": SHA-256 " + digest + ", expected " + w[2]);
    } else if (cmd == "expect-file-contains") {
        // Byte-wise: a file in code page 936 is matched with the text in code page 936.
        bool found = false;
        const std::string bytes = FileBytes(PathOf(w.at(1), ""), found);
        const std::string wanted = kx::ToCodePage(Joined(w, 2), kx::kChineseCodePage);
        if (!found)
            Fail("no file " + w[1]);
        else if (bytes.find(wanted) == std::string::npos)
            Fail(w[1] + " does not hold '" + Joined(w, 2) + "'");
    } else if (cmd == "expect-file-lacks") {
        bool found = false;
        const std::string bytes = FileBytes(w.at(1), found);
        if (!found)
            Fail("no file " + w[1]);
        else if (bytes.find(Joined(w, 2)) != std::string::npos)
            Fail(w[1] + " holds '" + Joined(w, 2) + "'");
    } else if (cmd == "expect-no-file") {
        const std::string path = PathOf(w.at(1), w.size() > 2 ? w[2] : "");
        if (GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES) Fail("the file " + path + " is there");
    } else if (cmd == "click") {
        if (HWND h = Control(w.at(1))) SendMessageW(h, BM_CLICK, 0, 0);
    } else if (cmd == "expect-box-holding") {
        ExpectBoxHolding(Joined(w, 1));
    } else if (cmd == "click-async") {
        if (HWND h = Control(w.at(1))) PostMessageW(h, BM_CLICK, 0, 0);
    } else if (cmd == "expect-items") {
        HWND h = Control(w.at(1));
        if (!h) return;
        std::string items;
        auto same = [&] {
            items.clear();
            for (int i = 0, n = static_cast<int>(SendMessageW(h, LB_GETCOUNT, 0, 0)); i < n; ++i) {
                std::wstring item(static_cast<size_t>(SendMessageW(h, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
                SendMessageW(h, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
                items += (i ? " " : "") + Narrow(item.c_str());
            }
            return items == Joined(w, 2);
        };
        if (!WaitFor(same, 20000)) Fail(w[1] + ": items '" + items + "', expected '" + Joined(w, 2) + "'");
    } else if (cmd == "expect-file") {
        const std::string expected = Joined(w, 2);
        std::string bytes;
        auto holds = [&] {
            std::ifstream in(Widen(w.at(1)).c_str(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return in.is_open() && bytes.find(expected) != std::string::npos;
        };
        if (!WaitFor(holds, 20000)) Fail(w[1] + ": '" + bytes + "', expected it to hold '" + expected + "'");
    } else if (cmd == "click-item") {
        HWND h = Control(w.at(1));
        RECT item{};
        if (h && SendMessageW(h, LB_GETITEMRECT, std::stoi(w.at(2)), reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
            Fail(w[1] + ": no item " + w[2]);
        } else if (h) {
            // The list box itself turns the click into its selection and tells the program, as for a user.
            const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
            SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, at);
            SendMessageW(h, WM_LBUTTONUP, 0, at);
        }
    } else if (cmd == "select-page") {
        if (HWND h = Control(w.at(1))) SendMessageW(h, kx::kSelectPageMessage, std::stoi(w.at(2)), 0);
    } else if (cmd == "expect-text" || cmd == "wait-text") {
        HWND h = Control(w.at(1));
        std::string expected = Joined(w, 2);
        if (h && !WaitFor([&] { return TextOf(h) == expected; }, cmd == "wait-text" ? gWaitMs : 0))
            Fail(w[1] + ": text '" + TextOf(h) + "', expected '" + expected + "'");
    } else if (cmd == "expect-visible") {
        HWND h = Control(w.at(1));
        bool visible = h && (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE);
        if (h && visible != (w.at(2) == "yes")) Fail(w[1] + (visible ? " is visible" : " is hidden"));
    } else if (cmd == "wait-rows") {
        HWND h = Control(w.at(1));
        int count = std::stoi(w.at(2));
        if (h && !WaitFor([&] { return ListView_GetItemCount(h) == count; }, gWaitMs))
            Fail(w[1] + ": " + std::to_string(ListView_GetItemCount(h)) + " rows, expected " + w[2]);
    } else if (cmd == "expect-rows") {
        HWND h = Control(w.at(1));
        if (!h) return;
        int rows = ListView_GetItemCount(h);
        if (rows != static_cast<int>(w.size()) - 2) Fail(w[1] + ": " + std::to_string(rows) + " rows");
        for (int row = 0; row < rows && row + 2 < static_cast<int>(w.size()); ++row) {
            std::string cells, expected = w[row + 2];
            int columns = static_cast<int>(std::count(expected.begin(), expected.end(), '|')) + 1;
            for (int c = 0; c < columns; ++c) cells += (c ? "|" : "") + CellOf(h, row, c);
            if (cells != expected)
                Fail(w[1] + " row " + std::to_string(row) + ": '" + cells + "', expected '" + expected + "'");
        }
    } else if (cmd == "expect-selection" || cmd == "wait-selection") {
        HWND h = Control(w.at(1));
        const int expected = std::stoi(w.at(2));
        auto selected = [&] { return h ? ListView_GetNextItem(h, -1, LVNI_SELECTED) : -1; };
        WaitFor([&] { return selected() == expected; }, cmd == "wait-selection" ? gWaitMs : 0);
        if (h && selected() != expected) Fail(w[1] + ": selection " + std::to_string(selected()));
    } else if (cmd == "wait-log" || cmd == "expect-log") {
        int expected = std::stoi(w.at(2));
        std::string text = Joined(w, 3);
        if (!WaitFor([&] { return LinesHolding(w[1], text) == expected; }, cmd == "wait-log" ? 20000 : 0))
            Fail(w[1] + ": " + std::to_string(LinesHolding(w[1], text)) + " lines with '" + text + "', expected " +
                 std::to_string(expected));
    } else if (cmd == "expect-log-sequence") {
        // The word after MARK in each line of FILE that holds MARK, in the order of the lines.
        std::ifstream in(Widen(w.at(1)).c_str(), std::ios::binary);
        std::string sequence;
        for (std::string line; std::getline(in, line);) {
            const size_t at = line.find(w.at(2));
            if (at == std::string::npos) continue;
            std::istringstream rest(line.substr(at + w[2].size()));
            std::string word;
            rest >> word;
            sequence += (sequence.empty() ? "" : " ") + word;
        }
        if (sequence != Joined(w, 3))
            Fail(w[1] + ": '" + w[2] + "' gives '" + sequence + "', expected '" + Joined(w, 3) + "'");
    } else if (cmd == "expect-enabled") {
        HWND h = Control(w.at(1));
        const bool enabled = h && IsWindowEnabled(h);
        if (h && enabled != (w.at(2) == "yes")) Fail(w[1] + (enabled ? " is enabled" : " is disabled"));
    } else if (cmd == "expect-no-process") {
        if (!WaitFor([&] { return RunningPrograms(Widen(w.at(1))) == 0; }, 3000))
            Fail(std::to_string(RunningPrograms(Widen(w[1]))) + " process(es) of " + w[1] + " still running");
    } else if (cmd == "sleep") {
        Sleep(std::stoi(w.at(1)));
    } else if (cmd == "screenshot") {
        Screenshot(w.at(1));
    } else if (cmd == "screenshot-box") {
        if (HWND box = WaitForMessageBox()) Screenshot(w.at(1), box);
    } else if (cmd == "choose") {
        const std::string item = Joined(w, 1);
        Choose(&item, -1);
    } else if (cmd == "choose-index") {
        Choose(nullptr, std::stoi(w.at(1)));
    } else if (cmd == "close-within") {
        const DWORD limit = static_cast<DWORD>(std::stoul(w.at(1)));
        HWND h = Control("图形按钮1");
        if (!h) return;
        const DWORD start = GetTickCount();
        PostMessageW(h, BM_CLICK, 0, 0);
        WaitFor([] { return !IsWindow(gMain); }, 30000);
        const DWORD windowGone = GetTickCount() - start;
        if (WaitForSingleObject(gProcess.hProcess, 30000) != WAIT_OBJECT_0) return Fail("the program did not end");
        const DWORD took = GetTickCount() - start;
        std::printf("  the window was gone after %lu ms\n", static_cast<unsigned long>(windowGone));
        GetExitCodeProcess(gProcess.hProcess, &gLastExit);
        std::printf("  ended after %lu ms with code %lu\n", static_cast<unsigned long>(took),
                    static_cast<unsigned long>(gLastExit));
        if (took > limit) Fail("the program took " + std::to_string(took) + " ms to end");
    } else if (cmd == "set-text") {
        if (HWND h = Control(w.at(1))) {
            std::wstring text = Widen(Joined(w, 2));
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                                &ignored);
        }
    } else if (cmd == "expect-no-program") {
        // A process ends before its last threads are gone from the snapshot: give them a moment.
        if (!WaitFor([] { return RunningPrograms() == 0; }, 3000))
            Fail(std::to_string(RunningPrograms()) + " program process(es) still running");
    } else if (cmd == "close") {
        if (HWND h = Control("图形按钮1")) PostMessageW(h, BM_CLICK, 0, 0);
        if (WaitForSingleObject(gProcess.hProcess, 20000) != WAIT_OBJECT_0) return Fail("the program did not end");
        GetExitCodeProcess(gProcess.hProcess, &gLastExit);
    } else {
        Fail("unknown command " + cmd);
    }
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: driver PROGRAM.exe SCENARIO\n", stderr);
        return 2;
    }
    gExe = argv[1];
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::fputs("cannot read the scenario\n", stderr);
        return 2;
    }
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> words = Words(ExpandVariables(line));
        if (words.empty() || words[0][0] == '#') continue;
        std::printf("> %s\n", line.c_str());
        std::fflush(stdout);
        int failuresBefore = gFailures;
        Run(words);
        bool starting = words[0].starts_with("start") || words[0] == "launch" || words[0] == "wait-window";
        if (starting && gFailures > failuresBefore) break;  // without the program nothing else can work
    }
    if (gProcess.hProcess && WaitForSingleObject(gProcess.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(gProcess.hProcess, 0);  // the instance this driver started
    std::printf(gFailures ? "scenario failed: %d failure(s)\n" : "scenario passed\n", gFailures);
    return gFailures ? 1 : 0;
}
