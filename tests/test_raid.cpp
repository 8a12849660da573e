// The engine: vocabulary, validity and suggestions, the figures per level,
// survival chances, the block layout and the judgement of failed disks.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <tuple>

#include "format.h"
#include "l10n.h"
#include "raid.h"

using raid::Level;
using raid::Problem;

namespace {

raid::Config cfg(Level level, int disks, int spares = 0, double bytes = 4e12) {
    raid::Config c;
    c.level = level;
    c.disks = disks;
    c.spares = spares;
    c.disk_bytes = bytes;
    c.read_mbs = c.write_mbs = 200;
    c.read_iops = c.write_iops = 100;
    return c;
}

std::vector<std::string> row_labels(const raid::Layout& l, int row) {
    std::vector<std::string> v;
    for (const auto& disk : l.disks) v.push_back(disk[static_cast<size_t>(row)].label);
    return v;
}

}  // namespace

TEST(Vocabulary, KeysAndNames) {
    Level l = Level::Jbod;
    EXPECT_TRUE(raid::from_key("raidtp", &l));
    EXPECT_EQ(l, Level::Tp);
    for (const char* bad : {"RAID5", "raid 5", "tp", "", "raid5 "}) {
        l = Level::R1;
        EXPECT_FALSE(raid::from_key(bad, &l)) << bad;
        EXPECT_EQ(l, Level::R1) << "a failed lookup must leave the output alone";
    }
    for (Level lv : raid::kLevels) {
        Level back = Level::Jbod;
        ASSERT_TRUE(raid::from_key(raid::key(lv), &back));
        EXPECT_EQ(back, lv);
    }
    EXPECT_STREQ(raid::key(static_cast<Level>(42)), "raid6");
    EXPECT_STREQ(raid::name(static_cast<Level>(-1)), "?");
    EXPECT_STREQ(raid::name(Level::Tp), "RAID TP");
}

TEST(Vocabulary, DiskTypesAndUnits) {
    ASSERT_EQ(raid::disk_types().size(), 8u);
    EXPECT_EQ(&raid::disk_types(), &raid::disk_types());
    const raid::DiskType* t = raid::find_type("hdd7200");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->read_mbs, 250);
    EXPECT_EQ(t->write_iops, 120);
    EXPECT_EQ(raid::find_type("custom"), nullptr);
    EXPECT_EQ(raid::find_type("nvme5")->write_iops, 1600000);
    EXPECT_STREQ(raid::unit_name(7), "PB");
    EXPECT_STREQ(raid::unit_name(-3), "MB");
    EXPECT_EQ(raid::unit_factor(-1), 1e6);
    EXPECT_EQ(raid::unit_factor(2), 1e12);
}

TEST(Vocabulary, CapacityStepsOnAndBetweenLimits) {
    // Every row of the stepping table, inside it and on its upper limit: a
    // value on a limit steps up with the next row's step, down with its own.
    struct Case {
        double value, up, down;
    };
    const Case cases[] = {{1, 0.25, 0.25}, {1.5, 0.25, 0.25}, {2, 1, 0.25},  {5, 1, 1},       {10, 2, 1},
                          {20, 2, 2},       {40, 5, 2},        {70, 5, 5},     {100, 10, 5},    {200, 10, 10},
                          {400, 50, 10},    {700, 50, 50},     {1000, 100, 50}, {5000, 100, 100}, {5e9, 100, 100}};
    for (const Case& c : cases) {
        EXPECT_EQ(raid::cap_step(c.value, +1), c.up) << c.value << " up";
        EXPECT_EQ(raid::cap_step(c.value, -1), c.down) << c.value << " down";
    }
    EXPECT_EQ(raid::cap_step(12, 0), 2) << "a zero direction steps down";
}

TEST(Compute, Raid5FourDisks) {
    const raid::Result r = raid::compute(cfg(Level::R5, 4));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.usable, 1.2e13);
    EXPECT_EQ(r.read_mbs, 600);
    EXPECT_EQ(r.write_iops, 100);
    EXPECT_EQ(r.tol_min, 1);
    EXPECT_EQ(r.survive[2], 0);
    EXPECT_EQ(r.rebuild_read, 1.2e13);
    EXPECT_EQ(r.rebuild_s, 20000);
    EXPECT_EQ(r.penalty, 4);
    EXPECT_EQ(r.redundancy, 4e12);
}

