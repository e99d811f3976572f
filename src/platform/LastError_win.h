#pragma once
// A Win32 call that just failed, as an outcome: the step in the user's words, the call, and the error the
// call left for GetLastError. Call it before anything else can change that error (a handle's close does).
#include <windows.h>

#include <string>

#include "base/Outcome.h"

namespace kx {

inline Outcome LastError(const std::string& what, const char* call) {
    return Outcome::Failed(what, Win32Error{GetLastError(), call});
}

}  // namespace kx
