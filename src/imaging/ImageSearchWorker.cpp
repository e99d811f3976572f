#include "imaging/ImageSearchWorker.h"

#include "imaging/EngineRoute.h"
#include "text/Text.h"

namespace kx {
namespace {

constexpr uint64_t kMinimumMegabytes = 400;
constexpr int kSearchDepth = 2;  // the drive's root and the folders in it
// Ghost images, and the Windows imaging files (".wim", the solid ".esd") our engine applies. The floor of
// 400 MB holds for them too: it keeps an installation medium's boot.wim (Windows PE) out of the list and
// leaves its install.wim.
constexpr const char* kImagePatterns[] = {"*.Gho", "*.wim", "*.esd"};

bool InRecycleBin(const std::string& path) { return AsciiUpper(path).find("$RECYCLE.BIN") != std::string::npos; }

class Search {
public:
    Search(const ImageSearchRequest& request, ImageFilePort& files, Latest<FoundImages>& found, const StopToken& stop)
        : request_(request), files_(files), found_(found), stop_(stop) {}

    void Run() {
        for (const std::string& drive : request_.drives) Folder(drive + ":\\", 1);
        if (stop_.StopRequested()) return;
        result_.done = true;
        found_.Publish(result_);
    }

private:
    void Add(const std::string& path) {
        result_.paths.push_back(path);
        found_.Publish(result_);
    }

    // Lists the images of `folder` and, above the depth limit, of its folders. A folder that cannot be read (a
    // drive removed meanwhile, no access) is skipped.
    void Folder(std::string folder, int level) {
        if (stop_.StopRequested()) return;
        if (folder.back() != '\\') folder += '\\';
        for (const char* pattern : kImagePatterns) {
            auto files = files_.List(folder, pattern);
            if (!files) continue;
            const bool ghost = pattern == kImagePatterns[0];
            for (const FoundEntry& e : files.value()) {
                if (stop_.StopRequested()) return;
                const std::string path = folder + e.name;
                // A pattern of three letters also matches longer extensions by their short names ("x.wimbak").
                if (!e.folder && (ghost || IsImagingFile(path)) && WorthListing(path, e.size)) Add(path);
            }
        }
        // Our engine's images are folders (streams and manifest.txt), found down to the same depth as the files.
        if (level >= kSearchDepth && !request_.engineImages) return;
        auto all = files_.List(folder, "*.*");
        if (!all) return;
        for (const FoundEntry& e : all.value()) {
            if (stop_.StopRequested()) return;
            if (!e.folder) continue;
            const std::string path = folder + e.name;
            if (request_.engineImages && files_.Exists(path + "\\" + kManifestFile)) {
                if (!InRecycleBin(path)) Add(path);
            } else if (level < kSearchDepth) {
                Folder(path, level + 1);
            }
        }
    }

    const ImageSearchRequest& request_;
    ImageFilePort& files_;
    Latest<FoundImages>& found_;
    const StopToken& stop_;
    FoundImages result_;
};

}  // namespace

bool WorthListing(const std::string& path, uint64_t size) {
    return size / 1048576 > kMinimumMegabytes && !InRecycleBin(path);
}

void SearchImagesWorker(const ImageSearchRequest& request, ImageFilePort& files, Latest<FoundImages>& found,
                        const StopToken& stop) {
    Search(request, files, found, stop).Run();
}

}  // namespace kx
