// Sends a pending crash report by e-mail. The files are renamed at once so
// the report is no longer pending; a detached thread then tries the ways
// that can attach files (Thunderbird, the desktop portal, xdg-email) and, if
// none works, opens a plain mail link and the folder holding the files.
//
// Index: Texts / Preparing / Thunderbird / Desktop portal / xdg-email /
//        The mailing thread
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "zxcrash_detail.h"

namespace zxcrash {

namespace {

constexpr size_t kReportMax = 262144;
constexpr size_t kCrashLogMax = 49152;
constexpr size_t kLinkBodyLimit = 6000;
constexpr size_t kLogCutSlack = 8;
constexpr int kPortalTimeoutMs = 30000;
constexpr int kVersionCallMs = 3000;
constexpr int kComposeCallMs = 10000;
constexpr guint32 kNoResponse = 99;
constexpr guint32 kPortalAddressesVersion = 3;
constexpr int kExecFailed = 127;
constexpr mode_t kTargetMode = 0700;
constexpr mode_t kBodyMode = 0600;

constexpr const char* kLogHeading = "Log (last lines before the crash):\n";
constexpr const char* kBodyIntro = "Attached: crash report and log files. The same follows as text.\n\n";
constexpr const char* kCrashLogHeading = "\n=== crash_log.txt (log of the crashed run) ===\n";
constexpr const char* kBodyFile = "mail-body.txt";
constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kEmailIface = "org.freedesktop.portal.Email";
constexpr const char* kRequestIface = "org.freedesktop.portal.Request";
constexpr const char* kRequestPrefix = "/org/freedesktop/portal/desktop/request/";

std::atomic<int> g_portal_timeout_ms{kPortalTimeoutMs};

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string or_q(const GError* err) { return err && err->message ? err->message : "?"; }

// The mail body carries the whole report, so it is as private as the report
// file; a link planted at its name is not followed. False unless all of it
// was written.
bool write_private(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, kBodyMode);
    if (fd < 0) return false;
    fchmod(fd, kBodyMode);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t w = write(fd, text.data() + done, text.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += static_cast<size_t>(w);
    }
    const bool ok = close(fd) == 0 && done == text.size();
    if (!ok) unlink(path.c_str());
    return ok;
}

// D-Bus strings must be valid UTF-8; a log cut in the middle of a character
// would otherwise make the whole call fail.
std::string valid_utf8(const std::string& s) {
    gchar* v = g_utf8_make_valid(s.c_str(), static_cast<gssize>(s.size()));
    std::string out = v;
    g_free(v);
    return out;
}

}  // namespace

