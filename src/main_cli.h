// The command-line side of main: the usage text and the reading of the
// arguments of "--calc" and "--guide" into a configuration. Kept in the
// library so the tests exercise exactly what the program runs.
#pragma once

#include <string>
#include <vector>

#include "guide.h"
#include "raid.h"
#include "version.h"

namespace cli {

// For every command that prints and exits: a closed output pipe is not an
// error of the command.
void begin_headless();
void print_usage();
// Reads the "--size" value "<w>x<h>"; false (nothing stored) unless both
// sides are window sizes.
bool read_window_size(const char* text, int* width, int* height);

// What "--calc"/"--guide" read from the arguments after the command.
struct CalcArgs {
    raid::Config config;
    guide::Pm pm = guide::Pm::Apt;
    std::vector<std::string> devices;
    bool reliability = false;  // "--reliability": the failure-risk lines after the report
    bool json = false;         // "--json": one JSON object instead of the text
};

// Reads level, disks, size and the optional arguments. On an argument error
// returns false with the exit status in *status, having printed the message.
bool parse_calc(const std::vector<std::string>& args, CalcArgs* out, int* status);

// Runs "--calc" or "--guide" on the arguments after the command; returns the
// exit status.
int run_calc(const std::vector<std::string>& args);
int run_guide(const std::vector<std::string>& args);
int run_selftest(raid::Engine engine = raid::compute);

}  // namespace cli

namespace cli {

// The desktop start: single-instance lock, log, crash reporter, language
// guard, then the window. Returns the exit status.
int run_desktop(const std::string& theme, int width, int height);

// True when `pid` runs this same executable, so a stale pid in the lock
// file that now belongs to another program is never signalled.
bool same_program(long pid);

}  // namespace cli
