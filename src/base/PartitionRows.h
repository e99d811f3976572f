#pragma once
// The partitions the program lists, one record a partition, in the order the lists show them (by drive).
// The disk refreshes write them; the restore and backup lists are drawn from them; every feature that
// needs a partition's designator or sizes reads them here, never from the list views.
#include <array>
#include <string>
#include <vector>

namespace kx {

// Columns: drive ("C:"), designator ("1:2"), type name, label, file system, used size, total size,
// system flag ("是"/"否"). Icon 0 marks the system drive, 1 every other drive.
struct DriveRecord {
    std::array<std::string, 8> cells;
    int icon = 1;
};

enum DriveColumn {
    kDriveCol = 0,
    kDesignatorCol,
    kTypeCol,
    kLabelCol,
    kFileSystemCol,
    kUsedCol,
    kTotalCol,
    kSystemCol
};

using PartitionRows = std::vector<DriveRecord>;

// The index of the row whose drive is `letter` ("C", case as listed), or -1.
inline int RowOfLetter(const PartitionRows& rows, const std::string& letter) {
    if (letter.empty()) return -1;
    for (size_t r = 0; r < rows.size(); ++r)
        if (rows[r].cells[kDriveCol].substr(0, 1) == letter) return static_cast<int>(r);
    return -1;
}

// A cell of row `row`, empty when there is no such row.
inline std::string CellOf(const PartitionRows& rows, int row, int column) {
    return row >= 0 && row < static_cast<int>(rows.size()) ? rows[row].cells[column] : std::string();
}

}  // namespace kx
