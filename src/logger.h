// The run's log: a file in the configuration directory, rewritten at every
// start, plus the last lines in memory. Thread-safe; not for signal handlers
// (the crash handler reads the file by path instead).
#pragma once

#include <string>
#include <vector>

namespace logger {

// Opens <dir>/<name>.log, truncating it; does nothing while a file is open.
void init(const std::string& dir, const std::string& name);
void shutdown();
std::string file_path();

void info(const std::string& message);
void warn(const std::string& message);
void error(const std::string& message);

// The last min(n, held) lines, oldest first, without line breaks.
std::vector<std::string> tail(size_t n);

}  // namespace logger
