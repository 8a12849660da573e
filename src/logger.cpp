// Log lines are "hh:mm:ss TAG message"; tags are five characters wide so the
// messages line up. Every line is flushed at once so the file is complete
// even when the process dies right after writing it.
#include "logger.h"

#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>

namespace logger {

namespace {

constexpr size_t kTailLines = 500;

std::mutex g_m;
FILE* g_f = nullptr;
std::string g_path;
std::deque<std::string> g_tail;

std::string stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

void write(const char* tag, const std::string& message) {
    std::lock_guard<std::mutex> lock(g_m);
    std::string line = stamp() + " " + tag + " " + message;
    if (g_f) {
        std::fwrite(line.data(), 1, line.size(), g_f);
        std::fputc('\n', g_f);
        std::fflush(g_f);
    }
    g_tail.push_back(std::move(line));
    if (g_tail.size() > kTailLines) g_tail.pop_front();
}

}  // namespace

void init(const std::string& dir, const std::string& name) {
    std::lock_guard<std::mutex> lock(g_m);
    if (g_f) return;
    g_path = dir + "/" + name + ".log";
    g_f = std::fopen(g_path.c_str(), "we");
}

void shutdown() {
    std::lock_guard<std::mutex> lock(g_m);
    if (g_f) std::fclose(g_f);
    g_f = nullptr;
}

std::string file_path() {
    std::lock_guard<std::mutex> lock(g_m);
    return g_path;
}

void info(const std::string& message) { write("INFO ", message); }
void warn(const std::string& message) { write("WARN ", message); }
void error(const std::string& message) { write("ERROR", message); }

std::vector<std::string> tail(size_t n) {
    std::lock_guard<std::mutex> lock(g_m);
    n = std::min(n, g_tail.size());
    return std::vector<std::string>(g_tail.end() - static_cast<std::ptrdiff_t>(n), g_tail.end());
}

}  // namespace logger
