// Running the built program and small file helpers for the tests.
#include "kit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kit {

namespace {

// In a forked child: applies `env` and replaces the process with `exe`.
[[noreturn]] void exec_with(const std::string& exe, const std::vector<std::string>& args,
                            const std::vector<std::string>& env) {
    for (const auto& e : env) {
        const auto eq = e.find('=');
        if (eq == std::string::npos)
            unsetenv(e.c_str());
        else
            setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
}

int status_of(int st) {
    if (WIFEXITED(st)) return WEXITSTATUS(st);
    if (WIFSIGNALED(st)) return 128 + WTERMSIG(st);
    return -1;
}

}  // namespace

int run_into_closed_pipe(const std::string& exe, const std::vector<std::string>& args,
                         const std::vector<std::string>& env) {
    int out_pipe[2];
    if (pipe(out_pipe) != 0) return -1;
    close(out_pipe[0]);  // no reader from the start: every write hits a broken pipe
    const pid_t pid = fork();
    if (pid < 0) {
        close(out_pipe[1]);
        return -1;
    }
    if (pid == 0) {
        // An ignored SIGPIPE would be inherited through exec and hide the fault.
        signal(SIGPIPE, SIG_DFL);
        dup2(out_pipe[1], 1);
        close(out_pipe[1]);
        const int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 2);
        }
        exec_with(exe, args, env);
    }
    close(out_pipe[1]);
    int st = 0;
    waitpid(pid, &st, 0);
    return status_of(st);
}

Run run(const std::string& exe, const std::vector<std::string>& args,
        const std::vector<std::string>& env) {
    Run r;
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0) return r;
    if (pipe(err_pipe) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return r;
    }
    const pid_t pid = fork();
    if (pid < 0) return r;
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[0]);
        close(err_pipe[1]);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        exec_with(exe, args, env);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_fds = 2;
    char buf[4096];
    while (open_fds > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = status_of(st);
    return r;
}

Run run_app(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    return run(ZXRC_EXE, args, env);
}

std::string scratch_dir(const std::string& name) {
    const char* home = std::getenv("HOME");
    std::string base = std::string(home ? home : "/tmp") + "/scratch";
    mkdir(base.c_str(), 0700);
    std::string tmpl = base + "/" + name + "-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    const char* made = mkdtemp(buf.data());
    return made ? std::string(made) : std::string();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> list_dir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool write_file(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    return static_cast<bool>(out);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            v.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) v.push_back(cur);
    return v;
}

bool write_script(const std::string& path, const std::string& body) {
    return write_file(path, "#!/bin/sh\n" + body) && chmod(path.c_str(), 0755) == 0;
}

bool fake_program(const std::string& bin, const std::string& name, const std::string& record, int status) {
    const std::string base = record + "/" + name;
    return write_script(bin + "/" + name,
                        "k=0\nprev=\nfor a in \"$@\"; do\n  printf '%s\\0' \"$a\" >> '" + base +
                            ".tmp'\n  if [ \"$prev\" = --attach ]; then k=$((k+1)); /bin/cp \"$a\" '" + base +
                            "-attach'$k-\"${a##*/}\"; fi\n  prev=$a\ndone\n: >> '" + base +
                            ".tmp'\n/bin/mv '" + base + ".tmp' '" + base + ".args'\nexit " +
                            std::to_string(status) + "\n");
}

std::vector<std::string> recorded_args(const std::string& path) {
    std::vector<std::string> out;
    const std::string text = read_file(path);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find('\0', pos);
        out.push_back(text.substr(pos, end - pos));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return out;
}

}  // namespace kit
