#pragma once
// The program-wide values that more than one feature reads. Each is written by the one workflow named
// beside it; those read by worker threads are Shared (replaced whole under a lock).
#include <map>
#include <string>

#include "base/PartitionRows.h"
#include "base/Shared.h"

namespace kx {

struct ProgramFacts {
    std::string systemDriveLetter;        // drive of the Windows directory, one letter (disk, at start)
    Shared<std::string> targetDrive;      // where images and default backups go (disk)
    Shared<std::string> deploymentReady;  // "就绪" once a deployment is complete (imaging)
    std::string backupDayFolder;          // "2015年7月16日备份", fixed at start-up (app)
    // The partitions the lists show, in their order, as the last refresh read them (disk).
    Shared<PartitionRows> partitions;
    // The rows the backup list was last drawn from: a quick refresh replaces the partitions without drawing
    // that list again, and its selection must still name the partition the user sees (disk).
    Shared<PartitionRows> backupPartitions;
    // The disk ID of each designator ("1:2") the partition lists hold, as the last refresh read it (disk).
    Shared<std::map<std::string, std::string>> listedDiskIds;
    // Web site hosts: build settings, overridden by the command line.
    std::string siteHost = KORVANIX_SITE_HOST;
    std::string catalogueHost = KORVANIX_CATALOGUE_HOST;
};

// A product page on the web site ("/system/help.htm").
inline std::string SiteUrl(const ProgramFacts& facts, const std::string& path) {
    return "http://" + facts.siteHost + path;
}

}  // namespace kx
