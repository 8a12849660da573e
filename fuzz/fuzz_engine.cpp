// Fuzzes the engine on arbitrary configurations, extreme integers and
// non-finite doubles included: compute, layout, health, the failure risk and
// the reports must stay defined and bounded, and their figures consistent.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>

#include "l10n.h"
#include "raid.h"

namespace {

constexpr int kMinRows = -8, kMaxRows = 64;
constexpr size_t kMaxFailed = 64;
constexpr int kEdgeInts[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};
constexpr double kEdgeDoubles[] = {0.0, -1.0, 1e12, 1e300, INFINITY, -INFINITY, NAN, 5e-324};

int any_int(FuzzedDataProvider& in) {
    // Mostly the interesting edges, sometimes any value at all.
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: return in.ConsumeIntegralInRange(-4, 300);
        case 1: return in.PickValueInArray(kEdgeInts);
        default: return in.ConsumeIntegral<int>();
    }
}

double any_double(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.ConsumeFloatingPoint<double>();
    return in.PickValueInArray(kEdgeDoubles);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    L10n::setLanguage("en");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    raid::Config c;
    c.level = static_cast<raid::Level>(in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 8) : any_int(in));
    c.disks = any_int(in);
    c.spares = any_int(in);
    c.mirror = any_int(in);
    c.groups = any_int(in);
    c.disk_bytes = any_double(in);
    c.read_mbs = any_double(in);
    c.write_mbs = any_double(in);
    c.read_iops = any_double(in);
    c.write_iops = any_double(in);
    c.afr_percent = any_double(in);
    c.ure_exponent = any_double(in);
    c.replace_hours = any_double(in);
    c.mission_years = any_double(in);
    c.repair_hours = any_double(in);
    const int rows = in.ConsumeIntegralInRange(kMinRows, kMaxRows);
    const int failed_spares = any_int(in);
    std::set<int> failed;
    while (failed.size() < kMaxFailed && in.remaining_bytes() > 0) failed.insert(any_int(in));

    const raid::Result r = raid::compute(c);
    if (r.active < 0 || r.need < 0 || r.suggest.size() > 3) __builtin_trap();
    for (size_t i = 1; i < r.suggest.size(); ++i)
        if (r.suggest[i] <= r.suggest[i - 1]) __builtin_trap();
    if (r.ok()) {
        if (r.survive.empty() || r.survive[0] != 1 || r.survive.size() > static_cast<size_t>(r.active) + 1)
            __builtin_trap();
        for (size_t k = 1; k < r.survive.size(); ++k)
            if (!(r.survive[k] >= 0 && r.survive[k] <= r.survive[k - 1])) __builtin_trap();
        if (r.tol_min < 0 || r.tol_max < r.tol_min) __builtin_trap();
    } else if (!r.survive.empty()) {
        __builtin_trap();
    }

    const raid::Layout lay = raid::layout(c, r, rows);
    if (!lay.disks.empty() && lay.disks.size() != static_cast<size_t>(r.active)) __builtin_trap();
    for (const auto& disk : lay.disks)
        if (disk.size() != static_cast<size_t>(std::max(0, rows))) __builtin_trap();

    const raid::Health h = raid::health(c, r, failed, failed_spares);
    if (h.more_safe < 0 || h.spares_left < 0 || (h.lost && h.more_safe != 0)) __builtin_trap();
    raid::to_text(c, r);

    const raid::Reliability rel = raid::reliability(c, r);
    const auto chance = [](double p) { return p >= 0 && p <= 1; };
    if (rel.ok != r.ok()) __builtin_trap();
    if (rel.ok && !(rel.mttdl_hours > 0 && chance(rel.loss_per_year) && chance(rel.loss_in_years) &&
                    chance(rel.ure_in_rebuild) && chance(rel.stripe_loss_per_year)))
        __builtin_trap();
    raid::reliability_text(rel);
    return 0;
}
