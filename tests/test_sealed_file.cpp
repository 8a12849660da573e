// Sealed files on disk: the bytes are the documented container (checked with
// libsodium directly), broken files are moved aside with a log line, and no
// failed or interrupted write damages the file that was there before.
#include "save_crypt.h"  // before gtest, which pulls in <unistd.h>

#include "sealed_file.h"

#include <gtest/gtest.h>

#include <sodium.h>

#include <csignal>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "kit.h"
#include "logger.h"

namespace {

using sealed::Result;

const std::string kOld = "version=1\ndisks=4\n";
const std::string kNew = "version=1\ndisks=12\nlevel=raid10\n";

// The key as the format documents it, computed here independently.
void raw_key(uint8_t key[32]) {
    uint8_t input[48];
    std::memcpy(input, crypt::kKeySeed, 32);
    std::memcpy(input + 32, crypt::kKeyTag, 16);
    crypto_generichash(key, 32, input, sizeof input, nullptr, 0);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string last_log_line() {
    const auto t = logger::tail(1);
    return t.empty() ? std::string() : t.back();
}

std::string read_ok(const std::string& path) {
    std::string out;
    EXPECT_EQ(sealed::read(path, out), Result::Ok) << path;
    return out;
}

TEST(Format, FileIsTheDocumentedContainer) {
    const std::string path = kit::scratch_dir("format") + "/settings.dat";
    ASSERT_TRUE(sealed::write(path, kNew));
    EXPECT_FALSE(exists(path + ".tmp"));
    const std::string f = kit::read_file(path);
    ASSERT_EQ(f.size(), 45 + kNew.size());
    EXPECT_EQ(f.substr(0, 4), "ZXRC");
    EXPECT_EQ(f[4], 1);

    uint8_t key[32];
    raw_key(key);
    const auto* p = reinterpret_cast<const uint8_t*>(f.data());
    std::string plain(f.size() - 45, '\0');
    ASSERT_EQ(crypto_aead_xchacha20poly1305_ietf_decrypt_detached(
                  reinterpret_cast<uint8_t*>(plain.data()), nullptr, p + 45, plain.size(), p + 29,
                  nullptr, 0, p + 5, key),
              0);
    EXPECT_EQ(plain, kNew);
    EXPECT_EQ(read_ok(path), kNew);
}

TEST(Format, OpensAContainerBuiltByHand) {
    const std::string path = kit::scratch_dir("byhand") + "/settings.dat";
    uint8_t key[32];
    raw_key(key);
    std::string f(45 + kOld.size(), '\0');
    auto* p = reinterpret_cast<uint8_t*>(f.data());
    std::memcpy(p, "ZXRC\x01", 5);
    randombytes_buf(p + 5, 24);
    crypto_aead_xchacha20poly1305_ietf_encrypt_detached(
        p + 45, p + 29, nullptr, reinterpret_cast<const uint8_t*>(kOld.data()), kOld.size(), nullptr,
        0, nullptr, p + 5, key);
    ASSERT_TRUE(kit::write_file(path, f));
    EXPECT_EQ(read_ok(path), kOld);
}

TEST(Read, AbsentEmptyOrNotAFileIsMissingAndLeftAlone) {
    const std::string dir = kit::scratch_dir("missing");
    std::string out = "stale";
    EXPECT_EQ(sealed::read(dir + "/none.dat", out), Result::Missing);
    EXPECT_EQ(out, "");

    ASSERT_TRUE(kit::write_file(dir + "/empty.dat", ""));
    EXPECT_EQ(sealed::read(dir + "/empty.dat", out), Result::Missing);
    EXPECT_TRUE(exists(dir + "/empty.dat"));
    EXPECT_FALSE(exists(dir + "/empty.dat.manipuliert"));

    ASSERT_EQ(::mkdir((dir + "/adir.dat").c_str(), 0700), 0);
    EXPECT_EQ(sealed::read(dir + "/adir.dat", out), Result::Missing);
    EXPECT_TRUE(exists(dir + "/adir.dat"));
}

TEST(Read, BrokenFilesAreMovedAsideAndLogged) {
    const std::string good = crypt::encrypt(kOld);
    std::string flipped = good;
    flipped[50] ^= 0x10;
    std::string v2 = good;
    v2[4] = 2;
    const std::string cases[] = {"version=1\ndisks=8\n", good.substr(0, 44), flipped, v2,
                                 std::string(45, '\0')};
    const std::string dir = kit::scratch_dir("broken");
    const std::string path = dir + "/settings.dat";
    const std::string aside = path + ".manipuliert";
    for (const std::string& bad : cases) {
        ASSERT_TRUE(kit::write_file(aside, "an earlier incident"));
        ASSERT_TRUE(kit::write_file(path, bad));
        std::string out = "stale";
        EXPECT_EQ(sealed::read(path, out), Result::Tampered);
        EXPECT_EQ(out, "");
        EXPECT_FALSE(exists(path));
        EXPECT_EQ(kit::read_file(aside), bad);  // kept as it was, replacing the old one
        const std::string line = last_log_line();
        EXPECT_NE(line.find(" WARN  seal broken, moved aside: " + aside), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - aside.size()), aside);
    }
    // The place is free for a fresh file.
    ASSERT_TRUE(sealed::write(path, kNew));
    EXPECT_EQ(read_ok(path), kNew);
}

// ---- Failed and interrupted writes ----

class Write : public ::testing::Test {
protected:
    void SetUp() override {
        dir = kit::scratch_dir("write");
        path = dir + "/settings.dat";
        ASSERT_TRUE(sealed::write(path, kOld));
        before = kit::read_file(path);
    }
    void expect_old_intact() {
        EXPECT_EQ(kit::read_file(path), before);
        EXPECT_EQ(read_ok(path), kOld);
    }
    std::string dir, path, before;
};

TEST_F(Write, ParentIsARegularFile) {
    // Fails for root as well, unlike permission bits.
    ASSERT_TRUE(kit::write_file(dir + "/plain", "x"));
    EXPECT_FALSE(sealed::write(dir + "/plain/settings.dat", kNew));
    EXPECT_FALSE(sealed::write(dir + "/nowhere/settings.dat", kNew));
    EXPECT_EQ(kit::read_file(dir + "/plain"), "x");
}

TEST_F(Write, TemporaryFileCannotBeCreated) {
    ASSERT_EQ(::mkdir((path + ".tmp").c_str(), 0700), 0);
    ASSERT_TRUE(kit::write_file(path + ".tmp/keep", "k"));
    EXPECT_FALSE(sealed::write(path, kNew));
    expect_old_intact();
    EXPECT_EQ(kit::read_file(path + ".tmp/keep"), "k");
}

TEST_F(Write, WriteFailsHalfway) {
    // A file size limit stops the write after 60 bytes, for root too.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 60;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = sealed::write(path, kNew + std::string(200, '#'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(ok);
    expect_old_intact();
    EXPECT_FALSE(exists(path + ".tmp"));
}

TEST_F(Write, ProcessKilledMidWrite) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Dies of SIGXFSZ inside the write, like a crash or a power cut.
        rlimit lim{60, 60};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        rlimit no_core{0, 0};
        ::setrlimit(RLIMIT_CORE, &no_core);
        std::signal(SIGXFSZ, SIG_DFL);
        sealed::write(path, kNew + std::string(200, '#'));
        ::_exit(0);
    }
    int st = 0;
    ASSERT_EQ(::waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(st) && WTERMSIG(st) == SIGXFSZ) << st;
    EXPECT_EQ(kit::read_file(path + ".tmp").size(), 60u);  // the torn copy
    expect_old_intact();
    // The next save replaces the leftover and completes.
    ASSERT_TRUE(sealed::write(path, kNew));
    EXPECT_FALSE(exists(path + ".tmp"));
    EXPECT_EQ(read_ok(path), kNew);
}

