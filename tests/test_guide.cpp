// The mdadm guide as data: refusals, device naming, every command that will
// be pasted into a root shell, spares shared among groups, the find and
// check steps; and "--guide" end to end.
#include <gtest/gtest.h>

#include "guide.h"
#include "kit.h"
#include "l10n.h"

namespace {

raid::Config cfg(raid::Level level, int disks, int spares = 0, double bytes = 1.2e13) {
    raid::Config c;
    c.level = level;
    c.disks = disks;
    c.spares = spares;
    c.disk_bytes = bytes;
    return c;
}

guide::Guide build(const raid::Config& c, guide::Pm pm = guide::Pm::Apt, guide::Dev dev = guide::Dev::Sd) {
    L10n::setLanguage("en");
    return guide::build(c, raid::compute(c), pm, guide::devices(dev, c.disks));
}

const guide::Step* step(const guide::Guide& g, const std::string& title) {
    for (const auto& s : g.steps)
        if (s.title == title) return &s;
    return nullptr;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

const std::vector<std::string> kEnglish = {"LANGUAGE=en", "LANG=C.UTF-8", "LC_ALL"};

}  // namespace

TEST(Devices, Naming) {
    EXPECT_EQ(guide::devices(guide::Dev::Sd, 3), (std::vector<std::string>{"/dev/sdb", "/dev/sdc", "/dev/sdd"}));
    const auto sd = guide::devices(guide::Dev::Sd, 27);
    EXPECT_EQ(sd[24], "/dev/sdz");
    EXPECT_EQ(sd[25], "/dev/sdaa");
    EXPECT_EQ(sd[26], "/dev/sdab");
    EXPECT_EQ(guide::devices(guide::Dev::Nvme, 2), (std::vector<std::string>{"/dev/nvme1n1", "/dev/nvme2n1"}));
    EXPECT_EQ(guide::devices(guide::Dev::Vd, 1), (std::vector<std::string>{"/dev/vdb"}));
    EXPECT_TRUE(guide::devices(guide::Dev::Sd, 0).empty());
    EXPECT_TRUE(guide::devices(guide::Dev::Sd, -4).empty());
    EXPECT_STREQ(guide::pm_name(static_cast<guide::Pm>(9)), "apt");
    EXPECT_STREQ(guide::dev_name(guide::Dev::Nvme), "/dev/nvmeXn1");
    EXPECT_STREQ(guide::dev_name(static_cast<guide::Dev>(7)), "/dev/sdX");
}

TEST(Devices, LsblkSizes) {
    EXPECT_EQ(guide::lsblk_size(512), "512B");
    EXPECT_EQ(guide::lsblk_size(4e12), "3.6T");
    EXPECT_EQ(guide::lsblk_size(1.2e13), "10.9T");
    EXPECT_EQ(guide::lsblk_size(2e12), "1.8T");
    EXPECT_EQ(guide::lsblk_size(1099511627776.0), "1T");
    EXPECT_EQ(guide::lsblk_size(5e8), "476.8M");
    EXPECT_EQ(guide::lsblk_size(1e21), "867.4E");
}

TEST(Build, Refusals) {
    guide::Guide g = build(cfg(raid::Level::Tp, 8));
    EXPECT_FALSE(g.possible);
    EXPECT_EQ(g.reason, L10n::tr("tab.guide_off"));
    EXPECT_TRUE(g.steps.empty());
    g = build(cfg(raid::Level::Jbod, 4));
    EXPECT_EQ(g.reason, L10n::tr("tab.guide_off"));
    g = build(cfg(raid::Level::Jbod, 2, 2));
    EXPECT_EQ(g.reason, L10n::tr("g.invalid"));
    g = build(cfg(raid::Level::R5, 2));
    EXPECT_FALSE(g.possible);
    EXPECT_EQ(g.reason, L10n::tr("g.invalid"));
}

TEST(Build, Raid5WithSpare) {
    const guide::Guide g = build(cfg(raid::Level::R5, 5, 1, 4e12));
    ASSERT_TRUE(g.possible);
    ASSERT_EQ(g.steps.size(), 10u);
    const auto* create = step(g, "Create the array");
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create->cmds, (std::vector<std::string>{"sudo mdadm --create /dev/md0 --level=5 --raid-devices=4 "
                                                      "--bitmap=internal --spare-devices=1 /dev/sdb /dev/sdc /dev/sdd "
                                                      "/dev/sde /dev/sdf"}));
    EXPECT_EQ(g.steps[0].cmds, (std::vector<std::string>{"sudo apt install mdadm"}));
    EXPECT_EQ(g.steps[2].cmds, (std::vector<std::string>{"sudo wipefs -a /dev/sdb /dev/sdc /dev/sdd /dev/sde /dev/sdf"}));
    EXPECT_TRUE(g.steps[2].warn);
    const auto& replace = g.steps.back();
    EXPECT_EQ(replace.cmds, (std::vector<std::string>{"sudo mdadm /dev/md0 --fail /dev/sdc",
                                                      "sudo mdadm /dev/md0 --remove /dev/sdc",
                                                      "sudo mdadm /dev/md0 --add /dev/sdX"}));
    EXPECT_TRUE(ends_with(replace.text, L10n::tr("g.replace.spare")));
    const auto* persist = step(g, "Keep it after a restart");
    ASSERT_NE(persist, nullptr);
    EXPECT_EQ(persist->cmds[0], "sudo mdadm --detail --scan | sudo tee -a /etc/mdadm/mdadm.conf");
    EXPECT_EQ(persist->cmds[1],
              "grep -q ^MAILADDR /etc/mdadm/mdadm.conf || echo \"MAILADDR root\" | sudo tee -a /etc/mdadm/mdadm.conf");
    EXPECT_EQ(persist->cmds[2], "sudo update-initramfs -u");
    EXPECT_EQ(persist->notes, (std::vector<std::string>{"", L10n::tr("g.persist.mail")}));
    const auto* fstab = step(g, "Mount it at every start");
    ASSERT_NE(fstab, nullptr);
    EXPECT_EQ(fstab->cmds[0],
              "echo \"UUID=$(sudo blkid -s UUID -o value /dev/md0) /mnt/raid ext4 defaults,nofail 0 2\" | sudo tee -a "
              "/etc/fstab");
}

