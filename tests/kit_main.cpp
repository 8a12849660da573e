// Entry point shared by every test executable: points HOME, XDG_CONFIG_HOME,
// XDG_RUNTIME_DIR and TMPDIR at a fresh temporary folder, so no test (and no
// program a test starts, crashing or not) can touch the real user's files,
// and puts them back after every test that changed them. Then runs GoogleTest.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "wkit.h"

namespace {

constexpr const char* kIsolated[] = {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};

// Restores the isolating variables after each test, whatever it set or unset.
class KeepIsolation : public ::testing::EmptyTestEventListener {
public:
    KeepIsolation() {
        for (const char* name : kIsolated) m_values.push_back(std::getenv(name));
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        for (size_t i = 0; i < m_values.size(); ++i) setenv(kIsolated[i], m_values[i].c_str(), 1);
    }

private:
    std::vector<std::string> m_values;
};

}  // namespace

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/zxrc-test-XXXXXX";
    const char* home = mkdtemp(tmpl);
    if (!home) return 99;
    const std::string base = home;
    for (const char* sub : {"/run", "/tmp"}) mkdir((base + sub).c_str(), 0700);
    setenv("HOME", home, 1);
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (base + "/run").c_str(), 1);
    setenv("TMPDIR", (base + "/tmp").c_str(), 1);
    setlocale(LC_ALL, "");
    setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    wkit::set_failure_reporter([](const std::string& m) { ADD_FAILURE() << m; });
    ::testing::UnitTest::GetInstance()->listeners().Append(new KeepIsolation);
    const int rc = RUN_ALL_TESTS();
    const std::string cmd = std::string("rm -rf '") + home + "'";
    if (std::system(cmd.c_str()) != 0) return rc ? rc : 98;
    return rc;
}
