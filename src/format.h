// Display texts for every figure the program shows: about three significant
// digits, the language's decimal mark, a blank before the unit; plus the
// parser for numbers the user types. Pure apart from the one size switch.
#pragma once

#include <string>

namespace fmt {

bool parse(const std::string& text, double* out);

std::string number(double v, int decimals);
std::string sig3(double v);
std::string bytes(double n);
std::string bytes_bin(double n);
std::string size(double n);
std::string size_other(double n);
void set_os_sizes(bool on);
bool os_sizes();
std::string rate_mbs(double mbs);
std::string iops(double v);
std::string percent(double frac);
std::string hours(double s);
std::string approx(const std::string& text);
std::string factor(double x);

// Failure risk. Numbers of a million and more read "8.41 × 10⁶".
std::string scientific(double v);  // "10¹⁴", "3.16 × 10¹⁴"
std::string chance(double p);      // "0.0129 %", "99.987 %", "< 0.0001 %"
std::string one_in(double p);      // N of "about 1 in N"; empty when p is not positive
std::string years(double y);       // "7760", "8.41 × 10⁶", "> 10¹²"; "∞" when not finite

}  // namespace fmt