TEST(Build, NoRedundancyLeavesSparesOut) {
    const guide::Guide g = build(cfg(raid::Level::R0, 4, 2));
    ASSERT_TRUE(g.possible);
    const auto* create = step(g, "Create the array");
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create->cmds[0], "sudo mdadm --create /dev/md0 --level=0 --raid-devices=2 /dev/sdb /dev/sdc");
    EXPECT_TRUE(ends_with(create->text, L10n::tr("g.nospares")));
    EXPECT_EQ(g.steps[2].cmds[0], "sudo wipefs -a /dev/sdb /dev/sdc") << "only the disks in use are wiped";
    EXPECT_TRUE(g.steps.back().cmds.empty());
    EXPECT_TRUE(g.steps.back().warn);
    EXPECT_EQ(g.steps.back().text, L10n::tr("g.replace0.x"));
}

TEST(Build, MirrorsAndNested) {
    guide::Guide g = build(cfg(raid::Level::R1, 2));
    EXPECT_TRUE(ends_with(step(g, "Create the array")->text, L10n::tr("g.create.r1")));

    raid::Config c = cfg(raid::Level::R10, 6);
    c.mirror = 3;
    g = build(c);
    EXPECT_EQ(step(g, "Create the array")->cmds[0],
              "sudo mdadm --create /dev/md0 --level=10 --raid-devices=6 --layout=n3 --bitmap=internal /dev/sdb "
              "/dev/sdc /dev/sdd /dev/sde /dev/sdf /dev/sdg");
    c.mirror = 7;  // the engine computes three copies; the command must build three
    g = build(c);
    EXPECT_NE(step(g, "Create the array")->cmds[0].find("--layout=n3"), std::string::npos);

    c = cfg(raid::Level::R60, 11, 3);
    c.groups = 2;
    g = build(c);
    ASSERT_TRUE(g.possible);
    const auto* groups = step(g, "Create the groups");
    ASSERT_NE(groups, nullptr);
    EXPECT_EQ(groups->cmds, (std::vector<std::string>{
                                "sudo mdadm --create /dev/md1 --level=6 --raid-devices=4 --bitmap=internal "
                                "--spare-devices=2 /dev/sdb /dev/sdc /dev/sdd /dev/sde /dev/sdj /dev/sdk",
                                "sudo mdadm --create /dev/md2 --level=6 --raid-devices=4 --bitmap=internal "
                                "--spare-devices=1 /dev/sdf /dev/sdg /dev/sdh /dev/sdi /dev/sdl"}))
        << "the counts are dealt in turn, the devices taken in order";
    EXPECT_TRUE(ends_with(groups->text, L10n::tr("g.spares_note")));
    EXPECT_EQ(step(g, "Join the groups")->cmds[0], "sudo mdadm --create /dev/md0 --level=0 --raid-devices=2 /dev/md1 /dev/md2");
    EXPECT_EQ(step(g, "Check before restarting")->notes[0], L10n::tr("g.check.n1", "3"));
    EXPECT_EQ(g.steps.back().cmds[0], "sudo mdadm /dev/md1 --fail /dev/sdc");
    EXPECT_EQ(g.steps.size(), 11u);

    c = cfg(raid::Level::R50, 9);
    c.groups = 3;
    g = build(c);
    EXPECT_EQ(step(g, "Check before restarting")->notes[0], L10n::tr("g.check.n1", "4"));
}

