#include "text/PatternMatcher_win.h"

#include "text/Wide_win.h"

namespace kx {

bool PatternMatcher::Compile(const std::string& pattern, const std::string& subject, bool caseSensitive,
                             bool multiLine, bool global, bool quoteMarker) {
    matches_.reset();
    engine_ = CreateAutomationObject(L"VBScript.RegExp");
    if (!engine_) return false;
    Variant v;
    SetBool(v.get(), !caseSensitive);
    PutProperty(engine_.get(), L"IgnoreCase", *v);
    SetBool(v.get(), multiLine);
    PutProperty(engine_.get(), L"Multiline", *v);
    SetBool(v.get(), global);
    PutProperty(engine_.get(), L"Global", *v);

    std::string p = pattern;
    if (quoteMarker) {
        const std::string marker = "#引号";
        for (size_t at = p.find(marker); at != std::string::npos; at = p.find(marker, at + 1))
            p.replace(at, marker.size(), "\"");
    }
    SetString(v.get(), Widen(p));
    if (FAILED(PutProperty(engine_.get(), L"Pattern", *v))) return false;

    SetString(subject_.get(), Widen(subject));
    Variant arg, result;
    SetString(arg.get(), Widen(subject));
    if (FAILED(CallMethod(engine_.get(), L"Execute", arg.get(), 1, result.get()))) return false;
    matches_ = DispatchOf(*result);
    return static_cast<bool>(matches_);
}

int PatternMatcher::MatchCount() {
    Variant count;
    if (!matches_ || FAILED(GetProperty(matches_.get(), L"Count", count.get()))) return 0;
    return static_cast<int>(NumberOf(*count));
}

std::string PatternMatcher::MatchText(int index) {
    if (!matches_ || index < 1 || index > MatchCount()) return {};
    Variant arg, item, value;
    arg.get()->vt = VT_I4;
    arg.get()->lVal = index - 1;
    if (FAILED(CallMethod(matches_.get(), L"Item", arg.get(), 1, item.get()))) return {};
    ComPtr<IDispatch> match = DispatchOf(*item);
    if (!match || FAILED(GetProperty(match.get(), L"Value", value.get()))) return {};
    return Narrow(StringOf(*value));
}

std::string PatternMatcher::ReplaceAll(const std::string& replacement) {
    if (!engine_) return {};
    Variant args[2], result;
    VariantCopy(args[0].get(), subject_.get());
    SetString(args[1].get(), Widen(replacement));
    VARIANT raw[2] = {*args[0], *args[1]};
    if (FAILED(CallMethod(engine_.get(), L"Replace", raw, 2, result.get()))) return {};
    return Narrow(StringOf(*result));
}

std::string ExtractNonPrintableByEngine(std::string_view text, bool stripWhiteSpace) {
    std::string found;
    {
        PatternMatcher m;
        m.Compile("[^\\x20-\\x7f]", std::string(text));
        for (int i = 1, n = m.MatchCount(); i <= n; ++i) found += m.MatchText(i);
    }
    if (stripWhiteSpace && !found.empty()) {
        PatternMatcher m;
        if (m.Compile("\\s", found)) found = m.ReplaceAll("");
    }
    return found;
}

}  // namespace kx
