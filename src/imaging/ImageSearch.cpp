// The restore page: the images the search found and the user picked, the partition choice and the one-tap
// page's two modes. The page's state lives in ImagingState::restorePage; the window is drawn from it.
#include "base/ControlNames.h"
#include "disk/DriveRecord.h"
#include "imaging/Checks.h"
#include "imaging/EngineRoute.h"
#include "imaging/ImageSearchWorker.h"
#include "imaging/RestorePage.h"
#include "text/Text.h"

namespace kx {
namespace {

// An image that does not exist cannot be restored; in backup mode the current item is the file to create.
void EnableRun(const ImagingContext& c) {
    const std::string image = CurrentImage(c.state);
    c.window.SetEnabled(kRunButton, !image.empty() && (!c.state.oneTapRestore || c.ports.files->Exists(image)));
}

// The backup mode's proposed image: a folder on the first listed drive that is not the system drive, which
// keeps the image off the partition most often saved.
std::string DefaultBackupImage(const ImagingContext& c) {
    std::string drive = "E";
    for (const DriveRecord& row : c.facts.partitions.Get()) {
        const std::string l = DriveLetterOf(row.cells[kDriveCol]);
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

std::string CurrentImage(const ImagingState& state) {
    const RestorePageState& page = state.restorePage;
    return page.chosen >= 0 && page.chosen < static_cast<int>(page.images.size()) ? page.images[page.chosen]
                                                                                  : std::string();
}

void DrawImageList(const ImagingContext& c) {
    WindowPort& w = c.window;
    w.ClearItems(kImageList);
    for (const std::string& image : c.state.restorePage.images) w.AddItem(kImageList, image);
    w.SetSelection(kImageList, c.state.restorePage.chosen);
}

void ShowRestoreSentence(const ImagingContext& c) {
    WindowPort& w = c.window;
    const std::string image = CurrentImage(c.state);
    const std::string drive = CellOf(c.facts.partitions.Get(), w.Selection(kRestoreList), kDriveCol);
    if (image.empty() || drive.empty()) return;
    w.SetText(kStatusLabel, "把镜像文件 \"" + image + "\" 还原到磁盘分区" + drive);
}

Worker::Job ImageSearchJob(const ImagingContext& c) {
    // What to search is taken here, on the window thread: the listed fixed drives.
    ImageSearchRequest request;
    request.engineImages = c.route == ImagingRoute::Engine;
    for (const DriveRecord& row : c.facts.partitions.Get()) {
        const std::string letter = DriveLetterOf(row.cells[kDriveCol]);
        if (!letter.empty() && c.drives.DriveType(letter[0]) == kFixedDrive) request.drives.push_back(letter);
    }
    // A new search starts from an empty list: what an earlier one published is not drawn again.
    c.state.found.Publish({});
    ImageFilePort& files = *c.ports.files;
    Latest<FoundImages>& found = c.state.found;
    return [request, &files, &found](const StopToken& stop) { SearchImagesWorker(request, files, found, stop); };
}

void ClearImageList(const ImagingContext& c) {
    c.state.restorePage.images.clear();
    c.state.restorePage.chosen = -1;
    DrawImageList(c);
}

bool DrawImageSearch(const ImagingContext& c) {
    FoundImages found;
    if (!c.state.found.TakeNewer(c.state.foundSeen, found)) return false;
    RestorePageState& page = c.state.restorePage;
    page.images = found.paths;
    page.chosen = -1;
    page.replacedItem.clear();
    if (found.done && !page.images.empty()) page.chosen = 0;
    DrawImageList(c);
    if (!found.done) return false;
    WindowPort& w = c.window;
    if (!c.facts.partitions.Get().empty()) w.SetSelection(kRestoreList, 0);
    w.SetEnabled(kSearchButton, true);
    w.SetEnabled(kImageList, true);
    EnableRun(c);
    ShowRestoreSentence(c);
    return true;
}

void ShowChosenImage(const ImagingContext& c) {
    // The user's click: the one place the list's selection is read.
    c.state.restorePage.chosen = c.window.Selection(kImageList);
    EnableRun(c);
    ShowRestoreSentence(c);
}

void ShowChosenTarget(const ImagingContext& c) { ShowRestoreSentence(c); }

void PickImageFile(const ImagingContext& c) {
    const bool engine = c.route == ImagingRoute::Engine;
    FileDialogRequest request;
    // Our engine's image is a folder: the user opens the manifest in it. Windows imaging files are offered on
    // both routes; the DOS route refuses them with the reason when the run starts.
    if (!c.state.oneTapRestore)
        request.filter = kImageFilter;
    else if (engine)
        request.filter = "映像引擎能用的映像(manifest.txt;*.WIM;*.ESD)|manifest.txt;*.WIM;*.ESD";
    else
        request.filter = std::string(kImageFilter) + "|" + kWindowsImageFilter;
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
    // The chosen file becomes the current item in both modes: in backup mode it is the image to create.
    RestorePageState& page = c.state.restorePage;
    page.images.push_back(*chosen);
    page.chosen = static_cast<int>(page.images.size()) - 1;
    DrawImageList(c);
    EnableRun(c);
    ShowRestoreSentence(c);
}

void SetOneTapBackupMode(const ImagingContext& c) {
    ShowMode(c.window, false);
    if (!c.state.oneTapRestore) return;
    c.state.oneTapRestore = false;
    RestorePageState& page = c.state.restorePage;
    const std::string current = CurrentImage(c.state);
    if (!current.empty()) {
        page.replacedItem = current;
        page.images[page.chosen] = DefaultBackupImage(c);
        DrawImageList(c);
    }
    EnableRun(c);
}

void SetOneTapRestoreMode(const ImagingContext& c) {
    ShowMode(c.window, true);
    if (c.state.oneTapRestore) return;
    c.state.oneTapRestore = true;
    // The item the backup mode replaced gets its text back, unless a search has filled the list anew.
    RestorePageState& page = c.state.restorePage;
    if (!page.replacedItem.empty() && !CurrentImage(c.state).empty() && CurrentImage(c.state) == DefaultBackupImage(c))
        page.images[page.chosen] = page.replacedItem;
    page.replacedItem.clear();
    DrawImageList(c);
    EnableRun(c);
    ShowRestoreSentence(c);
}

}  // namespace kx
