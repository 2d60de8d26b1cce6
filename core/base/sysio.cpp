#include "sysio.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace velmar::sysio {

namespace {

std::atomic<THook> Hook{nullptr};

// True when the hook lets the call run; otherwise errno holds the failure it chose.
bool Allowed(TCall call) {
    const THook hook = Hook.load(std::memory_order_relaxed);
    if (!hook) return true;
    const int error = hook(call);
    if (error == 0) return true;
    errno = error;
    return false;
}

}  // namespace

void SetHook(THook hook) { Hook.store(hook); }

int Open(const char* path, int flags, unsigned mode) {
    return Allowed(TCall::Open) ? ::open(path, flags | O_CLOEXEC, mode) : -1;
}

int OpenAt(int dir, const char* name, int flags, unsigned mode) {
    return Allowed(TCall::Open) ? ::openat(dir, name, flags | O_CLOEXEC, mode) : -1;
}

int Fstat(int fd, struct stat* st) { return Allowed(TCall::Stat) ? ::fstat(fd, st) : -1; }

ssize_t Pread(int fd, void* buffer, size_t count, off_t offset) {
    return Allowed(TCall::Read) ? ::pread(fd, buffer, count, offset) : -1;
}

ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    return Allowed(TCall::Write) ? ::pwrite(fd, buffer, count, offset) : -1;
}

int Fsync(int fd) { return Allowed(TCall::Sync) ? ::fsync(fd) : -1; }

int Fdatasync(int fd) { return Allowed(TCall::Sync) ? ::fdatasync(fd) : -1; }

int Syncfs(int fd) { return Allowed(TCall::Sync) ? ::syncfs(fd) : -1; }

int Ftruncate(int fd, off_t length) { return Allowed(TCall::Truncate) ? ::ftruncate(fd, length) : -1; }

int Rename(const char* from, const char* to) { return Allowed(TCall::Rename) ? ::rename(from, to) : -1; }

int MoveNoReplace(const char* from, const char* to) {
    return Allowed(TCall::Move) ? ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) : -1;
}

int MoveNoReplaceAt(const char* from, int dir, const char* to) {
    return Allowed(TCall::Move) ? ::renameat2(AT_FDCWD, from, dir, to, RENAME_NOREPLACE) : -1;
}

int PlaceNoReplace(int dir, const char* from, const char* to) {
    return Allowed(TCall::Place) ? ::renameat2(dir, from, dir, to, RENAME_NOREPLACE) : -1;
}

int LinkAt(int dir, const char* from, const char* to) {
    return Allowed(TCall::Place) ? ::linkat(dir, from, dir, to, 0) : -1;
}

int Unlink(const char* path) { return Allowed(TCall::Unlink) ? ::unlink(path) : -1; }

int Close(int fd) {
    // The descriptor is released even when the hook fails the call, as the kernel does.
    if (Allowed(TCall::Close)) return ::close(fd);
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
}

ssize_t CopyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count) {
    return Allowed(TCall::Copy) ? ::copy_file_range(in, inOffset, out, outOffset, count, 0) : -1;
}

ssize_t SendFile(int out, int in, off_t* inOffset, size_t count) {
    return Allowed(TCall::Copy) ? ::sendfile(out, in, inOffset, count) : -1;
}

}  // namespace velmar::sysio
