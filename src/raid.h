// The calculation engine's vocabulary and entry points: levels, disk types,
// the configuration and its result, the per-disk layout and failure health.
// Everything here is pure: no logging, no exceptions, no files. An invalid
// configuration comes back as a Result with a Problem code, never as an error.
#pragma once

#include <cstdint>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace raid {

enum class Level : int32_t { Jbod = 0, R0 = 1, R1 = 2, R5 = 3, R6 = 4, Tp = 5, R10 = 6, R50 = 7, R60 = 8 };

// Every list of levels in the program walks this array, in this order.
inline constexpr Level kLevels[] = {Level::Jbod, Level::R0, Level::R1,  Level::R5, Level::R6,
                                    Level::Tp,   Level::R10, Level::R50, Level::R60};
inline constexpr int kLevelCount = static_cast<int>(std::size(kLevels));

// ---- Limits of a configuration ----
// The window, the settings reader and the command line all hold to these.
inline constexpr int kMinDisks = 1, kMaxDisks = 256;
inline constexpr int kMaxSpares = 16;
inline constexpr int kMinMirror = 2, kMaxMirror = 3;
inline constexpr int kMinGroups = 2, kMaxGroups = 32;
inline constexpr int kMinUnit = 0, kMaxUnit = 3;                      // MB, GB, TB, PB
inline constexpr double kMinCapValue = 0.001, kMaxCapValue = 999999;  // in the chosen unit
inline constexpr double kMinSpeed = 1, kMaxSpeed = 100000;            // MB/s per disk
inline constexpr double kMaxIops = 1e9;                               // per disk

// The most hot spares `disks` disks can have: at most kMaxSpares, and
// always at least one active disk.
inline constexpr int max_spares(int disks) {
    return disks - 1 < 0 ? 0 : disks - 1 > kMaxSpares ? kMaxSpares : disks - 1;
}

// ---- Reliability inputs ----
inline constexpr double kMinAfr = 0.01, kMaxAfr = 50;  // annual failure rate per disk, percent
inline constexpr double kMinUre = 13, kMaxUre = 18;    // one unreadable sector per 10^x bits read
inline constexpr double kMinReplaceHours = 0, kMaxReplaceHours = 8760;
inline constexpr double kMinRepairHours = 0, kMaxRepairHours = 100000;
inline constexpr double kMinYears = 1, kMaxYears = 50;
// The HDD 7200 figures, which the command line computes with.
inline constexpr double kDefaultAfr = 1.5;
inline constexpr double kDefaultUre = 14;
inline constexpr double kDefaultReplaceHours = 72;
inline constexpr double kDefaultYears = 5;
inline constexpr double kNoRepairOverride = -1;
inline constexpr double kHoursPerYear = 8760;
// A mean time to data loss beyond this many hours counts as infinite.
inline constexpr double kInfiniteHours = 1e300;

struct DiskType {
    const char* key;
    const char* name;
    double read_mbs;
    double write_mbs;
    double read_iops;
    double write_iops;
    double afr_percent;   // typical annual failure rate
    double ure_exponent;  // one unreadable sector per 10^x bits read
};

struct Config {
    double disk_bytes = 1.2e13;
    int disks = 6;
    int spares = 0;
    Level level = Level::R6;
    int mirror = 2;
    int groups = 2;
    double read_mbs = 230;
    double write_mbs = 230;
    double read_iops = 110;
    double write_iops = 110;
    double afr_percent = kDefaultAfr;
    double ure_exponent = kDefaultUre;
    double replace_hours = kDefaultReplaceHours;  // until a failed disk is swapped, without a free spare
    double mission_years = kDefaultYears;
    // When not negative: the whole repair time of every failure, spares or
    // not, in place of replacement plus rebuild.
    double repair_hours = kNoRepairOverride;
};

enum class Problem : int32_t { None = 0, TooFew = 1, NotDivisible = 2, GroupTooSmall = 3, NoActive = 4 };

