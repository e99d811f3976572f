#pragma once
// The edition question on Windows: a modal dialog owned by the main window (asked on the window thread, a
// worker's question too) with the question, a list of the items with the first one selected, "确定" and
// "取消".
#include "imaging/ImagingPorts.h"

namespace kx {

class ChoiceDialogWin : public ChoicePort {
public:
    std::optional<int> Choose(const std::string& title, const std::string& text,
                              const std::vector<std::string>& items) override;
};

}  // namespace kx
