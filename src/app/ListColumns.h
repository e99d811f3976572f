#pragma once
#include <string>
#include <vector>

namespace kx {

struct ColumnSpec {
    std::string caption;
    int width = 0;
};

// Reads a layout column list, "caption:width|caption:width|...".
std::vector<ColumnSpec> ParseColumns(const std::string& text);

}  // namespace kx