TEST_F(Write, RenameOntoBusyTargetFails) {
    const std::string target = dir + "/occupied";
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    ASSERT_TRUE(kit::write_file(target + "/inside", "i"));
    EXPECT_FALSE(sealed::write(target, kNew));
    EXPECT_FALSE(exists(target + ".tmp"));
    EXPECT_EQ(kit::read_file(target + "/inside"), "i");
}

TEST_F(Write, DirectoryThatCannotBeFlushedStillCountsAsWritten) {
    // A folder its owner may write and enter but not read cannot be opened
    // for the flush after the rename. Root reads any folder, so the child
    // writes as an ordinary user; a relative path keeps the test folder's
    // parents out of the way.
    const std::string sub = dir + "/wx";
    ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
    constexpr uid_t kNobody = 65534;
    const bool root = ::getuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(sub.c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chmod(sub.c_str(), 0300), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::chdir(sub.c_str()) != 0) ::_exit(3);
        if (root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(4);
        if (::open(".", O_RDONLY | O_DIRECTORY) >= 0) ::_exit(5);  // the flush would work after all
        ::_exit(sealed::write("settings.dat", kNew) ? 0 : 1);
    }
    int st = 0;
    ASSERT_EQ(::waitpid(pid, &st, 0), pid);
    ::chmod(sub.c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 0) << "the new file is in place, so the write succeeded";
    EXPECT_EQ(read_ok(sub + "/settings.dat"), kNew);
    EXPECT_FALSE(exists(sub + "/settings.dat.tmp"));
}

