#pragma once
// GUIDs of GPT disks and partitions and of firmware variables.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Outcome.h"

namespace kx {

// A GUID as it is stored on disk and in firmware variables: the first three fields little-endian.
struct Guid {
    std::array<uint8_t, 16> bytes{};
    bool operator==(const Guid&) const = default;
    bool IsZero() const;
};
// "8BE4DF61-93CA-11D2-AA0D-00E098032B8C", braces allowed, either case.
Result<Guid> ParseGuid(std::string_view text);
// Upper case, no braces.
std::string GuidText(const Guid& guid);

}  // namespace kx