TEST(Compute, ParityWritesCostTheirPenalty) {
    // n x WI / (2p + 2): sizes where that differs from one disk's WI.
    const std::tuple<Level, int, int, double> cases[] = {
        {Level::R5, 8, 2, 200},     {Level::R6, 8, 2, 800.0 / 6}, {Level::Tp, 10, 2, 125},
        {Level::R50, 6, 2, 150},    {Level::R60, 12, 2, 200},     {Level::R60, 24, 3, 400},
    };
    for (const auto& [lv, disks, groups, want] : cases) {
        raid::Config c = cfg(lv, disks);
        c.groups = groups;
        const raid::Result r = raid::compute(c);
        EXPECT_DOUBLE_EQ(r.write_iops, want) << raid::key(lv) << " " << disks;
        EXPECT_EQ(r.read_iops, disks * 100) << raid::key(lv);
    }
}

TEST(Compute, Raid6AndTripleParity) {
    raid::Result r = raid::compute(cfg(Level::R6, 8));
    EXPECT_EQ(r.usable, 2.4e13);
    EXPECT_DOUBLE_EQ(r.efficiency, 0.75);
    EXPECT_EQ(r.penalty, 6);
    EXPECT_EQ(r.survive[2], 1);
    EXPECT_EQ(r.survive[3], 0);
    ASSERT_EQ(r.survive.size(), 9u);

    r = raid::compute(cfg(Level::Tp, 10));
    EXPECT_EQ(r.usable, 2.8e13);
    EXPECT_EQ(r.penalty, 8);
    EXPECT_EQ(r.tol_min, 3);
    EXPECT_EQ(r.survive[3], 1);
    EXPECT_EQ(r.survive[4], 0);
}

TEST(Compute, Raid10MirrorsAndSurvival) {
    raid::Result r = raid::compute(cfg(Level::R10, 8));
    EXPECT_EQ(r.usable, 1.6e13);
    EXPECT_EQ(r.read_mbs, 1600);
    EXPECT_EQ(r.write_mbs, 800);
    EXPECT_EQ(r.read_iops, 800);
    EXPECT_EQ(r.write_iops, 400) << "every write goes to both copies";
    EXPECT_EQ(r.tol_min, 1);
    EXPECT_EQ(r.tol_max, 4);
    EXPECT_DOUBLE_EQ(r.survive[2], 24.0 / 28.0);
    EXPECT_DOUBLE_EQ(r.survive[4], 16.0 / 70.0);
    EXPECT_EQ(r.survive[5], 0);
    EXPECT_EQ(r.rebuild_read, 4e12) << "one copy is read";

    raid::Config c = cfg(Level::R10, 6);
    c.mirror = 3;
    r = raid::compute(c);
    EXPECT_EQ(r.group_size, 3);
    EXPECT_EQ(r.group_count, 2);
    EXPECT_EQ(r.usable, 8e12);
    EXPECT_EQ(r.write_iops, 200);
    EXPECT_EQ(r.penalty, 3);
    EXPECT_EQ(r.tol_min, 2);
    EXPECT_EQ(r.tol_max, 4);

    c.mirror = 9;  // clamped to three copies
    EXPECT_EQ(raid::compute(c).group_size, 3);
    c.mirror = 0;
    EXPECT_EQ(raid::compute(c).group_size, 2);
}

TEST(Compute, NestedLevels) {
    raid::Config c = cfg(Level::R60, 12);
    c.groups = 2;
    raid::Result r = raid::compute(c);
    EXPECT_EQ(r.usable, 3.2e13);
    EXPECT_EQ(r.tol_min, 2);
    EXPECT_EQ(r.tol_max, 4);
    EXPECT_EQ(r.rebuild_read, 5 * 4e12) << "the rest of one group is read";

    c = cfg(Level::R50, 6);
    c.groups = 3;
    r = raid::compute(c);
    EXPECT_EQ(r.problem, Problem::GroupTooSmall);
    EXPECT_EQ(r.need, 9);
    EXPECT_EQ(r.usable, 0);

    c = cfg(Level::R50, 7);
    EXPECT_EQ(raid::compute(c).problem, Problem::NotDivisible);

    c = cfg(Level::R50, 6);
    c.groups = 1;  // raised to two groups
    r = raid::compute(c);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.group_count, 2);
    EXPECT_EQ(r.usable, 4 * 4e12);
}

