#pragma once
// The download component carried inside the program: loaded from the program's own resource at start-up,
// with no file written, and its five entry points bound by ordinal.
#include <cstddef>

#include "download/DownloadApi.h"

namespace kx {

// Loads the component from the resource HTTP_DOWNLOAD_DLL of the running program. The result's Bound() is
// false when the resource is missing or the image could not be loaded: the download workflow then tells
// the user instead of calling through a null pointer. Call once, before any worker thread starts.
DownloadEntryPoints LoadDownloadComponent();

// The same from given image bytes (copied first; the copy is what gets mapped).
DownloadEntryPoints LoadDownloadComponent(const void* data, size_t size);

}  // namespace kx
