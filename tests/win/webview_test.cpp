// The web view control with the system's browser under Wine, against loopback servers. Wine's browser
// object runs without its page engine here (mshtml is off): it creates, fetches and reports addresses,
// but draws nothing, so what a page shows is not checked.
#include <gtest/gtest.h>

#include "LoopbackServer.h"  // winsock2.h before windows.h

#include <exdispid.h>
#include <mshtmdid.h>
#include <urlmon.h>

#include <functional>
#include <string>
#include <vector>

#include "app/WebView_win.h"
#include "platform/Automation_win.h"
#include "text/Wide_win.h"

namespace kx {
namespace {

class RecordingShell : public ShellPort {
public:
    void OpenUrl(const std::string& url) override { opened.push_back(url); }
    std::vector<std::string> opened;
};

// Keeps the thread's messages handled (the browser's events arrive through them) until `done` holds.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 15000) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - start > ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

std::string Page(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::string RequestLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }

int Count(const std::vector<std::string>& requests, const std::string& line) {
    int n = 0;
    for (const auto& r : requests) n += RequestLine(r) == line;
    return n;
}

HRESULT NoBrowser(IWebBrowser2** browser) {
    *browser = nullptr;
    return REGDB_E_CLASSNOTREG;
}

// A web view in a window of its own, on this thread, which runs OLE as the program's window thread does.
class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        RegisterWebViewClass(GetModuleHandleW(nullptr));
        parent_ = CreateWindowExW(0, L"STATIC", L"web view test", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(parent_);
    }
    void TearDown() override {
        if (view_) DestroyWindow(view_);
        DestroyWindow(parent_);
        PumpUntil([] { return false; }, 50);
        OleUninitialize();
    }

    HWND Open(const std::string& site, BrowserFactory factory = CreateSystemBrowser) {
        WebViewSetup setup{&shell_, site, nullptr, factory};
        view_ = CreateWindowExW(0, kWebViewClass, L"/system/", WS_CHILD | WS_VISIBLE, 0, 0, 600, 400, parent_, nullptr,
                                GetModuleHandleW(nullptr), &setup);
        return view_;
    }
    std::string Text() const {
        wchar_t buffer[4096];
        int n = GetWindowTextW(view_, buffer, 4096);
        return Narrow(std::wstring(buffer, n));
    }
    bool SetText(const std::string& address) { return SetWindowTextW(view_, Widen(address).c_str()) != FALSE; }

