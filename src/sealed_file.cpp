// Reading and writing sealed files with plain POSIX calls, so that every
// error of every step is seen. A write goes through a temporary file that is
// flushed before the rename, and the directory is flushed after it: a power
// cut leaves either the old file or the new one, never an empty or partial one.
#include "sealed_file.h"

#include "save_crypt.h"  // before <unistd.h>, see there

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "logger.h"

namespace sealed {

namespace detail {

Durability& durability() {
    static Durability calls{::fsync, std::rename};
    return calls;
}

}  // namespace detail

namespace {

// A settings file is a few hundred bytes; anything this large is not ours
// and is not read into memory whole.
constexpr size_t kMaxFileBytes = size_t{16} << 20;
constexpr size_t kReadChunk = 64 * 1024;
// Default permissions; the umask and the owner-only directory narrow them.
constexpr mode_t kFileMode = 0666;

enum class Load { Ok, Absent, Unreadable, TooLarge };

// Regular files only: a directory, FIFO or device at the path counts as
// unreadable (and a FIFO must not block the start of the program).
Load load_file(const std::string& path, std::string& data) {
    data.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? Load::Absent : Load::Unreadable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Load::Absent;
    }
    Load result = Load::Ok;
    char buf[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = Load::Unreadable;
            break;
        }
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
        if (data.size() > kMaxFileBytes) {
            result = Load::TooLarge;
            break;
        }
    }
    ::close(fd);
    if (result != Load::Ok) data.clear();
    return result;
}

void move_aside(const std::string& path) {
    const std::string aside = path + kBrokenSuffix;
    if (std::rename(path.c_str(), aside.c_str()) == 0)
        logger::warn("seal broken, moved aside: " + aside);
    else
        logger::warn("seal broken, could not move aside: " + path + ": " + std::strerror(errno));
}

bool write_all(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string dir_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable. File systems that cannot sync a
// directory say EINVAL; there is nothing more to do on those.
bool sync_dir(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = detail::durability().fsync(fd) == 0 || errno == EINVAL;
    const int err = errno;
    ::close(fd);
    errno = err;
    return ok;
}

bool fail(const char* what, const std::string& path, int err) {
    logger::warn(std::string("sealed write: ") + what + " " + path + ": " + std::strerror(err));
    return false;
}

// Gives up on a temporary file: closes it (if open) and removes it, keeping
// the errno of the step that failed for the log line.
bool abandon(int fd, const std::string& tmp, const char* what) {
    const int err = errno;
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    return fail(what, tmp, err);
}

}  // namespace

Result read(const std::string& path, std::string& out) {
    out.clear();
    std::string data;
    const Load load = load_file(path, data);
    if (load == Load::Absent || (load == Load::Ok && data.empty())) return Result::Missing;
    if (load == Load::Unreadable) {
        logger::warn("settings file could not be read: " + path + ": " + std::strerror(errno));
        return Result::Unreadable;
    }
    if (load == Load::Ok && crypt::decrypt(data, &out) == crypt::ReadResult::Ok) return Result::Ok;
    move_aside(path);
    return Result::Tampered;
}

bool write(const std::string& path, const std::string& plain) {
    const std::string tmp = path + kTempSuffix;
    const std::string data = crypt::encrypt(plain);

    // A leftover from an interrupted run (or a stray link) is removed rather
    // than written through; O_EXCL then guarantees a fresh file of our own.
    ::unlink(tmp.c_str());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd < 0) return fail("cannot create", tmp, errno);
    if (!write_all(fd, data)) return abandon(fd, tmp, "cannot write");
    if (detail::durability().fsync(fd) != 0) return abandon(fd, tmp, "cannot flush");
    if (::close(fd) != 0) return abandon(-1, tmp, "cannot close");
    if (detail::durability().rename(tmp.c_str(), path.c_str()) != 0) return abandon(-1, tmp, "cannot rename");

    // The new content is in place, so the write has succeeded; a directory
    // that cannot be flushed only leaves the rename less durable.
    const std::string dir = dir_of(path);
    if (!sync_dir(dir)) fail("cannot flush directory", dir, errno);
    return true;
}

}  // namespace sealed
