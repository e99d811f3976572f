#pragma once
// The Windows implementations of the user-data ports, owned together. Keep the object alive as long as the
// program: Ports::userData points into it.
#include <memory>

#include "userdata/UserDataPorts.h"

namespace kx {

struct OwnedUserDataPorts {
    virtual ~OwnedUserDataPorts() = default;
    UserDataPorts ports;
};

std::unique_ptr<OwnedUserDataPorts> MakeUserDataPorts();

}  // namespace kx