namespace detail {

// ---- Texts ----

std::string subject() {
    const App& a = app();
    return std::string(a.name ? a.name : "") + " " + (a.version ? a.version : "") + " (Build " +
           (a.build ? a.build : "") + ") crash report";
}

std::string mail_body(const std::string& report, size_t limit) {
    std::string text = report;
    const size_t heading = text.find(kLogHeading);
    if (heading != std::string::npos && text.size() > limit) {
        // Cut the oldest log lines first: the last ones before the crash
        // matter most.
        const size_t excess = text.size() - limit;
        const size_t head_end = heading + std::string(kLogHeading).size();
        const size_t from = head_end + excess + kLogCutSlack;
        const size_t nl = from < text.size() ? text.find('\n', from) : std::string::npos;
        if (nl != std::string::npos) text = text.substr(0, head_end) + "[...]" + text.substr(nl);
    }
    if (text.size() > limit) {
        text.resize(limit);
        text += "\n[...]";
    }
    return text;
}

std::string url_encode(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size() * 3);
    for (unsigned char c : s) {
        if (std::isalnum(c) && c < 0x80) {
            out += static_cast<char>(c);
        } else if (c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string sent_name(const std::string& path) {
    const size_t dot = path.rfind(".txt");
    if (dot == std::string::npos) return path + "-sent";
    return path.substr(0, dot) + "-sent.txt";
}

bool sandboxed() { return !env("SNAP").empty() || !env("FLATPAK_ID").empty(); }

void set_portal_timeout_ms(int ms) { g_portal_timeout_ms = ms; }

// ---- Thunderbird ----

std::vector<std::string> thunderbird_argv(const std::string& id, const std::string& commandline,
                                          bool* confined) {
    const std::string identity = lower(id + " " + commandline);
    if (confined) *confined = false;
    if (commandline.empty() || identity.find("thunderbird") == std::string::npos) return {};
    gint argc = 0;
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(commandline.c_str(), &argc, &argv, nullptr)) return {};
    std::vector<std::string> kept;
    for (gint i = 0; i < argc; ++i) {
        const std::string t = argv[i];
        // Desktop-file field codes (%u) and flatpak's file-forwarding markers
        // (@@u ... @@) belong to the launcher, not to Thunderbird.
        if (t.rfind('%', 0) == 0 || t.rfind("@@", 0) == 0) continue;
        kept.push_back(t);
    }
    g_strfreev(argv);
    if (confined && !kept.empty())
        *confined = kept[0].rfind("/snap/", 0) == 0 || identity.find("flatpak") != std::string::npos;
    return kept;
}

bool via_thunderbird(const std::string& to, const std::string& subj, const std::string& body,
                     const std::vector<std::string>& attachments) {
    if (sandboxed()) return false;
    GAppInfo* info = g_app_info_get_default_for_uri_scheme("mailto");
    if (!info) return false;
    const char* id = g_app_info_get_id(info);
    const char* cmd = g_app_info_get_commandline(info);
    bool confined = false;
    const auto tokens = thunderbird_argv(id ? id : "", cmd ? cmd : "", &confined);
    g_object_unref(info);
    if (tokens.empty()) return false;

    // A snap or flatpak Thunderbird cannot read our configuration directory;
    // it can read the download folder.
    std::vector<std::string> files = attachments;
    std::string target;
    if (confined) {
        const char* dl = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
        target = dl ? dl : std::string(g_get_home_dir()) + "/Downloads";
        // Appended piece by piece: GCC 12 at -O3 mistakes the inlined
        // literal + string temporary for an overlapping copy (-Wrestrict).
        target += '/';
        target += app().name ? app().name : "";
        target += " crash report";
        g_mkdir_with_parents(target.c_str(), kTargetMode);
        files.clear();
        for (const auto& a : attachments) {
            const std::string copy = target + "/" + base_name(a);
            if (file_copy(a, copy)) files.push_back(copy);
        }
    }

    std::string body_dir = target;
    if (!confined) {
        const std::string first = attachments.empty() ? "" : attachments[0];
        const size_t slash = first.rfind('/');
        body_dir = slash != std::string::npos ? first.substr(0, slash) : g_get_tmp_dir();
    }
    const std::string body_path = body_dir + "/" + kBodyFile;
    if (!write_private(body_path, body)) return false;

    std::string arg = "to='" + to + "',subject='" + subj + "',message='" + body_path + "'";
    std::string uris;
    for (const auto& a : files) {
        gchar* uri = g_filename_to_uri(a.c_str(), nullptr, nullptr);
        if (!uri) continue;
        if (!uris.empty()) uris += ",";
        uris += uri;
        g_free(uri);
    }
    if (!uris.empty()) arg += ",attachment='" + uris + "'";

    std::vector<char*> argv;
    for (const auto& t : tokens) argv.push_back(const_cast<char*>(t.c_str()));
    std::string compose = "-compose";
    argv.push_back(compose.data());
    argv.push_back(arg.data());
    argv.push_back(nullptr);
    GError* err = nullptr;
    const bool ok = g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                                  nullptr, &err);
    std::string line = "Thunderbird -compose";
    if (!ok) line += ": " + or_q(err);
    if (confined && !files.empty()) line += " (files copied to " + target + ")";
    if (err) g_error_free(err);
    log(ok ? "INFO" : "WARN", line);
    return ok;
}

}  // namespace detail

// ---- Desktop portal ----

namespace {

struct Wait {
    guint32 code = kNoResponse;
    GMainLoop* loop = nullptr;
};

void on_response(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                 GVariant* parameters, gpointer user_data) {
    auto* wait = static_cast<Wait*>(user_data);
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
    guint32 code = kNoResponse;
    GVariant* results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &code, &results);
    if (results) g_variant_unref(results);
    wait->code = code;
    g_main_loop_quit(wait->loop);
}