TEST(Build, PackageManagers) {
    const raid::Config c = cfg(raid::Level::R6, 6);
    for (auto [pm, install, conf, image] :
         {std::tuple{guide::Pm::Dnf, "sudo dnf install mdadm", "/etc/mdadm.conf", "sudo dracut -f"},
          std::tuple{guide::Pm::Zypper, "sudo zypper install mdadm", "/etc/mdadm.conf", "sudo dracut -f"},
          std::tuple{guide::Pm::Pacman, "sudo pacman -S mdadm", "/etc/mdadm.conf", "sudo mkinitcpio -P"}}) {
        const guide::Guide g = build(c, pm);
        EXPECT_EQ(g.steps[0].cmds[0], install);
        EXPECT_EQ(step(g, "Keep it after a restart")->cmds[0], std::string("sudo mdadm --detail --scan | sudo tee -a ") + conf);
        EXPECT_EQ(step(g, "Keep it after a restart")->cmds[2], image);
        const auto* check = step(g, "Check before restarting");
        EXPECT_EQ(check->cmds.size(), 4u) << "the start-up image check is for apt only";
        EXPECT_EQ(check->cmds[0], std::string("grep ^ARRAY ") + conf);
    }
    const guide::Guide apt = build(c);
    const auto* check = step(apt, "Check before restarting");
    ASSERT_EQ(check->cmds.size(), 5u);
    EXPECT_EQ(check->cmds[1], "lsinitramfs /boot/initrd.img-$(uname -r) | grep mdadm");
    EXPECT_EQ(check->cmds[4], "findmnt /mnt/raid");
    EXPECT_EQ(check->notes.size(), check->cmds.size());
}

