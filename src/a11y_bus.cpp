// Bringing the bridge up only when assistive technology wants it. The
// session bus's accessibility service says so in its status properties; the
// bus is watched without being started, every call is asynchronous, and
// the bridge is given the accessibility bus's address so it never asks for
// it with a blocking call. Once up, the bridge stays up for the run.
#include <atk-bridge.h>
#include <gio/gio.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "a11y.h"
#include "logger.h"

namespace a11y {
namespace detail {
void install_util();
void set_up(bool up, Host host);
}  // namespace detail
}  // namespace a11y

namespace {

constexpr const char* kService = "org.a11y.Bus";
constexpr const char* kPath = "/org/a11y/bus";
constexpr const char* kStatus = "org.a11y.Status";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr int kCallTimeoutMs = 5000;

struct Watch {
    GDBusConnection* bus = nullptr;
    a11y::Host host;
    bool asking = false;
};

Watch& watch_state() {
    static Watch w;
    return w;
}

bool wanted(GVariant* props) {
    gboolean on = FALSE, reader = FALSE;
    g_variant_lookup(props, "IsEnabled", "b", &on);
    g_variant_lookup(props, "ScreenReaderEnabled", "b", &reader);
    return on || reader;
}

void bring_up(const std::string& address) {
    if (a11y::enabled()) return;
    // The bridge finds the bus here rather than by a call that would wait.
    g_setenv("AT_SPI_BUS_ADDRESS", address.c_str(), TRUE);
    a11y::detail::install_util();
    if (atk_bridge_adaptor_init(nullptr, nullptr) != 0) {
        logger::warn("accessibility bridge could not start");
        return;
    }
    a11y::detail::set_up(true, watch_state().host);
    logger::info("accessibility bridge started");
    if (watch_state().host.enabled) watch_state().host.enabled();
}

void on_address(GObject* source, GAsyncResult* result, gpointer) {
    watch_state().asking = false;
    GError* err = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &err);
    if (!reply) {
        logger::warn(std::string("accessibility bus address unknown: ") + (err ? err->message : "no reply"));
        g_clear_error(&err);
        return;
    }
    const gchar* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    if (address && *address) bring_up(address);
    g_variant_unref(reply);
}

void ask_address() {
    Watch& w = watch_state();
    if (w.asking || a11y::enabled()) return;
    w.asking = true;
    g_dbus_connection_call(w.bus, kService, kPath, kService, "GetAddress", nullptr, G_VARIANT_TYPE("(s)"),
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, on_address, nullptr);
}

void on_status(GObject* source, GAsyncResult* result, gpointer) {
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
    if (!reply) return;
    GVariant* props = g_variant_get_child_value(reply, 0);
    if (wanted(props))
        ask_address();
    else
        logger::info("accessibility bridge not wanted");
    g_variant_unref(props);
    g_variant_unref(reply);
}

void ask_status(GDBusConnection* bus) {
    g_dbus_connection_call(bus, kService, kPath, kProperties, "GetAll", g_variant_new("(s)", kStatus),
                           G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr,
                           on_status, nullptr);
}

void on_appeared(GDBusConnection* bus, const gchar*, const gchar*, gpointer) { ask_status(bus); }

// A screen reader switched on while the program runs.
void on_changed(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* params, gpointer) {
    const gchar* iface = nullptr;
    GVariant* changed = nullptr;
    g_variant_get(params, "(&s@a{sv}@as)", &iface, &changed, nullptr);
    if (g_strcmp0(iface, kStatus) == 0 && wanted(changed)) ask_address();
    g_variant_unref(changed);
}

}  // namespace

namespace a11y {

void watch(GDBusConnection* bus, Host host) {
    if (const char* no = std::getenv("NO_AT_BRIDGE"); no && std::strcmp(no, "1") == 0) {
        logger::info("accessibility bridge off (NO_AT_BRIDGE)");
        return;
    }
    if (!bus || watch_state().bus) return;
    Watch& w = watch_state();
    w.bus = bus;
    w.host = std::move(host);
    g_dbus_connection_signal_subscribe(bus, nullptr, kProperties, "PropertiesChanged", kPath, kStatus,
                                       G_DBUS_SIGNAL_FLAGS_NONE, on_changed, nullptr, nullptr);
    g_bus_watch_name_on_connection(bus, kService, G_BUS_NAME_WATCHER_FLAGS_NONE, on_appeared, nullptr, nullptr,
                                   nullptr);
}

}  // namespace a11y
