// Runs a command a few times with its output thrown away and reports the wall
// time and the peak resident memory (ru_maxrss from wait4) of each run.
//
// usage: velmar-bench-measure [--runs N] -- COMMAND [ARGS...]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    int runs = 3;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string a = argv[first];
        if (a == "--") {
            ++first;
            break;
        }
        if (a == "--runs" && first + 1 < argc)
            runs = std::max(1, std::atoi(argv[++first]));
        else {
            std::fprintf(stderr, "velmar-bench-measure: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: velmar-bench-measure [--runs N] -- COMMAND [ARGS...]\n");
        return 2;
    }
    std::vector<double> walls;
    long maxRssKb = 0;
    int worstStatus = 0;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid < 0) {
            std::perror("fork");
            return 1;
        }
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) ::dup2(null, STDOUT_FILENO);
            ::execvp(argv[first], argv + first);
            std::perror(argv[first]);
            ::_exit(127);
        }
        int status = 0;
        struct rusage usage {};
        if (::wait4(pid, &status, 0, &usage) != pid) {
            std::perror("wait4");
            return 1;
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        worstStatus = std::max(worstStatus, code);
        walls.push_back(wall);
        maxRssKb = std::max(maxRssKb, usage.ru_maxrss);
        std::printf("run %d: wall %.3f s, user %.3f s, sys %.3f s, peak RSS %.1f MB, exit %d\n", r + 1, wall,
                    double(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6,
                    double(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec / 1e6, usage.ru_maxrss / 1024.0, code);
    }
    std::sort(walls.begin(), walls.end());
    std::printf("wall_s=%.3f (median of %d)\npeak_rss_mb=%.1f (largest of %d)\n", walls[walls.size() / 2], runs,
                maxRssKb / 1024.0, runs);
    return worstStatus == 127 ? 1 : 0;
}
