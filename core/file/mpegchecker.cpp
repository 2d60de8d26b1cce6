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

    // The bytes read from `pos` on, at least `n` of them (read when fewer are):
    // the byte at offset `pos` is `at[0]` and the bytes reach to offset `to`.
    // False when the file could not be read that far.
    bool From(int64_t pos, size_t n, const uint8_t*& at, int64_t& to) {
        if (!At(pos, n)) return false;
        at = Buf.data() + (pos - Start);
        to = Start + int64_t(Length);
        return true;
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

// The kind of stream a frame belongs to: its version, layer, sampling rate, and
// whether it is mono. Bit rates change from frame to frame; these do not.
unsigned StreamKind(const uint8_t* h) {
    return unsigned(h[1] & 0x1E) << 4 | unsigned(h[2] & 0x0C) | (h[3] >= 0xC0 ? 1u : 0u);
}
constexpr unsigned kNoKind = ~0u;

std::string StreamKindText(const uint8_t* h) {
    const TFrameHeaderBits b = SplitFrameHeader(h);
    return MpegVersionText(b.VersionIndex) + " " + LayerText(b.LayerIndex) + ", " +
           std::to_string(SampleRateHz(b.VersionIndex, b.SamplingIndex)) + " Hz, " +
           (b.ChannelMode == 3 ? "mono" : "stereo");
}

const TFrameLengths& Lengths() {
    static const TFrameLengths lengths;
    return lengths;
}

// Walks the stream from frame to frame and, at every break, finds where it goes
// on and what lies between: the list of problems of TCheckResult. The stream's
// kind is that of its first frame that two more frames of the same kind follow;
// after a break, the walk goes on at the next frame of that kind that another
// frame of that kind follows (or a tag, or the end of the audio).
class TStreamWalk {
public:
    // `ahead` is the buffer of the search for the end of a Lyrics3 tag, which reads
    // far ahead of the walk; it is given its size at its first use.
    TStreamWalk(TBlockWindow& window, std::vector<uint8_t>& ahead, int fd, TCheckResult& r, size_t maxProblems)
        : W(window),
          AheadBuffer(ahead),
          Ahead(fd, r.AudioEnd, ahead),
          R(r),
          End(r.AudioEnd),
          MaxProblems(maxProblems) {}

    void Run() {
        int64_t pos = R.AudioStart;
        if (pos >= End) return Stop(TCheckOutcome::NoAudio, pos);
        // ID3v2 tags right at the start (a second tag, or files joined with their tags) belong to the start.
        for (const char* name = ""; TagAt(pos, name) > 0 && std::strcmp(name, "ID3v2") == 0;) pos += TagAt(pos, name);
        if (const uint8_t* h = At(pos, 4); h && Lengths().Of(h) == 0) return Stop(TCheckOutcome::FreeFormat, pos);

        while (pos < End && !ReadFailed) {
            if (R.FirstFrame < 0 && Kind != kNoKind) {
                unsigned kind = kNoKind;
                const int length = FrameAt(pos, kind);
                if (length > 0 && kind == Kind && length <= End - pos) SetFirstFrame(pos, length);
            }
            int64_t last = -1;
            pos = WholeFrames(pos, last);
            if (pos < End && !ReadFailed) pos = Break(pos, last);
        }
        if (ReadFailed) return Stop(TCheckOutcome::ReadError, pos);
        CheckVbrHeader();
    }

private:
    // The walk over whole frames of the stream from `pos`, which is all an intact
    // file takes: where it stops, and in `last` where its last frame starts.
    int64_t WholeFrames(int64_t pos, int64_t& last) {
        const TFrameLengths& lengths = Lengths();
        const unsigned streamKind = Kind;
        const int64_t end = End;
        int64_t frames = 0, bytes = 0, lastFrame = last;
        // A block at a time: the headers that lie wholly in what was read are walked without further checks.
        for (bool walking = true; walking && end - pos >= 4;) {
            const uint8_t* at;
            int64_t to;
            if (!W.From(pos, 4, at, to)) {
                ReadFailed = true;
                break;
            }
            const int64_t from = pos;
            while (pos + 4 <= to) {
                const uint8_t* h = at + (pos - from);
                const int length = lengths.Of(h);
                if (length <= 0 || StreamKind(h) != streamKind || length > end - pos) {
                    walking = false;
                    break;
                }
                lastFrame = pos;
                pos += length;
                ++frames;
                bytes += length;
            }
        }
        last = lastFrame;
        R.Frames += frames;
        R.StreamBytes += bytes;
        return pos;
    }

    void Stop(TCheckOutcome outcome, int64_t offset) {
        R.Outcome = outcome;
        R.Offset = offset;
    }

    // The bytes [pos, pos + n) of the audio; null past its end, or when the file
    // could not be read (which ends the walk).
    const uint8_t* At(int64_t pos, size_t n) {
        if (pos < 0 || pos + int64_t(n) > End) return nullptr;
        const uint8_t* p = W.At(pos, n);
        if (!p) ReadFailed = true;
        return p;
    }

    // The length of the frame whose valid, fixed-length header is at `pos`, and its
    // kind; 0 when there is none. The frame may run past the end of the audio.
    int FrameAt(int64_t pos, unsigned& kind) {
        const uint8_t* h = At(pos, 4);
        if (!h) return 0;
        const int length = Lengths().Of(h);
        kind = StreamKind(h);
        return std::max(length, 0);
    }

    // The length of the tag that starts at `pos` and ends within the audio, and
    // its name; 0 when there is none.
    int64_t TagAt(int64_t pos, const char*& name) {
        const int64_t room = End - pos;
        const uint8_t* t = room >= 3 ? At(pos, size_t(std::min<int64_t>(room, 11))) : nullptr;
        if (!t) return 0;
        if (room >= 10 && std::memcmp(t, "ID3", 3) == 0) {
            const int64_t length = ID3v2TagLength(t);
            name = "ID3v2";
            return length <= room ? length : 0;
        }
        if (room >= 128 && std::memcmp(t, "TAG", 3) == 0) {
            name = "ID3v1";
            return 128;
        }
        if (room >= 32 && std::memcmp(t, "APETAGEX", 8) == 0 && (t = At(pos, 32))) {
            // A header gives the size of the items and the footer; a footer alone is 32 bytes.
            const int64_t size = LittleEndian32(t + 12);
            const int64_t length = (LittleEndian32(t + 20) & 0x20000000u) ? size + 32 : 32;
            name = "APE";
            return size >= 32 && length <= room ? length : 0;
        }
        if (room >= 20 && std::memcmp(t, "LYRICSBEGIN", 11) == 0) {
            // Up to "LYRICSEND" (v1), or to "LYRICS200" after six digits that give the length before them (v2).
            name = "Lyrics3";
            const int64_t e = LyricsEnd(pos + 11, pos + 11 + 1000000);
            if (e < 0) return 0;
            const uint8_t* m = Ahead.At(e - 6, 15);  // six digits and the marker
            if (!m) return 0;
            if (std::memcmp(m + 12, "END", 3) == 0) return e + 9 - pos;
            int64_t size = 0;
            for (int i = 0; i < 6; ++i) size = m[i] >= '0' && m[i] <= '9' && size >= 0 ? size * 10 + (m[i] - '0') : -1;
            if (size == e - 6 - pos) return e + 9 - pos;
        }
        return 0;
    }

    // The first "LYRICSEND" or "LYRICS200" from `from` on and before `limit`, or -1.
    // A search goes on where the one before stopped, so that no part of the audio
    // is searched again and again however many "LYRICSBEGIN" it holds.
    int64_t LyricsEnd(int64_t from, int64_t limit) {
        if (AheadBuffer.empty()) AheadBuffer.resize(64 * 1024);
        if (from < ScanFrom || from > ScanTo) ScanFrom = ScanTo = from, ScanFound = false;
        for (; !ScanFound && ScanTo < limit && ScanTo + 9 <= End; ++ScanTo) {
            const uint8_t* m = Ahead.At(ScanTo, 9);
            if (!m) return -1;
            ScanFound = m[0] == 'L' && std::memcmp(m, "LYRICS", 6) == 0 &&
                        (std::memcmp(m + 6, "END", 3) == 0 || std::memcmp(m + 6, "200", 3) == 0);
            if (ScanFound) break;
        }
        return ScanFound && ScanTo < limit ? ScanTo : -1;
    }

    // A tag where the stream may go on: three letters "TAG" could be anything, so
    // an ID3v1 tag must be followed by the end, a frame header or another tag.
    bool TagConfirmed(int64_t pos, int64_t length, const char* name) {
        if (std::strcmp(name, "ID3v1") != 0) return true;
        const int64_t after = pos + length;
        unsigned kind;
        const char* next = "";
        return End - after < 4 || FrameAt(after, kind) > 0 || TagAt(after, next) > 0;
    }

    // Whether `following` frames of `kind` come after the frame [pos, pos + length),
    // where the end of the audio or a tag may take the place of any of them.
    bool Followed(int64_t pos, int length, unsigned kind, int following) {
        int64_t p = pos + length;
        for (int i = 0; i < following; ++i) {
            const char* name = "";
            if (End - p < 4 || TagAt(p, name) > 0) return true;
            unsigned k = kNoKind;
            const int next = FrameAt(p, k);
            if (next <= 0 || k != kind) return false;
            p += next;
        }
        return true;
    }

    // The first offset from `from` on where the stream goes on: a frame of the
    // stream's kind (of any kind before the stream is known) that is followed as
    // above, or a tag. The end of the audio when there is none.
    int64_t Resync(int64_t from) {
        for (int64_t q = from; End - q >= 4; ++q) {
            const uint8_t* h = At(q, 4);
            if (!h) return End;
            if (h[0] == 0xFF) {
                const int length = Lengths().Of(h);
                const unsigned kind = StreamKind(h);
                if (length > 0 && length <= End - q && (Kind == kNoKind || kind == Kind) &&
                    Followed(q, length, kind, Kind == kNoKind ? 2 : 1))
                    return q;
            } else if (h[0] == 'I' || h[0] == 'T' || h[0] == 'A' || h[0] == 'L') {
                const char* name = "";
                const int64_t length = TagAt(q, name);
                if (length > 0 && TagConfirmed(q, length, name)) return q;
            }
        }
        return End;
    }

    // The chain breaks at `pos`, after the frame at `last` (-1: none since the last
    // break). Records what lies between here and where the stream goes on, and returns that offset.
    int64_t Break(int64_t pos, int64_t last) {
        unsigned kind = kNoKind;
        const char* name = "";
        // A frame header where the last frame ends shows that frame whole; else the
        // next frame (or a tag) may begin inside it, the last frame cut short.
        const bool lastWhole = last < 0 || FrameAt(pos, kind) > 0;
        const int64_t next = Resync(lastWhole ? pos : last + 1);
        const int nextLength = next < End ? FrameAt(next, kind) : 0;
        if (nextLength > 0 && Kind == kNoKind) Kind = kind;
        if (next < pos) {
            const int length = FrameAt(last, kind);
            --R.Frames;
            R.StreamBytes -= length;
            if (R.FirstFrame == last) SetFirstFrame(-1, 0);  // taken for the first when the end seemed to follow it
            AddCut(TProblemKind::CutFrame, last, next - last, length);
        } else {
            Classify(pos, next);
        }
        if (next >= End || nextLength > 0) return next;
        const int64_t tag = TagAt(next, name);
        if (tag <= 0) return End;
        Add(Problem(TProblemKind::Tag, next, tag, name));
        return next + tag;
    }

    // Records what the stretch [from, to) between two parts of the stream is:
    // tags, frames of another stream, a frame of the stream cut short, garbage.
    void Classify(int64_t from, int64_t to) {
        for (int64_t a = from; a < to && !ReadFailed;) {
            const uint8_t* first = At(a, 1);
            if (!first) return;
            if (to - a < 4) {
                // Too few bytes for a header: the last frame cut short in its header, or garbage.
                if (to == End && first[0] == 0xFF)
                    AddCut(TProblemKind::CutLastFrame, a, to - a, 0);
                else
                    Add(Problem(TProblemKind::Garbage, a, to - a));
                return;
            }
            const char* name = "";
            if (const int64_t tag = TagAt(a, name); tag > 0 && tag <= to - a) {
                Add(Problem(TProblemKind::Tag, a, tag, name));
                a += tag;
                continue;
            }
            unsigned kind = kNoKind;
            const int length = FrameAt(a, kind);
            if (length > 0 && kind == Kind) {
                if (length <= to - a) {
                    // A whole frame of the stream that no second one follows.
                    if (R.FirstFrame < 0) SetFirstFrame(a, length);
                    ++R.Frames;
                    R.StreamBytes += length;
                    a += length;
                    continue;
                }
                AddCut(to == End ? TProblemKind::CutLastFrame : TProblemKind::CutFrame, a, to - a, length);
                return;
            }
            int64_t frames = 0;
            if (const int64_t b = ForeignRun(a, to, frames); frames > 0) {
                TCheckProblem p = Problem(TProblemKind::ForeignFrame, a, b - a, StreamKindText(At(a, 4)));
                p.Frames = frames;
                Add(std::move(p));
                a = b;
                continue;
            }
            const int64_t b = GarbageEnd(a, to);
            Add(Problem(TProblemKind::Garbage, a, b - a));
            a = b;
        }
    }

    // The end of the whole frames of other kinds than the stream's from `pos` on,
    // with their number, when they are frames of another stream: two or more, or
    // one that reaches `to` or a tag exactly. Else `pos` and no frames.
    int64_t ForeignRun(int64_t pos, int64_t to, int64_t& frames) {
        int64_t b = pos;
        int64_t n = 0;
        for (unsigned kind = kNoKind;;) {
            const int length = b < to ? FrameAt(b, kind) : 0;
            if (length <= 0 || kind == Kind || length > to - b) break;
            b += length;
            ++n;
        }
        const char* name = "";
        if (n == 0 || (n == 1 && b != to && TagAt(b, name) <= 0)) return pos;
        frames = n;
        return b;
    }

    // Whether a run of frames as ForeignRun takes them starts at `pos`; without walking all of it.
    bool ForeignRunStarts(int64_t pos, int64_t to) {
        unsigned kind = kNoKind, nextKind = kNoKind;
        const int length = FrameAt(pos, kind);
        if (length <= 0 || kind == Kind || length > to - pos) return false;
        const char* name = "";
        const int next = pos + length < to ? FrameAt(pos + length, nextKind) : 0;
        return pos + length == to || TagAt(pos + length, name) > 0 ||
               (next > 0 && nextKind != Kind && next <= to - pos - length);
    }

    // Whether a frame of the stream that ends at `to` or that another one follows starts at `pos`.
    // (Before the stream is known its first frame needs two to follow, so there can be such frames in the way.)
    bool StreamRunStarts(int64_t pos, int64_t to) {
        unsigned kind = kNoKind, nextKind = kNoKind;
        const int length = FrameAt(pos, kind);
        if (length <= 0 || kind != Kind || length > to - pos) return false;
        return pos + length == to || (FrameAt(pos + length, nextKind) > 0 && nextKind == Kind);
    }

    // Where the garbage from `pos` ends: at the next tag or run of other frames before `to`, else at `to`.
    int64_t GarbageEnd(int64_t pos, int64_t to) {
        for (int64_t b = pos + 1; to - b >= 4; ++b) {
            const uint8_t* h = At(b, 4);
            if (!h) return to;
            const char* name = "";
            if (h[0] == 0xFF && (ForeignRunStarts(b, to) || StreamRunStarts(b, to))) return b;
            if ((h[0] == 'I' || h[0] == 'T' || h[0] == 'A' || h[0] == 'L') && TagAt(b, name) > 0 &&
                TagAt(b, name) <= to - b)
                return b;
        }
        return to;
    }

    // The stream's first frame, and the VBR header it may carry, read while the walk is there.
    void SetFirstFrame(int64_t pos, int length) {
        R.FirstFrame = pos;
        FirstFrameLength = length;
        Vbr = TVBR_MPEGSync();
        const size_t head = size_t(std::min(length, 64));  // the headers lie within the first 54 bytes
        if (const uint8_t* frame = At(pos, head)) Vbr.ReadVbrHeader(frame, head);
    }

    // A frame cut short; the VBR header counted it whole.
    void AddCut(TProblemKind kind, int64_t offset, int64_t bytes, int frameLength) {
        if (frameLength > 0) {
            ++CutFrames;
            CutBytes += frameLength;
        }
        TCheckProblem p = Problem(kind, offset, bytes);
        p.FrameLength = frameLength;
        Add(std::move(p));
    }

    static TCheckProblem Problem(TProblemKind kind, int64_t offset, int64_t bytes, std::string name = "") {
        TCheckProblem p;
        p.Kind = kind;
        p.Offset = offset;
        p.Bytes = bytes;
        p.Name = std::move(name);
        return p;
    }

    void Add(TCheckProblem problem) {
        ++R.ProblemCount;
        // Problems come in order of offset, but for the VBR header at the first frame, found last.
        auto at = R.Problems.end();
        while (at != R.Problems.begin() && (at - 1)->Offset > problem.Offset) --at;
        if (R.Problems.size() < MaxProblems)
            R.Problems.insert(at, std::move(problem));
        else if (at != R.Problems.end()) {
            R.Problems.pop_back();
            R.Problems.insert(at, std::move(problem));
        }
    }

    // A Xing or Info header may count the frames with or without its own; every
    // header counts the bytes of all frames, its own included. Frames cut short
    // count whole, as they were when the header was written.
    void CheckVbrHeader() {
        const TVBR_MPEGSync& vbr = Vbr;
        const int64_t length = FirstFrameLength;
        if (R.FirstFrame < 0 || vbr.Kind == TVBR_MPEGSync::None) return;
        const int64_t frames = R.Frames + CutFrames, bytes = R.StreamBytes + CutBytes;
        const bool framesAgree = vbr.Frames < 0 || vbr.Frames == frames || vbr.Frames == frames - 1;
        const bool bytesAgree = vbr.Bytes < 0 || vbr.Bytes == bytes;
        if (framesAgree && bytesAgree) return;
        static const char* const kNames[] = {"", "Xing", "Info", "VBRI"};
        TCheckProblem p = Problem(TProblemKind::VbrHeader, R.FirstFrame, length, kNames[vbr.Kind]);
        p.SaidFrames = vbr.Frames;
        p.SaidBytes = vbr.Bytes;
        p.StreamFrames = frames;
        p.StreamBytes = bytes;
        Add(std::move(p));
    }

    TBlockWindow& W;
    std::vector<uint8_t>& AheadBuffer;
    TBlockWindow Ahead;
    TCheckResult& R;
    const int64_t End;
    const size_t MaxProblems;
    unsigned Kind = kNoKind;  // the stream's, once known
    bool ReadFailed = false;
    int64_t CutFrames = 0, CutBytes = 0;
    int64_t FirstFrameLength = 0;
    TVBR_MPEGSync Vbr;                   // of the first frame
    int64_t ScanFrom = -1, ScanTo = -1;  // LyricsEnd found no marker in [ScanFrom, ScanTo)
    bool ScanFound = false;              // and one at ScanTo
};

// Where the frame chain breaks first, as the report's verdict gives it: the walk
// goes from frame to frame whatever their kind, passes ID3v2 tags and stops at
// the first offset where no frame header is.
void FirstBreak(int fd, std::vector<uint8_t>& buffer, TCheckResult& r) {
    TBlockWindow window(fd, r.AudioEnd, buffer);
    const int64_t end = r.AudioEnd;
    int64_t pos = r.AudioStart;
    bool first = true;
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
            // files joined with their tags) is passed when it fits in the audio.
            const uint8_t* t = window.At(pos, 10);
            if (!t) return stop(TCheckOutcome::ReadError);
            const int64_t tag = ID3v2TagLength(t);
            if (tag > 0 && tag <= end - pos) {
                pos += tag;
                continue;
            }
            return stop(TCheckOutcome::SyncError);
        }
        const int length = Lengths().Of(h);
        if (length < 0) return stop(TCheckOutcome::SyncError);
        // A free-format header is a free-format stream only where the stream begins.
        if (length == 0) return stop(first ? TCheckOutcome::FreeFormat : TCheckOutcome::SyncError);
        if (length > end - pos) return stop(TCheckOutcome::CutShort);
        pos += length;
        first = false;
    }
    r.Outcome = TCheckOutcome::Ok;
    r.Offset = -1;
}

