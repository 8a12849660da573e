// Failure risk: the worked RAID 5 and RAID 6 figures, closed forms worked by
// hand, unreadable sectors during a rebuild, and the orderings any correct
// model keeps (more parity, longer repair, more or larger groups).
#include <gtest/gtest.h>

#include <cmath>

#include "raid.h"

using raid::Level;

namespace {

constexpr double kHoursPerYear = 8760;
// AFR 8.76 % is λ = 1e-5 per disk-hour; 3.6 TB at 100 MB/s rebuilds in 10 h.
constexpr double kRoundAfr = 8.76;

raid::Config cfg(Level level, int disks, int spares = 0) {
    raid::Config c;
    c.level = level;
    c.disks = disks;
    c.spares = spares;
    c.disk_bytes = 3.6e12;
    c.read_mbs = c.write_mbs = 100;
    c.afr_percent = kRoundAfr;
    c.replace_hours = 90;
    return c;
}

raid::Reliability rel(const raid::Config& c) { return raid::reliability(c, raid::compute(c)); }

double mttdl(Level level, int disks, int groups = 2, double replace = 72) {
    raid::Config c = cfg(level, disks);
    c.groups = groups;
    c.replace_hours = replace;
    return rel(c).mttdl_hours;
}

}  // namespace

TEST(Reliability, WorkedEightDiskArrays) {
    raid::Config c;
    c.level = Level::R5;
    c.disks = 8;
    c.disk_bytes = 16e12;
    c.read_mbs = c.write_mbs = 250;
    raid::Reliability r = rel(c);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.repair_hours, 89.78, 0.005) << "72 h replacement + 17.78 h rebuild";
    EXPECT_NEAR(r.mttdl_hours / kHoursPerYear, 7762, 1) << "the textbook approximation gives 7744";
    EXPECT_NEAR(r.loss_per_year, 1.29e-4, 0.005e-4);
    EXPECT_NEAR(r.rebuild_bits, 8 * 7 * 16e12, 1);
    EXPECT_NEAR(r.ure_in_rebuild, 0.99987, 5e-6);
    EXPECT_FALSE(r.ure_repairable);
    c.ure_exponent = 16;
    EXPECT_NEAR(rel(c).ure_in_rebuild, 0.0857, 5e-5);

    c.level = Level::R6;
    r = rel(c);
    EXPECT_NEAR(r.mttdl_hours / kHoursPerYear, 8.41e6, 0.005e6);
    EXPECT_TRUE(r.ure_repairable);
    EXPECT_EQ(r.stripe_loss_per_year, 0) << "a second redundancy repairs the sector";
}

TEST(Reliability, ClosedFormsWorkedByHand) {
    // RAID 0 of 4: 1 / (4λ) = 25000 h; per year 1 − e^(−8760/25000).
    raid::Reliability r = rel(cfg(Level::R0, 4));
    EXPECT_DOUBLE_EQ(r.mttdl_hours, 25000);
    EXPECT_NEAR(r.loss_per_year, 0.2955937, 1e-7);
    EXPECT_FALSE(r.has_rebuild);

    // RAID 1 of 2: (3λ + μ) / (2λ²); 90 h + 10 h repair gives μ = 0.01.
    r = rel(cfg(Level::R1, 2));
    EXPECT_DOUBLE_EQ(r.repair_hours, 100);
    EXPECT_NEAR(r.mttdl_hours, 5.015e7, 1);
    // A spare leaves only the 10 h rebuild: μ = 0.1.
    r = rel(cfg(Level::R1, 3, 1));
    EXPECT_DOUBLE_EQ(r.repair_hours, 10);
    EXPECT_NEAR(r.mttdl_hours, 5.0015e8, 10);
    // RAID 10 of 4 is two such mirrors: half the time.
    EXPECT_NEAR(rel(cfg(Level::R10, 4)).mttdl_hours, 2.5075e7, 1);

    // RAID 6 of 4 with one spare: the first repair takes 10 h, the second
    // 100 h. T0 = 25000, T1 = (1 + 2500) / 3e-5, T2 = (1 + T1 / 100) / 2e-5.
    r = rel(cfg(Level::R6, 5, 1));
    EXPECT_DOUBLE_EQ(raid::repair_hours_in(r, 1), 10);
    EXPECT_DOUBLE_EQ(raid::repair_hours_in(r, 2), 100);
    EXPECT_NEAR(r.mttdl_hours, 41766775000, 50);
}

