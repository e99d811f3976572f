#pragma once
// The raw bytes the program carries as RCDATA resources (pictures, boot assets, the download component).
#include <string_view>

namespace kx {

// The resource's bytes, mapped with the program's image and valid for its lifetime; empty when the
// program carries no resource of that name.
std::string_view ProgramResource(const wchar_t* name);

}  // namespace kx
