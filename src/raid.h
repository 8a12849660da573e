// The calculation engine's vocabulary and entry points: levels, disk types,
// the configuration and its result, the per-disk layout and failure health.
// Everything here is pure: no logging, no exceptions, no files. An invalid
// configuration comes back as a Result with a Problem code, never as an error.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace raid {

enum class Level : int32_t { Jbod = 0, R0 = 1, R1 = 2, R5 = 3, R6 = 4, Tp = 5, R10 = 6, R50 = 7, R60 = 8 };

// Every list of levels in the program walks this array, in this order.
inline constexpr Level kLevels[] = {Level::Jbod, Level::R0, Level::R1,  Level::R5, Level::R6,
                                    Level::Tp,   Level::R10, Level::R50, Level::R60};

struct DiskType {
    const char* key;
    const char* name;
    double read_mbs;
    double write_mbs;
    double read_iops;
    double write_iops;
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

// ---- Layout and failure health ----
std::string stripe_name(int row);
Layout layout(const Config& config, const Result& result, int rows);
Health health(const Config& config, const Result& result, const std::set<int>& failed,
              int failed_spares);

// ---- Text report and self-test ----
std::string to_text(const Config& config, const Result& result);
// Runs the known cases through `engine` (the tests hand in a faulty one) and
// returns the number of failed checks, each printed as a "FAIL" line.
using Engine = Result (*)(const Config&);
int selftest(Engine engine = compute);

}  // namespace raid
