// The mdadm setup guide as data: a list of steps with translated texts and
// literal shell commands, built for exactly the chosen array. The command
// line prints it; the window draws it with copy buttons.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raid.h"

namespace guide {

enum class Pm : int32_t { Apt = 0, Dnf = 1, Zypper = 2, Pacman = 3 };
enum class Dev : int32_t { Sd = 0, Nvme = 1, Vd = 2 };

struct ExampleLine {
    std::string text;
    std::string remark;
    int kind = 0;  // 0 header, 1 the system disk and its partitions, 2 the new disks
};

struct Step {
    std::string title;
    std::string text;
    std::vector<std::string> cmds;
    std::vector<std::string> notes;  // notes[i] explains cmds[i]; may be shorter
    std::vector<ExampleLine> example;
    std::string example_title;
    std::vector<std::string> checks;
    std::string tip;
    bool warn = false;  // destroys data or cannot be undone
};

struct Guide {
    bool possible = true;
    std::string reason;
    std::vector<Step> steps;
};

const char* pm_name(Pm pm);
const char* dev_name(Dev dev);
std::vector<std::string> devices(Dev dev, int count);
// Whether mdadm builds the level as a software RAID (not JBOD, not triple parity).
bool builds(raid::Level level);
// The translation key of the reason why no guide can be built for this
// configuration, or null when it can be; decided without any device names.
const char* refusal(const raid::Config& config, const raid::Result& result);
Guide build(const raid::Config& config, const raid::Result& result, Pm pm,
            const std::vector<std::string>& devices);

// The two look-before-you-act steps, also used on their own by the tests.
Step find_step(const raid::Config& config, const std::vector<std::string>& devices, int count);
Step check_step(Pm pm, const std::string& mount_point, int arrays);
std::string lsblk_size(double bytes);

}  // namespace guide
