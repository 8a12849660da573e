// Builds the mdadm setup guide for one configuration. Every sentence is a
// translation key; every command is literal shell text a user will paste into
// a root shell, so device lists and counts are derived from one place (the
// result's active disks and the spares actually used).
// Sections: Names, Find and check steps, Build.
#include "guide.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "format.h"
#include "l10n.h"

namespace guide {

namespace {

constexpr const char* kMd = "/dev/md0";
constexpr const char* kMnt = "/mnt/raid";
constexpr const char* kConfApt = "/etc/mdadm/mdadm.conf";
constexpr const char* kConfOther = "/etc/mdadm.conf";
constexpr int kExampleDisks = 3;    // new disks shown in the lsblk example
constexpr size_t kNameCol = 13;     // lsblk example column widths, in bytes
constexpr size_t kTreeNameCol = 17; // two box-drawing characters take 6 bytes
constexpr size_t kSizeCol = 7;

const char* conf_of(Pm pm) { return pm == Pm::Apt ? kConfApt : kConfOther; }

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string pad(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string join(const std::vector<std::string>& devices, int from, int to) {
    std::string out;
    for (int i = std::max(0, from); i < to && i < static_cast<int>(devices.size()); ++i)
        out += " " + devices[static_cast<size_t>(i)];
    return out;
}

const char* md_level(raid::Level level) {
    switch (level) {
        case raid::Level::R0: return "0";
        case raid::Level::R1: return "1";
        case raid::Level::R5:
        case raid::Level::R50: return "5";
        case raid::Level::R6:
        case raid::Level::R60: return "6";
        case raid::Level::R10: return "10";
        default: return "";
    }
}

std::string disk_letters(int k) {
    std::string s;
    for (;;) {
        s.insert(s.begin(), static_cast<char>('a' + k % 26));
        if (k / 26 == 0) break;
        k = k / 26 - 1;
    }
    return s;
}

// One number and its unit letter; sized by a measuring call, since a huge
// value can run to hundreds of digits.
std::string with_letter(const char* format, double v, char letter) {
    const int n = std::snprintf(nullptr, 0, format, v, letter);
    if (n < 1) return std::string();
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, v, letter);
    out.resize(static_cast<size_t>(n));
    return out;
}

Step make_step(const char* title_key, std::string text) {
    Step s;
    s.title = L10n::tr(title_key);
    s.text = std::move(text);
    return s;
}

}  // namespace

// ---- Names ----

const char* pm_name(Pm pm) {
    switch (pm) {
        case Pm::Apt: return "apt";
        case Pm::Dnf: return "dnf";
        case Pm::Zypper: return "zypper";
        case Pm::Pacman: return "pacman";
    }
    return "apt";
}

const char* dev_name(Dev dev) {
    switch (dev) {
        case Dev::Sd: return "/dev/sdX";
        case Dev::Nvme: return "/dev/nvmeXn1";
        case Dev::Vd: return "/dev/vdX";
    }
    return "/dev/sdX";
}

std::vector<std::string> devices(Dev dev, int count) {
    std::vector<std::string> out;
    for (int k = 1; k <= count; ++k) {
        if (dev == Dev::Nvme)
            out.push_back("/dev/nvme" + std::to_string(k) + "n1");
        else
            out.push_back(std::string(dev == Dev::Vd ? "/dev/vd" : "/dev/sd") + disk_letters(k));
    }
    return out;
}

std::string lsblk_size(double bytes) {
    if (bytes < 1024) return with_letter("%.0f%c", bytes, 'B');
    static constexpr char kLetters[] = {'K', 'M', 'G', 'T', 'P', 'E'};
    double v = bytes / 1024;
    size_t u = 0;
    while (v >= 1024 && u + 1 < sizeof kLetters) {
        v /= 1024;
        ++u;
    }
    const bool whole = std::fabs(v - std::round(v)) < 0.05;
    return with_letter(whole ? "%.0f%c" : "%.1f%c", v, kLetters[u]);
}

// ---- Find and check steps ----

Step find_step(const raid::Config& config, const std::vector<std::string>& devs, int count) {
    const std::string first = devs.empty() ? std::string() : devs.front();
    std::string named = first;
    if (count >= 2 && static_cast<size_t>(count - 1) < devs.size())
        named += " \xE2\x80\xA6 " + devs[static_cast<size_t>(count - 1)];
    Step s = make_step("g.find.t", L10n::tr("g.find.x", named.c_str()));
    s.cmds = {"lsblk -o NAME,SIZE,TYPE,MOUNTPOINT,MODEL,SERIAL", "findmnt -n -o SOURCE /", "ls -l /dev/disk/by-id/"};
    s.notes = {L10n::tr("g.find.n1"), L10n::tr("g.find.n2"), L10n::tr("g.find.n3")};
    s.example_title = L10n::tr("g.find.ex_title");

    std::string sys = "sda", part1 = "sda1", part2 = "sda2";
    if (starts_with(first, "/dev/nvme")) {
        sys = "nvme0n1";
        part1 = "nvme0n1p1";
        part2 = "nvme0n1p2";
    } else if (starts_with(first, "/dev/vd")) {
        sys = "vda";
        part1 = "vda1";
        part2 = "vda2";
    }
    const std::string size = lsblk_size(config.disk_bytes);
    s.example.push_back({pad("NAME", kNameCol) + pad("SIZE", kSizeCol) + "TYPE MOUNTPOINT", "", 0});
    s.example.push_back({pad(sys, kNameCol) + pad("476.9G", kSizeCol) + "disk", L10n::tr("g.find.ex_sys"), 1});
    s.example.push_back({pad("\xE2\x94\x9C\xE2\x94\x80" + part1, kTreeNameCol) + pad("1G", kSizeCol) + "part /boot/efi", "", 1});
    s.example.push_back({pad("\xE2\x94\x94\xE2\x94\x80" + part2, kTreeNameCol) + pad("475.9G", kSizeCol) + "part /", "", 1});
    const int shown = std::min({count, kExampleDisks, static_cast<int>(devs.size())});
    for (int i = 0; i < shown; ++i) {
        const std::string& d = devs[static_cast<size_t>(i)];
        const std::string short_name = d.size() > 5 ? d.substr(5) : d;
        s.example.push_back({pad(short_name, kNameCol) + pad(size, kSizeCol) + "disk",
                             i == 0 ? L10n::tr("g.find.ex_new") : std::string(), 2});
    }
    if (count > kExampleDisks) s.example.push_back({"\xE2\x80\xA6", "", 2});

    s.checks = {L10n::tr("g.find.c1"), L10n::tr("g.find.c2", (size + " = " + fmt::bytes(config.disk_bytes)).c_str()),
                L10n::tr("g.find.c3"), L10n::tr("g.find.c4")};
    s.tip = L10n::tr("g.find.tip");
    return s;
}

Step check_step(Pm pm, const std::string& mnt, int arrays) {
    const std::string conf = conf_of(pm);
    Step s = make_step("g.check.t", L10n::tr("g.check.x"));
    s.cmds.push_back("grep ^ARRAY " + conf);
    s.notes.push_back(L10n::tr("g.check.n1", std::to_string(arrays).c_str()));
    if (pm == Pm::Apt) {
        s.cmds.push_back("lsinitramfs /boot/initrd.img-$(uname -r) | grep mdadm");
        s.notes.push_back(L10n::tr("g.check.n2"));
    }
    s.cmds.push_back("cat /proc/mdstat");
    s.notes.push_back(L10n::tr("g.check.n5"));
    s.cmds.push_back("sudo findmnt --verify");
    s.notes.push_back(L10n::tr("g.check.n3"));
    s.cmds.push_back("findmnt " + mnt);
    s.notes.push_back(L10n::tr("g.check.n4", mnt.c_str()));
    s.tip = L10n::tr("g.check.ok");
    return s;
}

// ---- Build ----

bool builds(raid::Level level) { return level != raid::Level::Jbod && level != raid::Level::Tp; }

const char* refusal(const raid::Config& c, const raid::Result& r) {
    // Triple parity is refused even when invalid: no disk count would help.
    if (c.level == raid::Level::Tp) return "tab.guide_off";
    if (!r.ok()) return "g.invalid";
    if (!builds(c.level)) return "tab.guide_off";
    return nullptr;
}

Guide build(const raid::Config& c, const raid::Result& r, Pm pm, const std::vector<std::string>& devs) {
    Guide g;
    if (const char* key = refusal(c, r)) {
        g.possible = false;
        g.reason = L10n::tr(key);
        return g;
    }

    const int n = r.active;
    const bool redundant = r.tol_max > 0;
    const int s = redundant ? std::max(0, c.spares) : 0;
    const bool nested = c.level == raid::Level::R50 || c.level == raid::Level::R60;
    const std::string md = kMd, mnt = kMnt, conf = conf_of(pm);
    const std::string level = md_level(c.level);

    Step install = make_step("g.install.t", L10n::tr("g.install.x"));
    switch (pm) {
        case Pm::Dnf: install.cmds = {"sudo dnf install mdadm"}; break;
        case Pm::Zypper: install.cmds = {"sudo zypper install mdadm"}; break;
        case Pm::Pacman: install.cmds = {"sudo pacman -S mdadm"}; break;
        default: install.cmds = {"sudo apt install mdadm"}; break;
    }
    g.steps.push_back(install);
    g.steps.push_back(find_step(c, devs, n + s));

    Step wipe = make_step("g.wipe.t", L10n::tr("g.wipe.x"));
    wipe.cmds = {"sudo wipefs -a" + join(devs, 0, n + s)};
    wipe.warn = true;
    g.steps.push_back(wipe);

    if (!nested) {
        std::string text = L10n::tr(redundant ? "g.create.x" : "g.create.x0", md.c_str());
        if (c.level == raid::Level::R1) text += " " + L10n::tr("g.create.r1");
        if (!redundant && c.spares > 0) text += " " + L10n::tr("g.nospares");
        Step create = make_step("g.create.t", text);
        std::string cmd = "sudo mdadm --create " + md + " --level=" + level + " --raid-devices=" + std::to_string(n);
        // The engine counts copies clamped to 2..3; the command must build the same.
        if (c.level == raid::Level::R10 && std::clamp(c.mirror, 2, 3) == 3) cmd += " --layout=n3";
        if (redundant) cmd += " --bitmap=internal";
        if (s > 0) cmd += " --spare-devices=" + std::to_string(s);
        create.cmds = {cmd + join(devs, 0, n + s)};
        g.steps.push_back(create);
    } else {
        const int G = std::max(1, r.group_count);
        const int gs = r.group_size;
        std::string text = L10n::tr("g.groups.x", raid::name(c.level));
        if (s > 0) text += " " + L10n::tr("g.spares_note");
        Step groups = make_step("g.groups.t", text);
        // The spare counts are dealt out in turn, so the first groups get the
        // extra ones; each group then takes its spares in order from the
        // devices after the active ones.
        int next_spare = n;
        for (int k = 1; k <= G; ++k) {
            const int count = s / G + (k - 1 < s % G ? 1 : 0);
            std::string cmd = "sudo mdadm --create /dev/md" + std::to_string(k) + " --level=" + level +
                              " --raid-devices=" + std::to_string(gs) + " --bitmap=internal";
            if (count > 0) cmd += " --spare-devices=" + std::to_string(count);
            groups.cmds.push_back(cmd + join(devs, (k - 1) * gs, k * gs) + join(devs, next_spare, next_spare + count));
            next_spare += count;
        }
        g.steps.push_back(groups);

        Step stripe = make_step("g.stripe.t", L10n::tr("g.stripe.x", md.c_str()));
        std::string cmd = "sudo mdadm --create " + md + " --level=0 --raid-devices=" + std::to_string(G);
        for (int k = 1; k <= G; ++k) cmd += " /dev/md" + std::to_string(k);
        stripe.cmds = {cmd};
        g.steps.push_back(stripe);
    }

    Step status = make_step("g.status.t", L10n::tr(redundant ? "g.status.x" : "g.status.x0"));
    status.cmds = {"cat /proc/mdstat", "sudo mdadm --detail " + md};
    g.steps.push_back(status);

    Step fs = make_step("g.fs.t", L10n::tr("g.fs.x", mnt.c_str()));
    fs.cmds = {"sudo mkfs.ext4 -L raid " + md, "sudo mkdir -p " + mnt, "sudo mount " + md + " " + mnt};
    g.steps.push_back(fs);

    Step persist = make_step("g.persist.t", L10n::tr("g.persist.x"));
    persist.cmds = {"sudo mdadm --detail --scan | sudo tee -a " + conf,
                    "grep -q ^MAILADDR " + conf + " || echo \"MAILADDR root\" | sudo tee -a " + conf};
    switch (pm) {
        case Pm::Apt: persist.cmds.push_back("sudo update-initramfs -u"); break;
        case Pm::Pacman: persist.cmds.push_back("sudo mkinitcpio -P"); break;
        default: persist.cmds.push_back("sudo dracut -f"); break;
    }
    persist.notes = {std::string(), L10n::tr("g.persist.mail")};
    g.steps.push_back(persist);

    Step fstab = make_step("g.fstab.t", L10n::tr("g.fstab.x"));
    fstab.cmds = {"echo \"UUID=$(sudo blkid -s UUID -o value " + md + ") " + mnt +
                      " ext4 defaults,nofail 0 2\" | sudo tee -a /etc/fstab",
                  "sudo systemctl daemon-reload", "sudo mount -a"};
    g.steps.push_back(fstab);

    g.steps.push_back(check_step(pm, mnt, nested ? std::max(1, r.group_count) + 1 : 1));

    Step replace = make_step("g.replace.t", std::string());
    if (!redundant) {
        replace.text = L10n::tr("g.replace0.x");
        replace.warn = true;
    } else {
        const std::string failed = devs.size() >= 2 ? devs[1] : (devs.empty() ? std::string() : devs[0]);
        const char* placeholder = starts_with(failed, "/dev/nvme") ? "/dev/nvmeXn1"
                                  : starts_with(failed, "/dev/sd") ? "/dev/sdX"
                                  : starts_with(failed, "/dev/vd") ? "/dev/vdX"
                                                                   : "/dev/NEW";
        const std::string target = nested ? "/dev/md1" : md;
        replace.text = L10n::tr("g.replace.x", placeholder);
        if (s > 0) replace.text += " " + L10n::tr("g.replace.spare");
        replace.cmds = {"sudo mdadm " + target + " --fail " + failed, "sudo mdadm " + target + " --remove " + failed,
                        "sudo mdadm " + target + " --add " + placeholder};
    }
    g.steps.push_back(replace);
    return g;
}

}  // namespace guide
