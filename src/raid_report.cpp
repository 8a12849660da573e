// The plain-text report of one calculation (printed by "--calc", copied to
// the clipboard by the window), its failure-risk lines, and the arithmetic
// self-test.
#include <cmath>
#include <cstdio>
#include <string>

#include "con.h"
#include "format.h"
#include "l10n.h"
#include "raid.h"

namespace raid {

namespace {

constexpr double kSelftestTolerance = 1e-6;
constexpr int kSelftestLayoutRows = 6;
constexpr double kPercent = 100;
constexpr double kSecondsPerHour = 3600;

void line(std::string* out, const char* label_key, const std::string& value) {
    *out += L10n::tr(label_key) + ": " + value + "\n";
}

std::string speed(double mbs, double iops) {
    return fmt::approx(fmt::rate_mbs(mbs)) + " \xC2\xB7 " + fmt::approx(fmt::iops(iops)) + " IOPS";
}

// "0.0129 % (about 1 in 7760)"; a chance of 0 needs no odds.
std::string risk(double p) {
    const std::string odds = p > 0 ? " (" + L10n::tr("rel.one_in", fmt::one_in(p).c_str()) + ")" : "";
    return fmt::chance(p) + odds;
}

// Collects the outcome of the self-test checks.
struct Checker {
    int failures = 0;