TEST(FindStep, ExampleOutput) {
    L10n::setLanguage("en");
    const raid::Config c = cfg(raid::Level::R6, 6);
    guide::Step s = guide::find_step(c, guide::devices(guide::Dev::Sd, 6), 6);
    std::vector<std::string> text;
    for (const auto& e : s.example) text.push_back(e.text);
    EXPECT_EQ(text, (std::vector<std::string>{
                        "NAME         SIZE   TYPE MOUNTPOINT", "sda          476.9G disk",
                        "\xE2\x94\x9C\xE2\x94\x80sda1       1G     part /boot/efi",
                        "\xE2\x94\x94\xE2\x94\x80sda2       475.9G part /", "sdb          10.9T  disk",
                        "sdc          10.9T  disk", "sdd          10.9T  disk", "\xE2\x80\xA6"}));
    EXPECT_EQ(s.example[1].remark, L10n::tr("g.find.ex_sys"));
    EXPECT_EQ(s.example[4].remark, L10n::tr("g.find.ex_new"));
    EXPECT_EQ(s.example[5].remark, "");
    EXPECT_EQ(s.text, L10n::tr("g.find.x", "/dev/sdb \xE2\x80\xA6 /dev/sdg"));
    EXPECT_EQ(s.checks[1], L10n::tr("g.find.c2", "10.9T = 12 TB"));
    EXPECT_EQ(s.cmds.size(), 3u);
    EXPECT_EQ(s.notes.size(), 3u);

    s = guide::find_step(c, guide::devices(guide::Dev::Nvme, 5), 5);
    EXPECT_EQ(s.text, L10n::tr("g.find.x", "/dev/nvme1n1 \xE2\x80\xA6 /dev/nvme5n1"));
    EXPECT_EQ(s.example[1].text.substr(0, 7), "nvme0n1");
    EXPECT_NE(s.example[2].text.find("nvme0n1p1"), std::string::npos);
    EXPECT_EQ(s.example[6].text.substr(0, 7), "nvme3n1");
    EXPECT_EQ(s.example.back().text, "\xE2\x80\xA6");

    s = guide::find_step(cfg(raid::Level::R1, 1, 0, 4e12), {"/dev/vdb"}, 1);
    EXPECT_EQ(s.text, L10n::tr("g.find.x", "/dev/vdb"));
    EXPECT_EQ(s.example.size(), 5u) << "one new disk, no ellipsis line";
    EXPECT_EQ(s.example[4].text, "vdb          3.6T   disk");
    EXPECT_EQ(s.example[1].text.substr(0, 3), "vda");
}

TEST(Command, PrintsNumberedSteps) {
    const kit::Run r = kit::run_app({"--guide", "raid6", "8", "12TB", "1"}, kEnglish);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = kit::lines(r.out);
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], "## 1. Install mdadm");
    EXPECT_EQ(lines[1], "# " + L10n::tr("g.install.x"));
    EXPECT_EQ(lines[2], "sudo apt install mdadm");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "## 2. Find the disks");
    EXPECT_EQ(lines[6], "# " + L10n::tr("g.find.n1"));
    EXPECT_EQ(lines[7], "lsblk -o NAME,SIZE,TYPE,MOUNTPOINT,MODEL,SERIAL");
    EXPECT_EQ(lines[8], "#   NAME         SIZE   TYPE MOUNTPOINT");
    EXPECT_EQ(lines[9], "#   sda          476.9G disk   <- " + L10n::tr("g.find.ex_sys"));
    EXPECT_NE(r.out.find("\n# + " + L10n::tr("g.find.c1") + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n## 10. If a disk fails\n"), std::string::npos);
    EXPECT_NE(r.out.find("sudo mdadm --create /dev/md0 --level=6 --raid-devices=7 --bitmap=internal --spare-devices=1 "
                         "/dev/sdb /dev/sdc /dev/sdd /dev/sde /dev/sdf /dev/sdg /dev/sdh /dev/sdi\n"),
              std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "\n\n");
}

TEST(Command, OptionsAndRefusals) {
    kit::Run r = kit::run_app({"--guide", "raid1", "2", "4TB", "--devices", "sdx"}, kEnglish);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "need 2 devices\n");

    r = kit::run_app({"--guide", "jbod", "4", "4TB"}, kEnglish);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, L10n::tr("tab.guide_off") + "\n");

    r = kit::run_app({"--guide", "raid5", "3", "4TB", "--pm", "yum"}, kEnglish);
    EXPECT_NE(r.out.find("sudo apt install mdadm"), std::string::npos);

    r = kit::run_app({"--guide", "raid5", "3", "4TB", "--pm", "pacman", "--devices", "/dev/vdb,,/dev/vdc",
                      "--devices", "/dev/vdd"},
                     kEnglish);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("sudo pacman -S mdadm\n"), std::string::npos);
    EXPECT_NE(r.out.find("sudo wipefs -a /dev/vdb /dev/vdc /dev/vdd\n"), std::string::npos);
    EXPECT_NE(r.out.find("sudo mdadm /dev/md0 --add /dev/vdX\n"), std::string::npos);

    r = kit::run_app({"--guide", "raid5"}, kEnglish);
    EXPECT_EQ(r.status, 2);
}