void AddReport(TCheckResult& r, const std::string& fileName, const std::string& openError) {
    using namespace checktext;
    const std::string offset = "Offset: " + std::to_string(r.Offset) + " of " + std::to_string(r.FileSize);
    auto& l = r.Lines;
    switch (r.Outcome) {
        case TCheckOutcome::Ok: l = {kReportHeader}; break;
        case TCheckOutcome::FreeFormat: l = {kReportHeader, kFreeFormat, offset}; break;
        case TCheckOutcome::NoAudio: l = {kFatal, kNoAudio, offset}; break;
        case TCheckOutcome::ReadError: l = {kFatal, kReadHeader, offset}; break;
        case TCheckOutcome::SyncError: l = {kFatal, kNoSync, offset}; break;
        case TCheckOutcome::CutShort: l = {kFatal, kCutShort, offset}; break;
        case TCheckOutcome::OpenError: l = {kFatal, std::string(kCannotOpen) + openError + "."}; break;
    }
    if (r.ProblemCount > 0) {
        l.push_back(kProblemsFound + std::to_string(r.ProblemCount));
        for (const TCheckProblem& p : r.Problems)
            l.push_back("At offset " + std::to_string(p.Offset) + ": " + ProblemText(p) + ".");
        if (const int64_t more = r.ProblemCount - int64_t(r.Problems.size()); more > 0)
            l.push_back("And " + ProblemCountText(more) + " more.");
    } else if (r.Outcome == TCheckOutcome::Ok) {
        l.push_back(kNoErrors);
    }
    l.insert(l.end(), {"", "File: " + fileName, "", kSeparator, ""});
}

