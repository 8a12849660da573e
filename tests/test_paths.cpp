// Configuration directory (cached once per process, so each case runs in a
// child), packaging kind and the executable's directory.
#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kit.h"
#include "paths.h"

namespace {

// Runs `body` in a child with the given environment changes; returns its
// exit status (0 = all checks in the child passed).
template <typename F>
int in_child(const std::vector<std::pair<const char*, const char*>>& env, F body) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) {
            if (value) setenv(name, value, 1);
            else unsetenv(name);
        }
        _exit(body());
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : 100;
}

int mode_of(const std::string& p) {
    struct stat st{};
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? static_cast<int>(st.st_mode & 0777) : -1;
}

}  // namespace

TEST(ConfigDir, XdgThenHomeThenTheUserDatabaseThenWorkingDirectory) {
    const std::string base = kit::scratch_dir("paths");
    EXPECT_EQ(in_child({{"XDG_CONFIG_HOME", (base + "/a/b").c_str()}},
                       [&] {
                           const std::string d = paths::config_dir();
                           if (d != base + "/a/b/zxQuenlowsRaidCalculator") return 1;
                           if (mode_of(base + "/a") != 0700 || mode_of(d) != 0700) return 2;
                           return 0;
                       }),
              0);
    EXPECT_EQ(in_child({{"XDG_CONFIG_HOME", ""}, {"HOME", base.c_str()}},
                       [&] {
                           if (paths::config_dir() != base + "/.config/zxQuenlowsRaidCalculator") return 1;
                           setenv("HOME", "/elsewhere", 1);
                           return paths::config_dir() == base + "/.config/zxQuenlowsRaidCalculator" ? 0 : 2;
                       }),
              0);
    // Neither: the home the user database keeps, whatever the working directory.
    static std::string g_home;
    g_home = base + "/pw";
    EXPECT_EQ(in_child({{"XDG_CONFIG_HOME", nullptr}, {"HOME", nullptr}},
                       [&] {
                           paths::detail::user_home() = [] { return g_home; };
                           if (chdir(base.c_str()) != 0) return 3;
                           if (paths::config_dir() != base + "/pw/.config/zxQuenlowsRaidCalculator") return 1;
                           return mode_of(base + "/.zxQuenlowsRaidCalculator") == -1 ? 0 : 2;
                       }),
              0);
    // Not even that: beside the start, the last resort.
    EXPECT_EQ(in_child({{"XDG_CONFIG_HOME", nullptr}, {"HOME", nullptr}},
                       [&] {
                           paths::detail::user_home() = [] { return std::string(); };
                           if (chdir(base.c_str()) != 0) return 3;
                           if (paths::config_dir() != ".zxQuenlowsRaidCalculator") return 1;
                           return mode_of(base + "/.zxQuenlowsRaidCalculator") == 0700 ? 0 : 2;
                       }),
              0);
}

TEST(Packaging, KindAndSandbox) {
    EXPECT_EQ(in_child({{"SNAP", "/snap/x"}, {"FLATPAK_ID", "org.x"}, {"APPDIR", "/tmp"}},
                       [] { return std::string(paths::package_kind()) == "snap" && paths::is_sandboxed() ? 0 : 1; }),
              0);
    EXPECT_EQ(in_child({{"SNAP", ""}, {"FLATPAK_ID", "org.x"}},
                       [] { return std::string(paths::package_kind()) == "flatpak" && paths::is_sandboxed() ? 0 : 1; }),
              0);
    EXPECT_EQ(in_child({{"SNAP", nullptr}, {"FLATPAK_ID", nullptr}, {"APPDIR", "/tmp/app"}},
                       [] { return std::string(paths::package_kind()) == "appimage" && !paths::is_sandboxed() ? 0 : 1; }),
              0);
    EXPECT_EQ(in_child({{"SNAP", nullptr}, {"FLATPAK_ID", nullptr}, {"APPDIR", nullptr}},
                       [] { return std::string(paths::package_kind()) == "plain" ? 0 : 1; }),
              0);
}

TEST(ExeDir, DirectoryOfThisTest) {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    ASSERT_GT(n, 0);
    std::string self(buf, static_cast<size_t>(n));
    EXPECT_EQ(paths::exe_dir(), self.substr(0, self.rfind('/')));
}
