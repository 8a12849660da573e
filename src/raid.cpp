// The calculation engine: vocabulary tables, validity, the figures of every
// level, the per-disk block layout and the judgement of failed disks.
// Sections: Vocabulary, Groups and validity, Compute, Layout and health.
#include "raid.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

namespace raid {

namespace {

struct LevelInfo {
    Level level;
    const char* key;
    const char* name;
};

constexpr LevelInfo kLevelInfo[] = {
    {Level::Jbod, "jbod", "JBOD"},       {Level::R0, "raid0", "RAID 0"},    {Level::R1, "raid1", "RAID 1"},
    {Level::R5, "raid5", "RAID 5"},      {Level::R6, "raid6", "RAID 6"},    {Level::Tp, "raidtp", "RAID TP"},
    {Level::R10, "raid10", "RAID 10"},   {Level::R50, "raid50", "RAID 50"}, {Level::R60, "raid60", "RAID 60"},
};

constexpr const char* kUnitNames[] = {"MB", "GB", "TB", "PB"};
constexpr double kUnitFactors[] = {1e6, 1e9, 1e12, 1e15};

// (upper limit, step) rows for the capacity steppers.
constexpr double kCapSteps[][2] = {{2, 0.25}, {10, 1}, {40, 2}, {100, 5}, {400, 10}, {1000, 50}, {1e9, 100}};
constexpr double kCapStepDefault = 100;
constexpr double kCapEps = 1e-9;

// Search range for valid disk counts above the current one.
constexpr int kSuggestAbove = 64;
constexpr int kSuggestAboveCount = 2;

// Survival chances are counted exactly up to this many active disks: the
// largest count, C(1000, 500) times 1000 on the way, stays a finite double.
// Larger arrays list only the failures they survive for certain.
constexpr int kExactSurvivalDisks = 1000;
// Beyond this many cells a layout is too large to draw and comes back empty.
constexpr long long kMaxLayoutCells = 1 << 16;

constexpr const char* PN[] = {"p", "q", "r"};

int level_index(Level l) {
    const int i = static_cast<int>(l);
    return (i >= 0 && i <= 8) ? i : -1;
}

// ---- Groups and validity ----

struct Groups {
    int count;
    int size;
    int allowed;
};

int mirror_of(const Config& c) { return std::clamp(c.mirror, 2, 3); }
int groups_n(const Config& c) { return std::max(c.groups, 2); }

// Products of counts can pass the int range for absurd group counts; such a
// figure saturates, which still compares correctly with any disk count.
int saturate(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

// Valid active-disk counts are the multiples of `step` from `lo` on.
struct Valid {
    long long lo;
    long long step;
};

Valid valid_counts(const Config& c) {
    switch (c.level) {
        case Level::R10: return {2LL * mirror_of(c), mirror_of(c)};
        case Level::R50: return {3LL * groups_n(c), groups_n(c)};
        case Level::R60: return {4LL * groups_n(c), groups_n(c)};
        default: return {min_disks(c), 1};
    }
}

Groups groups_of(const Config& c, int n) {
    const int m = mirror_of(c);
    const int g = groups_n(c);
    switch (c.level) {
        case Level::Jbod:
        case Level::R0: return {n, 1, 0};
        case Level::R1: return {1, n, n - 1};
        case Level::R5: return {1, n, 1};
        case Level::R6: return {1, n, 2};
        case Level::Tp: return {1, n, 3};
        case Level::R10: return {n / m, m, m - 1};
        case Level::R50: return {g, n / g, 1};
        case Level::R60: return {g, n / g, 2};
    }
    return {1, n, 0};
}

Problem check(const Config& c, int n, int* need) {
    if (n <= 0) return Problem::NoActive;
    *need = min_disks(c);
    switch (c.level) {
        case Level::R10:
            if (n < *need) return Problem::TooFew;
            return n % mirror_of(c) ? Problem::NotDivisible : Problem::None;
        case Level::R50:
        case Level::R60: {
            const int g = groups_n(c);
            const int per_group = c.level == Level::R50 ? 3 : 4;
            if (n % g) return Problem::NotDivisible;
            if (n / g < per_group) {
                *need = saturate(static_cast<long long>(per_group) * g);
                return Problem::GroupTooSmall;
            }
            return Problem::None;
        }
        default: return n < *need ? Problem::TooFew : Problem::None;
    }
}

double binom(int n, int k) {
    if (k > n) return 0;
    if (k <= 0) return 1;
    double r = 1;
    for (int i = 1; i <= k; ++i) {
        r *= static_cast<double>(n - k + i);
        r /= static_cast<double>(i);
    }
    return r;
}

// The largest valid count below n and the two smallest above it, up to
// n + kSuggestAbove. Taken from the shape of the valid counts rather than by
// trying each count, so any disk or group count answers at once.
void fill_suggestions(const Config& c, int n, Result* r) {
    const Valid v = valid_counts(c);
    const long long lo = std::max(1LL, v.lo);
    const long long below = (static_cast<long long>(n) - 1) / v.step * v.step;
    if (below >= lo) r->suggest.push_back(static_cast<int>(below));
    const long long limit = std::min<long long>(static_cast<long long>(n) + kSuggestAbove, INT_MAX);
    long long k = std::max(lo, (static_cast<long long>(n) + v.step) / v.step * v.step);
    for (int found = 0; found < kSuggestAboveCount && k <= limit; ++found, k += v.step)
        r->suggest.push_back(static_cast<int>(k));
}

// Counts, per number of failed disks, the failure sets that no group
// survives worse than `allowed`: the product over groups of
// sum_{f<=allowed} C(size, f) x^f, multiplied out in place. The chance for k
// failures is that count over C(n, k). Chances never rise with k, which the
// running minimum keeps true against rounding as well.
std::vector<double> survival(const Groups& g, int n) {
    const int p = std::clamp(g.allowed, 0, std::max(0, g.size));
    const bool exact = n <= kExactSurvivalDisks;
    // Large arrays: the chances of 0..p failures are 1, the rest is not listed.
    const int listed = exact ? n : std::min({n, p, kExactSurvivalDisks});
    std::vector<double> s(static_cast<size_t>(listed) + 1, 0.0);
    s[0] = 1.0;
    if (g.count == 1 || !exact) {
        // One group: the counts are C(n, k) themselves, so every k up to
        // `allowed` survives for sure and the quotient is exactly 1.
        for (int k = 1; k <= p && k <= listed; ++k) s[static_cast<size_t>(k)] = 1.0;
        return s;
    }
    std::vector<double> coef(static_cast<size_t>(p) + 1);
    for (int f = 0; f <= p; ++f) coef[static_cast<size_t>(f)] = binom(g.size, f);
    std::vector<double> q(static_cast<size_t>(g.count) * static_cast<size_t>(p) + 1, 0.0);
    q[0] = 1.0;
    size_t len = 1;
    for (int i = 0; i < g.count && p > 0; ++i) {
        len += static_cast<size_t>(p);
        for (size_t j = len; j-- > 0;) {
            double sum = 0;
            for (size_t f = 0; f <= static_cast<size_t>(p) && f <= j; ++f) sum += q[j - f] * coef[f];
            q[j] = sum;
        }
    }
    for (size_t k = 1; k <= static_cast<size_t>(n) && k < len; ++k)
        s[k] = std::min(s[k - 1], q[k] / binom(n, static_cast<int>(k)));
    return s;
}

}  // namespace

// ---- Vocabulary ----

const char* key(Level level) {
    const int i = level_index(level);
    return i < 0 ? "raid6" : kLevelInfo[i].key;
}

const char* name(Level level) {
    const int i = level_index(level);
    return i < 0 ? "?" : kLevelInfo[i].name;
}

bool from_key(const std::string& k, Level* out) {
    for (Level l : kLevels) {
        if (k == key(l)) {
            *out = l;
            return true;
        }
    }
    return false;
}

const std::vector<DiskType>& disk_types() {
    static const std::vector<DiskType> types = {
        // key, name, read and write MB/s, read and write IOPS, AFR %, URE exponent
        {"hdd5400", "HDD 5400", 150, 150, 75, 75, 1.5, 14},
        {"hdd7200", "HDD 7200", 250, 250, 120, 120, kDefaultAfr, kDefaultUre},
        {"sas10k", "SAS 10k", 240, 240, 180, 180, 1.0, 16},
        {"sas15k", "SAS 15k", 290, 290, 240, 240, 1.0, 16},
        {"ssd", "SATA SSD", 550, 520, 95000, 85000, 1.0, 15},
        {"nvme3", "NVMe PCIe 3", 3500, 3000, 600000, 550000, 1.0, 15},
        {"nvme4", "NVMe PCIe 4", 7000, 6500, 1000000, 1000000, 1.0, 15},
        {"nvme5", "NVMe PCIe 5", 14000, 12000, 1800000, 1600000, 1.0, 15},
    };
    return types;
}

const DiskType* find_type(const std::string& k) {
    for (const DiskType& t : disk_types())
        if (k == t.key) return &t;
    return nullptr;
}

const char* unit_name(int unit) { return kUnitNames[std::clamp(unit, 0, 3)]; }

double unit_factor(int unit) { return kUnitFactors[std::clamp(unit, 0, 3)]; }

double cap_step(double value, int dir) {
    for (const auto& row : kCapSteps) {
        const bool hit = dir > 0 ? value < row[0] - kCapEps : value <= row[0] + kCapEps;
        if (hit) return row[1];
    }
    return kCapStepDefault;
}

// ---- Compute ----

int min_disks(const Config& c) {
    switch (c.level) {
        case Level::Jbod: return 1;
        case Level::R0:
        case Level::R1: return 2;
        case Level::R5: return 3;
        case Level::R6: return 4;
        case Level::Tp: return 5;
        case Level::R10: return 2 * mirror_of(c);
        case Level::R50: return saturate(3LL * groups_n(c));
        case Level::R60: return saturate(4LL * groups_n(c));
    }
    return 1;
}

Result compute(const Config& c) {
    Result r;
    const int n = std::max(0, std::max(0, c.disks) - std::max(0, c.spares));
    const double b = std::max(0.0, c.disk_bytes);
    r.active = n;
    r.raw = std::max(0, c.disks) * b;
    r.spare = std::max(0, c.spares) * b;
    r.problem = check(c, n, &r.need);
    if (r.problem == Problem::NoActive) return r;
    if (r.problem != Problem::None) {
        fill_suggestions(c, n, &r);
        return r;
    }

    const Groups g = groups_of(c, n);
    r.group_count = g.count;
    r.group_size = g.size;
    const double R = c.read_mbs, W = c.write_mbs, RI = c.read_iops, WI = c.write_iops;
    const int p = g.allowed;
    const int m = mirror_of(c);
    double d = n;
    switch (c.level) {
        case Level::Jbod:
            r.read_mbs = R;
            r.write_mbs = W;
            r.read_iops = RI;
            r.write_iops = WI;
            break;
        case Level::R0:
            r.read_mbs = n * R;
            r.write_mbs = n * W;
            r.read_iops = n * RI;
            r.write_iops = n * WI;
            break;
        case Level::R1:
            d = 1;
            r.read_mbs = n * R;
            r.write_mbs = W;
            r.read_iops = n * RI;
            r.write_iops = WI;
            r.penalty = n;
            r.redundant_disks = n - 1;
            r.tol_max = n - 1;
            break;
        case Level::R5:
        case Level::R6:
        case Level::Tp:
        case Level::R50:
        case Level::R60: {
            const int parity =
                (c.level == Level::R50 || c.level == Level::R60) ? saturate(static_cast<long long>(g.count) * p) : p;
            d = n - parity;
            r.read_mbs = d * R;
            r.write_mbs = d * W;
            r.read_iops = n * RI;
            r.write_iops = n * WI / (2 * p + 2);
            r.penalty = 2 * p + 2;
            r.redundant_disks = parity;
            r.tol_max = parity;
            break;
        }
        case Level::R10:
            d = n / m;
            r.read_mbs = n * R;
            r.write_mbs = (n / m) * W;
            r.read_iops = n * RI;
            r.write_iops = n * WI / m;
            r.penalty = m;
            r.redundant_disks = n - n / m;
            r.tol_max = (n / m) * (m - 1);
            break;
    }
    r.usable = d * b;
    r.redundancy = r.redundant_disks * b;
    r.efficiency = n > 0 ? d / n : 0;
    r.read_factor = R > 0 ? r.read_mbs / R : 0;
    r.write_factor = W > 0 ? r.write_mbs / W : 0;
    r.tol_min = p;
    if (c.level != Level::Jbod && c.level != Level::R0 && r.tol_max > 0) {
        const double rate = 1e6 * std::min(R, W);
        r.rebuild_s = rate > 0 ? b / rate : 0;
        r.rebuild_read = (c.level == Level::R1 || c.level == Level::R10) ? b : b * (g.size - 1);
    }
    r.survive = survival(g, n);
    return r;
}

// ---- Layout and health ----

std::string stripe_name(int row) {
    std::string s;
    if (row < 0) row = 0;
    for (;;) {
        s.insert(s.begin(), static_cast<char>('A' + row % 26));
        if (row / 26 == 0) break;
        row = row / 26 - 1;
    }
    return s;
}

Layout layout(const Config& c, const Result& r, int rows) {
    Layout L;
    const int n = r.active;
    rows = std::max(0, rows);
    if (!r.ok() || n <= 0 || static_cast<long long>(n) * std::max(1, rows) > kMaxLayoutCells) return L;
    L.disks.assign(static_cast<size_t>(n), std::vector<Cell>(static_cast<size_t>(rows)));
    L.group_of.assign(static_cast<size_t>(n), 0);
    auto cell = [&](int d, int row) -> Cell& { return L.disks[static_cast<size_t>(d)][static_cast<size_t>(row)]; };

    switch (c.level) {
        case Level::Jbod:
            for (int d = 0; d < n; ++d)
                for (int row = 0; row < rows; ++row) cell(d, row) = {Block::Data, std::to_string(d * rows + row + 1)};
            break;
        case Level::R0:
            for (int d = 0; d < n; ++d)
                for (int row = 0; row < rows; ++row) cell(d, row) = {Block::Data, stripe_name(row) + std::to_string(d + 1)};
            break;
        case Level::R1:
            for (int d = 0; d < n; ++d)
                for (int row = 0; row < rows; ++row) cell(d, row) = {d == 0 ? Block::Data : Block::Mirror, stripe_name(row)};
            break;
        case Level::R10: {
            const int m = std::clamp(r.group_size, 1, n);
            for (int d = 0; d < n; ++d) {
                L.group_of[static_cast<size_t>(d)] = d / m;
                for (int row = 0; row < rows; ++row)
                    cell(d, row) = {d % m == 0 ? Block::Data : Block::Mirror, stripe_name(row) + std::to_string(d / m + 1)};
            }
            break;
        }
        case Level::R5:
        case Level::R6:
        case Level::Tp:
        case Level::R50:
        case Level::R60: {
            const int s = std::clamp(r.group_size, 1, n);
            // A result that does not belong to the configuration must not
            // name disks beyond the columns.
            const int G = std::clamp(r.group_count, 0, n / s);
            const int P = (c.level == Level::R5 || c.level == Level::R50) ? 1
                          : (c.level == Level::Tp)                        ? 3
                                                                          : 2;
            for (int row = 0; row < rows; ++row) {
                const std::string sn = stripe_name(row);
                const int first = s - 1 - (row % s);
                int counter = 1;
                for (int j = 0; j < G; ++j) {
                    auto is_parity = [&](int pos) {
                        for (int t = 0; t < P; ++t)
                            if ((first + t) % s == pos) return true;
                        return false;
                    };
                    for (int k = first + P; k < first + P + s; ++k) {
                        const int pos = k % s;
                        if (is_parity(pos)) continue;
                        cell(j * s + pos, row) = {Block::Data, sn + std::to_string(counter++)};
                    }
                    for (int t = 0; t < P; ++t) {
                        const int pos = (first + t) % s;
                        cell(j * s + pos, row) = {Block::Parity, sn + (G > 1 ? std::to_string(j + 1) : "") + PN[t]};
                    }
                }
            }
            for (int d = 0; d < n; ++d) L.group_of[static_cast<size_t>(d)] = d / s;
            break;
        }
    }
    return L;
}

Health health(const Config& c, const Result& r, const std::set<int>& failed, int failed_spares) {
    Health h;
    h.spares_left = saturate(std::max(0LL, static_cast<long long>(c.spares) - failed_spares));
    h.failed = static_cast<int>(failed.size());
    if (!r.ok()) return h;
    const Groups g = groups_of(c, r.active);
    // Only groups with a failure can be the worst one; a group without any
    // leaves `allowed` further failures, which the worst group never beats.
    std::map<int, int> counters;
    const bool per_disk = c.level == Level::Jbod || c.level == Level::R0;
    for (int d : failed) {
        if (d < 0 || d >= r.active) continue;
        const int group = per_disk ? d : d / std::max(1, g.size);
        if (group < std::max(1, g.count)) ++counters[group];
    }
    int worst = 0;
    for (const auto& entry : counters) worst = std::max(worst, entry.second);
    h.lost = worst > g.allowed;
    h.more_safe = h.lost ? 0 : g.allowed - worst;
    return h;
}

std::vector<int> takeover(const Config& c, const Result& r, const std::set<int>& failed,
                          const std::set<int>& failed_spares) {
    const int spares = std::max(0, c.spares);
    std::vector<int> took(static_cast<size_t>(spares), -1);
    if (health(c, r, failed, static_cast<int>(failed_spares.size())).lost) return took;
    int next = 0;
    for (int f : failed) {
        if (f < 0 || f >= r.active) continue;
        while (next < spares && failed_spares.count(next)) ++next;
        if (next >= spares) break;
        took[static_cast<size_t>(next++)] = f;
    }
    return took;
}

}  // namespace raid