// The durability calls of a write, seen in order: what file each flush hit.
std::vector<std::string> g_calls;
int g_fail_fsync = 0;  // errno for the next flush of a file, 0 for none

std::string fd_name(int fd) {
    char buf[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof buf - 1);
    if (n <= 0) return "?";
    const std::string path(buf, static_cast<size_t>(n));
    return path.substr(path.rfind('/') + 1);
}

struct Watched {
    Watched() {
        g_calls.clear();
        g_fail_fsync = 0;
        sealed::detail::durability() = {
            [](int fd) {
                const std::string name = fd_name(fd);
                g_calls.push_back("fsync " + name);
                if (g_fail_fsync && name.ends_with(".tmp")) {
                    errno = g_fail_fsync;
                    return -1;
                }
                return ::fsync(fd);
            },
            [](const char* from, const char* to) {
                g_calls.push_back("rename");
                return std::rename(from, to);
            }};
    }
    ~Watched() { sealed::detail::durability() = saved; }
    sealed::detail::Durability saved = sealed::detail::durability();
};

TEST_F(Write, FileFlushedBeforeTheRenameAndTheFolderAfterIt) {
    const Watched watch;
    ASSERT_TRUE(sealed::write(path, kNew));
    const std::string folder = dir.substr(dir.rfind('/') + 1);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"fsync settings.dat.tmp", "rename", "fsync " + folder}));
    EXPECT_EQ(read_ok(path), kNew);
}

TEST_F(Write, AFlushThatFailsKeepsTheOldFile) {
    const Watched watch;
    g_fail_fsync = EIO;
    EXPECT_FALSE(sealed::write(path, kNew));
    EXPECT_EQ(g_calls, std::vector<std::string>{"fsync settings.dat.tmp"}) << "no rename after a failed flush";
    expect_old_intact();
    EXPECT_FALSE(exists(path + ".tmp"));
    EXPECT_NE(last_log_line().find("cannot flush"), std::string::npos) << last_log_line();
}

TEST_F(Write, LeftoverLinkIsNotWrittenThrough) {
    const std::string victim = dir + "/victim";
    ASSERT_TRUE(kit::write_file(victim, "untouched"));
    ASSERT_EQ(::symlink(victim.c_str(), (path + ".tmp").c_str()), 0);
    ASSERT_TRUE(sealed::write(path, kNew));
    EXPECT_EQ(kit::read_file(victim), "untouched");
    EXPECT_EQ(read_ok(path), kNew);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

}  // namespace
