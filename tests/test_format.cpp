// Number formatting, the failure-risk figures and the parser for typed
// numbers, in a point and a comma language.
#include <gtest/gtest.h>

#include <cmath>

#include "format.h"
#include "l10n.h"

namespace {

class Format : public testing::Test {
protected:
    void SetUp() override {
        L10n::setLanguage("en");
        fmt::set_os_sizes(false);
    }
    void TearDown() override {
        L10n::setLanguage("en");
        fmt::set_os_sizes(false);
    }
};

}  // namespace

TEST(Parse, AcceptsTypedNumbers) {
    double v = 0;
    EXPECT_TRUE(fmt::parse(" 12,5 ", &v));
    EXPECT_EQ(v, 12.5);
    EXPECT_TRUE(fmt::parse("12'000", &v));
    EXPECT_EQ(v, 12000);
    EXPECT_TRUE(fmt::parse("-3", &v));
    EXPECT_EQ(v, -3);
    EXPECT_TRUE(fmt::parse(".5", &v));
    EXPECT_EQ(v, 0.5);
    EXPECT_TRUE(fmt::parse("1\xC2\xA0" "000", &v)) << "a no-break space groups digits";
    EXPECT_EQ(v, 1000);
    EXPECT_TRUE(fmt::parse("1,000", &v));
    EXPECT_EQ(v, 1) << "a comma is a decimal mark, never a thousands separator";
}

TEST(Parse, RejectsEverythingElseAndLeavesOutputAlone) {
    for (const char* bad : {"", ".", "-", " ", "1e3", "+5", "5-", "12TB", "1.000,5", "0x10", "inf", "nan", "--1"}) {
        double v = 42;
        EXPECT_FALSE(fmt::parse(bad, &v)) << bad;
        EXPECT_EQ(v, 42) << bad;
    }
}

TEST_F(Format, SignificantDigits) {
    EXPECT_EQ(fmt::sig3(3.638), "3.64");
    EXPECT_EQ(fmt::sig3(3.6), "3.6");
    EXPECT_EQ(fmt::sig3(12.04), "12");
    EXPECT_EQ(fmt::sig3(12.25), "12.3");
    EXPECT_EQ(fmt::sig3(999.4), "999");
    EXPECT_EQ(fmt::sig3(0), "0");
    EXPECT_EQ(fmt::sig3(0.003), "0.003") << "a tiny disk is not 0";
    EXPECT_EQ(fmt::sig3(0.0125), "0.0125");
    EXPECT_EQ(fmt::sig3(0.25), "0.25");
    EXPECT_EQ(fmt::sig3(2.999), "3");
    EXPECT_EQ(fmt::sig3(-12.25), "-12.3");
    EXPECT_EQ(fmt::number(1.5, 2), "1.50");
}

TEST_F(Format, ScaledUnits) {
    EXPECT_EQ(fmt::bytes(1.2e13), "12 TB");
    EXPECT_EQ(fmt::bytes_bin(1.2e13), "10.9 TiB");
    EXPECT_EQ(fmt::bytes_bin(4e12), "3.64 TiB");
    EXPECT_EQ(fmt::bytes(0), "0 B");
    EXPECT_EQ(fmt::bytes(999.7), "1 kB");
    EXPECT_EQ(fmt::bytes(1e24), "1000 ZB");
    EXPECT_EQ(fmt::rate_mbs(600), "600 MB/s");
    EXPECT_EQ(fmt::rate_mbs(14000), "14 GB/s");
    EXPECT_EQ(fmt::rate_mbs(1250), "1.25 GB/s");
    EXPECT_EQ(fmt::iops(750.4), "750");
    EXPECT_EQ(fmt::iops(999.7), "1000");
    EXPECT_EQ(fmt::iops(1000), "1 k");
    EXPECT_EQ(fmt::iops(95000), "95 k");
    EXPECT_EQ(fmt::iops(1.8e6), "1.8 M");
}

TEST_F(Format, SizeSwitch) {
    EXPECT_EQ(fmt::size(4e12), "4 TB");
    EXPECT_EQ(fmt::size_other(4e12), "3.64 TiB");
    fmt::set_os_sizes(true);
    EXPECT_TRUE(fmt::os_sizes());
    EXPECT_EQ(fmt::size(4e12), "3.64 TiB");
    EXPECT_EQ(fmt::size_other(4e12), "4 TB");
}

