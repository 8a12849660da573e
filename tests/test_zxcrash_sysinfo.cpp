// System information read from fixture trees the tests write (operating
// system, memory, processor, sound, graphics, installation), and once from
// the real machine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kit.h"
#include "zxcrash.h"
#include "zxcrash_detail.h"

namespace zd = zxcrash::detail;

namespace {

constexpr const char* kPackagingVars[] = {"SNAP", "FLATPAK_ID", "APPDIR"};

// A fake root: files are written below it with their absolute paths.
class Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        root = kit::scratch_dir("sysroot");
        zd::set_sys_root(root);
        for (const char* v : kPackagingVars) unsetenv(v);
    }
    void TearDown() override {
        zd::set_sys_root("");
        for (const char* v : kPackagingVars) unsetenv(v);
    }
    void put(const std::string& path, const std::string& text) {
        mkdirs(path.substr(0, path.rfind('/')));
        ASSERT_TRUE(kit::write_file(root + path, text)) << path;
    }
    void link(const std::string& path, const std::string& target) {
        mkdirs(path.substr(0, path.rfind('/')));
        ASSERT_EQ(symlink(target.c_str(), (root + path).c_str()), 0) << path;
    }
    void mkdirs(const std::string& dir) {
        std::string cur = root;
        size_t pos = 1;
        while (pos <= dir.size()) {
            const size_t next = dir.find('/', pos);
            cur = root + dir.substr(0, next);
            mkdir(cur.c_str(), 0755);
            if (next == std::string::npos) break;
            pos = next + 1;
        }
    }
    std::string root;
};

// package_line takes its first guess from the installed host record, so
// it runs in a child that installs one.
std::string package_line_in_child(const std::string& root) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        zxcrash::App app;
        app.name = "zxtest";
        app.package = "zxtest-pkg";
        zxcrash::install(app);
        zd::set_sys_root(root);
        const std::string line = zxcrash::package_line();
        if (write(fds[1], line.data(), line.size()) < 0) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return out;
}

}  // namespace

// ---- Readers ----

TEST(SysReaders, OsValueQuotesAndExactKeys) {
    const std::string text = "ID_LIKE=debian\nID=ubuntu\nPRETTY_NAME=\"Ubuntu 24.04 LTS\"\n"
                             "NAME='Single Quoted'\nX=\"\nEMPTY=\n";
    EXPECT_EQ(zd::os_value(text, "PRETTY_NAME"), "Ubuntu 24.04 LTS");
    EXPECT_EQ(zd::os_value(text, "NAME"), "Single Quoted");
    EXPECT_EQ(zd::os_value(text, "ID"), "ubuntu") << "ID_LIKE must not answer for ID";
    EXPECT_EQ(zd::os_value(text, "X"), "\"") << "a lone quote is kept";
    EXPECT_EQ(zd::os_value(text, "EMPTY"), "");
    EXPECT_EQ(zd::os_value(text, "VERSION_ID"), "");
    EXPECT_EQ(zd::trim(" \t a b \t\n "), "a b");
}

// ---- Operating system ----

TEST_F(Fixture, OsLineFromEtcThenUsrLib) {
    EXPECT_EQ(zd::os_line(), "unknown");
    put("/usr/lib/os-release", "PRETTY_NAME=\"Fedora Linux 40\"\nID=fedora\nVERSION_ID=40\n");
    EXPECT_EQ(zd::os_line(), "Fedora Linux 40 (fedora 40)");
    put("/etc/os-release",
        "NAME=\"Ubuntu\"\nPRETTY_NAME=\"Ubuntu 24.04 LTS\"\nID=ubuntu\nID_LIKE=debian\nVERSION_ID=\"24.04\"\n");
    EXPECT_EQ(zd::os_line(), "Ubuntu 24.04 LTS (ubuntu 24.04, like debian)");
    put("/etc/os-release", "PRETTY_NAME='Arch Linux'\nID=arch\n");
    EXPECT_EQ(zd::os_line(), "Arch Linux (arch)");
}

TEST_F(Fixture, OsLineInSandboxesReadsTheHost) {
    put("/etc/os-release", "PRETTY_NAME=\"GNOME 46 runtime\"\nID=org.gnome.Platform\n");
    setenv("FLATPAK_ID", "org.example.App", 1);
    EXPECT_EQ(zd::os_line(), "host not readable from the sandbox; sandbox: GNOME 46 runtime");
    put("/run/host/usr/lib/os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\nVERSION_ID=\"12\"\n");
    EXPECT_EQ(zd::os_line(), "Debian GNU/Linux 12 (bookworm) (debian 12)");
    unsetenv("FLATPAK_ID");
    setenv("SNAP", "/snap/x/1", 1);
    put("/var/lib/snapd/hostfs/etc/os-release", "PRETTY_NAME=\"Ubuntu 22.04\"\nID=ubuntu\n");
    EXPECT_EQ(zd::os_line(), "Ubuntu 22.04 (ubuntu)");
}

// ---- Processor, memory, sound ----

