#pragma once
// The system calls that read and write audio files, in one place, so that a test
// can watch them and make any one of them fail. Each behaves like the call it
// is named after: -1 with errno set on failure.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace velmar::sysio {

enum class TCall { Open, Stat, Read, Write, Sync, Truncate, Rename, Unlink, Close, Copy, Move, Place };

// Sees every call before it is made; returning an errno value fails the call with
// it, returning 0 lets it run. Set by tests only; nullptr (the default) costs nothing.
using THook = int (*)(TCall call);
void SetHook(THook hook);

int Open(const char* path, int flags, unsigned mode = 0);
int OpenAt(int dir, const char* name, int flags, unsigned mode = 0);
int Fstat(int fd, struct stat* st);
ssize_t Pread(int fd, void* buffer, size_t count, off_t offset);
ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset);
int Fsync(int fd);
int Fdatasync(int fd);  // the data and what is needed to read them back, not the times
// Everything written to the file system that holds `fd`, data and names (TCall::Sync).
int Syncfs(int fd);
int Ftruncate(int fd, off_t length);
int Rename(const char* from, const char* to);
// renameat2 with RENAME_NOREPLACE: fails with EEXIST where `to` is taken.
int MoveNoReplace(const char* from, const char* to);
// The same into the folder open as `dir`.
int MoveNoReplaceAt(const char* from, int dir, const char* to);
// Puts a file made in the folder `dir` under its name there: renameat2 with
// RENAME_NOREPLACE, or linkat (TCall::Place for both).
int PlaceNoReplace(int dir, const char* from, const char* to);
int LinkAt(int dir, const char* from, const char* to);
int Unlink(const char* path);
int Close(int fd);
// The kernel's copy between two files; copies up to `count` bytes and moves both offsets.
ssize_t CopyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count);
// sendfile from a file to a file (TCall::Copy): writes at `out`'s offset.
ssize_t SendFile(int out, int in, off_t* inOffset, size_t count);

}  // namespace velmar::sysio
