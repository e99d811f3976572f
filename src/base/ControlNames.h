#pragma once
// Names of the controls that more than one feature reads or writes. A control that only one feature
// touches is named in that feature.
namespace kx {

// The restore-partition list view: the one store of drive records (column 0 "C:", column 1 "1:2").
inline constexpr const char* kRestoreList = "还原磁盘_超级列表框";
inline constexpr const char* kBackupList = "备份磁盘_超级列表框";
inline constexpr const char* kImageList = "映像文件_组合框";
inline constexpr const char* kStatusLabel = "提示标签";

}  // namespace kx
