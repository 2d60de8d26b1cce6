/* Runs a command once and reports what it cost: wall time, CPU time, peak
 * resident memory, and the bytes it wrote, counted three ways:
 *   wchar          bytes handed to write calls (/proc/PID/io): what the program
 *                  asked to write, whatever the page cache and the disk make of it;
 *   write_bytes    bytes of page cache the program dirtied, i.e. that go to
 *                  storage (/proc/PID/io; whole pages, so a 1-byte write counts 4096);
 *   oublock_bytes  the same count as getrusage gives it (ru_oublock x 512).
 * The command's children count too, as long as it waits for them (xargs and
 * sh -c do): the kernel adds a reaped child's figures to its parent's.
 *
 * /proc/PID/io is read after the command has ended but before it is reaped
 * (waitid with WNOWAIT), so nothing the command does is missed.
 *
 * usage: velmar-bench-iocount [--keep-stdout] -- COMMAND [ARGS...]
 *   the command's standard output goes to /dev/null unless --keep-stdout.
 * prints name=value lines; exits with the command's exit status.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static double Seconds(struct timeval t) { return (double)t.tv_sec + (double)t.tv_usec / 1e6; }

/* One field of /proc/PID/io, or -1 when it cannot be read (no task I/O accounting, no permission). */
static long long IoField(const char* text, const char* name) {
    const size_t n = strlen(name);
    for (const char* line = text; line && *line;) {
        if (strncmp(line, name, n) == 0 && line[n] == ':') return atoll(line + n + 1);
        line = strchr(line, '\n');
        if (line) ++line;
    }
    return -1;
}

int main(int argc, char** argv) {
    int first = 1, keepStdout = 0;
    for (; first < argc; ++first) {
        if (strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        }
        if (strcmp(argv[first], "--keep-stdout") == 0) {
            keepStdout = 1;
        } else {
            fprintf(stderr, "velmar-bench-iocount: unknown option %s\n", argv[first]);
            return 2;
        }
    }
    if (first >= argc) {
        fprintf(stderr, "usage: velmar-bench-iocount [--keep-stdout] -- COMMAND [ARGS...]\n");
        return 2;
    }

    const double start = Now();
    const pid_t pid = fork();
    if (pid < 0) {
        perror("velmar-bench-iocount: fork");
        return 1;
    }
    if (pid == 0) {
        if (!keepStdout) {
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, STDOUT_FILENO);
        }
        execvp(argv[first], argv + first);
        perror(argv[first]);
        _exit(127);
    }

    /* Wait for the end but leave the command a zombie, so that its /proc entry stays. */
    siginfo_t info;
    memset(&info, 0, sizeof info);
    if (waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT) != 0) {
        perror("velmar-bench-iocount: waitid");
        return 1;
    }
    const double wall = Now() - start;
    char path[64], io[4096] = "";
    snprintf(path, sizeof path, "/proc/%d/io", (int)pid);
    FILE* f = fopen(path, "r");
    if (f) {
        const size_t n = fread(io, 1, sizeof io - 1, f);
        io[n] = 0;
        fclose(f);
    }

    int status = 0;
    struct rusage ru;
    memset(&ru, 0, sizeof ru);
    if (wait4(pid, &status, 0, &ru) != pid) {
        perror("velmar-bench-iocount: wait4");
        return 1;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    printf("wall_s=%.3f\n", wall);
    printf("user_s=%.3f\nsys_s=%.3f\n", Seconds(ru.ru_utime), Seconds(ru.ru_stime));
    printf("peak_rss_mb=%.1f\n", (double)ru.ru_maxrss / 1024.0);
    printf("oublock_bytes=%lld\n", (long long)ru.ru_oublock * 512);
    static const char* const kFields[] = {"wchar", "write_bytes", "cancelled_write_bytes", "rchar", "read_bytes",
                                          "syscw", "syscr"};
    for (size_t i = 0; i < sizeof kFields / sizeof kFields[0]; ++i) {
        const long long v = IoField(io, kFields[i]);
        if (v >= 0)
            printf("%s=%lld\n", kFields[i], v);
        else
            printf("%s=n/a\n", kFields[i]);
    }
    printf("exit=%d\n", code);
    return code;
}