TEST_F(Format, PercentHoursFactor) {
    EXPECT_EQ(fmt::percent(1), "100 %");
    EXPECT_EQ(fmt::percent(0.857142), "85.7 %");
    EXPECT_EQ(fmt::percent(0.75), "75 %");
    EXPECT_EQ(fmt::percent(0.9996), "100 %");
    EXPECT_EQ(fmt::percent(0.123), "12.3 %");
    EXPECT_EQ(fmt::hours(0), "\xE2\x80\x93");
    EXPECT_EQ(fmt::hours(-5), "\xE2\x80\x93");
    EXPECT_EQ(fmt::hours(20), "1 min");
    EXPECT_EQ(fmt::hours(3599), "60 min");
    EXPECT_EQ(fmt::hours(3600), "1.0 h");
    EXPECT_EQ(fmt::hours(20000), "5.6 h");
    EXPECT_EQ(fmt::hours(36000), "10 h");
    EXPECT_EQ(fmt::approx("4 h"), "~4 h");
    EXPECT_EQ(fmt::factor(3), "3\xC3\x97");
}

TEST_F(Format, CommaLanguage) {
    L10n::setLanguage("de");
    EXPECT_EQ(fmt::bytes_bin(4e12), "3,64 TiB");
    EXPECT_EQ(fmt::percent(0.857142), "85,7 %");
    EXPECT_EQ(fmt::hours(3600), "1,0 h");
    EXPECT_EQ(fmt::number(1234.5, 1), "1234,5") << "no grouping, only the mark changes";
    L10n::setLanguage("ja");
    EXPECT_EQ(fmt::bytes_bin(4e12), "3.64 TiB");
}

TEST_F(Format, FailureRiskFigures) {
    EXPECT_EQ(fmt::chance(1.2882e-4), "0.0129 %");
    EXPECT_EQ(fmt::chance(1.29e-6), "0.000129 %");
    EXPECT_EQ(fmt::chance(1e-7), "< 0.0001 %") << "too small to write out";
    EXPECT_EQ(fmt::chance(0.0857), "8.57 %");
    EXPECT_EQ(fmt::chance(0.0009996), "0.1 %") << "rounded up into the next decade";
    EXPECT_EQ(fmt::chance(0.99987), "99.987 %") << "never rounded to certainty";
    EXPECT_EQ(fmt::chance(1 - 1e-9), "> 99.9999 %");
    EXPECT_EQ(fmt::chance(0), "0 %");
    EXPECT_EQ(fmt::chance(NAN), "0 %");

    EXPECT_EQ(fmt::one_in(1.2882e-4), "7760");
    EXPECT_EQ(fmt::one_in(0.0857), "11.7");
    EXPECT_EQ(fmt::one_in(1.0 / 999999), "10\xE2\x81\xB6") << "999999 rounds to a million";
    EXPECT_EQ(fmt::one_in(0), "");

    EXPECT_EQ(fmt::years(7761.8), "7760");
    EXPECT_EQ(fmt::years(0.0078125), "0.00781");
    EXPECT_EQ(fmt::years(8.4138e6), "8.41 \xC3\x97 10\xE2\x81\xB6");
    EXPECT_EQ(fmt::years(3.2e20), "> 10\xC2\xB2\xE2\x81\xB0");
    EXPECT_EQ(fmt::years(INFINITY), "\xE2\x88\x9E");

    EXPECT_EQ(fmt::scientific(1e14), "10\xC2\xB9\xE2\x81\xB4");
    EXPECT_EQ(fmt::scientific(3.1623e14), "3.16 \xC3\x97 10\xC2\xB9\xE2\x81\xB4");
    EXPECT_EQ(fmt::scientific(2e-5), "2 \xC3\x97 10\xE2\x81\xBB\xE2\x81\xB5");

    L10n::setLanguage("de");
    EXPECT_EQ(fmt::chance(1.2882e-4), "0,0129 %");
    EXPECT_EQ(fmt::chance(1e-7), "< 0,0001 %");
    EXPECT_EQ(fmt::years(8.4138e6), "8,41 \xC3\x97 10\xE2\x81\xB6");
}