TEST(Compute, MirrorsStripesAndConcatenation) {
    raid::Result r = raid::compute(cfg(Level::R1, 3));
    EXPECT_EQ(r.read_mbs, 600) << "every copy serves reads";
    EXPECT_EQ(r.write_mbs, 200);
    EXPECT_EQ(r.read_iops, 300);
    EXPECT_EQ(r.write_iops, 100);
    EXPECT_EQ(r.usable, 4e12);
    EXPECT_EQ(r.tol_min, 2);
    EXPECT_EQ(r.penalty, 3);
    EXPECT_EQ(r.survive[2], 1);
    EXPECT_EQ(r.survive[3], 0);

    r = raid::compute(cfg(Level::R0, 4, 1));
    EXPECT_EQ(r.usable, 1.2e13);
    EXPECT_EQ(r.raw, 1.6e13);
    EXPECT_EQ(r.spare, 4e12);
    EXPECT_EQ(r.survive[1], 0);
    EXPECT_EQ(r.rebuild_s, 0);
    EXPECT_EQ(r.tol_max, 0);

    r = raid::compute(cfg(Level::Jbod, 3));
    EXPECT_EQ(r.read_mbs, 200) << "a concatenation reads one disk at a time";
    EXPECT_EQ(r.usable, 1.2e13);
    EXPECT_EQ(r.survive, (std::vector<double>{1, 0, 0, 0}));
}

TEST(Compute, InvalidConfigurationsAndSuggestions) {
    raid::Result r = raid::compute(cfg(Level::R10, 7));
    EXPECT_EQ(r.problem, Problem::NotDivisible);
    EXPECT_EQ(r.need, 4);
    EXPECT_EQ(r.suggest, (std::vector<int>{6, 8, 10}));
    EXPECT_EQ(r.read_mbs, 0);
    EXPECT_EQ(r.penalty, 1);
    EXPECT_TRUE(r.survive.empty());

    r = raid::compute(cfg(Level::R5, 2));
    EXPECT_EQ(r.problem, Problem::TooFew);
    EXPECT_EQ(r.need, 3);
    EXPECT_EQ(r.suggest, (std::vector<int>{3, 4}));

    r = raid::compute(cfg(Level::R5, 4, 4));
    EXPECT_EQ(r.problem, Problem::NoActive);
    EXPECT_TRUE(r.suggest.empty());
    EXPECT_EQ(r.need, 0);
    EXPECT_EQ(r.raw, 1.6e13);

    r = raid::compute(cfg(Level::R5, -3, -2, -1));
    EXPECT_EQ(r.problem, Problem::NoActive);
    EXPECT_EQ(r.raw, 0);
    EXPECT_EQ(r.spare, 0);
}

TEST(Compute, ZeroSpeeds) {
    raid::Config c = cfg(Level::R5, 4);
    c.read_mbs = 0;
    raid::Result r = raid::compute(c);
    EXPECT_EQ(r.read_factor, 0);
    EXPECT_EQ(r.write_factor, 3);
    EXPECT_EQ(r.rebuild_s, 0);
    c.read_mbs = 200;
    c.write_mbs = 0;
    EXPECT_EQ(raid::compute(c).rebuild_s, 0);
}

TEST(Compute, SurvivalMatchesBruteForce) {
    // Every failure set of k disks, checked against the groups directly.
    for (Level lv : {Level::R1, Level::R5, Level::R6, Level::Tp, Level::R10, Level::R50, Level::R60}) {
        for (int n = 2; n <= 12; ++n) {
            raid::Config c = cfg(lv, n);
            c.groups = 2;
            const raid::Result r = raid::compute(c);
            if (!r.ok()) continue;
            std::vector<double> ok(static_cast<size_t>(n) + 1, 0), all(static_cast<size_t>(n) + 1, 0);
            for (int mask = 0; mask < (1 << n); ++mask) {
                std::set<int> failed;
                for (int d = 0; d < n; ++d)
                    if (mask & (1 << d)) failed.insert(d);
                all[failed.size()] += 1;
                if (!raid::health(c, r, failed, 0).lost) ok[failed.size()] += 1;
            }
            for (int k = 0; k <= n; ++k)
                EXPECT_NEAR(r.survive[static_cast<size_t>(k)], ok[static_cast<size_t>(k)] / all[static_cast<size_t>(k)], 1e-12)
                    << raid::key(lv) << " n=" << n << " k=" << k;
        }
    }
}

