// The program as a user runs it: options, exit statuses, the report and the
// survival line, sizes and languages; and the argument reading in-process.
#include <gtest/gtest.h>

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

    ASSERT_TRUE(cli::parse_calc({"raid5", "0", "12", "-3", "2", "--mirror"}, &a, &status));
    EXPECT_EQ(a.config.disk_bytes, 12e12) << "a bare number means terabytes";
    EXPECT_EQ(a.config.disks, 1) << "fewer than one disk becomes one";
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
    EXPECT_EQ(g.devices, (std::vector<std::string>{"sdb", "sdc", "sdd"}));
    EXPECT_EQ(g.config.groups, 4);
    EXPECT_EQ(g.config.spares, 0) << "option values are not spare counts";
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

TEST(Desktop, NoCommandPrintsUsage) {
    const kit::Run r = app({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind(usage_head(), 0), 0u);
}
