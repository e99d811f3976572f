#pragma once
// Whether a Windows binary can load on Windows XP SP3: its subsystem version, its manifest and its imports.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kx {

struct XpCheckReport {
    bool parsed = false;    // false: not a PE image this tool understands
    std::string machine;    // "i386" or "amd64"
    std::string subsystem;  // "windows", "console" or the number
    uint16_t subsystemMajor = 0, subsystemMinor = 0;
    bool isDll = false;
    bool hasManifest = false;
    std::vector<std::string> postXpImports;  // "KERNEL32.dll!GetTickCount64"
    std::vector<std::string> problems;       // one line each; empty when the binary suits XP

    bool Passes() const { return parsed && problems.empty(); }
};

XpCheckReport CheckForXp(std::span<const uint8_t> file);

// True when Windows XP SP3 does not export this function from this system library (names as imported).
bool IsPostXpImport(const std::string& library, const std::string& function);

}  // namespace kx