TEST(Compute, SuggestionsMatchTheSearchOverCounts) {
    // The suggestions are the nearest valid counts: the largest below and the
    // two smallest up to 64 above, as trying every count finds them.
    for (Level lv : raid::kLevels) {
        for (int groups = 2; groups <= 5; ++groups) {
            for (int mirror = 2; mirror <= 3; ++mirror) {
                for (int n = 1; n <= 40; ++n) {
                    raid::Config c = cfg(lv, n);
                    c.groups = groups;
                    c.mirror = mirror;
                    const raid::Result r = raid::compute(c);
                    if (r.ok()) continue;
                    std::vector<int> want;
                    auto valid = [&](int k) {
                        raid::Config t = c;
                        t.disks = k;
                        return raid::compute(t).ok();
                    };
                    for (int k = n - 1; k >= 1; --k)
                        if (valid(k)) {
                            want.push_back(k);
                            break;
                        }
                    for (int k = n + 1, found = 0; k <= n + 64 && found < 2; ++k)
                        if (valid(k)) {
                            want.push_back(k);
                            ++found;
                        }
                    EXPECT_EQ(r.suggest, want) << raid::key(lv) << " n=" << n << " g=" << groups << " m=" << mirror;
                }
            }
        }
    }
}

TEST(Compute, ExtremeConfigurationsStayDefined) {
    // Counts whose products pass the int range: the figures saturate rather
    // than wrap, and every call returns at once with bounded results.
    raid::Config c = cfg(Level::R50, 6);
    c.groups = 1000000000;
    raid::Result r = raid::compute(c);
    EXPECT_EQ(r.problem, Problem::NotDivisible);
    EXPECT_EQ(r.need, INT_MAX) << "3 x 10^9 disks, held at the largest int";
    EXPECT_TRUE(r.suggest.empty());
    EXPECT_EQ(raid::min_disks(c), INT_MAX);

    c = cfg(Level::R60, INT_MAX);
    c.groups = INT_MAX;
    r = raid::compute(c);
    EXPECT_EQ(r.problem, Problem::GroupTooSmall);
    EXPECT_EQ(r.need, INT_MAX);
    EXPECT_TRUE(r.suggest.empty());

    c = cfg(Level::R5, INT_MAX - 1);
    r = raid::compute(c);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.tol_max, 1);
    EXPECT_EQ(r.survive, (std::vector<double>{1, 1})) << "only the certain chances of a huge array";
    EXPECT_TRUE(raid::layout(c, r, 4).disks.empty()) << "too many cells to draw";
    EXPECT_TRUE(raid::health(c, r, {0, INT_MAX - 3}, 0).lost);

    c = cfg(Level::R1, INT_MAX);
    r = raid::compute(c);
    EXPECT_EQ(r.survive.size(), 1001u);
    EXPECT_EQ(r.survive.back(), 1);

    c = cfg(Level::Jbod, INT_MAX, INT_MIN);
    r = raid::compute(c);
    EXPECT_EQ(r.spare, 0);
    raid::Health h = raid::health(c, r, {5}, INT_MAX);
    EXPECT_TRUE(h.lost);
    EXPECT_EQ(h.spares_left, 0);
    c.spares = INT_MAX;
    EXPECT_EQ(raid::health(c, raid::compute(c), {}, INT_MIN).spares_left, INT_MAX);

    c = cfg(Level::R10, 7);
    r = raid::compute(c);
    c.disks = 6;  // a result that belongs to another configuration
    r.problem = Problem::None;
    r.group_size = 3;
    r.group_count = INT_MAX;
    EXPECT_EQ(raid::layout(c, r, 2).disks.size(), 7u);
}

TEST(Compute, SurvivalNeverRisesWithMoreFailures) {
    // Large arrays, where the counts of failure sets run far beyond any
    // double: the chance may only fall, and never comes back as 100 %.
    for (Level lv : raid::kLevels) {
        for (int n : {255, 256, 999, 1000, 1001, 2000, 5000}) {
            raid::Config c = cfg(lv, n);
            c.groups = lv == Level::R50 || lv == Level::R60 ? n / 10 : 2;
            const raid::Result r = raid::compute(c);
            if (!r.ok()) continue;
            for (size_t k = 1; k < r.survive.size(); ++k)
                ASSERT_LE(r.survive[k], r.survive[k - 1]) << raid::key(lv) << " n=" << n << " k=" << k;
            for (int k = 0; k <= r.tol_min && k < static_cast<int>(r.survive.size()); ++k)
                EXPECT_EQ(r.survive[static_cast<size_t>(k)], 1) << raid::key(lv) << " n=" << n;
        }
    }
    const raid::Result r = raid::compute(cfg(Level::R10, 1000));
    ASSERT_EQ(r.survive.size(), 1001u);
    EXPECT_NEAR(r.survive[2], 1 - 500.0 / (1000.0 * 999.0 / 2), 1e-15) << "one of 500 mirrors both ways";
    EXPECT_EQ(r.survive[501], 0);
}