std::string ByteCount(int64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

}  // namespace

TMPEGChecker::TMPEGChecker(size_t blockSize, size_t maxProblems)
    : Buffer(std::max<size_t>(blockSize, 64)), MaxProblems(maxProblems) {}

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

    {
        TBlockWindow window(fd.Get(), r.AudioEnd, Buffer);
        TStreamWalk(window, AheadBuffer, fd.Get(), r, MaxProblems).Run();
    }
    // The verdict names the first break of the chain; the walk above, which went on
    // past it and also tells frames of another stream, found only that there is one.
    if (r.ProblemCount > 0 && r.Outcome == TCheckOutcome::Ok) FirstBreak(fd.Get(), Buffer, r);
    AddReport(r, fileName.string(), "");
    return r;
}

std::string CheckedFilesLine(size_t count) { return std::to_string(count) + " file(s) checked."; }

const char* ProblemKindName(TProblemKind kind) {
    switch (kind) {
        case TProblemKind::Garbage: return "garbage";
        case TProblemKind::CutFrame: return "cut-frame";
        case TProblemKind::ForeignFrame: return "foreign-frame";
        case TProblemKind::VbrHeader: return "vbr-header";
        case TProblemKind::Tag: return "tag";
        case TProblemKind::CutLastFrame: return "cut-last-frame";
    }
    return "";
}

