#include "base/Outcome.h"

namespace kx {

std::string Outcome::Describe() const {
    if (ok()) return {};
    std::string text = what_;
    if (!error_.call.empty()) text += "（" + error_.call + " 错误 " + std::to_string(error_.code) + "）";
    return text;
}

}  // namespace kx