TEST(Layout, StripeNames) {
    EXPECT_EQ(raid::stripe_name(0), "A");
    EXPECT_EQ(raid::stripe_name(25), "Z");
    EXPECT_EQ(raid::stripe_name(26), "AA");
    EXPECT_EQ(raid::stripe_name(51), "AZ");
    EXPECT_EQ(raid::stripe_name(52), "BA");
    EXPECT_EQ(raid::stripe_name(701), "ZZ");
    EXPECT_EQ(raid::stripe_name(702), "AAA");
}

TEST(Layout, RotatingParity) {
    raid::Config c = cfg(Level::R5, 4);
    raid::Layout l = raid::layout(c, raid::compute(c), 4);
    EXPECT_EQ(row_labels(l, 0), (std::vector<std::string>{"A1", "A2", "A3", "Ap"}));
    EXPECT_EQ(row_labels(l, 1), (std::vector<std::string>{"B2", "B3", "Bp", "B1"}));
    EXPECT_EQ(row_labels(l, 2), (std::vector<std::string>{"C3", "Cp", "C1", "C2"}));
    EXPECT_EQ(row_labels(l, 3), (std::vector<std::string>{"Dp", "D1", "D2", "D3"}));
    EXPECT_EQ(l.disks[3][0].kind, raid::Block::Parity);

    c = cfg(Level::R5, 3);
    l = raid::layout(c, raid::compute(c), 4);
    EXPECT_EQ(row_labels(l, 0), (std::vector<std::string>{"A1", "A2", "Ap"}));
    EXPECT_EQ(row_labels(l, 3), (std::vector<std::string>{"D1", "D2", "Dp"}));

    c = cfg(Level::R6, 6);
    l = raid::layout(c, raid::compute(c), 6);
    EXPECT_EQ(row_labels(l, 0), (std::vector<std::string>{"Aq", "A1", "A2", "A3", "A4", "Ap"}));
    for (int row = 0; row < 6; ++row) {
        int parity = 0;
        for (const auto& d : l.disks) parity += d[static_cast<size_t>(row)].kind == raid::Block::Parity;
        EXPECT_EQ(parity, 2) << "row " << row;
    }

    c = cfg(Level::R50, 6);
    l = raid::layout(c, raid::compute(c), 2);
    EXPECT_EQ(row_labels(l, 0), (std::vector<std::string>{"A1", "A2", "A1p", "A3", "A4", "A2p"}));
    EXPECT_EQ(l.group_of, (std::vector<int>{0, 0, 0, 1, 1, 1}));
}

TEST(Layout, MirrorsStripesAndConcatenation) {
    raid::Config c = cfg(Level::Jbod, 3);
    raid::Layout l = raid::layout(c, raid::compute(c), 4);
    ASSERT_EQ(l.disks.size(), 3u);
    EXPECT_EQ(l.disks[0][0].label, "1");
    EXPECT_EQ(l.disks[0][3].label, "4");
    EXPECT_EQ(l.disks[1][0].label, "5");
    EXPECT_EQ(l.disks[2][3].label, "12");

    c = cfg(Level::R10, 4);
    l = raid::layout(c, raid::compute(c), 2);
    EXPECT_EQ(row_labels(l, 0), (std::vector<std::string>{"A1", "A1", "A2", "A2"}));
    EXPECT_EQ(l.disks[1][0].kind, raid::Block::Mirror);
    EXPECT_EQ(l.disks[2][0].kind, raid::Block::Data);
    EXPECT_EQ(l.group_of, (std::vector<int>{0, 0, 1, 1}));

    c = cfg(Level::R0, 3);
    l = raid::layout(c, raid::compute(c), 2);
    EXPECT_EQ(row_labels(l, 1), (std::vector<std::string>{"B1", "B2", "B3"}));

    c = cfg(Level::R5, 2);
    EXPECT_TRUE(raid::layout(c, raid::compute(c), 4).disks.empty());
}

