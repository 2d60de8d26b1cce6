#pragma once
// Runs the velmar-cli program built beside the tests (VELMAR_CLI) and collects its
// exit status, standard output and standard error.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/mman.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vtest {

struct TRun {
    int status = -1;
    std::string out, err;
};

struct TRunOptions {
    rlim_t fileSizeLimit = RLIM_INFINITY;  // RLIMIT_FSIZE of the child; SIGXFSZ is ignored then
    uid_t user = uid_t(-1);                // run as this user (needs root)
};

// `input` is the child's standard input.
inline pid_t Spawn(const std::vector<std::string>& args, const TRunOptions& o, int outFd, int errFd,
                   std::string_view input = {}) {
    std::vector<char*> argv;
    std::string program = VELMAR_CLI;
    argv.push_back(program.data());
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    // Standard input from an anonymous file: no pipe to fill while the child does not read.
    const int in = ::memfd_create("stdin", 0);
    if (in < 0 || ::write(in, input.data(), input.size()) != ssize_t(input.size()) || ::lseek(in, 0, SEEK_SET) != 0 ||
        ::dup2(in, 0) < 0)
        ::_exit(126);
    if (o.fileSizeLimit != RLIM_INFINITY) {
        ::signal(SIGXFSZ, SIG_IGN);  // an ignored signal stays ignored across exec: writes fail with EFBIG
        const rlimit lim{o.fileSizeLimit, o.fileSizeLimit};
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) ::_exit(126);
    }
    if (o.user != uid_t(-1) && (::setgroups(0, nullptr) != 0 || ::setgid(o.user) != 0 || ::setuid(o.user) != 0))
        ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

inline TRun RunCli(const std::vector<std::string>& args, const TRunOptions& o = {}, std::string_view input = {}) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const pid_t pid = Spawn(args, o, out[1], err[1], input);
    ::close(out[1]);
    ::close(err[1]);
    TRun r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    for (int open = 2; open > 0;) {
        ::poll(fds, 2, -1);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, size_t(n));
                continue;
            }
            ::close(fds[i].fd);
            fds[i].fd = -1;
            --open;
        }
    }
    int ws = 0;
    ::waitpid(pid, &ws, 0);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    return r;
}

}  // namespace vtest
