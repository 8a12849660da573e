// The record the program remembers between runs: interface choices, the
// last calculation with its failed disks, and the window geometry. Stored as
// "key=value" lines inside a sealed file; reading is tolerant and every field
// is brought back into range, so a damaged value never reaches the engine.
#pragma once

#include <string>

#include "raid.h"
#include "sealed_file.h"

// Window position and size; the position only counts with has_pos.
struct Geometry {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool has_pos = false;
};

struct Settings {
    std::string language = "auto";
    std::string theme = "auto";
    bool animate = true;
    double cap_value = 12.0;
    int cap_unit = 2;  // 0 MB, 1 GB, 2 TB, 3 PB
    int disks = 6;
    int spares = 0;
    std::string disk_type = "hdd7200";
    double read_mbs = 250.0;
    double write_mbs = 250.0;
    double read_iops = 120.0;
    double write_iops = 120.0;
    std::string level = "raid6";
    int mirror = 2;
    int groups = 2;
    int tab = 0;         // 0 calculator, 1 setup guide
    int guide_pm = 0;    // guide::Pm
    int guide_dev = -1;  // guide::Dev, -1 for none chosen yet
    bool guide_warn = true;
    bool os_sizes = false;
    std::string failed;         // failed data disks, e.g. "0,3,5"
    std::string failed_spares;  // failed hot spares, same form
    Geometry full;
    // Failure risk; a file without them takes the defaults of its disk type.
    double afr_percent = raid::kDefaultAfr;
    double ure_exponent = raid::kDefaultUre;
    double replace_hours = raid::kDefaultReplaceHours;
    double mission_years = raid::kDefaultYears;
    // The interface size on top of the desktop's scale, in percent (75..300).
    int zoom = 100;
    std::string m_path;  // where load read from and save writes to

    // Remembers `path`, then reads it. A missing or broken file leaves every
    // field as it was; otherwise the fields found are taken and all fields
    // are validated. Returns what the container said of the file.
    sealed::Result load(const std::string& path);
    // What load does with the opened text: takes the fields found, then
    // validates all fields.
    void read_text(const std::string& text);
    // The "key=value" lines save seals, every key in its fixed order.
    std::string text() const;
    // Writes the record sealed to the path given to load; false before load
    // or when the write failed (the previous file then stays intact).
    bool save() const;
    raid::Config config() const;
    // Back to the default calculation; interface, lists and window untouched.
    void reset_calculation();
};