gboolean on_timeout(gpointer user_data) {
    g_main_loop_quit(static_cast<Wait*>(user_data)->loop);
    return G_SOURCE_REMOVE;
}

guint32 email_version(GDBusConnection* bus) {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kEmailIface, "version"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE,
        kVersionCallMs, nullptr, nullptr);
    if (!reply) return 0;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    guint32 version = 0;
    if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) version = g_variant_get_uint32(value);
    if (value) g_variant_unref(value);
    g_variant_unref(reply);
    return version;
}

// The part of the portal exchange that needs the bus; the caller owns the
// private main context around it.
bool portal_compose(GMainContext* ctx, const std::string& to, const std::string& subj,
                    const std::string& body, const std::vector<std::string>& attachments) {
    GError* err = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &err);
    if (!bus) {
        detail::log("WARN", "Mail portal: no session bus (" + or_q(err) + ")");
        if (err) g_error_free(err);
        return false;
    }

    // The portal answers on a request object whose path we can predict, so
    // the subscription is in place before the call.
    std::string sender = g_dbus_connection_get_unique_name(bus) ? g_dbus_connection_get_unique_name(bus) : "";
    if (!sender.empty() && sender[0] == ':') sender.erase(0, 1);
    std::replace(sender.begin(), sender.end(), '.', '_');
    const std::string token = "zxcrash" + std::to_string(getpid());
    const std::string request = kRequestPrefix + sender + "/" + token;

    Wait wait;
    wait.loop = g_main_loop_new(ctx, FALSE);
    const guint sub = g_dbus_connection_signal_subscribe(
        bus, kPortalName, kRequestIface, "Response", request.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NO_MATCH_RULE, on_response, &wait, nullptr);

    GUnixFDList* fds = g_unix_fd_list_new();
    GVariantBuilder handles;
    g_variant_builder_init(&handles, G_VARIANT_TYPE("ah"));
    for (const auto& a : attachments) {
        const int fd = open(a.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        const int index = g_unix_fd_list_append(fds, fd, nullptr);
        close(fd);
        if (index >= 0) g_variant_builder_add(&handles, "h", index);
    }

    const guint32 version = email_version(bus);
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
    const std::string to_ok = valid_utf8(to);
    if (version >= kPortalAddressesVersion) {
        const char* list[] = {to_ok.c_str(), nullptr};
        g_variant_builder_add(&options, "{sv}", "addresses", g_variant_new_strv(list, -1));
    } else {
        g_variant_builder_add(&options, "{sv}", "address", g_variant_new_string(to_ok.c_str()));
    }
    g_variant_builder_add(&options, "{sv}", "subject", g_variant_new_string(valid_utf8(subj).c_str()));
    g_variant_builder_add(&options, "{sv}", "body", g_variant_new_string(valid_utf8(body).c_str()));
    g_variant_builder_add(&options, "{sv}", "attachment_fds", g_variant_builder_end(&handles));

    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus, kPortalName, kPortalPath, kEmailIface, "ComposeEmail",
        g_variant_new("(sa{sv})", "", &options), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
        kComposeCallMs, fds, nullptr, nullptr, &err);
    g_object_unref(fds);

    bool ok = false;
    if (!reply) {
        detail::log("WARN", "Mail portal: " + or_q(err));
        if (err) g_error_free(err);
    } else {
        g_variant_unref(reply);
        // The user may take a while in the compose dialog; the answer comes
        // as a signal once it closes.
        GSource* timeout = g_timeout_source_new(static_cast<guint>(g_portal_timeout_ms.load()));
        g_source_set_callback(timeout, on_timeout, &wait, nullptr);
        g_source_attach(timeout, ctx);
        g_main_loop_run(wait.loop);
        g_source_destroy(timeout);
        g_source_unref(timeout);
        const std::string outcome =
            wait.code == kNoResponse ? std::string("none (30 s)") : std::to_string(wait.code);
        ok = wait.code == 0;
        detail::log(ok ? "INFO" : "WARN",
                    "Mail portal v" + std::to_string(version) + ": response " + outcome);
    }
    g_dbus_connection_signal_unsubscribe(bus, sub);
    g_main_loop_unref(wait.loop);
    g_object_unref(bus);
    return ok;
}

}  // namespace

