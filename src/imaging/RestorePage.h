#pragma once
// What the restore page's handlers share: its control names and the texts they write.
#include <string>

#include "imaging/Imaging.h"

namespace kx {

inline constexpr Control kRunButton{"开始还原_按钮"};
inline constexpr Control kPickButton{"操作映像_按钮"};
inline constexpr Control kRestoreRadio{"还原_单选框"};
inline constexpr Control kBackupRadio{"备份_单选框"};
inline constexpr Control kSearchButton{"刷新硬盘映像_按钮"};
inline constexpr const char* kImageFilter = "映像文件(*.GHO;*.ISO;*.GGH)|*.GHO;*.ISO;*.GGH";
inline constexpr const char* kWindowsImageFilter = "Windows 映像(*.WIM;*.ESD)|*.WIM;*.ESD";

// The chosen image of the restore page; empty when there is none (a list emptied by a refresh meanwhile).
std::string CurrentImage(const ImagingState& state);
// The tip label's sentence, written when both the image and the partition are known.
void ShowRestoreSentence(const ImagingContext& c);

}  // namespace kx
