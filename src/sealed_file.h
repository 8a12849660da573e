// Whole files through the sealed container: a write replaces the file
// atomically and durably, a read that finds a broken seal moves the file
// aside (".manipuliert") so it is kept for inspection but never parsed.
#pragma once

#include <string>

namespace sealed {

// Unreadable: the file exists but could not be read (permissions, I/O
// error); it must be neither parsed nor replaced.
enum class Result : int { Ok = 0, Missing = 1, Tampered = 2, Unreadable = 3 };

// Suffix of a file whose seal did not hold.
inline constexpr const char* kBrokenSuffix = ".manipuliert";
// Suffix of the temporary file a write goes through.
inline constexpr const char* kTempSuffix = ".tmp";

// Clears `out`, then opens the file. Absent, empty or not a regular file:
// Missing. Present but not readable: Unreadable.
// Not an intact container: moved aside, logged as a warning, Tampered.
Result read(const std::string& path, std::string& out);

// Seals `plain` into path + ".tmp", flushes it to disk, renames it over
// `path` and flushes the directory; true exactly when the rename succeeded.
// On a failure (logged as a warning) the target holds the previous file
// whole and no temporary file is left behind. A directory that cannot be
// flushed after the rename is logged as a warning only.
bool write(const std::string& path, const std::string& plain);

}  // namespace sealed

namespace sealed::detail {

// The two calls the durability of a write rests on. Nothing but their
// order and their success shows from outside, so tests replace them to
// watch that order and to make them fail.
struct Durability {
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
};
Durability& durability();

}  // namespace sealed::detail