    void num(const char* name, double got, double want) {
        if (std::fabs(got - want) > kSelftestTolerance * std::max(1.0, std::fabs(want))) {
            std::fprintf(stderr, "FAIL %s: got %.6g, want %.6g\n", name, got, want);
            ++failures;
        }
    }
    void is(const char* name, bool cond) { num(name, cond ? 1 : 0, 1); }
    void is_not(const char* name, bool cond) { num(name, cond ? 1 : 0, 0); }
};

double at(const std::vector<double>& v, size_t i) { return i < v.size() ? v[i] : 0.0; }

}  // namespace

std::string to_text(const Config& c, const Result& r) {
    std::string out = std::string(name(c.level)) + " \xE2\x80\x94 " + std::to_string(c.disks) + " \xC3\x97 " +
                      fmt::bytes(c.disk_bytes);
    if (c.spares >= 1) out += " (" + L10n::tr("txt.spares_inc", c.spares) + ")";
    out += "\n";
    if (!r.ok()) return out + L10n::tr("txt.invalid") + "\n";

    line(&out, "res.usable", fmt::size(r.usable) + " (" + fmt::size_other(r.usable) + ")");
    line(&out, "res.raw", fmt::size(r.raw));
    line(&out, "res.efficiency", fmt::percent(r.efficiency));
    line(&out, "res.read", speed(r.read_mbs, r.read_iops));
    line(&out, "res.write", speed(r.write_mbs, r.write_iops));
    line(&out, "res.tolerance", r.tol_min == r.tol_max
                                    ? L10n::tr("txt.tol_exact", r.tol_min)
                                    : L10n::tr("txt.tol_range", std::to_string(r.tol_min).c_str(), r.tol_max));
    if (r.rebuild_s > 0)
        line(&out, "res.rebuild", L10n::tr("res.rebuild_val", fmt::approx(fmt::hours(r.rebuild_s)).c_str()));
    return out + L10n::tr("status.estimate") + "\n";
}

std::string reliability_text(const Reliability& rel) {
    if (!rel.ok) return {};
    std::string out = L10n::tr("rel.inputs", fmt::chance(rel.afr_percent / kPercent).c_str(),
                               fmt::scientific(std::pow(10.0, rel.ure_exponent)).c_str()) +
                      "\n";
    if (rel.has_rebuild) {
        // A repair time the user gave is no estimate.
        const std::string repair = fmt::hours(rel.repair_hours * kSecondsPerHour);
        line(&out, "rel.repair", rel.repair_override ? repair : fmt::approx(repair));
    }
    line(&out, "rel.mttdl",
         std::isinf(rel.mttdl_hours)
             ? L10n::tr("rel.infinite")
             : L10n::tr("rel.years", fmt::approx(fmt::years(rel.mttdl_hours / kHoursPerYear)).c_str()));
    line(&out, "rel.loss_year", risk(rel.loss_per_year));
    // One year is the line above.
    if (rel.mission_years != 1)
        out += L10n::tr("rel.loss_in", fmt::sig3(rel.mission_years).c_str()) + ": " + risk(rel.loss_in_years) + "\n";
    if (rel.has_rebuild) {
        line(&out, "rel.ure",
             fmt::chance(rel.ure_in_rebuild) + " \xE2\x80\x94 " +
                 (rel.ure_repairable ? L10n::tr("rel.ure_repaired") : L10n::tr("rel.ure_lost")));
        if (!rel.ure_repairable) line(&out, "rel.stripe_year", risk(rel.stripe_loss_per_year));
    }
    return out + L10n::tr("rel.assume") + "\n";
}

int selftest(Engine engine) {
    Checker ck;
    Config c;
    c.disk_bytes = 4e12;
    c.disks = 4;
    c.spares = 0;
    c.level = Level::R5;
    c.mirror = 2;
    c.groups = 2;
    c.read_mbs = c.write_mbs = 200;
    c.read_iops = c.write_iops = 100;

    Result r = engine(c);
    ck.num("raid5 usable", r.usable, 1.2e13);
    ck.num("raid5 read", r.read_mbs, 600);
    ck.num("raid5 write iops", r.write_iops, 100);
    ck.num("raid5 tol", r.tol_min, 1);
    ck.num("raid5 survive 2", at(r.survive, 2), 0);
    ck.num("raid5 rebuild read", r.rebuild_read, 1.2e13);

    c.level = Level::R6;
    c.disks = 8;
    r = engine(c);
    ck.num("raid6 usable", r.usable, 2.4e13);
    ck.num("raid6 eff", r.efficiency, 0.75);
    ck.num("raid6 penalty", r.penalty, 6);
    ck.num("raid6 survive 2", at(r.survive, 2), 1);
    ck.num("raid6 survive 3", at(r.survive, 3), 0);

    c.level = Level::R10;
    c.mirror = 2;
    r = engine(c);
    ck.num("raid10 usable", r.usable, 1.6e13);
    ck.num("raid10 read", r.read_mbs, 1600);
    ck.num("raid10 write", r.write_mbs, 800);
    ck.num("raid10 tol min", r.tol_min, 1);
    ck.num("raid10 tol max", r.tol_max, 4);
    ck.num("raid10 survive 2", at(r.survive, 2), 0.8571428571428571);
    ck.is_not("raid10 health lost", health(c, r, {0, 2}, 0).lost);
    ck.is("raid10 health pair lost", health(c, r, {0, 1, 2}, 0).lost);

    c.disks = 7;
    r = engine(c);
    ck.is("raid10 odd problem", r.problem == Problem::NotDivisible);
    ck.num("raid10 odd suggest below", r.suggest.empty() ? 0 : r.suggest[0], 6);

    c.level = Level::R60;
    c.disks = 12;
    c.groups = 2;
    r = engine(c);
    ck.num("raid60 usable", r.usable, 3.2e13);
    ck.num("raid60 tol", r.tol_min, 2);
    ck.num("raid60 tol max", r.tol_max, 4);

    c.level = Level::R50;
    c.disks = 6;
    c.groups = 3;
    r = engine(c);
    ck.is("raid50 small group", r.problem == Problem::GroupTooSmall);

    c.level = Level::R1;
    c.disks = 3;
    r = engine(c);
    ck.num("raid1 usable", r.usable, 4e12);
    ck.num("raid1 tol", r.tol_min, 2);
    ck.num("raid1 survive 2", at(r.survive, 2), 1);

    c.level = Level::R0;
    c.disks = 4;
    c.spares = 1;
    r = engine(c);
    ck.num("raid0 spare usable", r.usable, 1.2e13);
    ck.num("raid0 raw", r.raw, 1.6e13);
    ck.num("raid0 survive 1", at(r.survive, 1), 0);

    c.level = Level::Tp;
    c.disks = 10;
    c.spares = 0;
    r = engine(c);
    ck.num("tp usable", r.usable, 2.8e13);
    ck.num("tp penalty", r.penalty, 8);

    c.level = Level::R6;
    c.disks = 6;
    r = engine(c);
    const Layout lay = layout(c, r, kSelftestLayoutRows);
    for (int row = 0; row < kSelftestLayoutRows; ++row) {
        int parity = 0;
        for (const auto& disk : lay.disks)
            if (disk[static_cast<size_t>(row)].kind == Block::Parity) ++parity;
        ck.num("raid6 parity per row", parity, 2);
    }

    if (ck.failures == 0) con::print("selftest: all checks passed\n");
    return ck.failures;
}

}  // namespace raid
