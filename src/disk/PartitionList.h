#pragma once
// The two partition list views and the refreshes that fill them. The drive records are the program's
// (ProgramFacts::partitions); the restore-partition view and the backup-partition view are drawn from them. The
// handlers themselves (RefreshByLetters, RefreshByVolumeList ...) are declared in disk/DiskPages.h.
#include <string>

#include "base/ControlNames.h"
#include "disk/DiskPages.h"
#include "disk/DriveRecord.h"

namespace kx {

inline constexpr Control kResearchButton{"刷新硬盘映像_按钮"};
inline constexpr const char* kRefreshingText = "正在全盘刷新，请稍后...";

// The listed partitions become `rows`, ordered by drive (byte-wise, as the views sort), and the restore view
// is drawn from them.
void SetPartitionRows(WindowPort& window, ProgramFacts& facts, PartitionRows rows);
// A view drawn whole from `rows`; the backup view carries no icons.
void DrawPartitionList(WindowPort& window, Control list, const PartitionRows& rows, bool withIcon);

// The per-disk diskpart refresh. `full` is the start-up refresh and "重新搜索": it also copies the rows
// to the backup view and restarts the image search. The quick one (the system install) only refills the
// restore view and leaves the search stopped. One refresh runs at a time: another one asked meanwhile is
// refused (a click on a refresh button does nothing, the quick refresh fails with the reason). The views
// are replaced only when the read completed; a failed one leaves them as they were and fails with the
// reason (shown by the caller).
Outcome RefreshByDiskDetail(const DiskContext& c, bool full);
// Disables "重新搜索" and the image list, stops the image search, empties the image list and shows the
// refreshing status.
void PrepareDiskRefresh(const DiskContext& c);

}  // namespace kx
