#pragma once
// The two partition list views and the refreshes that fill them. The restore-partition view is the
// one store of drive records; the backup-partition view holds a copy. The handlers themselves
// (RefreshByLetters, RefreshByVolumeList ...) are declared in disk/DiskPages.h.
#include <string>

#include "base/ControlNames.h"
#include "disk/DiskPages.h"
#include "disk/DriveRecord.h"

namespace kx {

inline constexpr Control kResearchButton{"刷新硬盘映像_按钮"};
inline constexpr const char* kRefreshingText = "正在全盘刷新，请稍后...";

// Appends the record at the end of the view; returns its row index.
int AppendDriveRecord(WindowPort& window, Control list, const DriveRecord& record, bool withIcon);
// Orders the rows by the text of `column`, ascending, byte-wise.
void SortPartitionList(WindowPort& window, Control list, int column);

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
