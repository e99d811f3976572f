// The restore page: the search for images on the fixed drives, the image list, the partition choice and the
// one-tap page's two modes.
#include <algorithm>

#include "base/ControlNames.h"
#include "disk/DriveRecord.h"
#include "imaging/Checks.h"
#include "imaging/EngineRoute.h"
#include "imaging/RestorePage.h"
#include "text/Text.h"

namespace kx {
namespace {

constexpr uint64_t kMinimumMegabytes = 400;
constexpr int kSearchDepth = 2;  // the drive's root and the folders in it
constexpr const char* kImagePattern = "*.Gho";

// Lists the images of `folder` and, above the depth limit, of its folders. A folder that cannot be read (a
// drive removed meanwhile, no access) is skipped.
void SearchFolder(const ImagingContext& c, const StopToken& stop, std::string folder, int level) {
    if (stop.StopRequested()) return;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    if (auto files = c.ports.files->List(folder, kImagePattern)) {
        for (const FoundEntry& e : files.value()) {
            if (stop.StopRequested()) return;
            const std::string path = folder + e.name;
            if (!e.folder && WorthListing(path, e.size)) c.window.AddItem(kImageList, path);
        }
    }
    // Our engine's images are folders (streams and manifest.txt), found down to the same depth as the files.
    const bool engine = c.route == ImagingRoute::Engine;
    if (level >= kSearchDepth && !engine) return;
    auto all = c.ports.files->List(folder, "*.*");
    if (!all) return;
    for (const FoundEntry& e : all.value()) {
        if (stop.StopRequested()) return;
        if (!e.folder) continue;
        const std::string path = folder + e.name;
        if (engine && IsEngineImage(c, path)) {
            if (AsciiUpper(path).find("$RECYCLE.BIN") == std::string::npos) c.window.AddItem(kImageList, path);
        } else if (level < kSearchDepth) {
            SearchFolder(c, stop, path, level + 1);
        }
    }
}

// An image that does not exist cannot be restored; in backup mode the current item is the file to create.
void EnableRun(const ImagingContext& c) {
    const std::string image = CurrentImage(c.window);
    c.window.SetEnabled(kRunButton, !image.empty() && (!c.state.oneTapRestore || c.ports.files->Exists(image)));
}

// The list box has no item-text write: the list is filled again with the one item changed.
void ReplaceItem(WindowPort& w, int index, const std::string& text) {
    std::vector<std::string> items = w.Items(kImageList);
    if (index < 0 || index >= static_cast<int>(items.size())) return;
    items[index] = text;
    w.ClearItems(kImageList);
    for (const std::string& item : items) w.AddItem(kImageList, item);
    w.SetSelection(kImageList, index);
}

// The backup mode's proposed image: a folder on the first listed drive that is not the system drive, which
// keeps the image off the partition most often saved.
std::string DefaultBackupImage(const ImagingContext& c) {
    std::string drive = "E";
    for (int r = 0, n = c.window.RowCount(kRestoreList); r < n; ++r) {
        const std::string l = DriveLetterOf(c.window.Cell(kRestoreList, r, 0));
        if (!l.empty() && l != GetSystemDriveLetter(c.drives)) {
            drive = l;
            break;
        }
    }
    return drive + ":\\qzrpgho\\temp.gho";
}

// The radio buttons, the pick button and the partition column say which way the page works.
void ShowMode(WindowPort& w, bool restore) {
    w.SetChecked(kRestoreRadio, restore);
    w.SetChecked(kBackupRadio, !restore);
    w.SetText(kPickButton, restore ? "打开(O)" : "保存(S)");
    w.SetColumnCaption(kRestoreList, 0, restore ? "还原分区" : "备份分区");
}

}  // namespace

std::string CurrentImage(WindowPort& w) {
    const std::vector<std::string> items = w.Items(kImageList);
    const int index = w.Selection(kImageList);
    return index >= 0 && index < static_cast<int>(items.size()) ? items[index] : std::string();
}

void ShowRestoreSentence(WindowPort& w) {
    const std::string image = CurrentImage(w);
    const int row = w.Selection(kRestoreList);
    const std::string drive = row >= 0 ? w.Cell(kRestoreList, row, 0) : std::string();
    if (image.empty() || drive.empty()) return;
    w.SetText(kStatusLabel, "把镜像文件 \"" + image + "\" 还原到磁盘分区" + drive);
}

bool WorthListing(const std::string& path, uint64_t size) {
    return size / 1048576 > kMinimumMegabytes && AsciiUpper(path).find("$RECYCLE.BIN") == std::string::npos;
}

void ImageSearch(const ImagingContext& c, const StopToken& stop) {
    WindowPort& w = c.window;
    for (int r = 0, n = w.RowCount(kRestoreList); r < n; ++r) {
        if (stop.StopRequested()) return;
        const std::string letter = DriveLetterOf(w.Cell(kRestoreList, r, 0));
        if (letter.empty() || c.drives.DriveType(letter[0]) != kFixedDrive) continue;
        SearchFolder(c, stop, letter + ":\\", 1);
    }
    if (stop.StopRequested()) return;
    if (!w.Items(kImageList).empty()) w.SetSelection(kImageList, 0);
    if (w.RowCount(kRestoreList) > 0) w.SetSelection(kRestoreList, 0);
    w.SetEnabled(kSearchButton, true);
    w.SetEnabled(kImageList, true);
    EnableRun(c);
    ShowRestoreSentence(w);
}

void ShowChosenImage(const ImagingContext& c) {
    c.state.selectedImage = c.window.Selection(kImageList);
    EnableRun(c);
    ShowRestoreSentence(c.window);
}

void ShowChosenTarget(const ImagingContext& c) { ShowRestoreSentence(c.window); }

void PickImageFile(const ImagingContext& c) {
    WindowPort& w = c.window;
    const bool engine = c.route == ImagingRoute::Engine;
    FileDialogRequest request;
    // Our engine's image is a folder: the user opens the manifest in it.
    request.filter = engine && c.state.oneTapRestore ? "映像引擎的映像(manifest.txt)|manifest.txt" : kImageFilter;
    if (!c.state.oneTapRestore) {
        request.save = true;
        request.fileName = "Test.Gho";
    }
    std::optional<std::string> chosen = c.ports.dialogs->Choose(request);
    if (!chosen) return;
    const std::string manifest = std::string("\\") + kManifestFile;
    if (engine && c.state.oneTapRestore && chosen->size() > manifest.size() &&
        AsciiUpper(chosen->substr(chosen->size() - manifest.size())) == AsciiUpper(manifest))
        chosen->resize(chosen->size() - manifest.size());
    w.AddItem(kImageList, *chosen);
    // The chosen file becomes the current item in both modes: in backup mode it is the image to create.
    const int index = static_cast<int>(w.Items(kImageList).size()) - 1;
    w.SetSelection(kImageList, index);
    c.state.selectedImage = index;
    EnableRun(c);
    ShowRestoreSentence(w);
}

void SetOneTapBackupMode(const ImagingContext& c) {
    WindowPort& w = c.window;
    ShowMode(w, false);
    if (!c.state.oneTapRestore) return;
    c.state.oneTapRestore = false;
    const int index = w.Selection(kImageList);
    const std::string current = CurrentImage(w);
    if (!current.empty()) {
        c.state.replacedItem = current;
        c.state.selectedImage = index;
        ReplaceItem(w, index, DefaultBackupImage(c));
    }
    EnableRun(c);
}

void SetOneTapRestoreMode(const ImagingContext& c) {
    WindowPort& w = c.window;
    ShowMode(w, true);
    if (c.state.oneTapRestore) return;
    c.state.oneTapRestore = true;
    // The item the backup mode replaced gets its text back, unless a refresh has filled the list anew.
    const int index = c.state.selectedImage;
    const std::vector<std::string> items = w.Items(kImageList);
    if (!c.state.replacedItem.empty() && index >= 0 && index < static_cast<int>(items.size()) &&
        items[index] == DefaultBackupImage(c))
        ReplaceItem(w, index, c.state.replacedItem);
    else if (index >= 0 && index < static_cast<int>(items.size()))
        w.SetSelection(kImageList, index);
    c.state.replacedItem.clear();
    EnableRun(c);
    ShowRestoreSentence(w);
}

}  // namespace kx
