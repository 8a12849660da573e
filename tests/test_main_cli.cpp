// The program as a user runs it: options, exit statuses, the report and the
// survival line, sizes and languages; and the argument reading in-process.
#include <gtest/gtest.h>

#include <cmath>

#include <unistd.h>

#include "format.h"
#include "kit.h"
#include "main_cli.h"

namespace {

const std::vector<std::string> kEnglish = {"LANGUAGE=en", "LANG=C.UTF-8", "LC_ALL", "LC_MESSAGES"};

kit::Run app(const std::vector<std::string>& args, std::vector<std::string> env = kEnglish) {
    return kit::run_app(args, env);
}

std::string usage_head() { return "zxQuenlowsRaidCalculator 1.0.0 (build 1028)\n\n"; }

// Whether a real JSON parser reads `text` as one object; NaN and Infinity,
// which it would otherwise let through, are refused.
bool parses_as_json(const std::string& text) {
    const std::string path = kit::scratch_dir("json") + "/out.json";
    kit::write_file(path, text);
    const char* check =
        "import json, sys\n"
        "def refuse(name): raise ValueError(name)\n"
        "sys.exit(0 if isinstance(json.load(sys.stdin, parse_constant=refuse), dict) else 1)\n";
    return kit::run("/bin/sh", {"-c", "exec /usr/bin/python3 -c \"$0\" < \"$1\"", check, path}).status == 0;
}

// The number after "key": in a JSON text.
double json_number(const std::string& json, const std::string& key) {
    const size_t at = json.find("\"" + key + "\":");
    return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

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
        for (const char* option : {"--reliability", "--json", "--afr", "--ure", "--replace", "--repair", "--years"})
            EXPECT_NE(r.out.find(std::string("[") + option), std::string::npos) << option;
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

    ASSERT_TRUE(cli::parse_calc({"raid5", "256", "12", "3", "2"}, &a, &status));
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
        // An option skipped would turn its value into the spare count.
        {{"raid5", "4", "4TB", "--bogus", "1"}, "unknown option: --bogus\n"},
        {{"raid5", "4", "4TB", "-3"}, "unknown option: -3\n"},
        {{"raid5", "4", "4TB", "--mirror"}, "option needs a value: --mirror\n"},
        {{"raid5", "4", "4TB", "--json", "--years"}, "option needs a value: --years\n"},
        {{"raid5", "4", "4TB", "--afr", "99"}, "bad annual failure rate (0.01 to 50): 99\n"},
        {{"raid5", "4", "4TB", "--afr", "0.009"}, "bad annual failure rate (0.01 to 50): 0.009\n"},
        {{"raid5", "4", "4TB", "--afr", "1.5%"}, "bad annual failure rate (0.01 to 50): 1.5%\n"},
        {{"raid5", "4", "4TB", "--ure", "12"}, "bad read error exponent (13 to 18): 12\n"},
        {{"raid5", "4", "4TB", "--ure", "1e14"}, "bad read error exponent (13 to 18): 1e14\n"},
        {{"raid5", "4", "4TB", "--replace", "8761"}, "bad replacement time (0 to 8760 hours): 8761\n"},
        {{"raid5", "4", "4TB", "--repair", "-1"}, "bad repair time (0 to 100000 hours): -1\n"},
        {{"raid5", "4", "4TB", "--years", "0"}, "bad mission time (1 to 50 years): 0\n"},
        {{"raid5", "4", "4TB", "--years", "5y"}, "bad mission time (1 to 50 years): 5y\n"},
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

TEST(Calc, ReadsTheFailureRiskOptions) {
    cli::CalcArgs a;
    int status = -1;
    ASSERT_TRUE(cli::parse_calc({"raid6", "8", "16TB", "--afr", "0,8", "--ure", "15.5", "--replace", "0", "--repair",
                                 "100000", "--years", "50", "--reliability", "--json"},
                                &a, &status));
    EXPECT_EQ(a.config.afr_percent, 0.8);
    EXPECT_EQ(a.config.ure_exponent, 15.5);
    EXPECT_EQ(a.config.replace_hours, 0);
    EXPECT_EQ(a.config.repair_hours, 100000);
    EXPECT_EQ(a.config.mission_years, 50);
    EXPECT_TRUE(a.reliability && a.json);
    EXPECT_EQ(a.config.spares, 0) << "option values are not spare counts";
    ASSERT_TRUE(cli::parse_calc({"raid6", "8", "16TB"}, &a, &status));
    EXPECT_LT(a.config.repair_hours, 0) << "no override unless asked";
    EXPECT_FALSE(a.reliability || a.json);
}

TEST(Calc, ReliabilityFollowsTheUnchangedReport) {
    const kit::Run plain = app({"--calc", "raid5", "8", "16TB"});
    kit::Run r = app({"--calc", "raid5", "8", "16TB", "--reliability"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.rfind(plain.out, 0), 0u) << "the report and survive line stay as they are";
    EXPECT_EQ(r.out.substr(plain.out.size()),
              "Failure rate 1.5 % per disk and year, one unreadable sector per 10\xC2\xB9\xE2\x81\xB4 bits read\n"
              "Repair of the first failed disk: ~90 h\n"
              "Mean time to data loss: ~7760 years\n"
              "Chance of data loss per year: 0.0129 % (about 1 in 7760)\n"
              "Chance of data loss in 5 years: 0.0644 % (about 1 in 1550)\n"
              "Unreadable sector during one rebuild: 99.987 % \xE2\x80\x94 one stripe is lost: a damaged file, the "
              "rebuild goes on\n"
              "Chance per year of losing a stripe: 11.3 % (about 1 in 8.84)\n"
              "These figures assume independent disk failures, exponential lifetimes, one repair at a time and a "
              "best-case rebuild, so they lean optimistic.\n");

    // Repaired at once: nothing is ever lost. 6 × 16 TB read are 7.68e14
    // bits, so 1 − e^−7.68 at 10^14; a second parity repairs them.
    r = app({"--calc", "raid6", "8", "16TB", "1", "--reliability", "--repair", "0", "--years", "1"});
    EXPECT_NE(r.out.find("\nRepair of the first failed disk: \xE2\x80\x93\n"
                         "Mean time to data loss: infinite\nChance of data loss per year: 0 %\n"
                         "Unreadable sector during one rebuild: 99.954 % \xE2\x80\x94 repaired from the remaining "
                         "redundancy\nThese"),
              std::string::npos)
        << r.out;
    r = app({"--calc", "raid0", "4", "4TB", "--reliability"});
    EXPECT_EQ(r.out.find("Unreadable"), std::string::npos) << "RAID 0 never rebuilds";
    r = app({"--calc", "raid5", "2", "4TB", "--reliability"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("Failure rate"), std::string::npos);
    r = app({"--guide", "raid1", "2", "4TB", "--afr", "2", "--reliability", "--json"});
    EXPECT_EQ(r.status, 0) << "accepted, without effect";
    EXPECT_EQ(r.out.rfind("## 1. ", 0), 0u);
}

TEST(Calc, JsonForScripts) {
    if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 not installed";
    kit::Run r = app({"--calc", "raid5", "8", "16TB", "--json"}, {"LANGUAGE=de", "LC_ALL", "LANG=C"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(parses_as_json(r.out)) << r.out;
    const std::string& j = r.out;
    EXPECT_EQ(j.rfind("{\"level\":\"raid5\",\"disks\":8,\"spares\":0,\"active\":8,", 0), 0u) << j;
    EXPECT_NE(j.find("\"usable_bytes\":112000000000000,"), std::string::npos) << "bytes, never localised";
    EXPECT_NE(j.find("\"efficiency\":0.875,"), std::string::npos);
    EXPECT_NE(j.find("\"survive\":[1,0,0,0,0,0],\"problem\":null,"), std::string::npos);
    EXPECT_NEAR(json_number(j, "repair_hours"), 89.777777777777771, 1e-12);
    EXPECT_NEAR(json_number(j, "mttdl_hours") / 8760, 7762, 1);
    EXPECT_NE(j.find("\"ure_repairable\":false,"), std::string::npos);

    r = app({"--calc", "raid1", "256", "16TB", "--json"});
    EXPECT_TRUE(parses_as_json(r.out)) << r.out;
    EXPECT_NE(r.out.find("\"mttdl_hours\":null,"), std::string::npos) << "infinite is null";
    r = app({"--calc", "raid0", "3", "4TB", "--json"});
    EXPECT_TRUE(parses_as_json(r.out)) << r.out;
    EXPECT_NE(r.out.find("\"ure_in_rebuild\":null,\"ure_repairable\":null,"), std::string::npos) << r.out;
    r = app({"--calc", "raid10", "7", "4TB", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(parses_as_json(r.out)) << r.out;
    EXPECT_NE(r.out.find("\"survive\":[],\"problem\":\"not_divisible\",\"need\":4,\"reliability\":null}\n"),
              std::string::npos)
        << r.out;
    r = app({"--calc", "raid5", "4", "4TB", "4", "--json"});
    EXPECT_NE(r.out.find("\"problem\":\"no_active\",\"need\":null,"), std::string::npos) << r.out;
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

TEST(WindowSize, ReadsBothSidesOrNothing) {
    int w = 7, h = 7;
    EXPECT_TRUE(cli::read_window_size("1000x700", &w, &h));
    EXPECT_EQ(w, 1000);
    EXPECT_EQ(h, 700);
    EXPECT_TRUE(cli::read_window_size(" 800x600 px", &w, &h)) << "blanks before and text after, as ever";
    EXPECT_EQ(w, 800);
    for (const char* bad : {"1000x", "x700", "0x700", "-5x10", "99999999999999999999x1", "4294967297x600", "1000*700"}) {
        w = h = 7;
        EXPECT_FALSE(cli::read_window_size(bad, &w, &h)) << bad;
        EXPECT_EQ(w, 7) << bad;
        EXPECT_EQ(h, 7) << bad;
    }
}
