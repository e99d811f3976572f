#include "imaging/EngineNotice.h"

#include <cmath>
#include <cstdlib>

namespace kx {

std::string EngineScreenNotice(bool restore, const std::string& usedCell) {
    std::string text =
        "重新启动后，电脑会进入映像引擎：屏幕上是英文的进度画面（百分比、已完成的大小、速度和剩余时间）。"
        "在它完成并自动重新启动之前，请不要关机或重启电脑。";
    char* end = nullptr;
    const double gigabytes = std::strtod(usedCell.c_str(), &end);
    if (end == usedCell.c_str() || !(gigabytes > 0)) return text;
    const double seconds = gigabytes * 1024 / (restore ? kEngineRestoreMBps : kEngineBackupMBps);
    const long minutes = std::max(1L, static_cast<long>(std::ceil(seconds / 60)));
    return text + "按分区已用的 " + usedCell + " 估计，大约需要 " + std::to_string(minutes) + " 分钟。";
}

}  // namespace kx
