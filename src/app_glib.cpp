// GLib's default main context inside the SDL loop. The desktop's D-Bus
// services (the colour scheme, the accessibility bridge) deliver replies and
// requests there, and the loop must wake as soon as it has work: waiting for
// the next SDL event or the loop's idle time-out made every request of a
// screen reader wait up to 100 ms, and reading a small tree took seconds.
// A thread polls the context's descriptors, handed to it by the main thread
// after each turn, and wakes SDL with an event; only the main thread checks
// and dispatches, so everything GLib calls runs where the window lives.
#include <fcntl.h>
#include <glib.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "app.h"
#include "logger.h"

namespace {

constexpr int kMaxDispatchRounds = 8;  // sources that keep becoming ready wait for the next turn

bool same_set(const std::vector<pollfd>& a, const std::vector<pollfd>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].fd != b[i].fd || a[i].events != b[i].events) return false;
    return true;
}

}  // namespace

class GlibWake {
public:
    explicit GlibWake(Uint32 event) : m_event(event) {}
    ~GlibWake() {
        if (!m_thread.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_cv.notify_one();
        poke();
        m_thread.join();
        close(m_pipe[0]);
        close(m_pipe[1]);
    }
    GlibWake(const GlibWake&) = delete;
    GlibWake& operator=(const GlibWake&) = delete;

    bool start() {
        if (pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
        m_thread = std::thread([this] { run(); });
        return true;
    }

    // The descriptors and time-out GLib wants polled now. A set the thread
    // is already polling is left alone, unless it has fired since.
    void hand_over(std::vector<pollfd> fds, int timeout) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_fired && timeout < 0 && m_timeout < 0 && same_set(fds, m_fds)) return;
            m_fds = std::move(fds);
            m_timeout = timeout;
            m_fired = false;
            ++m_gen;
        }
        m_cv.notify_one();
        poke();
    }

private:
    void poke() const {
        const char c = 0;
        while (write(m_pipe[1], &c, 1) < 0 && errno == EINTR) {
        }
    }

    void run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        uint64_t seen = 0;
        while (!m_quit) {
            m_cv.wait(lock, [&] { return m_quit || (m_gen != seen && !m_fired); });
            if (m_quit) break;
            seen = m_gen;
            std::vector<pollfd> set = m_fds;
            set.push_back(pollfd{m_pipe[0], POLLIN, 0});
            const int timeout = m_timeout;
            lock.unlock();
            const int n = poll(set.data(), set.size(), timeout);
            const bool poked = n > 0 && (set.back().revents & POLLIN);
            if (poked) {
                char buf[64];
                while (read(m_pipe[0], buf, sizeof buf) > 0) {
                }
            }
            lock.lock();
            if (poked || (n < 0 && errno == EINTR)) {
                if (m_gen == seen) --seen;  // poll the same set again
                continue;
            }
            // Work for the main thread: wake it once, then wait for the set
            // it hands over after dispatching.
            m_fired = true;
            SDL_Event e{};
            e.type = m_event;
            SDL_PushEvent(&e);
        }
    }

    const Uint32 m_event;
    int m_pipe[2] = {-1, -1};
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<pollfd> m_fds;
    int m_timeout = -1;
    uint64_t m_gen = 0;
    bool m_fired = false;
    bool m_quit = false;
};

void GlibWakeStop::operator()(GlibWake* w) const { delete w; }

void App::glib_start() {
    if (m_glib) return;
    const Uint32 event = SDL_RegisterEvents(1);
    if (event == static_cast<Uint32>(-1)) return;
    std::unique_ptr<GlibWake, GlibWakeStop> wake(new GlibWake(event));
    if (!wake->start()) {
        logger::warn("GLib events: no wake thread, they wait for the loop");
        return;
    }
    m_glib = std::move(wake);
}

void App::glib_turn() {
    GMainContext* ctx = g_main_context_default();
    if (!g_main_context_acquire(ctx)) return;
    std::vector<GPollFD> fds(8);
    gint timeout = -1;
    for (int round = 0; round < kMaxDispatchRounds; ++round) {
        gint priority = 0;
        g_main_context_prepare(ctx, &priority);
        gint n = g_main_context_query(ctx, priority, &timeout, fds.data(), static_cast<gint>(fds.size()));
        if (n > static_cast<gint>(fds.size())) {
            fds.resize(static_cast<size_t>(n));
            n = g_main_context_query(ctx, priority, &timeout, fds.data(), n);
        }
        fds.resize(static_cast<size_t>(n));
        // Not polled here: the descriptors' news comes from the thread, and
        // a zero-time poll finds what is ready already.
        for (GPollFD& f : fds) f.revents = 0;
        if (n > 0) g_poll(fds.data(), static_cast<guint>(n), 0);
        if (!g_main_context_check(ctx, priority, fds.data(), n)) break;
        g_main_context_dispatch(ctx);
    }
    g_main_context_release(ctx);
    if (!m_glib) return;
    std::vector<pollfd> set;
    set.reserve(fds.size());
    for (const GPollFD& f : fds) set.push_back(pollfd{f.fd, static_cast<short>(f.events), 0});
    m_glib->hand_over(std::move(set), timeout);
}
