#pragma once
// The subcommands of korvanix-diag. Each returns the exit code; 2 means "wrong arguments".
#include <string>
#include <vector>

namespace kx::diag {

using Args = std::vector<std::string>;

bool ReadFile(const std::string& path, std::string& bytes);
// A value for the shell, in single quotes; a command run, its failure said on standard error.
std::string Quote(const std::string& s);
bool Run(const std::string& command);
// stage on a GPT disk image (StageGpt.cpp): the job with GUID identities, the UEFI files on its ESP.
int StageGpt(const std::string& disk, const std::string& system, const std::string& partition, const std::string& image,
             bool restore, const std::string& assets);

int Text(const Args& args);
int Disks(const Args& args);
int Volumes(const Args& args);
int PeCheck(const Args& args);
int Zip(const Args& args);
int Unzip(const Args& args);
int Stage(const Args& args);
int JobCheck(const Args& args);
int EfiOption(const Args& args);
int EfiGrub(const Args& args);

}  // namespace kx::diag
