#include "mpegchecker.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/messages.h"
#include "file/mp3object.h"
#include "mpeg/mpegframe.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

const std::string kSeparator(92, '-');

// An open file descriptor that closes itself.
class TFd {
public:
    explicit TFd(int fd) : Fd(fd) {}
    ~TFd() {
        if (Fd >= 0) ::close(Fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return Fd; }

private:
    int Fd;
};

// Reads `count` bytes at `offset` in full; false when the file has fewer or a read fails.
bool ReadFully(int fd, int64_t offset, void* buffer, size_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const ssize_t got = ::pread(fd, p, count, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        offset += got;
        count -= size_t(got);
    }
    return true;
}

uint32_t LittleEndian32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The size field of an ID3v2 header or footer: four bytes of seven bits; -1 when a byte has its top bit.
int64_t SyncSafe(const uint8_t* p) {
    if ((p[0] | p[1] | p[2] | p[3]) & 0x80) return -1;
    return (int64_t(p[0]) << 21) | (int64_t(p[1]) << 14) | (int64_t(p[2]) << 7) | p[3];
}

// Total length of the ID3v2 tag whose ten-byte header is at `h`, or 0 when `h` is no such header.
int64_t ID3v2TagLength(const uint8_t* h) {
    if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF) return 0;
    const int64_t size = SyncSafe(h + 6);
    if (size < 0) return 0;
    const bool footer = h[3] >= 4 && (h[5] & 0x10);
    return 10 + size + (footer ? 10 : 0);
}

// Moves `end` before the tags at the end of [start, end) that the audio file
// object leaves in the audio: an APEv2 (or APEv1) tag, an ID3v2 tag appended
// with its "3DI" footer, and a Lyrics3 v2 block or an ID3v1 tag before either
// of them (an ID3v1 tag at the very end is already outside [start, end)).
int64_t TrimTrailingTags(int fd, int64_t start, int64_t end) {
    bool trimmed = false;
    for (bool found = true; found; trimmed = trimmed || found) {
        found = false;
        uint8_t f[32];
        if (trimmed && end - start >= 128 && ReadFully(fd, end - 128, f, 3) && std::memcmp(f, "TAG", 3) == 0) {
            end -= 128;
            found = true;
            continue;
        }
        // APE: "APETAGEX", version, size of items and footer, item count, flags, 8 reserved bytes.
        if (end - start >= 32 && ReadFully(fd, end - 32, f, 32) && std::memcmp(f, "APETAGEX", 8) == 0) {
            const int64_t size = LittleEndian32(f + 12);
            const bool hasHeader = LittleEndian32(f + 20) & 0x80000000u;
            const int64_t total = size + (hasHeader ? 32 : 0);
            if (size >= 32 && total <= end - start) {
                end -= total;
                found = true;
                continue;
            }
        }
        // ID3v2 footer: "3DI", version, revision, flags, sync-safe size; the header repeats it at the start.
        if (end - start >= 20 && ReadFully(fd, end - 10, f, 10) && std::memcmp(f, "3DI", 3) == 0) {
            const int64_t size = SyncSafe(f + 6);
            uint8_t h[3];
            if (size >= 0 && 20 + size <= end - start && ReadFully(fd, end - 20 - size, h, 3) &&
                std::memcmp(h, "ID3", 3) == 0) {
                end -= 20 + size;
                found = true;
                continue;
            }
        }
        // Lyrics3 v2: "LYRICSBEGIN" ... six digits of size and "LYRICS200".
        if (end - start >= 15 + 11 && ReadFully(fd, end - 15, f, 15) && std::memcmp(f + 6, "LYRICS200", 9) == 0) {
            int64_t size = 0;
            bool digits = true;
            for (int i = 0; i < 6; ++i) {
                digits = digits && f[i] >= '0' && f[i] <= '9';
                size = size * 10 + (f[i] - '0');
            }
            uint8_t b[11];
            if (digits && size >= 11 && size + 15 <= end - start && ReadFully(fd, end - 15 - size, b, 11) &&
                std::memcmp(b, "LYRICSBEGIN", 11) == 0) {
                end -= size + 15;
                found = true;
            }
        }
    }
    return end;
}

// The payload of the "data" chunk of a RIFF wrapper at `start`, clipped to `end`.
bool FindRiffData(int fd, int64_t start, int64_t& dataStart, int64_t& dataEnd, int64_t end) {
    for (int64_t pos = start + 12; pos + 8 <= end;) {
        uint8_t chunk[8];
        if (!ReadFully(fd, pos, chunk, 8)) return false;
        const int64_t size = LittleEndian32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            dataStart = pos + 8;
            dataEnd = std::min(end, dataStart + size);
            return true;
        }
        pos += 8 + size + (size & 1);
    }
    return false;
}

// A window of the file over which the walk moves forward: bytes are read a
// block at a time, and the few bytes of a header that crosses a block border
// are kept for the next block.
class TBlockWindow {
public:
    TBlockWindow(int fd, int64_t end, std::vector<uint8_t>& buffer) : Fd(fd), End(end), Buf(buffer) {}

    // The bytes [pos, pos + n) (n at most a block, pos + n at most the end), or
    // null when the file could not be read that far.
    const uint8_t* At(int64_t pos, size_t n) {
        if (pos >= Start && pos + int64_t(n) <= Start + int64_t(Length)) return Buf.data() + (pos - Start);
        size_t keep = 0;
        if (pos >= Start && pos < Start + int64_t(Length)) {
            keep = size_t(Start + int64_t(Length) - pos);
            std::memmove(Buf.data(), Buf.data() + (pos - Start), keep);
        }
        Start = pos;
        Length = keep;
        while (Length < n) {
            const size_t want =
                size_t(std::min<int64_t>(int64_t(Buf.size() - Length), End - (Start + int64_t(Length))));
            if (want == 0) break;
            const ssize_t got = ::pread(Fd, Buf.data() + Length, want, Start + int64_t(Length));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            Length += size_t(got);
        }
        return Length >= n ? Buf.data() : nullptr;
    }

private:
    int Fd;
    int64_t End;
    std::vector<uint8_t>& Buf;
    int64_t Start = 0;
    size_t Length = 0;
};

