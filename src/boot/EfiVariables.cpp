#include "boot/EfiVariables.h"

#include <vector>

namespace kx {

Result<uint16_t> StageEfiBoot(EfiVariablePort& vars, const EfiPartition& esp) {
    auto option = EfiLoadOption(kEfiOptionDescription, esp, kEfiLoaderPath);
    if (!option) return option.outcome();
    auto order = vars.Read("BootOrder");
    if (!order) return order.outcome();
    std::vector<uint16_t> used;
    if (order.value()) {
        auto parsed = ParseEfiBootOrder(*order.value());
        if (!parsed) return parsed.outcome();
        used = parsed.value();
    }
    // Windows before 8 cannot list the firmware's variables: an option outside BootOrder is found by asking
    // for each number in turn.
    uint16_t number = 0;
    for (;;) {
        auto free = FreeEfiBootNumber(used);
        if (!free) return free.outcome();
        auto existing = vars.Read(EfiBootVariableName(free.value()));
        if (!existing) return existing.outcome();
        if (!existing.value()) {
            number = free.value();
            break;
        }
        used.push_back(free.value());
    }
    const std::string name = EfiBootVariableName(number);
    if (Outcome written = vars.Write(name, option.value()); !written) return written;
    auto back = vars.Read(name);
    if (!back || !back.value() || *back.value() != option.value()) {
        (void)vars.Write(name, {});  // best effort: the failure below is what counts
        return Outcome::Failed("固件没有保存启动项 " + name);
    }
    Outcome next = vars.Write("BootNext", EfiBootNextValue(number));
    auto nextBack = vars.Read("BootNext");
    if (!next || !nextBack || !nextBack.value() || *nextBack.value() != EfiBootNextValue(number)) {
        (void)vars.Write(name, {});
        return next.ok() ? Outcome::Failed("固件没有保存 BootNext") : next;
    }
    return number;
}

Outcome RemoveEfiBoot(EfiVariablePort& vars, uint16_t number) {
    const std::string name = EfiBootVariableName(number);
    auto option = vars.Read(name);
    if (!option) return option.outcome();
    Outcome result = Outcome::Done();
    if (option.value()) {
        auto fields = ParseEfiLoadOption(*option.value());
        if (!fields || fields->description != kEfiOptionDescription || fields->path != kEfiLoaderPath)
            return Outcome::Failed("启动项 " + name + " 不是本工具写入的，未删除");
        result.Also(vars.Write(name, {}));
    }
    auto next = vars.Read("BootNext");
    if (!next) return result.Also(next.outcome());
    if (next.value() && *next.value() == EfiBootNextValue(number)) result.Also(vars.Write("BootNext", {}));
    return result;
}

}  // namespace kx
