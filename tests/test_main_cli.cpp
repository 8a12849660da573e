// The program as a user runs it: options, exit statuses, the report and the
// survival line, sizes and languages; and the argument reading in-process.
#include <gtest/gtest.h>

#include "format.h"
#include "kit.h"
#include "main_cli.h"

namespace {

const std::vector<std::string> kEnglish = {"LANGUAGE=en", "LANG=C.UTF-8", "LC_ALL", "LC_MESSAGES"};

kit::Run app(const std::vector<std::string>& args, std::vector<std::string> env = kEnglish) {
    return kit::run_app(args, env);
}

std::string usage_head() { return "zxQuenlowsRaidCalculator 1.0.0 (build 1028)\n\n"; }

}  // namespace

TEST(Options, VersionHelpAndUnknown) {
    kit::Run r = app({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "zxQuenlowsRaidCalculator 1.0.0 (build 1028)\n");

    for (const char* h : {"--help", "-h"}) {
        r = app({h});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(usage_head(), 0), 0u);
        EXPECT_NE(r.out.find("--calc <level> <disks> <size> [spares]\n"), std::string::npos);
        EXPECT_NE(r.out.find("[--devices a,b,\xE2\x80\xA6]   print the mdadm guide \xE2\x80\x94 no window\n"), std::string::npos);
        EXPECT_EQ(r.out.back(), '\n');
    }

    r = app({"--frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "unknown option: --frobnicate\n");
    EXPECT_EQ(r.out.rfind(usage_head(), 0), 0u);

    r = app({"--theme"});
    EXPECT_EQ(r.status, 2) << "an option missing its value is unknown";
    EXPECT_EQ(r.err, "unknown option: --theme\n");

    r = app({"--render-icon", "16"});
    EXPECT_EQ(r.status, 2);

    r = app({"stray", "--version"});
    EXPECT_EQ(r.status, 0) << "a plain word before an option is ignored";
    r = app({"--theme", "dark", "--size", "800x600", "--version"});
    EXPECT_EQ(r.status, 0);
}

TEST(Calc, ReportAndSurvivalLine) {
    const kit::Run r = app({"--calc", "raid6", "8", "12TB", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "RAID 6 \xE2\x80\x94 8 \xC3\x97 12 TB (of which hot spares: 1)\n"
              "Usable capacity: 60 TB (54.6 TiB)\n"
              "Raw capacity: 96 TB\n"
              "Efficiency: 71.4 %\n"
              "Reading: ~1.25 GB/s \xC2\xB7 ~840 IOPS\n"
              "Writing: ~1.25 GB/s \xC2\xB7 ~140 IOPS\n"
              "Disks that may fail: 2 in any case\n"
              "Rebuild of one disk: ~13 h at the earliest\n"
              "All figures are rough estimates (~): the theoretical best case of the array. Controller, "
              "connection, processor and file system set the limits in practice.\n"
              "survive: 1=100 % 2=100 % 3=0 % 4=0 % 5=0 % 6=0 %\n");
}

TEST(Calc, LevelsShapesAndStatuses) {
    kit::Run r = app({"--calc", "raid5", "2", "4TB"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "RAID 5 \xE2\x80\x94 2 \xC3\x97 4 TB\nThis combination is not possible.\n");

    r = app({"--calc", "raid1", "3", "4TB"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("survive: 1=100 % 2=100 % 3=0 %\n"), std::string::npos);

    r = app({"--calc", "raid5", "4", "4TB"});
    EXPECT_NE(r.out.find("survive: 1=100 % 2=0 % 3=0 % 4=0 %\n"), std::string::npos);

    r = app({"--calc", "raid10", "8", "4TB"});
    EXPECT_NE(r.out.find("Disks that may fail: 1 in any case, up to 4 in the best case\n"), std::string::npos);
    EXPECT_NE(r.out.find("survive: 1=100 % 2=85.7 % 3=57.1 % 4=22.9 % 5=0 % 6=0 %\n"), std::string::npos);

    r = app({"--calc", "raid0", "4", "4TB"});
    EXPECT_EQ(r.out.find("Rebuild"), std::string::npos) << "no rebuild line without redundancy";

    r = app({"--calc", "raid10", "6", "4TB", "--mirror", "3"});
    EXPECT_NE(r.out.find("Usable capacity: 8 TB"), std::string::npos);
    r = app({"--calc", "raid10", "6", "4TB", "--mirror", "9"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usable capacity: 8 TB"), std::string::npos) << "clamped to three copies";

    r = app({"--calc", "raid60", "12", "4TB", "--groups", "3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usable capacity: 24 TB"), std::string::npos);

    for (const char* level : {"jbod", "raid0", "raid1", "raid5", "raid6", "raidtp", "raid10", "raid50", "raid60"}) {
        r = app({"--calc", level, "12", "4TB"});
        EXPECT_EQ(r.status, 0) << level;
        EXPECT_NE(r.out.find("survive:"), std::string::npos) << level;
    }
}

TEST(Calc, ArgumentErrors) {
    kit::Run r = app({"--calc", "raid5", "4"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind(usage_head(), 0), 0u);

    r = app({"--calc", "RAID5", "4", "4TB"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "unknown level: RAID5\n");
    EXPECT_EQ(r.out, "") << "no usage text for an unknown level";

    for (const char* bad : {"TB", "12tb", "0", "-4TB", "abc", "1e3GB"}) {
        r = app({"--calc", "raid5", "4", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.err, std::string("bad size: ") + bad + "\n");
    }
}

TEST(Calc, ReadsTheConfiguration) {
    cli::CalcArgs a;
    int status = -1;
    ASSERT_TRUE(cli::parse_calc({"raid6", "8", "1,5TB", "1"}, &a, &status));
    EXPECT_EQ(a.config.disk_bytes, 1.5e12);
    EXPECT_EQ(a.config.disks, 8);
    EXPECT_EQ(a.config.spares, 1);
    EXPECT_EQ(a.config.read_mbs, 250) << "the command line computes with HDD 7200 speeds";
    EXPECT_EQ(a.config.write_iops, 120);

    ASSERT_TRUE(cli::parse_calc({"raid5", "256", "12", "-3", "2", "--mirror"}, &a, &status));
    EXPECT_EQ(a.config.disk_bytes, 12e12) << "a bare number means terabytes";
    EXPECT_EQ(a.config.disks, 256);
    EXPECT_EQ(a.config.spares, 2) << "the later spare count wins";

    ASSERT_TRUE(cli::parse_calc({"raid5", "4", "500GB"}, &a, &status));
    EXPECT_EQ(a.config.disk_bytes, 5e11);
    ASSERT_TRUE(cli::parse_calc({"raid5", "4", "2PB"}, &a, &status));
    EXPECT_EQ(a.config.disk_bytes, 2e15);
    ASSERT_TRUE(cli::parse_calc({"raid5", "4", "750MB"}, &a, &status));
    EXPECT_EQ(a.config.disk_bytes, 7.5e8);

    cli::CalcArgs g;
    ASSERT_TRUE(cli::parse_calc({"raid5", "4", "4TB", "--pm", "dnf", "--pm", "yum", "--devices", "sdb,,sdc",
                                 "--devices", "sdd", "--groups", "4"},
                                &g, &status));
    EXPECT_EQ(g.pm, guide::Pm::Dnf) << "an unknown manager keeps the previous choice";
    EXPECT_EQ(g.devices, (std::vector<std::string>{"/dev/sdb", "/dev/sdc", "/dev/sdd"}))
        << "a bare name is the device of that name, not a file here";
    EXPECT_EQ(g.config.groups, 4);
    EXPECT_EQ(g.config.spares, 0) << "option values are not spare counts";

    ASSERT_TRUE(cli::parse_calc({"raid1", "2", "4TB", "--devices", "/dev/disk/by-id/ata-X_1-part2,./img"}, &g, &status));
    EXPECT_EQ(g.devices, (std::vector<std::string>{"/dev/disk/by-id/ata-X_1-part2", "./img"}))
        << "paths stay as given, and nothing is left from an earlier reading";
    EXPECT_EQ(g.pm, guide::Pm::Apt);
}

TEST(Calc, RefusesWhatCannotBeRight) {
    // Counts beyond the window's limits, sizes beyond its largest disk or
    // beyond any number, and device names that would run in a root shell.
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"raid5", "0", "1TB"}, "bad number of disks (1 to 256): 0\n"},
        {{"raid5", "257", "1TB"}, "bad number of disks (1 to 256): 257\n"},
        {{"raid5", "2147483647", "1TB"}, "bad number of disks (1 to 256): 2147483647\n"},
        {{"raid5", "99999999999999999999", "1TB"}, "bad number of disks (1 to 256): 99999999999999999999\n"},
        {{"raid50", "6", "4TB", "--groups", "1000000000"}, "bad number of groups (2 to 32): 1000000000\n"},
        {{"raid50", "6", "4TB", "--groups", "1"}, "bad number of groups (2 to 32): 1\n"},
        {{"raid5", "4", "1000000PB"}, "bad size: 1000000PB\n"},
        {{"raid5", "4", std::string(320, '9')}, "bad size: " + std::string(320, '9') + "\n"},
        {{"raid1", "2", "4TB", "--devices", "sdb,sdc;reboot"}, "bad device name: sdc;reboot\n"},
    };
    for (const auto& [args, err] : cases) {
        cli::CalcArgs a;
        int status = -1;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(cli::parse_calc(args, &a, &status)) << args[1];
        EXPECT_EQ(testing::internal::GetCapturedStderr(), err);
        EXPECT_EQ(status, 2);
    }
    for (const char* name : {"sd b", "sd\tb", "'sdb'", "\"sdb\"", "$(id)", "`id`", "a|b", "a&b", "a>b", "a<b",
                             "(a)", "{a,b}", "sd*", "sd?", "a!b", "a\\b", "~/x", "sd[bc]", "-f/x"}) {
        cli::CalcArgs a;
        int status = -1;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(cli::parse_calc({"raid1", "2", "4TB", "--devices", name}, &a, &status)) << name;
        testing::internal::GetCapturedStderr();
    }

    cli::CalcArgs a;
    int status = -1;
    ASSERT_TRUE(cli::parse_calc({"raid60", "256", "999999PB", "--groups", "32"}, &a, &status));
    EXPECT_EQ(a.config.disk_bytes, 999999e15) << "the largest disk itself is fine";
    EXPECT_EQ(a.config.groups, 32);

    // The program as a whole: one line on stderr, status 2, nothing else.
    kit::Run r = app({"--calc", "raid10", "400000", "1TB"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "bad number of disks (1 to 256): 400000\n");
    EXPECT_EQ(r.out, "");
    r = app({"--guide", "raidtp", "100000000", "1TB"});
    EXPECT_EQ(r.status, 2);
    r = app({"--guide", "raid1", "2", "4TB", "--devices", "/dev/sdb;reboot,/dev/sdc"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.find("wipefs"), std::string::npos);
}

TEST(Calc, HugeSizesPrintEveryDigit) {
    const kit::Run r = app({"--calc", "jbod", "256", "999999PB"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\nUsable capacity: 256 ZB ("), std::string::npos) << r.out;
    const std::string digits = fmt::number(1e90, 0);
    EXPECT_EQ(digits.size(), 90u);
    EXPECT_EQ(std::strtod(digits.c_str(), nullptr), 1e90) << digits;
    EXPECT_EQ(std::strtod(fmt::sig3(-1e300).c_str(), nullptr), -1e300);
    double v = 0;
    EXPECT_FALSE(fmt::parse(std::string(320, '9'), &v)) << "infinity is no typed number";
}

TEST(Guide, ValidatesBeforeItNeedsDevices) {
    kit::Run r = app({"--guide", "jbod", "4", "4TB", "--devices", "sdx"});
    EXPECT_EQ(r.status, 1) << "no guide for JBOD, whatever the devices";
    EXPECT_EQ(r.out, "Not available for JBOD and RAID TP: mdadm cannot build them as a software RAID.\n");
    EXPECT_EQ(r.err, "");
    r = app({"--guide", "raid1", "2", "4TB", "--devices", "sdx"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "need 2 devices\n");
    r = app({"--guide", "raid1", "2", "4TB", "--devices", "sdx,nvme0n1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\nsudo wipefs -a /dev/sdx /dev/nvme0n1\n"), std::string::npos) << r.out;
}

TEST(Headless, ReaderThatStopsEarlyKeepsTheStatus) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--guide", "raid6", "8", "12TB", "1"}, {"--calc", "raid6", "8", "12TB"},
          {"--selftest"}, {"--help"}, {"--version"}}) {
        EXPECT_EQ(kit::run_into_closed_pipe(ZXRC_EXE, args, kEnglish), 0) << args[0];
    }
}

TEST(Selftest, FailingCheckIsReportedAndFailsTheCommand) {
    // An engine that gets the parity write IOPS wrong in the first check.
    const raid::Engine faulty = [](const raid::Config& c) {
        raid::Result r = raid::compute(c);
        if (c.level == raid::Level::R5) r.write_iops = 7;
        return r;
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(cli::run_selftest(faulty), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "FAIL raid5 write iops: got 7, want 100\n");
    EXPECT_EQ(out, "") << "no success line after a failure";
}

TEST(Calc, SpeaksTheUsersLanguage) {
    kit::Run r = app({"--calc", "raid6", "8", "12TB", "1"}, {"LANGUAGE=de", "LC_ALL", "LANG=C"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("(54,6 TiB)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2=100 % 3=0 %"), std::string::npos);
    r = app({"--calc", "raid6", "8", "12TB", "1"}, {"LANGUAGE", "LC_ALL", "LANG=ja_JP.UTF-8"});
    EXPECT_NE(r.out.find("(54.6 TiB)"), std::string::npos) << r.out;
    r = app({"--calc", "raid6", "8", "12TB", "1"}, {"LANGUAGE=xx", "LC_ALL", "LANG=C"});
    EXPECT_NE(r.out.find("Usable capacity: 60 TB"), std::string::npos) << "unknown languages read English";
}

TEST(Selftest, Command) {
    const kit::Run r = app({"--selftest"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "selftest: all checks passed\n");
}

// Without any display the window cannot open: a clear message and status 1,
// never an invisible window that runs for ever.
TEST(Desktop, NoDisplayExitsWithAMessage) {
    const kit::Run r = kit::run_app({}, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open a window"), std::string::npos) << r.err;
}
