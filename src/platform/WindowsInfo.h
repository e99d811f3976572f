#pragma once
// Classification of the running Windows: the portable rules; WindowsInfo_win.h asks the system.
#include <string>

namespace kx {

// The short version name of an NT-family system: "WinNT", "Win2000", "WinXP", "Win2003", "Vista",
// "Win7", "Win8" (6.2 and 6.3) or "未知" (anything else, 10 and later included).
std::string VersionNameFor(unsigned major, unsigned minor);

// The platform identifier of the version information (0 Win32s, 1 95/98/ME, 2 NT) as the family
// number the workflows use: 1 Win32s, 2 95/98/ME, 3 NT, 0 anything else.
int PlatformFamilyFor(unsigned platformId);

}  // namespace kx
