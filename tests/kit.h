// Helpers shared by the tests: run the built program as a user would and
// collect its output and exit status; make scratch directories.
#pragma once

#include <string>
#include <vector>

namespace kit {

struct Run {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or 128 + signal number
};

// Runs `exe` with `args`; `env` entries ("NAME=value") are added to (or
// override) the inherited environment; a NAME without "=" removes it.
Run run(const std::string& exe, const std::vector<std::string>& args,
        const std::vector<std::string>& env = {});

// Runs `exe` with its standard output on a pipe that nobody reads (and with
// SIGPIPE at its default); returns the exit status or 128 + signal number.
int run_into_closed_pipe(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {});

// Runs the program under test.
Run run_app(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// A fresh, empty directory below the test home; removed by the caller if wanted.
std::string scratch_dir(const std::string& name);

std::string read_file(const std::string& path);
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> list_dir(const std::string& dir);
bool write_file(const std::string& path, const std::string& data);

// Splits text into lines (without their line breaks).
std::vector<std::string> lines(const std::string& text);

}  // namespace kit