TEST(Reliability, RepairOverrideAndInfinity) {
    raid::Config c = cfg(Level::R1, 3, 1);
    c.repair_hours = 100;
    EXPECT_NEAR(rel(c).mttdl_hours, 5.015e7, 1) << "the whole repair, spare or not";
    c.repair_hours = 0;
    raid::Reliability r = rel(c);
    EXPECT_TRUE(std::isinf(r.mttdl_hours)) << "repaired at once: never exposed";
    EXPECT_EQ(r.loss_per_year, 0);
    c.level = Level::R0;
    EXPECT_DOUBLE_EQ(rel(c).mttdl_hours, 1 / (2 * 1e-5)) << "nothing to repair without redundancy";

    // 256 copies at 1.5 %: T_255 is near 10^450 hours, beyond any double.
    c = cfg(Level::R1, 256);
    c.afr_percent = 1.5;
    r = rel(c);
    EXPECT_TRUE(std::isinf(r.mttdl_hours));
    EXPECT_EQ(r.loss_in_years, 0);

    EXPECT_FALSE(rel(cfg(Level::R5, 2)).ok) << "too few disks";
    EXPECT_EQ(raid::Config().afr_percent, raid::find_type("hdd7200")->afr_percent) << "the command line's disks";
}

TEST(Reliability, StripeLossFromUnreadableSectors) {
    // RAID 5 of 3: 2.5 TB read = 2e13 bits at 1e-13, chance 1 − e^−2; first
    // failures at 3λ a hour.
    raid::Config c = cfg(Level::R5, 3);
    c.disk_bytes = 1.25e12;
    c.ure_exponent = 13;
    raid::Reliability r = rel(c);
    EXPECT_NEAR(r.ure_in_rebuild, 0.8646647, 1e-7);
    EXPECT_NEAR(r.stripe_loss_per_year, 0.2032656, 1e-7);
    // RAID 50 of two such groups: twice the rate.
    c.level = Level::R50;
    c.disks = 6;
    EXPECT_NEAR(rel(c).stripe_loss_per_year, 0.3652143, 1e-7);
    EXPECT_FALSE(rel(cfg(Level::Jbod, 3)).has_rebuild);
}

TEST(Reliability, OrderingsAnyModelKeeps) {
    for (int n = 5; n <= 24; ++n) {
        EXPECT_LE(mttdl(Level::R5, n), mttdl(Level::R6, n)) << n;
        EXPECT_LE(mttdl(Level::R6, n), mttdl(Level::Tp, n)) << n;
    }
    for (Level l : {Level::R1, Level::R5, Level::R6, Level::R10, Level::R60}) {
        double before = INFINITY;
        for (double hours : {0.0, 1.0, 24.0, 72.0, 500.0, 8760.0}) {
            const double now = mttdl(l, 12, 2, hours);
            EXPECT_LE(now, before) << raid::key(l) << " " << hours;
            before = now;
        }
    }
    // 24 disks split into more groups: each group is smaller and safer.
    for (Level l : {Level::R50, Level::R60}) {
        double before = 0;
        for (int g : {2, 3, 4, 6}) {
            const double now = mttdl(l, 24, g);
            EXPECT_GE(now, before) << raid::key(l) << " " << g;
            before = now;
        }
    }
    // More groups of 4 disks: more ways to fail.
    double before = INFINITY;
    for (int g = 2; g <= 8; ++g) {
        const double now = mttdl(Level::R50, 4 * g, g);
        EXPECT_LE(now, before) << g;
        before = now;
    }
}
