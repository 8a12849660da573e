// Entry point shared by every test executable: points HOME and
// XDG_CONFIG_HOME at a fresh temporary folder so no test can touch the real
// home directory, then runs GoogleTest.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    char tmpl[] = "/tmp/zxrc-test-XXXXXX";
    const char* home = mkdtemp(tmpl);
    if (!home) return 99;
    setenv("HOME", home, 1);
    setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), 1);
    setlocale(LC_ALL, "");
    setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    const std::string cmd = std::string("rm -rf '") + home + "'";
    if (std::system(cmd.c_str()) != 0) return rc ? rc : 98;
    return rc;
}
