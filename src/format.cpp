// Number formatting for display and the parser for typed numbers.
// Sizes, rates and counts are scaled to the largest unit that keeps the
// value at or above 0.9995 of a step, so 999.7 bytes read "1 kB".
#include "format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "l10n.h"

namespace fmt {

// Sizes in units of 1024 (as the operating system shows them) instead of
// decimal units (as printed on the disk label).
bool g_os_sizes = false;

namespace {

constexpr const char* kBytes[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB", "ZB"};
constexpr const char* kBytesBin[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB", "ZiB"};
constexpr const char* kRates[] = {"MB/s", "GB/s", "TB/s", "PB/s"};
constexpr const char* kOps[] = {"", "k", "M", "G"};
constexpr double kThreshold = 0.9995;
constexpr double kSnap = 1e-9;
// Failure risk: plain digits below a million, powers of ten from there,
// "more than" beyond a trillion years; chances below a ten-thousandth of a
// percent are only bounded, and so are those closer than that to certainty.
constexpr double kScientificFrom = 1e6;
constexpr double kAbsurdYears = 1e12;
constexpr double kMinChancePercent = 1e-4;
constexpr int kMinChanceDecimals = 4;
constexpr double kNearCertain = 0.05;  // percent short of 100 that three digits would hide
constexpr const char* kSuperscripts[] = {"\xE2\x81\xB0", "\xC2\xB9",     "\xC2\xB2",     "\xC2\xB3",
                                         "\xE2\x81\xB4", "\xE2\x81\xB5", "\xE2\x81\xB6", "\xE2\x81\xB7",
                                         "\xE2\x81\xB8", "\xE2\x81\xB9"};
constexpr const char* kSuperMinus = "\xE2\x81\xBB";

double nearest(double x) { return std::round(x); }  // halves away from zero

constexpr double kSmallFrom = 0.1;  // below this, three significant digits need more than two decimals
constexpr int kMaxDecimals = 6;

std::string scaled(double v, const char* const* units, int count, double step) {
    const double threshold = kThreshold * step;
    int u = 0;
    if (std::fabs(v) >= threshold) {
        v /= step;
        u = 1;
        while (std::fabs(v) >= threshold && u + 1 < count) {
            v /= step;
            ++u;
        }
    }
    return sig3(v) + " " + units[u];
}

// Drops zeros after the decimal mark, and the mark itself if nothing is left.
std::string trim_zeros(std::string s) {
    const size_t mark = s.find(L10n::decimalSeparator());
    if (mark == std::string::npos) return s;
    while (s.back() == '0') s.pop_back();
    if (s.size() == mark + 1) s.pop_back();
    return s;
}

// A positive finite value rounded to three significant digits (7762 gives
// 7760, 0.012884 gives 0.0129), and the decimals that takes.
double round3(double v, int* decimals) {
    const int d = 2 - static_cast<int>(std::floor(std::log10(v)));
    *decimals = std::max(0, d);
    const double f = std::pow(10.0, std::abs(d));
    return d > 0 ? nearest(v * f) / f : nearest(v / f) * f;
}

std::string three_digits(double v) {
    int d = 0;
    const double r = round3(v, &d);
    return d > 0 ? trim_zeros(number(r, d)) : number(r, 0);
}

std::string superscript(int e) {
    std::string out = e < 0 ? kSuperMinus : "";
    for (char c : std::to_string(std::abs(e))) out += kSuperscripts[c - '0'];
    return out;
}

// Plain digits while they stay short, a power of ten beyond.
std::string magnitude(double v) {
    if (!std::isfinite(v)) return "\xE2\x88\x9E";
    if (v <= 0) return sig3(v);
    int d = 0;
    return round3(v, &d) < kScientificFrom ? three_digits(v) : scientific(v);
}

}  // namespace

bool parse(const std::string& text, double* out) {
    if (text.empty()) return false;
    std::string clean;
    for (unsigned char c : text) {
        if (c == ',' || c == '.') clean += '.';
        else if (c >= '0' && c <= '9') clean += static_cast<char>(c);
        else if (c == ' ' || c == '\'' || c >= 0x80) continue;
        else if (c == '-' && clean.empty()) clean += '-';
        else return false;
    }
    if (clean.empty() || clean == "." || clean == "-") return false;
    char* end = nullptr;
    const double v = std::strtod(clean.c_str(), &end);
    // Too many digits overflow to infinity, which is no number anyone typed.
    if (!end || *end != '\0' || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// Sized by a measuring call: a finite double can take over 300 digits.
std::string number(double v, int decimals) {
    const int n = std::snprintf(nullptr, 0, "%.*f", decimals, v);
    if (n < 1) return std::string();
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), "%.*f", decimals, v);
    out.resize(static_cast<size_t>(n));
    const char sep = L10n::decimalSeparator();
    if (sep != '.')
        for (char& c : out)
            if (c == '.') c = sep;
    return out;
}

std::string sig3(double v) {
    const double a = std::fabs(v);
    if (a >= 100 || v == 0) return number(nearest(v), 0);
    if (a < kSmallFrom) {
        // Small values keep their three digits rather than rounding to 0
        // (a disk of 0.003 MB is not "0 MB").
        const int decimals = std::min(kMaxDecimals, 2 - static_cast<int>(std::floor(std::log10(a))));
        return trim_zeros(number(v, decimals));
    }
    if (a >= 10) {
        const double r = nearest(10 * v) / 10;
        return std::fabs(r - nearest(r)) < kSnap ? number(nearest(r), 0) : number(r, 1);
    }
    const double r = nearest(100 * v) / 100;
    if (std::fabs(r - nearest(r)) < kSnap) return number(nearest(r), 0);
    if (std::fabs(10 * r - nearest(10 * r)) < kSnap) return number(r, 1);
    return number(r, 2);
}

std::string bytes(double n) { return scaled(n, kBytes, 8, 1000); }
std::string bytes_bin(double n) { return scaled(n, kBytesBin, 8, 1024); }
std::string size(double n) { return g_os_sizes ? bytes_bin(n) : bytes(n); }
std::string size_other(double n) { return g_os_sizes ? bytes(n) : bytes_bin(n); }
void set_os_sizes(bool on) { g_os_sizes = on; }
bool os_sizes() { return g_os_sizes; }
std::string rate_mbs(double mbs) { return scaled(mbs, kRates, 4, 1000); }

std::string iops(double v) {
    if (v < 1000) return number(nearest(v), 0);
    return scaled(v, kOps, 4, 1000);
}

std::string percent(double frac) {
    const double x = 100 * frac;
    return (std::fabs(x - nearest(x)) < 0.05 ? number(nearest(x), 0) : number(x, 1)) + " %";
}

std::string hours(double s) {
    if (s <= 0) return "\xE2\x80\x93";
    if (s < 3600) return number(std::max(1.0, nearest(s / 60)), 0) + " min";
    const double h = s / 3600;
    return (h < 10 ? number(h, 1) : number(nearest(h), 0)) + " h";
}

std::string approx(const std::string& text) { return "~" + text; }

std::string factor(double x) { return sig3(x) + "\xC3\x97"; }

std::string scientific(double v) {
    if (!std::isfinite(v) || v <= 0) return magnitude(v);
    int e = static_cast<int>(std::floor(std::log10(v)));
    double m = nearest(v / std::pow(10.0, e) * 100) / 100;
    if (m >= 10) {
        m /= 10;
        ++e;
    }
    const std::string power = "10" + superscript(e);
    return std::fabs(m - 1) < kSnap ? power : sig3(m) + " \xC3\x97 " + power;
}

std::string chance(double p) {
    if (!(p > 0)) return "0 %";
    if (p >= 1) return "100 %";
    const double x = 100 * p;
    const std::string least = number(kMinChancePercent, kMinChanceDecimals);
    if (x < kMinChancePercent) return "< " + least + " %";
    const double short_of = 100 - x;
    if (short_of >= kNearCertain) return three_digits(x) + " %";
    if (short_of < kMinChancePercent) return "> " + number(100 - kMinChancePercent, kMinChanceDecimals) + " %";
    // Two significant digits of what is missing to certainty: 99.987 %.
    const int d = 1 - static_cast<int>(std::floor(std::log10(short_of)));
    const double f = std::pow(10.0, d);
    return trim_zeros(number(100 - nearest(short_of * f) / f, d)) + " %";
}

std::string one_in(double p) { return p > 0 ? magnitude(1 / p) : std::string(); }

std::string years(double y) {
    if (std::isfinite(y) && y >= kAbsurdYears)
        return "> 10" + superscript(static_cast<int>(std::floor(std::log10(y))));
    return magnitude(y);
}

}  // namespace fmt
