#pragma once
// The imaging pages' tests: a program on a Windows 7 machine with three partitions on one disk (C: the
// system, D: and E: for data), a boot store that bcdedit keeps, and a build that carries the DOS kit.
#include <algorithm>
#include <map>
#include <string>

#include "ProgramRig.h"
#include "base/ControlNames.h"
#include "imaging/Imaging.h"

namespace kx::test {

struct ImagingRig : Rig {
    FakeBcd bcd;
    ImagingRig() {
        drives.AddFixed('C', 40, 10);
        drives.AddFixed('D', 100, 60);
        drives.AddFixed('E', 200, 150);
        AddPartition("C:", "1:1", 40, 10);
        AddPartition("D:", "1:2", 100, 60);
        AddPartition("E:", "1:3", 200, 150);
        commands.answer = [this](const std::string& c) { return bcd.Answer(c); };
        // diskpart reads the disk as the rows say it is, unless a test changes `onDisk`.
        drives.disks = 1;
        commands.diskpart = [this](const std::string& c) { return DiskDetail(c); };
        program.facts().systemDriveLetter = "C";
        // The handlers the window dispatches run as in a build with the DOS kit, as Context() does.
        program.state().route = ImagingRoute::Dos;
        program.state().dosImage = DosImageKind::DosEnvironment;
    }
    ~ImagingRig() { program.OnDestroying(); }

    void AddPartition(const std::string& drive, const std::string& designator, int totalGb, int freeGb) {
        DriveRecord record;
        record.cells[kDriveCol] = drive;
        record.cells[kDesignatorCol] = designator;
        record.cells[kUsedCol] = std::to_string(totalGb - freeGb) + " GB";
        record.cells[kTotalCol] = std::to_string(totalGb) + " GB";
        ListPartition(program, record);
        CopyToBackupList(program.Disk());
        onDisk[designator] = drive.substr(0, 1);
    }
    // What diskpart prints for the script a "diskpart /s" command names: the disk's volumes from `onDisk`
    // (designator "disk:position" to letter), a letterless one where a position has none.
    std::string DiskDetail(const std::string& commandLine) {
        const std::string script = drives.files[ScriptFileOf(commandLine)];
        const size_t at = script.find("select disk ");
        if (at == std::string::npos) return {};
        const std::string disk = std::to_string(std::stoi(script.substr(at + 12)) + 1) + ":";
        int last = 0;
        for (const auto& [designator, letter] : onDisk)
            if (designator.rfind(disk, 0) == 0) last = std::max(last, std::stoi(designator.substr(disk.size())));
        std::string text = diskIds.count(disk) ? "磁盘 ID: " + diskIds[disk] + "\n\n" : "";
        text += "  卷 ###      LTR  标签         FS     类型        大小     状态       信息\n";
        for (int p = 1; p <= last; ++p) {
            auto it = onDisk.find(disk + std::to_string(p));
            const std::string letter = it == onDisk.end() ? " " : it->second;
            text += "  卷     " + std::to_string(p) + "     " + letter +
                    "                NTFS   磁盘分区          40 GB  正常\n";
        }
        return text;
    }
    std::map<std::string, std::string> onDisk;
    std::map<std::string, std::string> diskIds;  // "1:" to the ID its "detail disk" prints, where one is given
    // A removable drive (a USB stick) that is not in the partition lists.
    void AddStick(char letter) {
        drives.AddFixed(letter, 16, 8);
        drives.drives[letter].type = 2;
    }

    // The context the handlers get, by default in a build that carries the DOS kit.
    ImagingContext Context() {
        ImagingContext c = program.Imaging();
        c.dosImage = dosImage;
        c.route = route;
        return c;
    }
    DosImageKind dosImage = DosImageKind::DosEnvironment;
    ImagingRoute route = ImagingRoute::Dos;
    // `path` added to the restore page's images and chosen; the restore list's row of `target` selected.
    void ChooseImage(const std::string& path, const std::string& target = "C:") {
        RestorePageState& page = program.state().imaging.restorePage;
        page.images.push_back(path);
        page.chosen = static_cast<int>(page.images.size()) - 1;
        DrawImageList(Context());
        for (int r = 0; r < window.RowCount(kRestoreList); ++r)
            if (window.Cell(kRestoreList, r, 0) == target) window.SetSelection(kRestoreList, r);
    }

    // The search as a full refresh starts it: on the image-search worker, waited for, then drawn as the
    // window's timer draws it. Returns the images the page then offers.
    std::vector<std::string> Search() {
        Worker& worker = program.state().disk.imageSearch;
        worker.Start(ImageSearchJob(Context()));
        worker.Wait();
        searchDrawn = DrawImageSearch(Context());
        return program.state().imaging.restorePage.images;
    }
    bool searchDrawn = false;  // the last Search drew a finished search

    std::string Batch() { return bootFiles.files.count("C:\\Ghost.bat") ? bootFiles.files["C:\\Ghost.bat"].bytes : ""; }
    // diskpart's reads of the disks write nothing.
    // The engine's job on the system drive, read back as the engine reads it.
    Result<EngineJob> Job() {
        auto it = bootFiles.files.find("C:\\KORVANIX.JOB");
        if (it == bootFiles.files.end()) return Outcome::Failed("no job");
        return ParseEngineJob(it->second.bytes);
    }
    bool NothingWritten() { return bootFiles.files.empty() && bcd.entries.empty() && commands.Others().empty(); }
    std::string LastMessage() { return messages.shown.empty() ? std::string() : messages.shown.back().text; }
};

}  // namespace kx::test