namespace detail {

bool via_portal(const std::string& to, const std::string& subj, const std::string& body,
                const std::vector<std::string>& attachments) {
    // Signals and time-outs of this exchange are dispatched here, on this
    // thread, never through the application's main loop.
    GMainContext* ctx = g_main_context_new();
    g_main_context_push_thread_default(ctx);
    const bool ok = portal_compose(ctx, to, subj, body, attachments);
    g_main_context_pop_thread_default(ctx);
    g_main_context_unref(ctx);
    return ok;
}

// ---- xdg-email ----

bool via_xdg_email(const std::string& to, const std::string& subj, const std::string& body,
                   const std::vector<std::string>& attachments) {
    if (sandboxed()) return false;
    std::vector<std::string> args = {"xdg-email", "--utf8", "--subject", subj, "--body", body};
    for (const auto& a : attachments) {
        args.push_back("--attach");
        args.push_back(a);
    }
    args.push_back(to);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(kExecFailed);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    log(code == 0 ? "INFO" : "WARN", "xdg-email: exit " + std::to_string(code));
    return code == 0;
}

bool compose_with_attachments(const std::string& to, const std::string& subj, const std::string& body,
                              const std::vector<std::string>& attachments) {
    return via_thunderbird(to, subj, body, attachments) || via_portal(to, subj, body, attachments) ||
           via_xdg_email(to, subj, body, attachments);
}

// ---- The mailing thread ----

// Written by the mailing thread, read by the host's loop.
std::atomic<int> g_sent{static_cast<int>(Sent::None)};

void mail_report(const std::string& report, const std::vector<std::string>& attachments,
                 const std::string& crash_log) {
    std::string body = std::string(kBodyIntro) + report;
    if (!crash_log.empty()) body += kCrashLogHeading + crash_log;
    const std::string subj = subject();
    const std::string to = app().contact ? app().contact : "";
    if (compose_with_attachments(to, subj, body, attachments)) {
        log("INFO", "Crash report: mail composed with " + std::to_string(attachments.size()) + " attachments");
        g_sent = static_cast<int>(Sent::Composed);
        return;
    }
    open_uri("mailto:" + to + "?subject=" + url_encode(subj) + "&body=" +
             url_encode(mail_body(report, kLinkBodyLimit)));
    const std::string path = report_path();
    const size_t sep = path.find_last_of("/\\");
    if (sep != std::string::npos) open_uri(folder_uri(path.substr(0, sep)));
    log("WARN", "Crash report: no way to attach files - opened mailto and the folder");
    g_sent = static_cast<int>(Sent::LinkOnly);
}

}  // namespace detail

// ---- Preparing ----

void send(const std::string& current_log) {
    std::string report;
    detail::file_read(report_path(), report, kReportMax);
    std::vector<std::string> attachments;
    for (const std::string& path : {report_path(), crash_log_path()}) {
        if (!detail::file_exists(path)) continue;
        const std::string sent = detail::sent_name(path);
        if (detail::file_rename(path, sent)) attachments.push_back(sent);
    }
    if (!current_log.empty() && detail::file_exists(current_log)) attachments.push_back(current_log);
    std::string crash_log;
    for (const auto& a : attachments)
        if (a.find("crash_log") != std::string::npos) detail::file_read(a, crash_log, kCrashLogMax);
    detail::g_sent = static_cast<int>(Sent::Pending);
    try {
        std::thread(detail::mail_report, std::move(report), std::move(attachments), std::move(crash_log))
            .detach();
    } catch (const std::exception& e) {
        detail::log("WARN", std::string("Crash report: could not start the mailing thread: ") + e.what());
        detail::g_sent = static_cast<int>(Sent::Failed);
    }
}

Sent last_send() { return static_cast<Sent>(detail::g_sent.load()); }

}  // namespace zxcrash
