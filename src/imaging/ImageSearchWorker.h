#pragma once
// The search for images on the fixed drives, on the image-search worker. It gets what to search by value
// when it starts and publishes what it has found so far; the window thread draws that on the restore page.
#include <string>
#include <vector>

#include "base/Latest.h"
#include "base/Worker.h"
#include "imaging/ImagingPorts.h"

namespace kx {

struct ImageSearchRequest {
    std::vector<std::string> drives;  // "C", "D" ...: the listed fixed drives, in list order
    bool engineImages = false;        // our engine's images (folders with a manifest) are listed too
};

// What a search has found so far; `done` once it has looked everywhere (a stopped search never says so).
struct FoundImages {
    std::vector<std::string> paths;
    bool done = false;
};

// Lists `path` when it is an image worth offering: over 400 MB and not in a recycle bin.
bool WorthListing(const std::string& path, uint64_t size);

// The worker's run: returns when the drives are searched, or soon after a stop is requested.
void SearchImagesWorker(const ImageSearchRequest& request, ImageFilePort& files, Latest<FoundImages>& found,
                        const StopToken& stop);

}  // namespace kx
