// The program's identity: the name, version and build number that the
// version line, the usage text, the crash reports, the log and the language
// guard all print, kept in one place so they never disagree.
#pragma once

namespace product {

inline constexpr const char* kName = "zxQuenlowsRaidCalculator";
inline constexpr const char* kVersion = "1.0.0";
inline constexpr const char* kBuild = "1028";
// Where problem reports go and where the program lives on the web.
inline constexpr const char* kContact = "crash@zxquenlows.org";
inline constexpr const char* kWebsite = "https://zxquenlows.org/";

}  // namespace product
