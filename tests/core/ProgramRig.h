#pragma once
// One program wired to fakes of every port at once, for workflows that touch the window, the disks, the
// boot files, Ghost jobs, user data and the clock together. The fakes are the rig's members: a test sets
// them up (drives, tool outputs, files) and reads what landed in them.
#include "BootFakes.h"
#include "DownloadFakes.h"
#include "Fakes.h"
#include "ImagingFakes.h"
#include "UserDataFakes.h"
#include "app/Program.h"
#include "disk/PartitionList.h"

namespace kx::test {

// `record` joins the listed partitions and the restore list is drawn, as a refresh leaves them.
inline void ListPartition(Program& program, DriveRecord record) {
    PartitionRows rows = program.facts().partitions.Get();
    rows.push_back(std::move(record));
    SetPartitionRows(program.window(), program.facts(), std::move(rows));
}

// No partition listed, as after a refresh that found none.
inline void ClearPartitions(Program& program) { SetPartitionRows(program.window(), program.facts(), {}); }

// One cell of a listed partition changed (and the list drawn again).
inline void SetPartitionCell(Program& program, int row, int column, const std::string& text) {
    PartitionRows rows = program.facts().partitions.Get();
    rows.at(row).cells[column] = text;
    SetPartitionRows(program.window(), program.facts(), std::move(rows));
}

struct Rig {
    MemoryWindow window;
    FakeMessages messages;
    FakeShell shell;
    FakeClock clock;
    FakeInstance instance;
    FakeDrives drives;
    ScriptedCommands commands;
    FakeSystem system;
    FakeBootFiles bootFiles;
    FakeBootAssets bootAssets;
    FakeRegistry registry;
    FakeShellFolders shellFolders;
    FakeFolderDialog dialog;
    FakeFiles files{window};
    FakeArchives archives{window};
    FakeImageFiles imageFiles;
    FakeFileDialog fileDialog;
    FakeMachine machine;
    FakeRestart restart;
    FakeChoice choice;
    FakeEsp esp;
    FakeFirmware firmware;
    ImagingPorts imaging{&imageFiles, &fileDialog, &machine, &restart, &choice, &esp, &firmware};
    FakeDownloadFiles downloadFiles;
    FakeComponent component{downloadFiles};
    // The pages' jobs run at once on the test's thread unless a test asks for the real worker.
    UserDataPorts userData{&registry, &shellFolders, &dialog, &files, &archives, JobThread::Caller};
    Program program{Ports{.window = &window,
                          .messages = &messages,
                          .shell = &shell,
                          .clock = &clock,
                          .instance = &instance,
                          .commands = &commands,
                          .system = &system,
                          .drives = &drives,
                          .bootFiles = &bootFiles,
                          .bootAssets = &bootAssets,
                          .userData = &userData,
                          .imaging = &imaging,
                          .downloadFiles = &downloadFiles,
                          .downloadComponent = &component}};

    ~Rig() { program.OnDestroying(); }  // as the window going away: every worker stopped and joined
};

struct UserDataRig : Rig {
    UserDataRig() { program.facts().backupDayFolder = "2015年7月16日备份"; }
    UserDataContext Context() { return program.UserData(); }
    UserDataPorts& ports = userData;
};

}  // namespace kx::test
