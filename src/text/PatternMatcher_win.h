#pragma once
// Regular expressions through the system's scripting engine, "VBScript.RegExp". One object per use,
// on one thread. Texts are UTF-8 here and UTF-16 inside the engine.
#include <string>
#include <string_view>

#include "platform/Automation_win.h"

namespace kx {

class PatternMatcher {
public:
    PatternMatcher() = default;
    PatternMatcher(const PatternMatcher&) = delete;
    PatternMatcher& operator=(const PatternMatcher&) = delete;

    // Runs `pattern` over `subject` and keeps the matches. With `quoteMarker`, every "#引号" in the
    // pattern stands for a double quote. True when the engine returned a match collection (also an
    // empty one); false when the engine is missing or rejects the pattern.
    bool Compile(const std::string& pattern, const std::string& subject, bool caseSensitive = false,
                 bool multiLine = true, bool global = true, bool quoteMarker = false);
    int MatchCount();
    std::string MatchText(int index);  // 1-based; empty when out of range
    // The subject with every match replaced ("$1" and the like refer to groups, as the engine defines).
    std::string ReplaceAll(const std::string& replacement);

private:
    ComApartment apartment_;  // first member: initialised first, uninitialised last
    ComPtr<IDispatch> engine_;
    ComPtr<IDispatch> matches_;
    Variant subject_;
};

// The non-printable check of TextChecks.h computed by the scripting engine with the patterns
// "[^\x20-\x7f]" and "\s"; the program uses the portable one, this one proves them equal.
std::string ExtractNonPrintableByEngine(std::string_view text, bool stripWhiteSpace);

}  // namespace kx