    RecordingShell shell_;
    HWND parent_ = nullptr;
    HWND view_ = nullptr;
};

TEST_F(WebViewTest, CreatesTheBrowserAndReadsAboutBlankBeforeAnyNavigation) {
    ASSERT_TRUE(Open("127.0.0.1:1"));
    ASSERT_NE(WebViewBrowser(view_), nullptr) << "Wine's browser object should create";
    EXPECT_EQ(WebViewBrowser(view_)->Location(), "") << "the control itself answers an empty text";
    EXPECT_EQ(Text(), "about:blank") << "the creation text is no address";
}

TEST_F(WebViewTest, SettingTheAddressFetchesThePageAndReadsItBack) {
    RecordingServer server([](int, const std::string&) { return Page("<html><body>系统</body></html>"); });
    ASSERT_TRUE(Open(server.Host()));
    const std::string address = "http://" + server.Host() + "/system/";
    EXPECT_TRUE(SetText(address));
    EXPECT_EQ(Text(), address) << "at once, while the page is on its way";
    ASSERT_TRUE(PumpUntil([&] { return !server.Requests().empty(); })) << "no GET reached the server";
    EXPECT_EQ(RequestLine(server.Requests()[0]), "GET /system/ HTTP/1.1");
    ASSERT_TRUE(PumpUntil([&] { return WebViewBrowser(view_)->Location() == address; }))
        << "location: " << WebViewBrowser(view_)->Location();
    EXPECT_EQ(Text(), address);
}

TEST_F(WebViewTest, ARedirectOfTheServerIsReflected) {
    RecordingServer server([](int, const std::string& head) {
        if (RequestLine(head) == "GET /old/ HTTP/1.1")
            return std::string(
                "HTTP/1.1 302 Found\r\nLocation: /system/help.htm\r\nContent-Length: 0\r\n"
                "Connection: close\r\n\r\n");
        return Page("<html><body>帮助</body></html>");
    });
    ASSERT_TRUE(Open(server.Host()));
    EXPECT_TRUE(SetText("http://" + server.Host() + "/old/"));
    const std::string moved = "http://" + server.Host() + "/system/help.htm";
    EXPECT_TRUE(PumpUntil([&] { return Text() == moved; })) << Text();
    // The engine may report the new address as soon as the redirect is read, before it asks for it.
    EXPECT_TRUE(PumpUntil([&] { return Count(server.Requests(), "GET /system/help.htm HTTP/1.1") == 1; }));
}

TEST_F(WebViewTest, OffSiteAddressesGoToTheShellAndAreCancelled) {
    RecordingServer site([](int, const std::string&) { return Page("<html></html>"); });
    RecordingServer elsewhere([](int, const std::string&) { return Page("<html></html>"); });
    ASSERT_TRUE(Open(site.Host()));
    ASSERT_NE(WebViewBrowser(view_), nullptr);
    const std::string away = "http://" + elsewhere.Host() + "/page.htm";
    // Set by the program, and followed inside the browser (as a link or a form would be).
    EXPECT_FALSE(SetText(away));
    BSTR url = SysAllocString(Widen(away + "?link").c_str());
    VARIANT none;
    VariantInit(&none);
    WebViewBrowser(view_)->Browser()->Navigate(url, &none, &none, &none, &none);
    SysFreeString(url);
    ASSERT_TRUE(PumpUntil([&] { return shell_.opened.size() == 2; }));
    EXPECT_EQ(shell_.opened[0], away);
    EXPECT_EQ(shell_.opened[1], away + "?link");
    PumpUntil([] { return false; }, 500);  // a request that was not cancelled would have arrived by now
    EXPECT_TRUE(elsewhere.Requests().empty()) << "the view itself went to the other site";
    EXPECT_EQ(Text(), "about:blank");
}

TEST_F(WebViewTest, ScriptsFilesAndUnreadableAddressesAreRefusedEverywhere) {
    RecordingServer site([](int, const std::string&) { return Page("<html></html>"); });
    ASSERT_TRUE(Open(site.Host()));
    const std::string base = "http://" + site.Host();
    for (const std::string& address : {std::string("javascript:alert(1)"), std::string("file:///C:/windows/win.ini"),
                                       base + "/a b.htm", base + "/使用帮助.htm", std::string("vbscript:msgbox(1)")}) {
        EXPECT_FALSE(SetText(address)) << address;
        EXPECT_EQ(Text(), "about:blank") << address;
    }
    // Followed inside the browser (a link of the page): cancelled before the engine goes there.
    for (const wchar_t* address : {L"file:///C:/windows/win.ini", L"javascript:alert(1)"}) {
        BSTR url = SysAllocString(address);
        VARIANT none;
        VariantInit(&none);
        WebViewBrowser(view_)->Browser()->Navigate(url, &none, &none, &none, &none);
        SysFreeString(url);
    }
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(WebViewBrowser(view_)->Location(), "");
    EXPECT_EQ(Text(), "about:blank");
    EXPECT_TRUE(shell_.opened.empty());
    EXPECT_TRUE(site.Requests().empty());
}

// Events the engine raises only once it has a page (Wine's has none here) are raised on the view's own
// event connection instead, as the engine raises them.
ComPtr<IDispatch> EventSinkOf(IWebBrowser2* browser) {
    ComPtr<IConnectionPointContainer> points;
    ComPtr<IConnectionPoint> point;
    ComPtr<IEnumConnections> connections;
    CONNECTDATA connection{};
    ComPtr<IDispatch> sink;
    if (SUCCEEDED(browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(points.put()))) &&
        SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put())) &&
        SUCCEEDED(point->EnumConnections(connections.put())) && connections->Next(1, &connection, nullptr) == S_OK) {
        connection.pUnk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(sink.put()));
        connection.pUnk->Release();
    }
    return sink;
}