// Frame lengths by the header bits that decide them (version, layer, bit rate,
// sampling rate, padding), worked out once with FrameLength: the walk then
// costs a table look-up per frame. 0 stands for free format, -1 for a header
// with a reserved value.
class TFrameLengths {
public:
    TFrameLengths() {
        for (unsigned key = 0; key < kCount; ++key) {
            const uint8_t h[4] = {0xFF, uint8_t(0xE0 | (key >> 7) << 1), uint8_t((key & 0x7F) << 1), 0};
            Lengths[key] = int16_t(IsValidFrameHeader(h) ? FrameLength(h) : -1);
        }
    }
    // The length of the frame `h` starts, 0 for free format, -1 for no valid header.
    int Of(const uint8_t* h) const {
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return -1;
        return Lengths[((h[1] >> 1) & 0x0F) << 7 | h[2] >> 1];
    }

private:
    static constexpr unsigned kCount = 1u << 11;
    int16_t Lengths[kCount];
};

void Walk(int fd, std::vector<uint8_t>& buffer, TCheckResult& r) {
    static const TFrameLengths lengths;
    TBlockWindow window(fd, r.AudioEnd, buffer);
    const int64_t end = r.AudioEnd;
    int64_t pos = r.AudioStart;
    auto stop = [&](TCheckOutcome outcome) {
        r.Outcome = outcome;
        r.Offset = pos;
    };
    if (pos >= end) return stop(TCheckOutcome::NoAudio);
    while (pos < end) {
        if (end - pos < 4) return stop(TCheckOutcome::ReadError);
        const uint8_t* h = window.At(pos, 4);
        if (!h) return stop(TCheckOutcome::ReadError);
        if (h[0] == 'I' && end - pos >= 10) {
            // Another ID3v2 tag between frames (a second tag at the start, or
            // files joined with their tags) is skipped when it fits in the audio.
            const uint8_t* t = window.At(pos, 10);
            if (!t) return stop(TCheckOutcome::ReadError);
            const int64_t tag = ID3v2TagLength(t);
            if (tag > 0 && tag <= end - pos) {
                pos += tag;
                continue;
            }
            return stop(TCheckOutcome::SyncError);
        }
        const int length = lengths.Of(h);
        if (length < 0) return stop(TCheckOutcome::SyncError);
        if (length == 0) return stop(TCheckOutcome::FreeFormat);
        if (length > end - pos) return stop(TCheckOutcome::CutShort);
        pos += length;
        ++r.Frames;
    }
    r.Outcome = TCheckOutcome::Ok;
}

void AddReport(TCheckResult& r, const std::string& fileName, const std::string& openError) {
    using namespace checktext;
    const std::string offset = "Offset: " + std::to_string(r.Offset) + " of " + std::to_string(r.FileSize);
    auto& l = r.Lines;
    switch (r.Outcome) {
        case TCheckOutcome::Ok: l = {kReportHeader, kNoErrors}; break;
        case TCheckOutcome::FreeFormat: l = {kReportHeader, kFreeFormat, offset}; break;
        case TCheckOutcome::NoAudio: l = {kFatal, kNoAudio, offset}; break;
        case TCheckOutcome::ReadError: l = {kFatal, kReadHeader, offset}; break;
        case TCheckOutcome::SyncError: l = {kFatal, kNoSync, offset}; break;
        case TCheckOutcome::CutShort: l = {kFatal, kCutShort, offset}; break;
        case TCheckOutcome::OpenError: l = {kFatal, std::string(kCannotOpen) + openError + "."}; break;
    }
    l.insert(l.end(), {"", "File: " + fileName, "", kSeparator, ""});
}

}  // namespace

TMPEGChecker::TMPEGChecker(size_t blockSize) : Buffer(std::max<size_t>(blockSize, 64)) {}

TCheckResult TMPEGChecker::CheckFile(const fs::path& fileName) {
    TCheckResult r;
    // Non-blocking, so that a named pipe given by mistake cannot hang the run.
    TFd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    std::string openError;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0)
        openError = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        openError = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
    if (!openError.empty()) {
        r.Outcome = TCheckOutcome::OpenError;
        AddReport(r, fileName.string(), openError);
        return r;
    }
    r.FileSize = st.st_size;
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif

    // The tags at both ends as the audio file object finds them; the walk starts
    // right after the ID3v2 tag, so bytes before the first frame are reported.
    TNullSink sink;
    TMP3Object file(sink);
    if (!file.LoadFile(fileName, false) || file.FileSize != r.FileSize) {
        r.Outcome = TCheckOutcome::ReadError;
        r.Offset = 0;
        AddReport(r, fileName.string(), "");
        return r;
    }
    r.AudioStart = file.DataStart;
    r.AudioEnd = TrimTrailingTags(fd.Get(), file.DataStart, file.AudioEnd);
    if (file.MpegType == "Wave/PCM") FindRiffData(fd.Get(), file.DataStart, r.AudioStart, r.AudioEnd, r.AudioEnd);

    Walk(fd.Get(), Buffer, r);
    AddReport(r, fileName.string(), "");
    return r;
}

std::string CheckedFilesLine(size_t count) { return std::to_string(count) + " file(s) checked."; }

}  // namespace velmar
