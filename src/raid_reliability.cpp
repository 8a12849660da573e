// Failure risk of a valid array: mean time to data loss from a birth-death
// chain per redundancy set, the chances of losing data within a year and
// within the mission time, and unreadable sectors met during a rebuild.
// Pure: every intermediate value goes back in the Reliability record.
#include <algorithm>
#include <cmath>
#include <limits>

#include "raid.h"

namespace raid {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kPercent = 100;
constexpr double kBitsPerByte = 8;
constexpr double kSecondsPerHour = 3600;
// Far beyond the window's 256 disks. A set that tolerates more failures is
// reckoned to tolerate this many: every further state only adds time, so the
// figure stays a lower bound while the work stays bounded.
constexpr int kMaxChainFailures = 4096;

// A NaN is held to the lower limit like any value below it.
double limit(double v, double lo, double hi) { return std::isnan(v) ? lo : std::clamp(v, lo, hi); }

// Expected hours from no failed disk to p + 1 failed disks in a set of n:
// T_0 = 1 / λ_0, T_i = (1 + μ_i T_(i-1)) / λ_i, MTTDL = Σ T_i, with
// λ_i = (n − i) λ and μ_i = 1 / the repair time from state i. Linear in p,
// and stops as soon as the sum is beyond any meaning.
double set_mttdl(int n, int p, const Reliability& rel) {
    double prev = 0, sum = 0;
    for (int i = 0; i <= std::min(p, kMaxChainFailures); ++i) {
        const double rate = (n - i) * rel.lambda;
        if (!(rate > 0)) return kInfinity;
        double t = 1 / rate;
        if (i > 0) {
            const double repair = repair_hours_in(rel, i);
            if (!(repair > 0)) return kInfinity;  // repaired at once: never exposed
            t = (1 + prev / repair) / rate;
        }
        sum += t;
        if (!(sum <= kInfiniteHours)) return kInfinity;
        prev = t;
    }
    return sum;
}

double loss_within(double hours, double mttdl) { return std::isinf(mttdl) ? 0 : -std::expm1(-hours / mttdl); }

}  // namespace

double repair_hours_in(const Reliability& rel, int state) {
    return state <= rel.spares ? rel.repair_spare_hours : rel.repair_nospare_hours;
}

Reliability reliability(const Config& c, const Result& r) {
    Reliability rel;
    if (!r.ok() || r.active <= 0) return rel;
    rel.ok = true;
    rel.afr_percent = limit(c.afr_percent, kMinAfr, kMaxAfr);
    rel.ure_exponent = limit(c.ure_exponent, kMinUre, kMaxUre);
    rel.replace_hours = limit(c.replace_hours, kMinReplaceHours, kMaxReplaceHours);
    rel.mission_years = limit(c.mission_years, kMinYears, kMaxYears);
    rel.spares = std::max(0, c.spares);
    rel.lambda = rel.afr_percent / kPercent / kHoursPerYear;

    // Spares are not used up: every state up to `spares` finds one free.
    rel.rebuild_hours = std::max(0.0, r.rebuild_s) / kSecondsPerHour;
    rel.repair_override = c.repair_hours >= 0;
    rel.repair_spare_hours = rel.repair_override ? limit(c.repair_hours, kMinRepairHours, kMaxRepairHours)
                                                 : rel.rebuild_hours;
    rel.repair_nospare_hours = rel.repair_override ? rel.repair_spare_hours : rel.replace_hours + rel.rebuild_hours;

    // JBOD and RAID 0 lose everything at the first failure: one set of all disks.
    const bool striped = c.level == Level::Jbod || c.level == Level::R0;
    rel.sets = striped ? 1 : std::max(1, r.group_count);
    rel.set_disks = striped ? r.active : r.group_size;
    rel.set_tolerates = striped ? 0 : std::clamp(r.tol_min, 0, std::max(0, rel.set_disks - 1));
    rel.has_rebuild = rel.set_tolerates > 0;
    if (rel.has_rebuild) rel.repair_hours = repair_hours_in(rel, 1);

    rel.set_mttdl_hours = set_mttdl(rel.set_disks, rel.set_tolerates, rel);
    rel.mttdl_hours = rel.set_mttdl_hours / rel.sets;
    rel.loss_per_year = loss_within(kHoursPerYear, rel.mttdl_hours);
    rel.loss_in_years = loss_within(rel.mission_years * kHoursPerYear, rel.mttdl_hours);

    if (!rel.has_rebuild) return rel;
    rel.rebuild_bits = kBitsPerByte * std::max(0.0, r.rebuild_read);
    rel.ure_in_rebuild = -std::expm1(rel.rebuild_bits * std::log1p(-std::pow(10.0, -rel.ure_exponent)));
    rel.ure_repairable = rel.set_tolerates >= 2;
    // A set without redundancy left loses the stripe that holds the bad
    // sector, not the array: a rate of its own, never part of the MTTDL.
    if (rel.set_tolerates == 1) {
        const double per_hour = rel.sets * rel.set_disks * rel.lambda * rel.ure_in_rebuild;
        rel.stripe_loss_per_year = -std::expm1(-kHoursPerYear * per_hour);
    }
    return rel;
}

}  // namespace raid
