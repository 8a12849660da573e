// Process entry: prepares the locale, walks the command line and runs a
// headless command, or starts the desktop application.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "con.h"
#include "logger.h"
#include "main_cli.h"
#include "store_art.h"
#include "zxcrash.h"

namespace {

constexpr int kUnknownOption = 2;

std::vector<std::string> rest(int argc, char** argv, int from) {
    return std::vector<std::string>(argv + from, argv + argc);
}

int unknown_option(const char* arg) {
    cli::begin_headless();
    std::fprintf(stderr, "unknown option: %s\n", arg);
    cli::print_usage();
    return kUnknownOption;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all, in every mode: a crash anywhere from here on leaves a report.
    zxcrash::App crash_app;
    crash_app.name = product::kName;
    crash_app.version = product::kVersion;
    crash_app.build = product::kBuild;
    crash_app.contact = product::kContact;
    crash_app.package = "zxquenlowsraidcalculator";
    crash_app.log = [](const char* level, const char* message) {
        if (level && level[0] == 'W')
            logger::warn(message);
        else
            logger::info(message);
    };
    zxcrash::install(crash_app);

    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");

    std::string theme;
    int width = 0, height = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const int more = argc - 1 - i;  // arguments after this one
        if (a == "--version") {
            cli::begin_headless();
            con::printf("%s %s (build %s)\n", product::kName, product::kVersion, product::kBuild);
            return 0;
        } else if (a == "--help" || a == "-h") {
            cli::begin_headless();
            cli::print_usage();
            return 0;
        } else if (a == "--selftest") {
            cli::begin_headless();
            return cli::run_selftest();
        } else if (a == "--calc") {
            cli::begin_headless();
            return cli::run_calc(rest(argc, argv, i + 1));
        } else if (a == "--guide") {
            cli::begin_headless();
            return cli::run_guide(rest(argc, argv, i + 1));
        } else if (a == "--render-icon" && more >= 2) {
            cli::begin_headless();
            return render_icon(std::strtol(argv[i + 1], nullptr, 10), argv[i + 2]);
        } else if (a == "--render-store-art" && more >= 1) {
            cli::begin_headless();
            return render_store_art(argv[i + 1], rest(argc, argv, i + 2));
        } else if (a == "--theme" && more >= 1) {
            theme = argv[++i];
        } else if (a == "--size" && more >= 1) {
            cli::read_window_size(argv[++i], &width, &height);
        } else if (!a.empty() && a[0] == '-') {
            return unknown_option(argv[i]);
        }
    }

    // A size counts only when both sides were given.
    if (width < 1 || height < 1) width = height = 0;
    return cli::run_desktop(theme, width, height);
}
