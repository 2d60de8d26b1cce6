// Makes, or puts back, the files that the saving benchmark changes.
//
// Every file is the same kind of file a tag editor meets most: an ID3v2.3 tag
// (title, artist, album, then 2 KiB of padding, so a new title of the same
// length or shorter fits in place) before a constant bit-rate MPEG-1 Layer III
// stream (128 kbps, 44.1 kHz, joint stereo, silent frames) whose first frame is
// an Info header, as LAME writes it. The content depends only on the file's
// number and the size asked for.
//
// A file that is already there with the right size is compared with what it
// should hold, block by block, and only the blocks that differ are written back
// (after a save in place, just the tag's block); a missing file or one of another
// size (after a save that rewrote it with a bigger tag) is written whole. So the
// benchmark gets the same files before every run without writing them all again.
//
// usage: velmar-bench-savegen FOLDER COUNT SIZE_BYTES
//          files FOLDER/s0000.mp3 ... of at most SIZE_BYTES (whole frames)
//        velmar-bench-savegen --picture FILE BYTES
//          a JPEG-looking picture file of BYTES bytes, for a tag that no longer fits
// prints: files=N written_whole=N patched=N unchanged=N bytes_written=N
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kRate = 44100;
constexpr int64_t kFrameNumerator = 144LL * 128 * 1000;  // frame length = numerator / rate (+1 when padded)
constexpr size_t kBlock = 1 << 20;                       // read and compared in blocks of this size
constexpr size_t kPage = 4096;                           // written in pages of this size, where they differ
constexpr size_t kPadding = 2048;

void PutBig32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void AddTextFrame(Bytes& tag, const char* id, const std::string& text) {
    tag.insert(tag.end(), id, id + 4);
    PutBig32(tag, uint32_t(text.size() + 1));
    tag.push_back(0);
    tag.push_back(0);
    tag.push_back(0);  // Latin-1
    tag.insert(tag.end(), text.begin(), text.end());
}