std::string ProblemCountText(int64_t count) { return std::to_string(count) + (count == 1 ? " problem" : " problems"); }

std::string ProblemText(const TCheckProblem& p) {
    const std::string length =
        p.FrameLength > 0 ? std::to_string(p.Bytes) + " of " + ByteCount(p.FrameLength) : ByteCount(p.Bytes);
    switch (p.Kind) {
        case TProblemKind::Garbage: return ByteCount(p.Bytes) + " of garbage";
        case TProblemKind::CutFrame: return "a frame cut short, " + length;
        case TProblemKind::CutLastFrame: return "the last frame cut short, " + length;
        case TProblemKind::ForeignFrame:
            return std::to_string(p.Frames) + (p.Frames == 1 ? " frame" : " frames") + " of another stream (" + p.Name +
                   "), " + ByteCount(p.Bytes);
        case TProblemKind::Tag:
            return std::string(p.Name == "Lyrics3" ? "a " : "an ") + p.Name + " tag inside the audio, " +
                   ByteCount(p.Bytes);
        case TProblemKind::VbrHeader: {
            // Only the counts that disagree, as the check found them.
            const bool frames =
                p.SaidFrames >= 0 && p.SaidFrames != p.StreamFrames && p.SaidFrames != p.StreamFrames - 1;
            const bool bytes = p.SaidBytes >= 0 && p.SaidBytes != p.StreamBytes;
            std::string said, has;
            if (frames) {
                said = std::to_string(p.SaidFrames) + " frames";
                has = std::to_string(p.StreamFrames) + " frames";
            }
            if (bytes) {
                said += (frames ? " and " : "") + ByteCount(p.SaidBytes);
                has += (frames ? " and " : "") + ByteCount(p.StreamBytes);
            }
            return "the " + p.Name + " header counts " + said + ", the stream has " + has;
        }
    }
    return "";
}

}  // namespace velmar
