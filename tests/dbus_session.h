// A session bus of the test's own: a private dbus-daemon on a socket in a
// scratch folder, so fake desktop services can own their well-known names
// (the portal's, for one) without the real session ever seeing them.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <gio/gio.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "kit.h"
#include "wkit.h"

class PrivateBus {
public:
    static constexpr const char* kDaemon = "/usr/bin/dbus-daemon";
    static constexpr int kStartMs = 10000;

    explicit PrivateBus(const std::string& dir) {
        const std::string socket = dir + "/bus";
        const std::string conf = dir + "/bus.conf";
        kit::write_file(conf, "<busconfig><type>session</type><listen>unix:path=" + socket +
                                  "</listen><auth>EXTERNAL</auth><policy context='default'>"
                                  "<allow send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/>"
                                  "<allow own='*'/></policy></busconfig>");
        // The daemon prints its address once it accepts connections; the
        // socket's file exists a moment before that, and a connection then is
        // refused.
        int ready[2];
        if (pipe(ready) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            // It complains about fd limits it may not raise; not our concern.
            const int null_fd = open("/dev/null", O_WRONLY);
            if (null_fd >= 0) dup2(null_fd, 2);
            execl(kDaemon, kDaemon, ("--config-file=" + conf).c_str(), "--nofork", "--nopidfile",
                  ("--print-address=" + std::to_string(ready[1])).c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        std::string printed;
        wkit::wait_until(
            [&] {
                pollfd p = {ready[0], POLLIN, 0};
                char buf[256];
                ssize_t n = 0;
                if (poll(&p, 1, 0) == 1 && (n = read(ready[0], buf, sizeof buf)) > 0) printed.append(buf, n);
                return printed.find('\n') != std::string::npos || n < 0 || (p.revents & POLLHUP);
            },
            kStartMs);
        close(ready[0]);
        if (printed.find('\n') != std::string::npos) m_address = "unix:path=" + socket;
    }
    ~PrivateBus() { stop(); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    static bool installed() { return access(kDaemon, X_OK) == 0; }
    bool ok() const { return !m_address.empty(); }
    const std::string& address() const { return m_address; }

    void stop() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

    // For a forked fake service: a connection to the bus that owns `name`,
    // or null.
    static GDBusConnection* connect_and_own(const std::string& address, const char* name) {
        GDBusConnection* conn = g_dbus_connection_new_for_address_sync(
            address.c_str(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (!conn) return nullptr;
        GVariant* r = g_dbus_connection_call_sync(conn, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", name, 4u),
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
        if (!r) return nullptr;
        g_variant_unref(r);
        return conn;
    }

private:
    pid_t m_pid = -1;
    std::string m_address;
};