Bytes MakeTag(int index) {
    char title[64];
    std::snprintf(title, sizeof title, "Original title of file %04d", index);
    Bytes frames;
    AddTextFrame(frames, "TIT2", title);
    AddTextFrame(frames, "TPE1", "Benchmark Artist");
    AddTextFrame(frames, "TALB", "Benchmark Album");
    frames.resize(frames.size() + kPadding, 0);
    Bytes tag = {'I', 'D', '3', 3, 0, 0};
    const uint32_t size = uint32_t(frames.size());
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(uint8_t((size >> shift) & 0x7F));
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

// The lengths of the frames, in order: 417 or 418 bytes, padded as an encoder pads to keep the rate.
class TFrameLengths {
public:
    size_t Next() {
        Rest += kFrameNumerator % kRate;
        const bool pad = Rest >= kRate;
        if (pad) Rest -= kRate;
        LastPadded = pad;
        return size_t(kFrameNumerator / kRate) + (pad ? 1 : 0);
    }
    bool LastPadded = false;

private:
    int64_t Rest = 0;
};

void PutHeader(uint8_t* at, bool padded) {
    // MPEG-1 Layer III without CRC, 128 kbps, 44.1 kHz, joint stereo, original.
    const uint8_t h[4] = {0xFF, 0xFB, uint8_t(0x90 | (padded ? 2 : 0)), 0x64};
    std::memcpy(at, h, 4);
}

// Writes the file's bytes in blocks: compared with the file and written where they differ,
// or written outright.
class TBlockWriter {
public:
    TBlockWriter(int fd, bool compare) : Fd(fd), Compare(compare) { Buffer.reserve(kBlock + 4096); }
    void Add(const uint8_t* data, size_t n) {
        Buffer.insert(Buffer.end(), data, data + n);
        if (Buffer.size() >= kBlock) Flush();
    }
    bool Flush() {
        if (Buffer.empty() || Failed) return !Failed;
        size_t got = 0;
        if (Compare) {
            Old.resize(Buffer.size());
            const ssize_t n = ::pread(Fd, Old.data(), Old.size(), off_t(Offset));
            got = n > 0 ? size_t(n) : 0;
        }
        // Only the pages that differ are written, so that putting back a tag written in
        // place dirties a page or two, not a whole block.
        for (size_t at = 0; at < Buffer.size(); at += kPage) {
            const size_t n = std::min(kPage, Buffer.size() - at);
            if (at + n <= got && std::memcmp(Old.data() + at, Buffer.data() + at, n) == 0) continue;
            if (::pwrite(Fd, Buffer.data() + at, n, off_t(Offset + at)) != ssize_t(n)) Failed = true;
            Written += n;
        }
        Offset += Buffer.size();
        Buffer.clear();
        return !Failed;
    }
    uint64_t Written = 0;
    bool Failed = false;

private:
    int Fd;
    bool Compare;
    uint64_t Offset = 0;
    Bytes Buffer, Old;
};

struct TLayout {
    Bytes Tag;
    int64_t Frames = 0;  // after the Info frame
    int64_t Size = 0;
};

TLayout Plan(int index, int64_t maxSize) {
    TLayout l;
    l.Tag = MakeTag(index);
    TFrameLengths lengths;
    l.Size = int64_t(l.Tag.size());
    for (bool info = true;; info = false) {
        const size_t len = lengths.Next();
        if (l.Size + int64_t(len) > maxSize) break;
        l.Size += int64_t(len);
        if (!info) ++l.Frames;
    }
    return l;
}

void Produce(const TLayout& l, TBlockWriter& out) {
    out.Add(l.Tag.data(), l.Tag.size());
    TFrameLengths lengths;
    uint8_t frame[420] = {};
    // The Info frame: the block after the side information (32 bytes in joint stereo) gives the
    // frame count, the stream's bytes and a table of contents, as LAME writes it for CBR.
    size_t len = lengths.Next();
    PutHeader(frame, lengths.LastPadded);
    Bytes block = {'I', 'n', 'f', 'o'};
    PutBig32(block, 0x0F);
    PutBig32(block, uint32_t(l.Frames));
    PutBig32(block, uint32_t(std::min<int64_t>(l.Size - int64_t(l.Tag.size()) - int64_t(len), UINT32_MAX)));
    for (int i = 0; i < 100; ++i) block.push_back(uint8_t(i * 256 / 100));
    PutBig32(block, 57);
    std::memcpy(frame + 4 + 32, block.data(), block.size());
    out.Add(frame, len);
    std::memset(frame, 0, sizeof frame);
    for (int64_t i = 0; i < l.Frames; ++i) {
        len = lengths.Next();
        PutHeader(frame, lengths.LastPadded);
        out.Add(frame, len);
    }
}

int MakePicture(const char* file, long bytes) {
    Bytes data(size_t(std::max(bytes, 8L)));
    uint32_t x = 12345;
    for (uint8_t& b : data) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
    const uint8_t start[] = {0xFF, 0xD8, 0xFF, 0xE0};
    std::memcpy(data.data(), start, 4);
    data[data.size() - 2] = 0xFF;
    data[data.size() - 1] = 0xD9;
    FILE* f = std::fopen(file, "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "velmar-bench-savegen: cannot write %s: %s\n", file, std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--picture") == 0) return MakePicture(argv[2], std::atol(argv[3]));
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: velmar-bench-savegen FOLDER COUNT SIZE_BYTES\n"
                     "       velmar-bench-savegen --picture FILE BYTES\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]);
    const int64_t size = std::atoll(argv[3]);
    if (count < 1 || size < 8192) {
        std::fprintf(stderr, "velmar-bench-savegen: COUNT must be 1 or more and SIZE_BYTES 8192 or more\n");
        return 2;
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "velmar-bench-savegen: cannot create %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    int whole = 0, patched = 0, unchanged = 0;
    uint64_t written = 0;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/s%04d.mp3", i);
        const std::string path = folder + name;
        const TLayout layout = Plan(i, size);
        struct stat st {};
        const bool compare = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == layout.Size;
        const int fd = ::open(path.c_str(), compare ? O_RDWR : O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            std::fprintf(stderr, "velmar-bench-savegen: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
        TBlockWriter out(fd, compare);
        Produce(layout, out);
        const bool ok = out.Flush() && ::close(fd) == 0;
        if (!ok) {
            std::fprintf(stderr, "velmar-bench-savegen: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
            return 1;
        }
        written += out.Written;
        (!compare ? whole : out.Written ? patched : unchanged) += 1;
    }
    std::printf("files=%d written_whole=%d patched=%d unchanged=%d bytes_written=%llu\n", count, whole, patched,
                unchanged, static_cast<unsigned long long>(written));
    return 0;
}
