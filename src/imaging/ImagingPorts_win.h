#pragma once
// The Windows implementations of the imaging ports, owned together. Keep the object alive as long as the
// program: Ports::imaging points into it.
#include <memory>

#include "imaging/ImagingPorts.h"

namespace kx {

struct OwnedImagingPorts {
    virtual ~OwnedImagingPorts() = default;
    ImagingPorts ports;
};

// When the environment variable KORVANIX_RESTART_LOG names a file, the restart port goes through the
// privilege step and then writes the request it would make to that file instead of making it: the program
// scenarios run the whole restart path under Wine without ending anything.
std::unique_ptr<OwnedImagingPorts> MakeImagingPorts();

}  // namespace kx
