// Every "mdadm --create" line the guide prints is handed to the real mdadm
// on loop devices. Where the kernel has no md driver (containers, CI), mdadm
// still checks options, level, device and spare counts before it opens the
// array device, so a command is accepted when it gets that far. With the md
// driver present the arrays are really created under test names and stopped
// again. Skips, saying why, where mdadm, root or loop devices are missing.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include <unistd.h>

#include "guide.h"
#include "kit.h"
#include "l10n.h"

namespace {

constexpr int kLoops = 12;
constexpr const char* kImageSize = "32M";

std::string find_tool(const char* name) {
    for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
        const std::string p = std::string(dir) + name;
        if (access(p.c_str(), X_OK) == 0) return p;
    }
    return "";
}

std::vector<std::string> split(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> v;
    for (std::string w; in >> w;) v.push_back(w);
    return v;
}

class Mdadm : public testing::Test {
protected:
    void SetUp() override {
        mdadm_ = find_tool("mdadm");
        const std::string losetup = find_tool("losetup");
        if (mdadm_.empty() || losetup.empty()) GTEST_SKIP() << "mdadm or losetup not installed";
        if (geteuid() != 0) GTEST_SKIP() << "needs root for loop devices";
        real_ = access("/proc/mdstat", R_OK) == 0;
        for (int k = 0; k < 16; ++k) {
            const std::string node = "/dev/md" + std::to_string(k);
            if (access(node.c_str(), F_OK) == 0) preexisting_.insert(node);
        }
        const std::string dir = kit::scratch_dir("mdadm");
        for (int i = 0; i < kLoops; ++i) {
            const std::string img = dir + "/disk" + std::to_string(i) + ".img";
            kit::run(find_tool("truncate").empty() ? "/usr/bin/truncate" : find_tool("truncate"), {"-s", kImageSize, img});
            const kit::Run r = kit::run(losetup, {"-f", "--show", img});
            if (r.status != 0) {
                TearDown();
                GTEST_SKIP() << "no loop devices here: " << r.err;
            }
            loops_.push_back(r.out.substr(0, r.out.find('\n')));
        }
        losetup_ = losetup;
    }

    void TearDown() override {
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) kit::run(mdadm_, {"--stop", *it});
        created_.clear();
        for (const auto& l : loops_) {
            kit::run(mdadm_, {"--zero-superblock", l});
            kit::run(losetup_.empty() ? find_tool("losetup") : losetup_, {"-d", l});
        }
        loops_.clear();
        // mdadm leaves device nodes behind when it cannot open the array.
        for (const auto& node : new_nodes_)
            if (access(node.c_str(), F_OK) == 0 && !preexisting_.count(node)) unlink(node.c_str());
        new_nodes_.clear();
    }

    // Maps the guide's array names to names of our own; in checking-only
    // mode the group arrays a stripe is built from are stood in for by loops.
    std::string map_device(const std::string& dev, bool target) {
        if (dev.rfind("/dev/md", 0) != 0) return dev;
        if (real_) return "/dev/md/zxrc-test-" + dev.substr(7);
        if (target) return dev;
        return loops_[static_cast<size_t>(kLoops - 1 - std::stoi(dev.substr(7)))];
    }

    // Runs one create command; returns an empty string when mdadm accepted it.
    std::string run_create(const std::string& cmd) {
        std::vector<std::string> words = split(cmd);
        if (words.size() < 4 || words[0] != "sudo" || words[1] != "mdadm" || words[2] != "--create")
            return "not a create command: " + cmd;
        std::vector<std::string> args = {"--create", map_device(words[3], true), "--run"};
        for (size_t i = 4; i < words.size(); ++i) args.push_back(map_device(words[i], false));
        const kit::Run r = kit::run(mdadm_, args);
        new_nodes_.push_back(args[1]);
        if (real_) {
            if (r.status == 0) created_.push_back(args[1]);
            return r.status == 0 ? "" : r.err;
        }
        return r.err.find("opening " + args[1]) != std::string::npos ? "" : r.err;
    }

    void check_guide(raid::Config c) {
        L10n::setLanguage("en");
        const raid::Result r = raid::compute(c);
        ASSERT_TRUE(r.ok()) << raid::key(c.level) << " " << c.disks;
        ASSERT_LE(c.disks, kLoops);
        const std::vector<std::string> devs(loops_.begin(), loops_.begin() + c.disks);
        const guide::Guide g = guide::build(c, r, guide::Pm::Apt, devs);
        ASSERT_TRUE(g.possible);
        int creates = 0;
        for (const auto& step : g.steps)
            for (const auto& cmd : step.cmds)
                if (cmd.rfind("sudo mdadm --create", 0) == 0) {
                    ++creates;
                    EXPECT_EQ(run_create(cmd), "") << cmd;
                }
        EXPECT_GE(creates, 1);
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) kit::run(mdadm_, {"--stop", *it});
        created_.clear();
        for (const auto& l : loops_) kit::run(mdadm_, {"--zero-superblock", l});
    }

    std::string mdadm_, losetup_;
    bool real_ = false;
    std::vector<std::string> loops_;
    std::vector<std::string> created_;
    std::vector<std::string> new_nodes_;
    std::set<std::string> preexisting_;
};

raid::Config cfg(raid::Level level, int disks, int spares, int mirror = 2, int groups = 2) {
    raid::Config c;
    c.level = level;
    c.disks = disks;
    c.spares = spares;
    c.mirror = mirror;
    c.groups = groups;
    c.disk_bytes = 32e6;
    return c;
}

}  // namespace

// One test, since the loop devices and array names are shared machine state.
TEST_F(Mdadm, EveryCreateCommandIsAccepted) {
    check_guide(cfg(raid::Level::R0, 4, 0));
    check_guide(cfg(raid::Level::R0, 4, 2));
    check_guide(cfg(raid::Level::R1, 2, 0));
    check_guide(cfg(raid::Level::R1, 4, 1));
    check_guide(cfg(raid::Level::R5, 3, 0));
    check_guide(cfg(raid::Level::R5, 5, 1));
    check_guide(cfg(raid::Level::R6, 8, 2));
    check_guide(cfg(raid::Level::R10, 4, 0));
    check_guide(cfg(raid::Level::R10, 7, 1, 3));
    check_guide(cfg(raid::Level::R10, 6, 0, 9));
    check_guide(cfg(raid::Level::R50, 6, 0));
    check_guide(cfg(raid::Level::R50, 11, 2, 2, 3));
    check_guide(cfg(raid::Level::R60, 11, 3));
}
