#pragma once
// The subcommands of korvanix-diag. Each returns the exit code; 2 means "wrong arguments".
#include <string>
#include <vector>

namespace kx::diag {

using Args = std::vector<std::string>;

bool ReadFile(const std::string& path, std::string& bytes);

int Text(const Args& args);
int Disks(const Args& args);
int Volumes(const Args& args);
int PeCheck(const Args& args);
int Zip(const Args& args);
int Unzip(const Args& args);
int Stage(const Args& args);
int JobCheck(const Args& args);

}  // namespace kx::diag
