#include "app/ListColumns.h"

#include <cstdlib>

namespace kx {

std::vector<ColumnSpec> ParseColumns(const std::string& text) {
    std::vector<ColumnSpec> columns;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('|', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        size_t colon = item.rfind(':');
        ColumnSpec c;
        c.caption = item.substr(0, colon);
        if (colon != std::string::npos) c.width = std::atoi(item.c_str() + colon + 1);
        columns.push_back(std::move(c));
        start = end + 1;
    }
    return columns;
}

}  // namespace kx