TEST(Health, FailedDisks) {
    raid::Config c = cfg(Level::R10, 8);
    raid::Result r = raid::compute(c);
    raid::Health h = raid::health(c, r, {0, 2}, 0);
    EXPECT_FALSE(h.lost);
    EXPECT_EQ(h.more_safe, 0);
    EXPECT_EQ(h.failed, 2);
    EXPECT_TRUE(raid::health(c, r, {0, 1, 2}, 0).lost);
    EXPECT_EQ(raid::health(c, r, {}, 0).more_safe, 1);
    EXPECT_FALSE(raid::health(c, r, {-1, 8, 99}, 0).lost) << "indices outside the array are ignored";

    c = cfg(Level::R1, 3);
    r = raid::compute(c);
    EXPECT_FALSE(raid::health(c, r, {0, 2}, 0).lost);
    EXPECT_TRUE(raid::health(c, r, {0, 1, 2}, 0).lost);

    c = cfg(Level::R0, 4, 2);
    r = raid::compute(c);
    EXPECT_TRUE(raid::health(c, r, {1}, 0).lost);
    h = raid::health(c, r, {}, 5);
    EXPECT_EQ(h.more_safe, 0);
    EXPECT_EQ(h.spares_left, 0);
    EXPECT_EQ(raid::health(c, r, {}, 1).spares_left, 1);

    c = cfg(Level::R5, 2);
    h = raid::health(c, raid::compute(c), {0, 1}, 0);
    EXPECT_FALSE(h.lost) << "an invalid array is never judged lost";
}

TEST(Health, SparesTakeOverInOrderSkippingFailedOnes) {
    // RAID 6 of 6 active disks with 3 spares (cfg's third argument).
    raid::Config c = cfg(Level::R6, 9, 3);
    raid::Result r = raid::compute(c);
    EXPECT_EQ(raid::takeover(c, r, {}, {}), (std::vector<int>{-1, -1, -1}));
    EXPECT_EQ(raid::takeover(c, r, {4, 1}, {}), (std::vector<int>{1, 4, -1})) << "the lower disk takes the lower spare";
    EXPECT_EQ(raid::takeover(c, r, {1}, {0}), (std::vector<int>{-1, 1, -1})) << "a failed spare is passed over";
    EXPECT_EQ(raid::takeover(c, r, {1, 2}, {0, 1}), (std::vector<int>{-1, -1, 1}));
    EXPECT_EQ(raid::takeover(c, r, {1, 2}, {0, 1, 2}), (std::vector<int>{-1, -1, -1})) << "no spare left";
    EXPECT_EQ(raid::takeover(c, r, {0, 1, 2}, {}), (std::vector<int>{-1, -1, -1})) << "the data is lost";
    EXPECT_EQ(raid::takeover(c, r, {7}, {}), (std::vector<int>{-1, -1, -1})) << "no such active disk";
}

TEST(Selftest, PassesOnThisEngine) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int failures = raid::selftest();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(failures, 0) << err;
    EXPECT_EQ(out, "selftest: all checks passed\n");
    EXPECT_EQ(err, "");
}

TEST(Report, SizesIn1024UnitsKeepTheDiskLabelSize) {
    L10n::setLanguage("en");
    raid::Config c = cfg(Level::R6, 8, 1, 1.2e13);
    fmt::set_os_sizes(true);
    const std::string text = raid::to_text(c, raid::compute(c));
    fmt::set_os_sizes(false);
    EXPECT_EQ(text.substr(0, text.find('\n')), "RAID 6 \xE2\x80\x94 8 \xC3\x97 12 TB (of which hot spares: 1)");
    EXPECT_NE(text.find("\nUsable capacity: 54.6 TiB (60 TB)\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nRaw capacity: 87.3 TiB\n"), std::string::npos) << text;
}

TEST(Report, InvalidAndUnprotectedArrays) {
    L10n::setLanguage("en");
    raid::Config c = cfg(Level::R5, 2);
    EXPECT_EQ(raid::to_text(c, raid::compute(c)),
              "RAID 5 \xE2\x80\x94 2 \xC3\x97 4 TB\n" + L10n::tr("txt.invalid") + "\n");
    c = cfg(Level::R0, 4);
    const std::string text = raid::to_text(c, raid::compute(c));
    EXPECT_EQ(text.find(L10n::tr("res.rebuild")), std::string::npos);
    EXPECT_NE(text.find(L10n::tr("res.tolerance") + ": " + L10n::tr("txt.tol_exact", 0) + "\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - L10n::tr("status.estimate").size() - 1), L10n::tr("status.estimate") + "\n");
}
