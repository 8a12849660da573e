// Internals of zxCrashReport shared between its units and its tests. Hosts
// use zxcrash.h only.
#pragma once

#include <string>
#include <vector>

#include "zxcrash.h"

namespace zxcrash::detail {

// ---- Files ----
bool file_exists(const std::string& path);
bool file_rename(const std::string& from, const std::string& to);
void file_remove(const std::string& path);
// Whole file, binary; the copy is private to the user (0600) and replaces the
// target atomically.
bool file_copy(const std::string& from, const std::string& to);
// Reads blocks of 4096 bytes until at least `max` bytes are held or the file
// ends; false only if the file cannot be opened.
bool file_read(const std::string& path, std::string& out, size_t max);
// Rename, or copy and remove when the two paths lie on different file systems.
bool file_move(const std::string& from, const std::string& to);

// ---- Host ----
void log(const char* level, const std::string& message);
const App& app();
void set_header_package(const std::string& package);
void open_uri(const std::string& uri);
std::string folder_uri(const std::string& dir);

// ---- Mailing ----
std::string subject();
std::string mail_body(const std::string& report, size_t limit);
std::string url_encode(const std::string& s);
// "a/crash_report.txt" -> "a/crash_report-sent.txt"; no ".txt": "-sent" appended.
std::string sent_name(const std::string& path);
bool compose_with_attachments(const std::string& to, const std::string& subject,
                              const std::string& body, const std::vector<std::string>& attachments);
bool sandboxed();
// Thunderbird's argument vector from the mailto handler's id and command
// line; empty when the handler is not Thunderbird. *confined tells whether
// it runs in a snap or flatpak and cannot read our files where they are.
std::vector<std::string> thunderbird_argv(const std::string& id, const std::string& commandline,
                                          bool* confined);
bool via_thunderbird(const std::string& to, const std::string& subject, const std::string& body,
                     const std::vector<std::string>& attachments);
bool via_portal(const std::string& to, const std::string& subject, const std::string& body,
                const std::vector<std::string>& attachments);
bool via_xdg_email(const std::string& to, const std::string& subject, const std::string& body,
                   const std::vector<std::string>& attachments);
// What the mailing thread does with its copies: compose, else fall back to
// the mail link and the report folder.
void mail_report(const std::string& report, const std::vector<std::string>& attachments,
                 const std::string& crash_log);
// How long the portal may take to answer the user's compose request.
void set_portal_timeout_ms(int ms);

// ---- System information ----
// Prefix put before every absolute system path that is read (/proc, /sys,
// /etc, /usr, /var, /run, /.flatpak-info), so the readers can be pointed at
// a fixture tree. Empty for the real machine.
void set_sys_root(const std::string& root);
std::string sys_path(const std::string& path);

bool read_file(const std::string& path, std::string& out);
std::string os_value(const std::string& text, const std::string& key);
bool list_has(const std::string& file, const std::string& path);
std::string trim(const std::string& s);
std::string env(const char* name);
const char* package_kind();
std::string os_line();
std::string cpu_line();
std::string mem_line();
std::vector<std::string> alsa_cards();
std::string exe_path();
// `scan_all`: search every package's file list when the guess is wrong.
std::string from_dpkg(const std::string& path, const std::string& guess, bool scan_all = true);
std::string from_rpm(const std::string& path);
std::string from_pacman(const std::string& path);

}  // namespace zxcrash::detail