TEST_F(Fixture, MemoryWithAndWithoutAvailable) {
    EXPECT_EQ(zd::mem_line(), "unknown");
    put("/proc/meminfo", "MemTotal:       16777216 kB\nMemFree:         1000000 kB\n");
    EXPECT_EQ(zd::mem_line(), "16384 MB");
    put("/proc/meminfo", "MemTotal:       16777216 kB\nMemFree: 1 kB\nMemAvailable:    8192000 kB\n");
    EXPECT_EQ(zd::mem_line(), "16384 MB, available 8000 MB");
}

TEST_F(Fixture, ProcessorModelAndThreads) {
    EXPECT_EQ(zd::cpu_line(), "unknown");
    put("/proc/cpuinfo",
        "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i7 CPU  \n\n"
        "processor\t: 1\nmodel name\t: something else\n");
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    EXPECT_EQ(zd::cpu_line(), "Intel(R) Core(TM) i7 CPU, " + std::to_string(online) + " threads");
    put("/proc/cpuinfo", "processor\t: 0\n");
    EXPECT_EQ(zd::cpu_line().rfind("unknown, ", 0), 0u);
}

TEST_F(Fixture, SoundCards) {
    EXPECT_EQ(zd::alsa_cards(), std::vector<std::string>{"ALSA cards: not readable"});
    put("/proc/asound/cards", "--- no soundcards ---\n");
    EXPECT_EQ(zd::alsa_cards(), std::vector<std::string>{"ALSA cards: none"});
    put("/proc/asound/cards",
        " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n                      HDA Intel PCH at 0xf7f10000\n"
        " 1 [NVidia         ]: HDA-Intel - HDA NVidia\n");
    EXPECT_EQ(zd::alsa_cards(), (std::vector<std::string>{"ALSA card 0 [PCH            ]: HDA-Intel - HDA Intel PCH",
                                                          "ALSA card 1 [NVidia         ]: HDA-Intel - HDA NVidia"}));
}

// ---- Graphics ----

TEST_F(Fixture, GpuCardsSkipConnectorsAndSortByName) {
    EXPECT_EQ(zxcrash::gpu_lines(), std::vector<std::string>{"GPUs: /sys/class/drm not readable"});
    mkdirs("/sys/class/drm");
    EXPECT_EQ(zxcrash::gpu_lines(), std::vector<std::string>{"GPUs: none in /sys/class/drm"});
    put("/sys/class/drm/card1/device/vendor", "0x10de\n");
    put("/sys/class/drm/card1/device/device", "0x1c82\n");
    put("/sys/class/drm/card1/device/boot_vga", "0\n");
    put("/sys/class/drm/card0/device/vendor", "0x8086\n");
    put("/sys/class/drm/card0/device/device", "0x5917\n");
    put("/sys/class/drm/card0/device/subsystem_vendor", "0x17aa\n");
    put("/sys/class/drm/card0/device/subsystem_device", "0x2258\n");
    put("/sys/class/drm/card0/device/boot_vga", "1\n");
    link("/sys/class/drm/card0/device/driver", "../../../bus/pci/drivers/i915");
    mkdirs("/sys/class/drm/card0-eDP-1");
    put("/sys/class/drm/version", "drm 1.1.0\n");
    EXPECT_EQ(zxcrash::gpu_lines(),
              (std::vector<std::string>{"GPU card0: PCI 0x8086:0x5917 (subsystem 0x17aa:0x2258), driver i915, boot_vga",
                                        "GPU card1: PCI 0x10de:0x1c82, driver ?"}));
}

// ---- Installation ----

TEST_F(Fixture, DebianOwnerByGuessAndByScan) {
    const std::string exe = "/usr/bin/zxtest";
    EXPECT_EQ(zd::from_dpkg(exe, "zxtest-pkg"), "") << "no status file, no answer";
    put("/var/lib/dpkg/status",
        "Package: libfoo\nStatus: install ok installed\nVersion: 0.1\n\n"
        "Package: zxtest-pkg\nStatus: install ok installed\nArchitecture: amd64\nVersion: 1.2-3\n\n"
        "Package: other\nArchitecture: arm64\nVersion: 9.0\n\n"
        "Package: other\nArchitecture: amd64\nVersion: 4.5-1\n");
    put("/var/lib/dpkg/info/libfoo.list", "/.\n/usr\n/usr/lib/libfoo.so\n");
    EXPECT_EQ(zd::from_dpkg(exe, "zxtest-pkg"), "");
    put("/var/lib/dpkg/info/zxtest-pkg:amd64.list", "/.\n/usr\n/usr/bin\n/usr/bin/zxtest\n");
    EXPECT_EQ(zd::from_dpkg(exe, "zxtest-pkg"), "deb zxtest-pkg 1.2-3");
    // Under another name it is found by the folder scan; the architecture
    // suffix picks the matching stanza.
    EXPECT_EQ(zd::from_dpkg("/usr/bin/zxtest", "wrong-guess"), "deb zxtest-pkg 1.2-3");
    put("/var/lib/dpkg/info/other:amd64.list", "/usr/bin/other\n");
    EXPECT_EQ(zd::from_dpkg("/usr/bin/other", "zxtest-pkg"), "deb other 4.5-1");
    EXPECT_EQ(zd::from_dpkg("/usr/bin/zxtes", "zxtest-pkg"), "") << "lines must match whole";
}

