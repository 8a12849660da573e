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

// Writes an executable shell script (the "#!/bin/sh" line is added).
bool write_script(const std::string& path, const std::string& body);
// Puts a fake program `name` into the folder `bin`: it records its
// arguments into record/<name>.args, one per NUL-terminated field, copies
// every file named after an "--attach" argument into record/ as
// <name>-attach<k>-<file name>, and exits with `status`. The record file
// appears last, so it existing means the copies are complete.
bool fake_program(const std::string& bin, const std::string& name, const std::string& record, int status = 0);
// The arguments a fake program recorded.
std::vector<std::string> recorded_args(const std::string& path);

}  // namespace kit
