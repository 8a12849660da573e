// Fuzzes the settings text as it comes out of its sealed file: whatever the
// text holds, the record afterwards is within its ranges and the engine can
// compute it.
#include <cstdint>
#include <string>

#include "raid.h"
#include "settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Settings s;
    s.read_text(std::string(reinterpret_cast<const char*>(data), size));
    const bool in_range = s.cap_unit >= 0 && s.cap_unit <= 3 && s.cap_value > 0 && s.cap_value <= 1e6 &&
                          s.disks >= 1 && s.disks <= 256 && s.spares >= 0 && s.spares < s.disks &&
                          s.mirror >= 2 && s.mirror <= 3 && s.groups >= 2 && s.groups <= 32 && s.tab >= 0 &&
                          s.tab <= 1 && s.guide_pm >= 0 && s.guide_pm <= 3 && s.guide_dev >= -1 &&
                          s.guide_dev <= 2 && s.read_mbs > 0 && s.read_mbs <= 1e6 && s.write_mbs > 0 &&
                          s.write_mbs <= 1e6 && s.read_iops > 0 && s.read_iops <= 1e9 && s.write_iops > 0 &&
                          s.write_iops <= 1e9 && s.full.w >= 0 && s.full.w <= 20000 && s.full.h >= 0 &&
                          s.full.h <= 20000 && (s.theme == "auto" || s.theme == "light" || s.theme == "dark") &&
                          s.afr_percent >= raid::kMinAfr && s.afr_percent <= raid::kMaxAfr &&
                          s.ure_exponent >= raid::kMinUre && s.ure_exponent <= raid::kMaxUre &&
                          s.replace_hours >= raid::kMinReplaceHours && s.replace_hours <= raid::kMaxReplaceHours &&
                          s.mission_years >= raid::kMinYears && s.mission_years <= raid::kMaxYears;
    if (!in_range) __builtin_trap();
    raid::Level level;
    if (!raid::from_key(s.level, &level)) __builtin_trap();
    const raid::Config c = s.config();
    const raid::Result r = raid::compute(c);
    raid::layout(c, r, 4);
    if (raid::reliability(c, r).ok != r.ok()) __builtin_trap();
    return 0;
}
