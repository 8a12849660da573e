// The settings record: exact round trips, the stored text line by line, the
// tolerant reading of hand-made values and the validation of every field.
#include "settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "kit.h"
#include "sealed_file.h"

namespace {

// Loads a record from a sealed file holding `text`.
Settings load_text(const std::string& text) {
    const std::string path = kit::scratch_dir("settings") + "/settings.dat";
    EXPECT_TRUE(sealed::write(path, text));
    Settings s;
    s.load(path);
    return s;
}

Settings unusual() {
    Settings s;
    s.language = "pt_BR";
    s.theme = "dark";
    s.animate = false;
    s.cap_value = 0.1 + 0.2;
    s.cap_unit = 1;
    s.disks = 17;
    s.spares = 3;
    s.disk_type = "custom";
    s.read_mbs = 1000.0 / 3.0;
    s.write_mbs = 1.0000000000000002;  // the next double after the lowest speed
    s.read_iops = 999999999.99999988;
    s.write_iops = 12345.678901234567;
    s.level = "raid10";
    s.mirror = 3;
    s.groups = 5;
    s.tab = 1;
    s.guide_pm = 3;
    s.guide_dev = 2;
    s.guide_warn = false;
    s.os_sizes = true;
    s.failed = "0,3,5";
    s.failed_spares = "1";
    s.full = Geometry{-40, 12, 1920, 1080, true};
    s.afr_percent = 0.1 + 0.2;
    s.ure_exponent = 13.5;
    s.replace_hours = 0;
    s.mission_years = 50;
    s.zoom = 175;
    return s;
}

// The text as files were written before the failure figures.
const char* const kUnusualOldText =
    "version=1\nlanguage=pt_BR\ntheme=dark\nanimate=0\ncap_value=0.30000000000000004\n"
    "cap_unit=1\ndisks=17\nspares=3\ndisk_type=custom\nread_mbs=333.33333333333331\n"
    "write_mbs=1.0000000000000002\nread_iops=999999999.99999988\n"
    "write_iops=12345.678901234567\nlevel=raid10\nmirror=3\ngroups=5\ntab=1\nguide_pm=3\n"
    "guide_dev=2\nguide_warn=0\nos_sizes=1\nfailed=0,3,5\nfailed_spares=1\n"
    "full=-40 12 1920 1080 1\n";
const std::string kUnusualText = std::string(kUnusualOldText) +
                                 "afr=0.30000000000000004\nure=13.5\nreplace_hours=0\nmission_years=50\nzoom=175\n";

// The stored text of a record: every field, doubles to the last bit, so two
// records with the same text are the same record.
std::string text_of(Settings s) {
    s.m_path = kit::scratch_dir("text") + "/settings.dat";
    EXPECT_TRUE(s.save());
    std::string text;
    EXPECT_EQ(sealed::read(s.m_path, text), sealed::Result::Ok);
    return text;
}

// ---- Saving and loading ----

TEST(SaveLoad, EveryFieldRoundTripsExactly) {
    const std::string path = kit::scratch_dir("roundtrip") + "/settings.dat";
    Settings s = unusual();
    s.m_path = path;
    ASSERT_TRUE(s.save());
    std::string text;
    ASSERT_EQ(sealed::read(path, text), sealed::Result::Ok);
    EXPECT_EQ(text, kUnusualText);
    Settings back;
    back.load(path);
    EXPECT_EQ(back.m_path, path);
    EXPECT_EQ(text_of(back), kUnusualText);
}

TEST(SaveLoad, NothingIsWrittenBeforeLoad) {
    Settings s;
    EXPECT_FALSE(s.save());
}

TEST(SaveLoad, FailedWriteKeepsThePreviousFile) {
    const std::string dir = kit::scratch_dir("fail");
    const std::string path = dir + "/settings.dat";
    Settings s;
    s.load(path);
    s.disks = 9;
    ASSERT_TRUE(s.save());
    const std::string saved = kit::read_file(path);
    // A folder where the temporary file has to go makes the next save fail.
    ASSERT_EQ(mkdir((path + ".tmp").c_str(), 0700), 0);
    ASSERT_TRUE(kit::write_file(path + ".tmp/keep", "k"));
    s.disks = 12;
    EXPECT_FALSE(s.save());
    EXPECT_EQ(kit::read_file(path), saved);
    Settings kept;
    kept.load(path);
    EXPECT_EQ(kept.disks, 9);
    ASSERT_EQ(unlink((path + ".tmp/keep").c_str()), 0);
    ASSERT_EQ(rmdir((path + ".tmp").c_str()), 0);
    s.disks = 9;
    // A line break in a value cannot smuggle in another key.
    s.failed_spares = "1\ndisks=200";
    ASSERT_TRUE(s.save());
    Settings back;
    back.load(dir + "/settings.dat");
    EXPECT_EQ(back.failed_spares, "1");
    EXPECT_EQ(back.disks, 9);
}

TEST(SaveLoad, MissingOrBrokenFileKeepsCurrentValues) {
    const std::string dir = kit::scratch_dir("broken");
    Settings s;
    s.disks = 900;  // not validated when nothing is read
    s.load(dir + "/settings.dat");
    EXPECT_EQ(s.disks, 900);

    ASSERT_TRUE(kit::write_file(dir + "/settings.dat", "version=1\ndisks=8\n"));
    Settings t;
    t.load(dir + "/settings.dat");
    EXPECT_EQ(t.disks, 6);
    EXPECT_EQ(kit::read_file(dir + "/settings.dat.manipuliert"), "version=1\ndisks=8\n");
    t.disks = 8;
    ASSERT_TRUE(t.save());
    Settings back;
    back.load(dir + "/settings.dat");
    EXPECT_EQ(back.disks, 8);
}

// ---- Reading hand-made values ----

TEST(Load, AbsentKeysKeepTheirDefaults) {
    Settings s = load_text("disks=999\n");
    EXPECT_EQ(s.disks, 256);
    s.disks = Settings().disks;
    EXPECT_EQ(text_of(s), text_of(Settings()));
}

TEST(Load, LineSyntax) {
    Settings s = load_text("language=a=b\ntheme=dark\r\nno equals sign\ndisks=4\ndisks=7\nversion=99\n"
                           "unknown=1\nanimate=true\nguide_warn=1 \nos_sizes=1\n"
                           "level=raid5");  // last line without a line break
    EXPECT_EQ(s.language, "a=b");
    EXPECT_EQ(s.theme, "auto");  // the carriage return stays part of the value
    EXPECT_EQ(s.disks, 7);
    EXPECT_EQ(s.level, "raid5");
    EXPECT_FALSE(s.animate);  // only "1" is true
    EXPECT_FALSE(s.guide_warn);
    EXPECT_TRUE(s.os_sizes);
}

// A sealed file may hold up to 16 MiB, so reading must stay linear: a search
// for "=" running past the end of each line took about a minute here.
TEST(Load, ManyLinesWithoutValuesAreReadQuickly) {
    const auto start = std::chrono::steady_clock::now();
    const Settings s = load_text(std::string(2 << 20, '\n') + "disks=9\n");
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(s.disks, 9);
    EXPECT_LT(took.count(), 2.0);
}

TEST(Load, TolerantNumbers) {
    Settings s = load_text("disks= +12 disks\nmirror=3.9\ngroups=x\nspares=99999999999999999999\n"
                           "cap_value= 2.5e1TB\nread_mbs=abc\nwrite_mbs=inf\nread_iops=nan\n"
                           "write_iops=0x10\n");
    EXPECT_EQ(s.disks, 12);
    EXPECT_EQ(s.mirror, 3);
    EXPECT_EQ(s.groups, 2);   // no digits reads as 0, then clamped
    EXPECT_EQ(s.spares, 11);  // saturates high instead of wrapping around
    EXPECT_EQ(s.cap_value, 25.0);
    EXPECT_EQ(s.read_mbs, 250.0);
    EXPECT_EQ(s.write_mbs, 250.0);
    EXPECT_EQ(s.read_iops, 120.0);
    EXPECT_EQ(s.write_iops, 16.0);
}

TEST(Load, NonFiniteOrUnreadableKeepsThePreviousValue) {
    const std::string path = kit::scratch_dir("prev") + "/settings.dat";
    ASSERT_TRUE(sealed::write(path, "read_mbs=abc\ncap_value=nan\n"));
    Settings s;
    s.read_mbs = 500;
    s.cap_value = 3.5;
    s.load(path);
    EXPECT_EQ(s.read_mbs, 500);
    EXPECT_EQ(s.cap_value, 3.5);
}

TEST(Load, Geometry) {
    const char* cases[][2] = {
        {"10 20 800 600 1", "10 20 800 600 1"},  {"10 20 800 600 2", "10 20 800 600 0"},
        {"-5 -7 20000 20000 1", "-5 -7 20000 20000 1"},
        {"10 20 30000 600 1", "0 0 0 0 0"},      {"10 20 800 -1 1", "0 0 0 0 0"},
        {"10 20 8x0 600 1", "10 20 8 0 0"},      {"10 20", "10 20 0 0 0"},
        // A number out of range is malformed: it and all after it read as 0.
        {"99999999999 0 800 600 1", "0 0 0 0 0"}, {"10 -99999999999 800 600 1", "10 0 0 0 0"},
        {"10 20 800 600 99999999999999999999", "10 20 800 600 0"},
    };
    for (const auto& c : cases) {
        const Geometry g = load_text(std::string("full=") + c[0] + "\n").full;
        const std::string got = std::to_string(g.x) + " " + std::to_string(g.y) + " " +
                                std::to_string(g.w) + " " + std::to_string(g.h) + " " +
                                (g.has_pos ? "1" : "0");
        EXPECT_EQ(got, c[1]) << c[0];
    }
}

TEST(Load, FilesWithoutFailureFiguresTakeThoseOfTheirDiskType) {
    const Settings old = load_text(kUnusualOldText);
    EXPECT_EQ(text_of(old),
              std::string(kUnusualOldText) + "afr=1.5\nure=14\nreplace_hours=72\nmission_years=5\nzoom=100\n")
        << "a custom type takes the HDD 7200 figures, the interface its normal size, all else loads as before";
    Settings s = load_text("disk_type=ssd\n");
    EXPECT_EQ(s.afr_percent, 1.0);
    EXPECT_EQ(s.ure_exponent, 15);
    s = load_text("disk_type=sas10k\nafr=abc\n");
    EXPECT_EQ(s.afr_percent, 1.0) << "unreadable: the disk type's figure";
    EXPECT_EQ(s.ure_exponent, 16);
}

// ---- Validation ----

TEST(Validate, FailureFiguresStayWithinTheirLimits) {
    Settings s = load_text("afr=0.01\nure=18\nreplace_hours=8760\nmission_years=1\n");
    EXPECT_EQ(s.afr_percent, 0.01);
    EXPECT_EQ(s.ure_exponent, 18);
    EXPECT_EQ(s.replace_hours, 8760);
    EXPECT_EQ(s.mission_years, 1);
    s = load_text("disk_type=nvme4\nafr=50.1\nure=12.99\nreplace_hours=-1\nmission_years=0.5\n");
    EXPECT_EQ(s.afr_percent, 1.0) << "out of range: the disk type's figure";
    EXPECT_EQ(s.ure_exponent, 15);
    EXPECT_EQ(s.replace_hours, 72);
    EXPECT_EQ(s.mission_years, 5);
    s = load_text("afr=0\nure=nan\nmission_years=51\n");
    EXPECT_EQ(s.afr_percent, 1.5);
    EXPECT_EQ(s.ure_exponent, 14);
    EXPECT_EQ(s.mission_years, 5);
}

TEST(Validate, IntegersAreClamped) {
    Settings s = load_text("disks=3\nspares=5\nmirror=1\ngroups=33\ntab=-1\nguide_pm=4\n"
                           "guide_dev=-7\ncap_unit=7\n");
    EXPECT_EQ(s.spares, 2);
    EXPECT_EQ(s.mirror, 2);
    EXPECT_EQ(s.groups, 32);
    EXPECT_EQ(s.tab, 0);
    EXPECT_EQ(s.guide_pm, 3);
    EXPECT_EQ(s.guide_dev, -1);
    EXPECT_EQ(s.cap_unit, 3);
    s = load_text("disks=0\nspares=-1\nguide_dev=9\ncap_unit=-2\n");
    EXPECT_EQ(s.disks, 1);
    EXPECT_EQ(s.spares, 0);
    EXPECT_EQ(s.guide_dev, 2);
    EXPECT_EQ(s.cap_unit, 0);
    EXPECT_EQ(load_text("zoom=5000\n").zoom, 300);
    EXPECT_EQ(load_text("zoom=10\n").zoom, 75);
}

TEST(Validate, OutOfRangeDoublesBecomeDefaults) {
    // The window's own limits: 0.001 to 999999 in the unit, 1 to 100000 MB/s.
    for (const char* v : {"0", "-3", "abc", "2e6", "1000000", "999999.5", "0.0009"})
        EXPECT_EQ(load_text(std::string("cap_value=") + v + "\n").cap_value, 12.0) << v;
    EXPECT_EQ(load_text("cap_value=999999\n").cap_value, 999999);
    EXPECT_EQ(load_text("cap_value=0.001\n").cap_value, 0.001);
    EXPECT_EQ(load_text("read_mbs=100000\nwrite_mbs=1\n").write_mbs, 1);
    Settings s = load_text("read_mbs=100001\nwrite_mbs=0.5\nread_iops=1e9\nwrite_iops=1.1e9\n");
    EXPECT_EQ(s.read_mbs, 250.0);
    EXPECT_EQ(s.write_mbs, 250.0);
    EXPECT_EQ(s.read_iops, 1e9);
    EXPECT_EQ(s.write_iops, 120.0);
}

TEST(Validate, KeysMustBeKnown) {
    Settings s = load_text("theme=Dark\nlevel=raid7\ndisk_type=floppy\n");
    EXPECT_EQ(s.theme, "auto");
    EXPECT_EQ(s.level, "raid6");
    EXPECT_EQ(s.disk_type, "hdd7200");
    s = load_text("theme=light\nlevel=jbod\ndisk_type=custom\n");
    EXPECT_EQ(s.theme, "light");
    EXPECT_EQ(s.level, "jbod");
    EXPECT_EQ(s.disk_type, "custom");
    const std::string ssd = raid::disk_types().back().key;
    EXPECT_EQ(load_text("disk_type=" + ssd + "\n").disk_type, ssd);
}

// ---- Engine input and reset ----

TEST(Config, DescribesTheRecord) {
    Settings s = unusual();
    s.cap_value = 3;
    s.cap_unit = 2;
    const raid::Config c = s.config();
    EXPECT_EQ(c.disk_bytes, 3e12);
    EXPECT_EQ(c.level, raid::Level::R10);
    EXPECT_EQ(c.disks, 17);
    EXPECT_EQ(c.spares, 3);
    EXPECT_EQ(c.mirror, 3);
    EXPECT_EQ(c.groups, 5);
    EXPECT_EQ(c.read_mbs, s.read_mbs);
    EXPECT_EQ(c.write_mbs, s.write_mbs);
    EXPECT_EQ(c.read_iops, s.read_iops);
    EXPECT_EQ(c.write_iops, s.write_iops);
    EXPECT_EQ(c.afr_percent, s.afr_percent);
    EXPECT_EQ(c.ure_exponent, 13.5);
    EXPECT_EQ(c.replace_hours, 0);
    EXPECT_EQ(c.mission_years, 50);
    EXPECT_LT(c.repair_hours, 0) << "the settings never override the repair";
    s.cap_unit = 0;
    s.level = "nonsense";
    EXPECT_EQ(s.config().disk_bytes, 3e6);
    EXPECT_EQ(s.config().level, raid::Config().level);
}

TEST(Reset, OnlyTheCalculationGoesBack) {
    Settings s = unusual();
    s.m_path = "/somewhere/settings.dat";
    s.reset_calculation();
    EXPECT_EQ(s.m_path, "/somewhere/settings.dat");
    // Interface fields, lists and window from the unusual record, the rest
    // from a fresh one.
    Settings want;
    want.language = "pt_BR";
    want.theme = "dark";
    want.animate = false;
    want.tab = 1;
    want.guide_pm = 3;
    want.guide_dev = 2;
    want.guide_warn = false;
    want.os_sizes = true;
    want.failed = "0,3,5";
    want.failed_spares = "1";
    want.full = unusual().full;
    want.zoom = unusual().zoom;
    EXPECT_EQ(text_of(s), text_of(want));
}

}  // namespace