// NavigateComplete2(pDisp, URL) for the view's own page.
void RaiseArrival(IDispatch* sink, IWebBrowser2* browser, const wchar_t* address) {
    VARIANT url;
    url.vt = VT_BSTR;
    url.bstrVal = SysAllocString(address);
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &url;
    VARIANT args[2];  // last first
    args[0] = byRef;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = browser;
    DISPPARAMS params{args, nullptr, 2, 0};
    sink->Invoke(DISPID_NAVIGATECOMPLETE2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    SysFreeString(url.bstrVal);
}

// A page of the site that a redirect or a link left the view on is reported; a page off the site (a
// server's redirect raises no navigation event) goes to the shell, and the view leaves it.
TEST_F(WebViewTest, AnArrivalOffTheSiteGoesToTheShellAndTheViewLeavesIt) {
    ASSERT_TRUE(Open("127.0.0.1:8080"));
    ASSERT_NE(WebViewBrowser(view_), nullptr);
    IWebBrowser2* browser = WebViewBrowser(view_)->Browser();
    ComPtr<IDispatch> sink = EventSinkOf(browser);
    ASSERT_TRUE(sink);
    RaiseArrival(sink.get(), browser, L"http://127.0.0.1:8080/system/help.htm");
    EXPECT_EQ(Text(), "http://127.0.0.1:8080/system/help.htm");
    EXPECT_TRUE(shell_.opened.empty());
    RaiseArrival(sink.get(), browser, L"http://127.0.0.1:9/elsewhere.htm");
    EXPECT_EQ(shell_.opened, std::vector<std::string>{"http://127.0.0.1:9/elsewhere.htm"});
    EXPECT_TRUE(PumpUntil([&] { return Text() == "about:blank"; })) << Text();
    // The engine's own error page for an address asked for changes nothing the program reads.
    RaiseArrival(sink.get(), browser, L"res://ieframe.dll/dnserror.htm");
    EXPECT_EQ(Text(), "about:blank");
    EXPECT_EQ(shell_.opened.size(), 1u);
}

TEST_F(WebViewTest, ANewWindowOpensNothingInTheProgramAndGoesToTheShell) {
    ASSERT_TRUE(Open("127.0.0.1:8080"));
    ASSERT_NE(WebViewBrowser(view_), nullptr);
    ComPtr<IDispatch> sink = EventSinkOf(WebViewBrowser(view_)->Browser());
    ASSERT_TRUE(sink);

    VARIANT_BOOL cancel3 = VARIANT_FALSE, cancel2 = VARIANT_FALSE;
    IDispatch* newWindow = nullptr;
    VARIANT args[5];  // IDispatch takes them last first: args[0] is the address
    for (auto& a : args) VariantInit(&a);
    args[4].vt = VT_BYREF | VT_DISPATCH;  // ppDisp
    args[4].ppdispVal = &newWindow;
    args[3].vt = VT_BYREF | VT_BOOL;
    args[3].pboolVal = &cancel3;
    args[2].vt = VT_I4;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(L"http://127.0.0.1:8080/system/");
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(L"http://127.0.0.1:8080/system/help.htm");
    DISPPARAMS params{args, nullptr, 5, 0};
    sink->Invoke(DISPID_NEWWINDOW3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    VARIANT args2[2];
    args2[0].vt = VT_BYREF | VT_BOOL;
    args2[0].pboolVal = &cancel2;
    args2[1].vt = VT_BYREF | VT_DISPATCH;
    args2[1].ppdispVal = &newWindow;
    DISPPARAMS params2{args2, nullptr, 2, 0};
    sink->Invoke(DISPID_NEWWINDOW2, IID_NULL, 0, DISPATCH_METHOD, &params2, nullptr, nullptr, nullptr);
    SysFreeString(args[0].bstrVal);
    SysFreeString(args[1].bstrVal);

    EXPECT_EQ(cancel3, VARIANT_TRUE);
    EXPECT_EQ(cancel2, VARIANT_TRUE);
    EXPECT_EQ(newWindow, nullptr);
    EXPECT_EQ(shell_.opened, std::vector<std::string>{"http://127.0.0.1:8080/system/help.htm"})
        << "even a page of the site: new windows are the user's browser's";
    EXPECT_EQ(Text(), "about:blank");
}

// What the engine reads from its host: the download control, and the download manager that keeps
// every file download (and its dialog) away from the elevated program.
TEST_F(WebViewTest, TheHostAnswersTheDownloadControlFlagsAndTakesDownloads) {
    ASSERT_TRUE(Open("127.0.0.1:8080"));
    ASSERT_NE(WebViewBrowser(view_), nullptr);
    ComPtr<IOleObject> object;
    ASSERT_HRESULT_SUCCEEDED(
        WebViewBrowser(view_)->Browser()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(object.put())));
    ComPtr<IOleClientSite> site;
    ASSERT_HRESULT_SUCCEEDED(object->GetClientSite(site.put()));
    ASSERT_TRUE(site) << "the browser holds our site";
    ComPtr<IDispatch> ambient;
    ASSERT_HRESULT_SUCCEEDED(site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ambient.put())));
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant flags;
    ASSERT_HRESULT_SUCCEEDED(ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                                             flags.put(), nullptr, nullptr));
    ASSERT_EQ((*flags).vt, VT_I4);
    const LONG f = (*flags).lVal;
    for (LONG off : {DLCTL_NO_SCRIPTS, DLCTL_NO_JAVA, DLCTL_NO_RUNACTIVEXCTLS, DLCTL_NO_DLACTIVEXCTLS,
                     DLCTL_NO_BEHAVIORS, DLCTL_NO_CLIENTPULL, DLCTL_SILENT})
        EXPECT_TRUE(f & off) << std::hex << off;
    EXPECT_TRUE(f & DLCTL_DLIMAGES) << "pictures still show";
    EXPECT_FALSE(f & DLCTL_DOWNLOADONLY) << "pages still show";

    ComPtr<IServiceProvider> services;
    ASSERT_HRESULT_SUCCEEDED(site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.put())));
    ComPtr<IDownloadManager> downloads;
    // SID_SDownloadManager is the interface's own GUID.
    ASSERT_HRESULT_SUCCEEDED(services->QueryService(__uuidof(IDownloadManager), __uuidof(IDownloadManager),
                                                    reinterpret_cast<void**>(downloads.put())));
    ComPtr<IMoniker> file;
    ASSERT_HRESULT_SUCCEEDED(
        CreateURLMonikerEx(nullptr, L"http://127.0.0.1:8080/soft/setup.exe", file.put(), URL_MK_UNIFORM));
    EXPECT_EQ(downloads->Download(file.get(), nullptr, 0, 0, nullptr, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(shell_.opened, std::vector<std::string>{"http://127.0.0.1:8080/soft/setup.exe"});
}

TEST_F(WebViewTest, WithoutABrowserTheStandInKeepsTheAddressAndOpensItThroughTheShell) {
    RecordingServer site([](int, const std::string&) { return Page("<html></html>"); });
    ASSERT_TRUE(Open(site.Host(), NoBrowser));
    EXPECT_EQ(WebViewBrowser(view_), nullptr);
    EXPECT_EQ(Text(), "about:blank");
    SendMessageW(view_, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(shell_.opened.empty()) << "nothing to open yet";
    const std::string help = "http://" + site.Host() + "/system/help.htm";
    EXPECT_TRUE(SetText(help));
    EXPECT_EQ(Text(), help);
    EXPECT_FALSE(SetText("javascript:alert(1)"));
    EXPECT_EQ(Text(), help);
    SendMessageW(view_, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(shell_.opened, std::vector<std::string>{help});
    EXPECT_TRUE(site.Requests().empty());
}

}  // namespace
}  // namespace kx