struct Result {
    Problem problem = Problem::None;
    int need = 0;
    std::vector<int> suggest;
    int active = 0;
    int group_size = 0;
    int group_count = 0;
    double raw = 0;
    double usable = 0;
    double redundancy = 0;
    double spare = 0;
    double efficiency = 0;
    double read_mbs = 0;
    double write_mbs = 0;
    double read_iops = 0;
    double write_iops = 0;
    double read_factor = 0;
    double write_factor = 0;
    int penalty = 1;
    int tol_min = 0;
    int tol_max = 0;
    int redundant_disks = 0;
    double rebuild_s = 0;
    double rebuild_read = 0;
    std::vector<double> survive;

    bool ok() const { return problem == Problem::None; }
};

// The failure-risk figures of a valid array with every step of their
// working. Times are hours; chances are fractions (1 = certain). Each
// redundancy set is a Markov chain of 0..set_tolerates failed disks that
// loses data at one more; repairs run one at a time. Rebuild times are the
// engine's best case, so the figures lean optimistic.
struct Reliability {
    bool ok = false;  // false when the result has a problem; then all else is 0
    // Inputs as used (held to their limits).
    double afr_percent = 0;
    double ure_exponent = 0;
    double replace_hours = 0;
    double mission_years = 0;
    int spares = 0;
    bool repair_override = false;  // --repair replaced replacement plus rebuild
    double lambda = 0;             // failures per disk and hour
    // Repairs: while a hot spare is free (failed disks <= spares) and beyond.
    double rebuild_hours = 0;
    double repair_spare_hours = 0;
    double repair_nospare_hours = 0;
    double repair_hours = 0;  // of the first failure
    // Redundancy sets and their chain.
    int sets = 0;
    int set_disks = 0;
    int set_tolerates = 0;
    double set_mttdl_hours = 0;  // +infinity when infinite
    double mttdl_hours = 0;      // of the array, set MTTDL / sets; +infinity when infinite
    double loss_per_year = 0;
    double loss_in_years = 0;  // over mission_years
    // Unreadable sectors while rebuilding one disk; JBOD and RAID 0 never
    // rebuild, so has_rebuild is false there and the three figures are 0.
    bool has_rebuild = false;
    double rebuild_bits = 0;
    double ure_in_rebuild = 0;
    bool ure_repairable = false;        // the set still has redundancy after one failure
    double stripe_loss_per_year = 0;  // kept apart from the MTTDL
};

enum class Block : int32_t { Data = 0, Parity = 1, Mirror = 2, Spare = 3, Empty = 4 };

struct Cell {
    Block kind = Block::Empty;
    std::string label;
};

struct Layout {
    std::vector<std::vector<Cell>> disks;  // one column per active disk
    std::vector<int> group_of;             // redundancy group of each active disk
};

struct Health {
    bool lost = false;
    int failed = 0;
    int more_safe = 0;
    int spares_left = 0;
};

// ---- Vocabulary ----
const char* key(Level level);   // "raid6" for an out-of-range value
const char* name(Level level);  // "?" for an out-of-range value
bool from_key(const std::string& key, Level* out);
const std::vector<DiskType>& disk_types();
const DiskType* find_type(const std::string& key);
const char* unit_name(int unit);
double unit_factor(int unit);
double cap_step(double value, int dir);

// ---- Computation ----
int min_disks(const Config& config);
Result compute(const Config& config);

// ---- Failure risk ----
Reliability reliability(const Config& config, const Result& result);
// Hours of repair from `state` failed disks of a set (state >= 1).
double repair_hours_in(const Reliability& rel, int state);

// ---- Layout and failure health ----
std::string stripe_name(int row);
Layout layout(const Config& config, const Result& result, int rows);
Health health(const Config& config, const Result& result, const std::set<int>& failed,
              int failed_spares);
// Which hot spare stands in for which failed disk: element s is the active
// disk spare s took over, or -1 while it waits. The failed disks in
// ascending order each take the lowest spare that is neither failed nor
// taken; none takes over once the data is lost.
std::vector<int> takeover(const Config& config, const Result& result, const std::set<int>& failed,
                          const std::set<int>& failed_spares);

// ---- Text report and self-test ----
std::string to_text(const Config& config, const Result& result);
// The failure-risk lines that follow the report: nothing for an invalid array.
std::string reliability_text(const Reliability& rel);
// Runs the known cases through `engine` (the tests hand in a faulty one) and
// returns the number of failed checks, each printed as a "FAIL" line.
using Engine = Result (*)(const Config&);
int selftest(Engine engine = compute);

}  // namespace raid
