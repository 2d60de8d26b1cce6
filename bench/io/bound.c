/* The least a tag reader has to do per file, as a yardstick for velmar-cli info.
 *
 * For every .mp3 file under FOLDER (the walk is part of the cost, as velmar's own
 * folder scan is): open it, read 4 KiB at the head (where an ID3v2 tag and the
 * first frame are), read 256 bytes at the tail (where ID3v1 and Lyrics3 are;
 * the size comes from fstat) and close it. One thread, no parsing. The folder
 * is walked with openat/fdopendir and the entries' d_type, so listing costs no
 * stat per entry (fstatat only where the file system gives no type).
 *
 * usage: velmar-bench-bound FOLDER
 * prints: files=N bytes_read=N
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

static unsigned long long g_files, g_bytes, g_failed;

static int IsMp3Name(const char* name) {
    const size_t n = strlen(name);
    return n > 4 && strcasecmp(name + n - 4, ".mp3") == 0;
}

static void ReadEnds(int dirFd, const char* name) {
    static char head[4096], tail[256];
    const int fd = openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        ++g_failed;
        return;
    }
    struct stat st;
    ssize_t got = 0;
    if (fstat(fd, &st) == 0) {
        got = pread(fd, head, sizeof head, 0);
        const off_t at = st.st_size > (off_t)sizeof tail ? st.st_size - (off_t)sizeof tail : 0;
        const ssize_t end = pread(fd, tail, sizeof tail, at);
        got = got < 0 || end < 0 ? -1 : got + end;
    }
    if (got < 0)
        ++g_failed;
    else
        g_bytes += (unsigned long long)got;
    ++g_files;
    close(fd);
}

/* Walks the folder open as dirFd (which this closes); sub-folders are walked as they are met. */
static void Walk(int dirFd) {
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        ++g_failed;
        return;
    }
    const struct dirent* e;
    while ((e = readdir(dir)) != NULL) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat st;
            if (fstatat(dirfd(dir), name, &st, 0) != 0) continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR && e->d_type != DT_LNK) {
            const int sub = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (sub >= 0) Walk(sub);
        } else if (type == DT_REG && IsMp3Name(name)) {
            ReadEnds(dirfd(dir), name);
        }
    }
    closedir(dir);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: velmar-bench-bound FOLDER\n");
        return 2;
    }
    const int top = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0) {
        fprintf(stderr, "velmar-bench-bound: %s: %s\n", argv[1], strerror(errno));
        return 1;
    }
    Walk(top);
    printf("files=%llu bytes_read=%llu\n", g_files, g_bytes);
    if (g_failed) fprintf(stderr, "velmar-bench-bound: %llu files or folders could not be read\n", g_failed);
    return g_failed ? 1 : 0;
}