TEST_F(Fixture, RpmAndPacmanOwners) {
    const std::string exe = "/usr/bin/zxtest";
    EXPECT_EQ(zd::from_rpm(exe), "");
    EXPECT_EQ(zd::from_pacman(exe), "");
    put("/usr/bin/rpm",
        "#!/bin/sh\n[ \"$1 $2 $3\" = \"-qf --qf %{NAME} %{VERSION}-%{RELEASE}\" ] || exit 3\n"
        "case \"$4\" in /usr/bin/zxtest) printf 'zxtest 1.0-1.fc40  ';; "
        "*) echo \"file $4 is not owned by any package\"; exit 1;; esac\n");
    chmod((root + "/usr/bin/rpm").c_str(), 0755);
    EXPECT_EQ(zd::from_rpm(exe), "rpm zxtest 1.0-1.fc40");
    EXPECT_EQ(zd::from_rpm("/usr/bin/other"), "");
    EXPECT_EQ(zd::from_rpm("/usr/bin/it's"), "") << "a quote in the path is never handed to the shell";

    put("/var/lib/pacman/local/ALPM_DB_VERSION", "9\n");
    put("/var/lib/pacman/local/aaa-1.0-1/files", "%FILES%\nusr/\nusr/bin/\nusr/bin/aaa\n");
    put("/var/lib/pacman/local/zxtest-1.0-1/files", "%FILES%\nusr/\nusr/bin/\nusr/bin/zxtest\n");
    EXPECT_EQ(zd::from_pacman(exe), "arch zxtest-1.0-1");
    EXPECT_EQ(zd::from_pacman("/usr/bin/none"), "");
}

TEST_F(Fixture, PackageLineForEveryKindOfInstallation) {
    link("/proc/self/exe", "/home/me/build/zxtest");
    EXPECT_EQ(package_line_in_child(root), "unpackaged (/home/me/build/zxtest)");

    unlink((root + "/proc/self/exe").c_str());
    link("/proc/self/exe", "/usr/bin/zxtest");
    put("/var/lib/dpkg/status", "Package: zxtest-pkg\nVersion: 2.0\n");
    put("/var/lib/dpkg/info/zxtest-pkg.list", "/usr/bin/zxtest\n");
    EXPECT_EQ(package_line_in_child(root), "deb zxtest-pkg 2.0 (/usr/bin/zxtest)");

    setenv("APPDIR", "/tmp/.mount_x", 1);
    setenv("APPIMAGE", "/home/me/zxtest.AppImage", 1);
    EXPECT_EQ(package_line_in_child(root), "appimage /home/me/zxtest.AppImage");
    setenv("FLATPAK_ID", "org.example.Zxtest", 1);
    EXPECT_EQ(package_line_in_child(root), "flatpak org.example.Zxtest");
    put("/.flatpak-info", "[Application]\nname=org.example.Zxtest\n\n[Instance]\nbranch=stable\n"
                          "app-commit=0123456789abcdef0123\n");
    EXPECT_EQ(package_line_in_child(root), "flatpak org.example.Zxtest branch stable commit 0123456789ab");
    setenv("SNAP", "/snap/zxtest/12", 1);
    setenv("SNAP_INSTANCE_NAME", "zxtest", 1);
    setenv("SNAP_VERSION", "1.0.0", 1);
    setenv("SNAP_REVISION", "12", 1);
    EXPECT_EQ(package_line_in_child(root), "snap zxtest 1.0.0 rev 12");
    for (const char* v : {"APPIMAGE", "SNAP_INSTANCE_NAME", "SNAP_VERSION", "SNAP_REVISION"}) unsetenv(v);
}

// ---- The real machine ----

TEST(SysReal, SystemLinesInOrder) {
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    unsetenv("XDG_SESSION_TYPE");
    unsetenv("WAYLAND_DISPLAY");
    setenv("DISPLAY", ":5", 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    const auto lines = zxcrash::system_lines();
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0].rfind("OS: ", 0), 0u);
    if (access("/etc/os-release", R_OK) == 0) {
        EXPECT_NE(lines[0], "OS: unknown");
    }
    EXPECT_EQ(lines[1].rfind("Kernel: Linux ", 0), 0u);
    EXPECT_EQ(lines[2].rfind("glibc: 2.", 0), 0u);
    EXPECT_EQ(lines[3].rfind("CPU: ", 0), 0u);
    EXPECT_NE(lines[3].find(" threads"), std::string::npos);
    EXPECT_EQ(lines[4].rfind("RAM: ", 0), 0u);
    EXPECT_NE(lines[4].find(" MB"), std::string::npos);
    EXPECT_EQ(lines[5], "Session: desktop KDE, type ?, X :5, lang de_DE.UTF-8");
    EXPECT_EQ(lines[6].rfind("Package: unpackaged (", 0), 0u) << "a test binary belongs to no package";
    EXPECT_EQ(lines[7].rfind("ALSA card", 0), 0u);
    EXPECT_FALSE(zxcrash::gpu_lines().empty());
}
