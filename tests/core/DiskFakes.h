#pragma once
// The disk inventory's tests: a program wired to fakes, and the recorded tool outputs.
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "ProgramRig.h"
#include "disk/DiskPages.h"

namespace kx::test {

struct DiskRig : Rig {
    ~DiskRig() { program.state().disk.imageSearch.Stop(); }
    DiskContext Disk() { return program.Disk(); }
};

inline std::string ReadTestData(const std::string& relative) {
    std::ifstream in(std::string(KX_TEST_DATA) + "/" + relative, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace kx::test
